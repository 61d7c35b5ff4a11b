#include "ReportModel.h"

#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorGridAttr.h"

#include <QLocale>

#include <algorithm>

ReportModel::ReportModel(const qnVelTorDataAttribute *attributes, const qnVelTor::GridAttr *cellAttrs,
                         QObject *parent)
    : QAbstractTableModel(parent), attributes(attributes), cellAttrs(cellAttrs), rows(1)
{
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ReportRow::CellCount);
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const std::string_view cell = Cell(index.row(), index.column());
        // The ellipsis says that more follows, also in a wide column.
        return IsLongCell(cell) ? CellText(cell) + QChar(0x2026) : CellText(cell);
    }
    case Qt::EditRole:
        return CellText(Cell(index.row(), index.column()));
    case Qt::ToolTipRole:
    case Qt::StatusTipRole:
        return Hint(index.row(), index.column());
    default:
        return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        // The row handle shows no text.
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    const auto *field = attributes->At(static_cast<unsigned>(section));
    if (!field)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return ShiftJis::ToText(field->name);
    case Qt::ToolTipRole:
    case Qt::StatusTipRole:
        return ShiftJis::ToText(field->hint);
    default:
        return {};
    }
}

Qt::ItemFlags ReportModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool ReportModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const QString text = value.toString();
    if (EditLeavesCell(Cell(index.row(), index.column()), text))
        return true;
    if (commitCell)
        commitCell(index.row(), index.column(), TextToCell(text));
    else
        SetCell(index.row(), index.column(), TextToCell(text));
    return true;
}

std::string ReportModel::TextToCell(const QString &text)
{
    QString storable = text;
    storable.remove(QChar::ReplacementCharacter);
    // The file format cannot carry these inside a value.
    for (char16_t control : {u'\t', u'\r', u'\n', char16_t(0x1A)})
        storable.remove(QChar(control));
    // Text that came through the editor holds only storable characters;
    // anything else is dropped, never stored as a substitute.
    return ShiftJis::FromTextReplacing(storable, {});
}

QString ReportModel::CellText(std::string_view bytes)
{
    if (!IsLongCell(bytes))
        return ShiftJis::ToText(bytes);
    // Walk whole characters so that the cut never splits a double-byte one.
    std::size_t end = 0;
    while (end < ShownCellBytes) {
        const bool pair = end + 1 < bytes.size() && ShiftJis::IsLeadByte(static_cast<unsigned char>(bytes[end]))
                && ShiftJis::IsTrailByte(static_cast<unsigned char>(bytes[end + 1]));
        const std::size_t next = end + (pair ? 2 : 1);
        if (next > ShownCellBytes)
            break;
        end = next;
    }
    return ShiftJis::ToText(bytes.substr(0, end));
}

bool ReportModel::EditLeavesCell(std::string_view bytes, const QString &text)
{
    const QString shown = CellText(bytes);
    if (text == shown)
        return true;
    // The editor hands back its text without trailing spaces; for a long
    // cell that alone must not count as an edit, which would keep only the
    // start of the cell.
    if (!IsLongCell(bytes))
        return false;
    qsizetype end = shown.size();
    while (end > 0 && shown.at(end - 1) == u' ')
        --end;
    return text.size() == end && QStringView(shown).left(end) == text;
}

QString ReportModel::LongCellNote(std::string_view bytes)
{
    if (!IsLongCell(bytes))
        return {};
    return QStringLiteral("このセルは%1バイトあります。先頭の%2バイトまでを表示しています。")
            .arg(QLocale(QLocale::Japanese).toString(qulonglong(bytes.size())))
            .arg(ShownCellBytes);
}

std::string_view ReportModel::Cell(int row, int field) const
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return {};
    return rows[std::size_t(row)].Cell(static_cast<unsigned>(field));
}

bool ReportModel::SetCell(int row, int field, std::string_view text)
{
    if (row < 0 || std::size_t(row) >= rows.size() || field < 0 || field >= int(ReportRow::CellCount))
        return false;
    ReportRow &target = rows[std::size_t(row)];
    if (target.Cell(unsigned(field)) == text)
        return false;
    target.SetCell(unsigned(field), text);
    const QModelIndex changed = index(row, field);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

std::vector<std::string> ReportModel::RowCells(int row) const
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return std::vector<std::string>(ReportRow::CellCount);
    std::string_view views[ReportRow::CellCount];
    rows[std::size_t(row)].Cells(views);
    return std::vector<std::string>(std::begin(views), std::end(views));
}

