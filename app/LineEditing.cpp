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
#include "VelTorGridView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>

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
    return LineClipboard.PutRecord(cells);
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
    CellAttrs.InsertRow(unsigned(record));
    Model->InsertEmptyRow(record);
    Modified = true;
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
    CellAttrs.RemoveRow(unsigned(record));
    Model->RemoveRow(record);
    Modified = true;
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
    if (!PutCurrentLine())
        return;
    EditDeleteLineExecute();
}

void TVelTorForm::EditCopyLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    PutCurrentLine();
    UpdateLineActions();
}

void TVelTorForm::EditPasteLineExecute()
{
    VelTorGrid->CommitEditor();
    if (!LineCommandAllowed(true) || !LineClipboard.HasRecord())
        return;
    const int col = CurrentCol();
    const int row = CurrentRow();
    const int record = GridRowToRecord(row);
    const int modelRows = Model->rowCount();
    const unsigned attrRows = CellAttrs.RowCount();
    try {
        // Read first: a clipboard that fails now leaves no empty line behind.
        std::vector<std::string> cells;
        if (!LineClipboard.GetRecord(cells))
            return;
        // Cell 0 is the row handle's and belongs to no field; foreign data may
        // put text there, which is dropped.
        std::vector<std::string> fields(FieldCount);
        for (unsigned f = 0; f < FieldCount && f + 1 < cells.size(); ++f)
            fields[f] = std::move(cells[f + 1]);

        CellAttrs.InsertRow(unsigned(record));
        Model->InsertEmptyRow(record);
        Model->SetRowCells(record, fields);
        // A pasted line may come from another program or an older file: its
        // invalid cells are framed at once, as after a load.
        ValidateRecord(record);
    } catch (const std::bad_alloc &) {
        // Another program may offer a line of any size. Whatever of it got
        // in goes again, so the report stays as it was.
        if (Model->rowCount() > modelRows)
            Model->RemoveRow(record);
        if (CellAttrs.RowCount() > attrRows)
            CellAttrs.RemoveRow(unsigned(record));
        SetCurrentCell(col, row);
        ShowError(OutOfMemoryPasteMessage());
        return;
    }
    Modified = true;
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
    EditPasteLine->setEnabled(LineCommandAllowed(true) && LineClipboard.HasRecord());
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
    const bool selected = edit && edit->hasSelectedText();
    EditCut1->setEnabled(selected);
    EditCopy1->setEnabled(selected);
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    EditPaste1->setEnabled(edit && !edit->isReadOnly() && mime && mime->hasText());
}
