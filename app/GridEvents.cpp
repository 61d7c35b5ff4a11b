// The grid's behaviour as an editor: what is typed goes to the document as
// it is typed, the marks are drawn over the cells, hints follow the mouse
// and lines are dragged.

#include "qnVelTorForm.h"

#include "Messages.h"
#include "ReportModel.h"
#include "VelTorGridView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace {

const QColor CurrentRowColor(0, 0, 255);
const QColor NewLineRowColor(0, 128, 0);
const QColor ErrorFrameColor(255, 0, 0);

} // namespace

void TVelTorForm::VelTorGridSetEditText(int col, int row, const QString &text)
{
    document.TypeCell(GridRowToRecord(row), GridColToField(col), text);
}

void TVelTorForm::VelTorGridDrawCell(QPainter *painter, const QRect &rect, int col, int row) const
{
    painter->save();
    if (row == CurrentRow()) {
        painter->setPen(row == GridRowCount() - 1 ? NewLineRowColor : CurrentRowColor);
        painter->drawLine(rect.topLeft(), rect.topRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    if (CellAttrs().IsError(unsigned(GridRowToRecord(row)), unsigned(GridColToField(col)))) {
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
    if (source == ui.VelTorGrid->viewport()) {
        const QModelIndex index = ui.VelTorGrid->indexAt(pos);
        if (index.isValid()) {
            col = FieldToGridCol(index.column());
            row = RecordToGridRow(index.row());
        }
    } else if (source == ui.VelTorGrid->horizontalHeader()) {
        const int section = ui.VelTorGrid->horizontalHeader()->logicalIndexAt(pos);
        if (section >= 0) {
            col = FieldToGridCol(section);
            row = 0;
        }
    } else if (source == ui.VelTorGrid->verticalHeader()) {
        const int section = ui.VelTorGrid->verticalHeader()->logicalIndexAt(pos);
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
    return int(document.Attributes().MaxLength(unsigned(GridColToField(col))));
}

void TVelTorForm::VelTorGridSelectCell()
{
    // The current-row lines move with the current cell.
    ui.VelTorGrid->viewport()->update();
    ui.VelTorGrid->verticalHeader()->viewport()->update();
    UpdateLineActions();
}

bool TVelTorForm::VelTorGridKeyDown(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ControlModifier)) {
        ui.SyoudakuBangou->setFocus(Qt::TabFocusReason);
        return true;
    }
    // The view would copy the current cell alone; with no cell editor open
    // these keys work on the selected block.
    if (!ui.VelTorGrid->Editor()) {
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
        // As in a spreadsheet: the next line's cell, or with Shift the one above.
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            MoveCurrentLine(modifiers == Qt::ShiftModifier ? -1 : 1);
            return true;
        }
    }
    return false;
}

void TVelTorForm::VelTorGridRowMoved(int from, int to)
{
    // Text still in a cell editor may add a line; count after it.
    ui.VelTorGrid->CommitEditor();
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
    if (!document.MoveLine(GridRowToRecord(from), GridRowToRecord(to))) {
        ShowError(Messages::OutOfMemoryEdit());
        return;
    }
    SetCurrentCell(col, to);
}
