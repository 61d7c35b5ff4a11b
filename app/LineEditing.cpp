// Whole lines on the grid's current row (insert, delete, and cut, copy and
// paste through the line clipboard), blocks of cells through the plain-text
// clipboard, and the enabled state of the line and the text actions.

#include "qnVelTorForm.h"

#include "LoadProgress.h"
#include "Messages.h"
#include "ReportModel.h"
#include "VelTorGridView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>

#include <algorithm>
#include <string>
#include <vector>

bool TVelTorForm::LineCommandAllowed(bool emptyLastRowAllowed) const
{
    const int rowCount = GridRowCount();
    const int row = CurrentRow();
    if (rowCount < 1 || row < FixedRows)
        return false;
    return row < (emptyLastRowAllowed ? rowCount : rowCount - 1);
}

bool TVelTorForm::CommandLines(bool newLineRow, int &first, int &count) const
{
    const int current = GridRowToRecord(CurrentRow());
    int top = 0, left = 0, bottom = 0, right = 0;
    first = current;
    int last = current;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && bottom > top && current >= top && current <= bottom) {
        first = top;
        last = bottom;
    }
    last = std::min(last, newLineRow ? document.LineCount() : document.LineCount() - 1);
    count = last - first + 1;
    return first >= 0 && count > 0;
}

bool TVelTorForm::PutCurrentLine()
{
    std::vector<std::string> cells = document.LineCells(GridRowToRecord(CurrentRow()));
    cells.insert(cells.begin(), std::string()); // the row handle's cell
    return activeLineClipboard->PutRecord(cells);
}

void TVelTorForm::EditInsertLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true))
        return;
    const int col = CurrentCol();
    int first = 0;
    int count = 0;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!CommandLines(true, first, count) || !ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    // On the empty last row the new line is appended: the former new-line
    // row becomes a report line. As many lines as are selected.
    if (!document.InsertLines(first, count))
        ShowError(Messages::OutOfMemoryEdit());
    SetCurrentCell(col, RecordToGridRow(first));
    if (count > 1) {
        ui.VelTorGrid->selectionModel()->select(
                QItemSelection(Model->index(first, left), Model->index(first + count - 1, right)),
                QItemSelectionModel::ClearAndSelect);
    }
    UpdateLineActions();
}

void TVelTorForm::EditDeleteLineExecute()
{
    RemoveCommandLines(sender() == ui.EditCutLine ? ReportDocument::LineStep::Cut : ReportDocument::LineStep::Delete);
}

void TVelTorForm::RemoveCommandLines(ReportDocument::LineStep step)
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    const int col = CurrentCol();
    // A cut takes the one line the line clipboard holds; a delete takes
    // every selected line.
    int first = GridRowToRecord(CurrentRow());
    int count = 1;
    if (step == ReportDocument::LineStep::Delete && !CommandLines(false, first, count))
        return;
    if (!document.RemoveLines(first, count, step))
        ShowError(Messages::OutOfMemoryEdit());
    // The same row index now shows the line that followed, or the empty
    // last row when the last line went.
    SetCurrentCell(col, RecordToGridRow(first));
    UpdateLineActions();
}

void TVelTorForm::EditCutLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    // A line that did not reach the clipboard would be gone for good.
    if (!PutCurrentLine()) {
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられなかったため、行は切り取りませんでした。"));
        return;
    }
    RemoveCommandLines(ReportDocument::LineStep::Cut);
}

void TVelTorForm::EditCopyLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    if (!PutCurrentLine())
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられませんでした。"));
    UpdateLineActions();
}

void TVelTorForm::EditPasteLineExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true) || !activeLineClipboard->HasRecord())
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    bool pasted = false;
    try {
        // Read first: a clipboard that fails now leaves no empty line behind.
        std::vector<std::string> cells;
        if (!activeLineClipboard->GetRecord(cells))
            return;
        // Cell 0 is the row handle's and belongs to no field; foreign data
        // may put text there, which is dropped.
        cells.erase(cells.begin());
        // Another program may offer a line of any size; a line that does
        // not fit leaves the report as it was.
        pasted = document.InsertLine(GridRowToRecord(row), cells, ReportDocument::LineStep::Paste);
    } catch (const std::bad_alloc &) {
    }
    SetCurrentCell(col, row);
    if (!pasted) {
        ShowError(Messages::OutOfMemoryPaste());
        return;
    }
    UpdateLineActions();
}

