#pragma once

#include "ReportRow.h"

#include <QAbstractTableModel>

#include <functional>

#include <string>
#include <string_view>
#include <vector>

class qnVelTorDataAttribute;
namespace qnVelTor {
class GridAttr;
}

// The grid's model: one row per report line plus the empty new-line row,
// which is always last; one column per field. Cells are Shift-JIS bytes,
// decoded only for display and editing. It shows no dialog and reads no
// file; the window does both.
class ReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // `attributes` and `cellAttrs` are not owned; the hints come from them.
    ReportModel(const qnVelTorDataAttribute *attributes, const qnVelTor::GridAttr *cellAttrs,
                QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Stores an edited text; an unchanged text keeps the cell's exact bytes
    // (decoding and encoding code page 932 is not byte-exact).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The bytes an edited text is stored as. The editor lets in only
    // characters code page 932 holds; the U+FFFD that stand for bytes of a
    // loaded cell that were not Shift-JIS cannot be turned back into those
    // bytes and are dropped.
    static std::string TextToCell(const QString &text);

    // Where an edited text goes instead of straight into the cell, so that
    // the window can make it a step that can be undone.
    using CommitCell = std::function<void(int row, int field, std::string bytes)>;
    void SetCommitHandler(CommitCell handler) { commitCell = std::move(handler); }
    // No field holds more than 100 bytes, yet a broken file may put megabytes
    // into one cell, and shaping such a text freezes every redraw. A cell is
    // shown, measured and edited only up to this many bytes.
    static constexpr std::size_t ShownCellBytes = 512;
    // The text shown and edited for a cell: the whole cell, or its first
    // ShownCellBytes bytes cut at a character boundary. An editor handing
    // this text back unchanged leaves the cell's bytes as they are.
    static QString CellText(std::string_view bytes);
    static bool IsLongCell(std::string_view bytes) { return bytes.size() > ShownCellBytes; }
    // True when an editor that handed back `text` left the cell as it was.
    // The editor drops trailing spaces; for a long cell that alone must not
    // count as an edit, which would keep only the start of the cell.
    static bool EditLeavesCell(std::string_view bytes, const QString &text);

    std::string_view Cell(int row, int field) const;
    // True when the bytes changed; nothing is signalled otherwise.
    bool SetCell(int row, int field, std::string_view text);
    std::vector<std::string> RowCells(int row) const;
    void SetRowCells(int row, const std::vector<std::string> &cells);
    const ReportRow &Row(int row) const { return rows[std::size_t(row)]; }

    // The hint of a cell: its error message, else its field's hint; for a
    // cell longer than what is shown, also its length.
    QString Hint(int row, int field) const;
    // Says how long a cell is when only its start is shown; else empty.
    static QString LongCellNote(std::string_view bytes);

    // Replaces every row by `lines` followed by the empty new-line row;
    // `arena` holds the blocks of lines built in it.
    void ResetRows(std::vector<ReportRow> &&lines, RowArena &&arena = RowArena());
    void Clear();
    void AppendEmptyRow();
    void InsertEmptyRow(int row);
    void RemoveRow(int row);
    // A line with its texts before `row`, the new-line row included.
    void InsertRow(int row, ReportRow &&line);
    // The whole line at once: one change signal for all its cells.
    void ReplaceRow(int row, ReportRow &&line);
    // `count` empty lines before the new-line row, or the last `count`
    // lines, in one step each: a million-row grid must not hear of them
    // one by one.
    void AppendEmptyLines(int count);
    void RemoveLastLines(int count);
    bool MoveRow(int from, int to);
    // Tells the views that the verdicts or hints of a row changed.
    void RowDecorationChanged(int row);

private:
    // What a view may keep per row (a header's section, and its copy while
    // that list grows), with room to spare.
    static constexpr std::size_t ViewBytesPerRow = 32;
    void MakeRoom(std::size_t count);

    const qnVelTorDataAttribute *attributes; // not owned
    const qnVelTor::GridAttr *cellAttrs; // not owned
    RowArena arena; // declared before the rows that point into it
    std::vector<ReportRow> rows;
    CommitCell commitCell;
};
