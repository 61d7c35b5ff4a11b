// Whole-line commands on the grid's current row: insert, delete, and cut,
// copy and paste through the line clipboard; and the enabled state of the
// line and the text actions.
//
// The model moves its rows in one step; a report can hold a million lines,
// so no command walks the rows below the current one. The verdicts of the
// matrix move with their lines, so that a red frame never lands on a line
// that was not checked and the matrix keeps one row per report line.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "UndoCommands.h"
#include "VelTorGridView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>
#include <QUndoStack>

#include <memory>
#include <new>
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

bool TVelTorForm::PutCurrentLine()
{
    std::vector<std::string> cells = Model->RowCells(GridRowToRecord(CurrentRow()));
    cells.insert(cells.begin(), std::string()); // the row handle's cell
    return lineClipboard->PutRecord(cells);
}

void TVelTorForm::EditInsertLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true))
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    const int record = GridRowToRecord(row);
    // On the empty last row the record equals the matrix's row count, where
    // inserting appends: the former new-line row becomes a report line.
    UndoStack->push(new InsertLineCommand(*Edits, QStringLiteral("1行挿入"), record, GridColToField(col), ReportRow()));
    SetCurrentCell(col, row);
    UpdateLineActions();
}

void TVelTorForm::EditDeleteLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    const int record = GridRowToRecord(row);
    const bool cut = sender() == EditCutLine;
    UndoStack->push(new RemoveLineCommand(*Edits, cut ? QStringLiteral("1行切り取り") : QStringLiteral("1行削除"), record,
                                          GridColToField(col)));
    // The same row index now shows the line that followed, or the empty
    // last row when the last line went.
    SetCurrentCell(col, row);
    UpdateLineActions();
}

void TVelTorForm::EditCutLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    // A line that did not reach the clipboard would be gone for good.
    if (!PutCurrentLine()) {
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられなかったため、行は切り取りませんでした。"));
        return;
    }
    EditDeleteLineExecute();
}

void TVelTorForm::EditCopyLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    if (!PutCurrentLine())
        statusBar()->showMessage(QStringLiteral("クリップボードに入れられませんでした。"));
    UpdateLineActions();
}

void TVelTorForm::EditPasteLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true) || !lineClipboard->HasRecord())
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    const int record = GridRowToRecord(row);
    try {
        // Read first: a clipboard that fails now leaves no empty line behind.
        std::vector<std::string> cells;
        if (!lineClipboard->GetRecord(cells))
            return;
        // Cell 0 is the row handle's and belongs to no field; foreign data may
        // put text there, which is dropped.
        std::vector<std::string> fields(FieldCount);
        for (unsigned f = 0; f < FieldCount && f + 1 < cells.size(); ++f)
            fields[f] = std::move(cells[f + 1]);

        // A pasted line may come from another program or an older file: its
        // invalid cells are framed at once, as after a load.
        auto step = std::make_unique<InsertLineCommand>(*Edits, QStringLiteral("1行貼り付け"), record,
                                                        GridColToField(col), ReportRow::FromCells(fields));
        // The stack owns the step only once its first redo went through.
        UndoStack->push(step.get());
        step.release();
    } catch (const std::bad_alloc &) {
        // Another program may offer a line of any size; the step takes back
        // whatever of it got in, so the report stays as it was.
        SetCurrentCell(col, row);
        ShowError(OutOfMemoryPasteMessage());
        return;
    }
    SetCurrentCell(col, row);
    UpdateLineActions();
}

void TVelTorForm::EditInsertLineUpdate()
{
    EditInsertLine->setEnabled(LineCommandAllowed(true));
}

void TVelTorForm::EditDeleteLineUpdate()
{
    EditDeleteLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCutLineUpdate()
{
    EditCutLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditCopyLineUpdate()
{
    EditCopyLine->setEnabled(LineCommandAllowed(false));
}

void TVelTorForm::EditPasteLineUpdate()
{
    EditPasteLine->setEnabled(LineCommandAllowed(true) && lineClipboard->HasRecord());
}

void TVelTorForm::UpdateLineActions()
{
    EditInsertLineUpdate();
    EditDeleteLineUpdate();
    EditCutLineUpdate();
    EditCopyLineUpdate();
    EditPasteLineUpdate();
}

void TVelTorForm::UpdateTextActions()
{
    // The header boxes, the search box and the grid's cell editor are all
    // line edits; nothing else takes text.
    const auto *edit = qobject_cast<const QLineEdit *>(QApplication::focusWidget());
    // The grid itself takes blocks of cells: there is always a current cell.
    const bool block = !edit && GridTakesBlocks();
    const bool selected = block || (edit && edit->hasSelectedText());
    EditCut1->setEnabled(selected);
    EditCopy1->setEnabled(selected);
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    EditPaste1->setEnabled((block || (edit && !edit->isReadOnly())) && mime && mime->hasText());
}
