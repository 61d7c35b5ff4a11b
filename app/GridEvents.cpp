// The grid's behaviour as an editor: cells checked as they are typed, the
// marks drawn over the cells, hints under the mouse, dragged lines.

#include "qnVelTorForm.h"

#include "CellDelegate.h"
#include "ReportModel.h"
#include "ShiftJis.h"
#include "UndoCommands.h"
#include "VelTorGridView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QUndoStack>

namespace {

const QColor CurrentRowColor(0, 0, 255);
const QColor NewLineRowColor(0, 128, 0);
const QColor ErrorFrameColor(255, 0, 0);

} // namespace

void TVelTorForm::VelTorGridSetEditText(int col, int row, const QString &text)
{
    const int record = GridRowToRecord(row);
    const int field = GridColToField(col);
    const std::string_view stored = Model->Cell(record, field);
    // Any change counts, also one to an empty text; a cell left as it was
    // does not, and keeps its exact bytes.
    const bool unchanged = ReportModel::EditLeavesCell(stored, text);
    const std::string bytes = unchanged ? std::string(stored) : ReportModel::TextToCell(text);
    if (record != editRecord || field != editField) {
        // The first report of an edit: a give-up restores what was before.
        editRecord = record;
        editField = field;
        modifiedBeforeEdit = Modified;
        stackIndexAtEdit = UndoStack->index();
    }
    if (!unchanged) {
        Modified = true;
        setWindowModified(true);
    }
    if (!text.isEmpty() && row + 1 >= GridRowCount()) {
        Model->AppendEmptyRow();
        CellAttrs.AddRow();
        typedLine = record;
    }

    ValidateCell(CellAttrs, unsigned(record), unsigned(field), bytes);
    Model->RowDecorationChanged(record);
    UpdateErrorCount();
    VelTorGrid->viewport()->update();
}

void TVelTorForm::ValidateCell(qnVelTor::GridAttr &attrs, unsigned record, unsigned field,
                               std::string_view value) const
{
    std::string message;
    const bool valid = Attributes.Validate(field, value, message);
    attrs.SetError(record, field, !valid);
    attrs.SetErrorMessage(record, field, std::move(message));
}

void TVelTorForm::VelTorGridDrawCell(QPainter *painter, const QRect &rect, int col, int row) const
{
    painter->save();
    if (row == CurrentRow()) {
        painter->setPen(row == GridRowCount() - 1 ? NewLineRowColor : CurrentRowColor);
        painter->drawLine(rect.topLeft(), rect.topRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    if (CellAttrs.IsError(unsigned(GridRowToRecord(row)), unsigned(GridColToField(col)))) {
        painter->setPen(ErrorFrameColor);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

void TVelTorForm::VelTorGridMouseMove(QWidget *source, const QPoint &pos)
{
    int col = -1;
    int row = -1;
    if (source == VelTorGrid->viewport()) {
        const QModelIndex index = VelTorGrid->indexAt(pos);
        if (index.isValid()) {
            col = FieldToGridCol(index.column());
            row = RecordToGridRow(index.row());
        }
    } else if (source == VelTorGrid->horizontalHeader()) {
        const int section = VelTorGrid->horizontalHeader()->logicalIndexAt(pos);
        if (section >= 0) {
            col = FieldToGridCol(section);
            row = 0;
        }
    } else if (source == VelTorGrid->verticalHeader()) {
        const int section = VelTorGrid->verticalHeader()->logicalIndexAt(pos);
        if (section >= 0) {
            col = 0;
            row = RecordToGridRow(section);
        }
    }
    if (col < 0 || row < 0)
        return;

    const QString hint = Model->Hint(GridRowToRecord(row), GridColToField(col));
    if (hint == gridHint)
        return;
    gridHint = hint;
    ShowHint(source, source->mapToGlobal(pos), hint);
}

int TVelTorForm::VelTorGridGetEditMask(int col) const
{
    return int(Attributes.MaxLength(unsigned(GridColToField(col))));
}

void TVelTorForm::VelTorGridSelectCell()
{
    // The current-row lines move with the current cell.
    VelTorGrid->viewport()->update();
    VelTorGrid->verticalHeader()->viewport()->update();
    UpdateLineActions();
}

bool TVelTorForm::VelTorGridKeyDown(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ControlModifier)) {
        SyoudakuBangou->setFocus(Qt::TabFocusReason);
        return true;
    }
    // The view would copy the current cell alone; with no cell editor open
    // these keys work on the selected block.
    if (!VelTorGrid->Editor()) {
        if (event->matches(QKeySequence::Copy)) {
            BlockCopy();
            return true;
        }
        if (event->matches(QKeySequence::Cut)) {
            BlockCut();
            return true;
        }
        if (event->matches(QKeySequence::Paste)) {
            BlockPaste();
            return true;
        }
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
            BlockClear();
            return true;
        }
    }
    return false;
}

void TVelTorForm::VelTorGridRowMoved(int from, int to)
{
    // Text still in a cell editor may add the new-line row; count after it.
    VelTorGrid->CommitEditor();
    const int lastRow = GridRowCount() - 1;
    // The empty new-line row stays last, and a line dropped onto it becomes
    // the report's last line: no line is lost and no empty line is made.
    if (from == lastRow)
        return;
    if (to == lastRow)
        to = lastRow - 1;
    if (from == to || from < FixedRows || to < FixedRows)
        return;
    const int col = CurrentCol();
    UndoStack->push(new MoveLineCommand(*Edits, GridRowToRecord(from), GridRowToRecord(to), GridColToField(col)));
    SetCurrentCell(col, to);
    VelTorGrid->viewport()->update();
}
