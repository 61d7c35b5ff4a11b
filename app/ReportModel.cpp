#include "ReportModel.h"

#include "CellText.h"
#include "CellTyping.h"
#include "ReportDocument.h"
#include "ReportNotes.h"
#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

ReportModel::ReportModel(ReportDocument *document, QObject *parent)
    : QAbstractTableModel(parent), document(document)
{
    ConnectDocument();
}

void ReportModel::ConnectDocument()
{
    connect(&document->Content(), &ReportContent::linesAboutToBeInserted, this, [this](int first, int count) {
        // Appended lines are empty: whether they come before or after the
        // empty new-line row looks the same, but a row being typed into
        // must stay where it is.
        const bool appending = first == document->LineCount();
        const int at = appending ? first + 1 : first;
        beginInsertRows(QModelIndex(), at, at + count - 1);
    });
    connect(&document->Content(), &ReportContent::linesInserted, this, [this] { endInsertRows(); });
    connect(&document->Content(), &ReportContent::linesAboutToBeRemoved, this, [this](int first, int count) {
        beginRemoveRows(QModelIndex(), first, first + count - 1);
    });
    connect(&document->Content(), &ReportContent::linesRemoved, this, [this] { endRemoveRows(); });
    connect(&document->Content(), &ReportContent::lineAboutToBeMoved, this, [this](int from, int to) {
        // beginMoveRows takes the row the moved one is put before.
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
    });
    connect(&document->Content(), &ReportContent::lineMoved, this, [this] { endMoveRows(); });
    // A sort: the views keep their places, which now show other lines.
    connect(&document->Content(), &ReportContent::linesAboutToBeReordered, this,
            [this] { emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint); });
    connect(&document->Content(), &ReportContent::linesReordered, this,
            [this] { emit layoutChanged({}, QAbstractItemModel::VerticalSortHint); });
    connect(&document->Content(), &ReportContent::aboutToBeReset, this, [this] { beginResetModel(); });
    connect(&document->Content(), &ReportContent::reset, this, [this] { endResetModel(); });
    connect(&document->Content(), &ReportContent::cellsChanged, this, [this](int first, int last) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    });
    connect(&document->Content(), &ReportContent::verdictsChanged, this, [this](int first, int last) {
        emit dataChanged(index(first, 0), index(last, columnCount() - 1), {Qt::ToolTipRole, Qt::StatusTipRole});
    });
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : document->LineCount() + 1;
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FieldCount);
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole: {
        const std::string_view cell = document->Cell(index.row(), index.column());
        // The ellipsis says that more follows, also in a wide column.
        return CellText::IsLong(cell) ? CellText::Shown(cell) + QChar(0x2026) : CellText::Shown(cell);
    }
    case Qt::EditRole:
        return CellText::Shown(document->Cell(index.row(), index.column()));
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
    const auto *field = document->Attributes().At(static_cast<unsigned>(section));
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
    if (document->Typing().Commit(index.row(), index.column(), value.toString()) != EditResult::Done) {
        emit editFailed();
        return false;
    }
    return true;
}

QString ReportModel::Hint(int row, int column) const
{
    // The row handle tells a note on the line as a whole.
    if (column == -1 && notes && notes->Enabled()) {
        const NoteKind kind = notes->At(row, qnVelTorDataNotes::WholeLine);
        return kind == NoteKind::None ? QString() : tr("注意：") + ShiftJis::ToText(qnVelTorDataNotes::Message(kind));
    }
    if (column < 0 || column >= int(FieldCount))
        return {};
    const qnVelTor::GridAttr &attrs = document->Verdicts();
    QString hint;
    if (row >= 0 && attrs.IsError(unsigned(row), unsigned(column))) {
        hint = ShiftJis::ToText(attrs.GetErrorMessage(unsigned(row), unsigned(column)));
    } else {
        const auto *attribute = document->Attributes().At(unsigned(column));
        hint = attribute ? ShiftJis::ToText(attribute->hint) : QString();
        const NoteKind kind = notes && notes->Enabled() ? notes->At(row, std::uint32_t(column)) : NoteKind::None;
        if (kind != NoteKind::None)
            hint += QChar(0x3000) + tr("注意：") + ShiftJis::ToText(qnVelTorDataNotes::Message(kind));
    }
    const QString note = LongNote(row, column);
    if (!note.isEmpty())
        hint = hint.isEmpty() ? note : hint + QChar(0x3000) + note; // an ideographic space between
    return hint;
}

QString ReportModel::LongNote(int row, int column) const
{
    return CellText::LongNote(document->Cell(row, column));
}