void ReportModel::SetRowCells(int row, const std::vector<std::string> &cells)
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return;
    rows[std::size_t(row)] = ReportRow::FromCells(cells);
    emit dataChanged(index(row, 0), index(row, int(ReportRow::CellCount) - 1));
}

QString ReportModel::Hint(int row, int field) const
{
    if (field < 0 || field >= int(ReportRow::CellCount))
        return {};
    QString hint;
    if (cellAttrs && row >= 0 && cellAttrs->IsError(unsigned(row), unsigned(field))) {
        hint = ShiftJis::ToText(cellAttrs->GetErrorMessage(unsigned(row), unsigned(field)));
    } else {
        const auto *attribute = attributes->At(unsigned(field));
        hint = attribute ? ShiftJis::ToText(attribute->hint) : QString();
    }
    const QString note = LongCellNote(Cell(row, field));
    if (!note.isEmpty())
        hint = hint.isEmpty() ? note : hint + QStringLiteral("　") + note;
    return hint;
}

void ReportModel::ResetRows(std::vector<ReportRow> &&lines, RowArena &&lineArena)
{
    beginResetModel();
    rows = std::move(lines);
    rows.emplace_back();
    arena = std::move(lineArena);
    endResetModel();
}

void ReportModel::Clear()
{
    beginResetModel();
    std::vector<ReportRow>(1).swap(rows);
    arena = RowArena();
    endResetModel();
}

void ReportModel::AppendEmptyRow()
{
    InsertEmptyRow(int(rows.size()));
}

void ReportModel::MakeRoom(std::size_t count)
{
    // Running out of memory between begin and end would leave the views
    // with rows the model does not have, and Qt's views do not survive an
    // allocation that fails inside them: their own per-row lists grow with
    // the model. So the rows' room is taken, and as much memory as the
    // views may then need is asked for and given back, before anyone is
    // told rows are coming; a report that cannot grow fails here, where the
    // command can say so.
    const std::size_t total = rows.size() + count;
    if (rows.capacity() < total)
        rows.reserve(std::max(total, rows.size() * 2));
    // Called as a function, not as a new-expression, which the compiler
    // may leave out.
    ::operator delete(::operator new(total * ViewBytesPerRow));
}

void ReportModel::InsertEmptyRow(int row)
{
    if (row < 0 || std::size_t(row) > rows.size())
        return;
    MakeRoom(1);
    beginInsertRows(QModelIndex(), row, row);
    rows.emplace(rows.begin() + row);
    endInsertRows();
}

void ReportModel::RemoveRow(int row)
{
    // The new-line row is never removed: the grid always has one.
    if (row < 0 || std::size_t(row) + 1 >= rows.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    rows.erase(rows.begin() + row);
    endRemoveRows();
}

void ReportModel::InsertRow(int row, ReportRow &&line)
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return;
    MakeRoom(1);
    beginInsertRows(QModelIndex(), row, row);
    rows.insert(rows.begin() + row, std::move(line));
    endInsertRows();
}

void ReportModel::ReplaceRow(int row, ReportRow &&line)
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return;
    rows[std::size_t(row)] = std::move(line);
    emit dataChanged(index(row, 0), index(row, int(ReportRow::CellCount) - 1));
}

void ReportModel::AppendEmptyLines(int count)
{
    if (count <= 0)
        return;
    MakeRoom(std::size_t(count));
    const int first = int(rows.size()) - 1;
    beginInsertRows(QModelIndex(), first, first + count - 1);
    rows.insert(rows.end() - 1, std::size_t(count), ReportRow());
    endInsertRows();
}

void ReportModel::RemoveLastLines(int count)
{
    const int lines = int(rows.size()) - 1;
    count = std::min(count, lines);
    if (count <= 0)
        return;
    beginRemoveRows(QModelIndex(), lines - count, lines - 1);
    rows.erase(rows.end() - 1 - count, rows.end() - 1);
    endRemoveRows();
}

bool ReportModel::MoveRow(int from, int to)
{
    const int count = int(rows.size());
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return false;
    // beginMoveRows takes the row the moved one is put before.
    if (!beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to))
        return false;
    ReportRow moved = std::move(rows[std::size_t(from)]);
    rows.erase(rows.begin() + from);
    rows.insert(rows.begin() + to, std::move(moved));
    endMoveRows();
    return true;
}

void ReportModel::RowDecorationChanged(int row)
{
    if (row < 0 || std::size_t(row) >= rows.size())
        return;
    emit dataChanged(index(row, 0), index(row, int(ReportRow::CellCount) - 1),
                     {Qt::ToolTipRole, Qt::StatusTipRole});
}