void TVelTorForm::EditInsertLineUpdate()
{
    ui.EditInsertLine->setEnabled(LineCommandAllowed(true));
}

void TVelTorForm::EditDeleteLineUpdate()
{
    ui.EditDeleteLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCutLineUpdate()
{
    ui.EditCutLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCopyLineUpdate()
{
    ui.EditCopyLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditPasteLineUpdate()
{
    ui.EditPasteLine->setEnabled(LineCommandAllowed(true) && activeLineClipboard->HasRecord());
}

void TVelTorForm::UpdateLineActions()
{
    EditInsertLineUpdate();
    EditDeleteLineUpdate();
    EditCutLineUpdate();
    EditCopyLineUpdate();
    EditPasteLineUpdate();
    UpdateBulkActions();
}

void TVelTorForm::UpdateTextActions()
{
    // The header boxes, the search box and the grid's cell editor are all
    // line edits; nothing else takes text.
    const auto *edit = qobject_cast<const QLineEdit *>(QApplication::focusWidget());
    // The grid itself takes blocks of cells: there is always a current cell.
    const bool block = !edit && GridTakesBlocks();
    const bool selected = block || (edit && edit->hasSelectedText());
    ui.EditCut1->setEnabled(selected);
    ui.EditCopy1->setEnabled(selected);
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ui.EditPaste1->setEnabled((block || (edit && !edit->isReadOnly())) && mime && mime->hasText());
    ui.EditClearCells->setEnabled(block);
}

bool TVelTorForm::GridTakesBlocks() const
{
    return ui.VelTorGrid->hasFocus() && !ui.VelTorGrid->Editor();
}

void TVelTorForm::BlockCopy()
{
    int top, left, bottom, right;
    if (!ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    bool outOfMemory = false;
    const QString text = document.BlockText(top, left, bottom, right, &outOfMemory);
    if (outOfMemory) {
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    statusBar()->showMessage(QStringLiteral("%1行×%2列をコピーしました。").arg(bottom - top + 1).arg(right - left + 1));
}

void TVelTorForm::BlockCut()
{
    int top, left, bottom, right;
    if (!ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    // Cells that did not reach the clipboard must not be cleared.
    BlockCopy();
    if (statusBar()->currentMessage() == Messages::OutOfMemoryEdit())
        return;
    BlockClear();
}

void TVelTorForm::BlockClear()
{
    int top, left, bottom, right;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && !document.ClearBlock(top, left, bottom, right))
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
}

void TVelTorForm::BlockPaste()
{
    if (loading)
        return;
    ReportDocument::PasteResult result;
    {
        // A large block takes a while to come from another program too: the
        // half second before the progress shows counts from here.
        WaitCursor wait;
        LoadProgress progress(this, loadProgressDelay, QStringLiteral("貼り付けています…"),
                              QStringLiteral("貼り付け中"));
        const QString text = QGuiApplication::clipboard()->text();
        if (text.isEmpty())
            return;
        loading = true;
        result = document.PasteText(GridRowToRecord(CurrentRow()), GridColToField(CurrentCol()), text,
                                    [&progress](std::uint64_t done, std::uint64_t size) {
                                        return progress.Step(done, size);
                                    });
        loading = false;
    }
    if (result.cancelled) {
        statusBar()->showMessage(Messages::PasteCancelled());
        return;
    }
    if (result.outOfMemory) {
        statusBar()->showMessage(Messages::OutOfMemoryEdit());
        return;
    }
    if (result.changed) {
        const QModelIndex first = Model->index(result.top, result.left);
        ui.VelTorGrid->selectionModel()->select(QItemSelection(first, Model->index(result.bottom, result.right)),
                                             QItemSelectionModel::ClearAndSelect);
        ui.VelTorGrid->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    }
    statusBar()->showMessage(Messages::Pasted(result));
}

void TVelTorForm::PasteBlockFromEditor()
{
    // Nobody typed into the editor: closing it changes nothing.
    ui.VelTorGrid->CommitEditor();
    ui.VelTorGrid->setFocus(Qt::OtherFocusReason);
    BlockPaste();
}
