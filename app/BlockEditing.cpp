// Blocks of cells: the selected rectangle is copied, cut or cleared, and
// plain text from the clipboard (as spreadsheets put it there: TAB between
// cells, a line break between lines) is pasted from the current cell to the
// right and down. Each is one step that can be undone.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "UndoCommands.h"
#include "VelTorGridView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QStatusBar>
#include <QUndoStack>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace {

const QString NoMemory = QStringLiteral("メモリが足りないため、実行できませんでした。報告は元のままです。");

// The text's lines: CR LF, a lone CR and a lone LF all end one, and a break
// at the very end starts no further line.
QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

} // namespace

bool TVelTorForm::GridTakesBlocks() const
{
    return VelTorGrid->hasFocus() && !VelTorGrid->Editor();
}

bool TVelTorForm::SelectedBlock(int &top, int &left, int &bottom, int &right) const
{
    const QItemSelection selection = VelTorGrid->selectionModel()->selection();
    if (selection.isEmpty()) {
        const QModelIndex current = VelTorGrid->currentIndex();
        if (!current.isValid())
            return false;
        top = bottom = current.row();
        left = right = current.column();
        return true;
    }
    top = left = INT_MAX;
    bottom = right = -1;
    for (const QItemSelectionRange &range : selection) {
        top = std::min(top, range.top());
        left = std::min(left, range.left());
        bottom = std::max(bottom, range.bottom());
        right = std::max(right, range.right());
    }
    return bottom >= 0;
}

void TVelTorForm::BlockCopy()
{
    int top, left, bottom, right;
    if (!SelectedBlock(top, left, bottom, right))
        return;
    try {
        QString text;
        for (int record = top; record <= bottom; ++record) {
            if (record > top)
                text += QStringLiteral("\r\n");
            std::string_view cells[ReportRow::CellCount];
            Model->Row(record).Cells(cells);
            for (int field = left; field <= right; ++field) {
                if (field > left)
                    text += u'\t';
                text += ShiftJis::ToText(cells[field]);
            }
        }
        QGuiApplication::clipboard()->setText(text);
    } catch (const std::bad_alloc &) {
        statusBar()->showMessage(NoMemory);
        return;
    }
    statusBar()->showMessage(QStringLiteral("%1行×%2列をコピーしました。").arg(bottom - top + 1).arg(right - left + 1));
}

void TVelTorForm::BlockCut()
{
    int top, left, bottom, right;
    if (!SelectedBlock(top, left, bottom, right))
        return;
    // Cells that did not reach the clipboard must not be cleared.
    BlockCopy();
    if (statusBar()->currentMessage() == NoMemory)
        return;
    BlockClear();
}

void TVelTorForm::BlockClear()
{
    int top, left, bottom, right;
    if (!SelectedBlock(top, left, bottom, right))
        return;
    const int lines = Model->rowCount() - 1;
    try {
        std::vector<CellsCommand::LineChange> changes;
        const std::string_view cleared[ReportRow::CellCount];
        for (int record = top; record <= std::min(bottom, lines - 1); ++record) {
            std::string_view cells[ReportRow::CellCount];
            Model->Row(record).Cells(cells);
            std::uint32_t fields = 0;
            for (int field = left; field <= right; ++field) {
                if (!cells[field].empty())
                    fields |= 1u << field;
            }
            if (fields)
                changes.push_back(CellsCommand::MakeLine(record, fields, cells, cleared));
        }
        if (changes.empty())
            return;
        auto step = std::make_unique<CellsCommand>(*Edits, QStringLiteral("クリア"), std::move(changes), lines, 0);
        // The stack owns the step only once its first redo went through.
        UndoStack->push(step.get());
        step.release();
    } catch (const std::bad_alloc &) {
        statusBar()->showMessage(NoMemory);
    }
}

void TVelTorForm::BlockPaste()
{
    const int startRecord = GridRowToRecord(CurrentRow());
    const int startField = GridColToField(CurrentCol());
    const int lines = Model->rowCount() - 1;
    int pasted = 0;
    int invalid = 0;
    int refused = 0;
    int outside = 0;
    int lastRecord = -1;
    int lastField = startField;
    try {
        const QString text = QGuiApplication::clipboard()->text();
        if (text.isEmpty())
            return;
        const QList<QStringView> rows = splitLines(text);
        std::vector<CellsCommand::LineChange> changes;
        int linesAdded = 0;
        std::string message;
        std::string values[ReportRow::CellCount];
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const int record = startRecord + int(i);
            std::string_view before[ReportRow::CellCount];
            if (record < lines)
                Model->Row(record).Cells(before);
            std::string_view after[ReportRow::CellCount];
            std::uint32_t fields = 0;
            const QList<QStringView> texts = rows[i].split(u'\t');
            for (qsizetype j = 0; j < texts.size(); ++j) {
                const int field = startField + int(j);
                if (field >= int(FieldCount)) {
                    // Past the last field: the row-handle column and
                    // beyond belong to no field.
                    outside += int(texts.size() - j);
                    break;
                }
                QString value = texts[j].toString();
                value.remove(QChar(0x1A)); // the file format cannot carry it
                std::optional<std::string> bytes = ShiftJis::FromText(ShiftJis::MapLookAlikes(value));
                if (!bytes) {
                    ++refused;
                    continue;
                }
                ++pasted;
                message.clear();
                if (!Attributes.Validate(unsigned(field), *bytes, message))
                    ++invalid;
                if (before[field] == *bytes)
                    continue;
                values[field] = std::move(*bytes);
                after[field] = values[field];
                fields |= 1u << field;
                lastField = std::max(lastField, field);
            }
            if (!fields)
                continue;
            changes.push_back(CellsCommand::MakeLine(record, fields, before, after));
            linesAdded = std::max(linesAdded, record + 1 - lines);
            lastRecord = record;
        }
        if (!changes.empty()) {
            auto step = std::make_unique<CellsCommand>(*Edits, QStringLiteral("貼り付け"), std::move(changes), lines,
                                                       linesAdded);
            UndoStack->push(step.get());
            step.release();
            const QModelIndex first = Model->index(startRecord, startField);
            const QModelIndex last = Model->index(lastRecord, lastField);
            VelTorGrid->selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::ClearAndSelect);
            VelTorGrid->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        }
    } catch (const std::bad_alloc &) {
        statusBar()->showMessage(NoMemory);
        return;
    }
    QString status = QStringLiteral("%1個のセルを貼り付けました（エラー%2個、Shift_JISで表せない文字のため拒否%3個）。")
                             .arg(pasted)
                             .arg(invalid)
                             .arg(refused);
    if (outside > 0)
        status += QStringLiteral("最後の項目より右の%1個は捨てました。").arg(outside);
    statusBar()->showMessage(status);
}
