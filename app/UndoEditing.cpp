// Undo and redo: every change to the report goes through the window's
// QUndoStack, and `Modified` follows the stack's clean state.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "UndoCommands.h"
#include "VelTorGridView.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QUndoStack>

#include <new>

void TVelTorForm::ConnectUndo()
{
    Edits = std::make_unique<ReportEdits>(*Model, CellAttrs, Attributes);
    Edits->focus = [this](int record, int field) {
        SetCurrentCell(FieldToGridCol(field), RecordToGridRow(record));
        VelTorGrid->scrollTo(VelTorGrid->currentIndex());
    };
    Model->SetCommitHandler([this](int record, int field, std::string bytes) {
        CommitCellEdit(record, field, std::move(bytes));
    });
    connect(UndoStack, &QUndoStack::canUndoChanged, EditUndo, &QAction::setEnabled);
    connect(UndoStack, &QUndoStack::canRedoChanged, EditRedo, &QAction::setEnabled);
    connect(UndoStack, &QUndoStack::indexChanged, this, [this] {
        // A line added by typing belongs to a step from now on.
        typedLine = -1;
        SyncModified();
        UpdateErrorCount();
        VelTorGrid->viewport()->update();
    });
    connect(UndoStack, &QUndoStack::cleanChanged, this, &TVelTorForm::SyncModified);
    // Typing into a header box after the focus was elsewhere is a new step.
    connect(qApp, &QApplication::focusChanged, this, [this] { ++headerSession; });
}

void TVelTorForm::SyncModified()
{
    Modified = !UndoStack->isClean();
    setWindowModified(Modified);
}

void TVelTorForm::ResetUndo()
{
    UndoStack->clear();
    typedLine = -1;
    editRecord = -1;
    SyncModified();
    UpdateErrorCount();
}

void TVelTorForm::EditUndoExecute()
{
    // What is being typed is a step of its own, and the first to go.
    VelTorGrid->CommitEditor();
    try {
        UndoStack->undo();
    } catch (const std::bad_alloc &) {
        ShowError(QStringLiteral("メモリが足りないため、元に戻せませんでした。"));
    }
}

void TVelTorForm::EditRedoExecute()
{
    VelTorGrid->CommitEditor();
    try {
        UndoStack->redo();
    } catch (const std::bad_alloc &) {
        ShowError(QStringLiteral("メモリが足りないため、やり直せませんでした。"));
    }
}

void TVelTorForm::CommitCellEdit(int record, int field, std::string bytes)
{
    const int lines = Model->rowCount() - 1;
    if (record < 0 || record > lines || field < 0 || field >= int(FieldCount))
        return;
    // A cell of the new-line row makes its line; typing may have made it
    // already.
    const bool newLine = record == lines || record == typedLine;
    const int linesBefore = newLine ? record : lines;
    std::string_view before[ReportRow::CellCount];
    Model->Row(record).Cells(before);
    std::string_view after[ReportRow::CellCount];
    after[field] = bytes;
    std::vector<CellsCommand::LineChange> change;
    change.push_back(CellsCommand::MakeLine(record, 1u << field, before, after));
    UndoStack->push(new CellsCommand(*Edits, QStringLiteral("セルの編集"), std::move(change), linesBefore,
                                     newLine ? 1 : 0));
    editRecord = -1;
}

void TVelTorForm::CellEditorClosed()
{
    if (typedLine >= 0) {
        // Text typed into the new-line row and taken back, or an edit given
        // up: the line it made holds nothing and belongs to no step.
        const int lastLine = Model->rowCount() - 2;
        if (typedLine == lastLine && Model->Row(lastLine).IsEmpty())
            Edits->RemoveLastLines(1);
        typedLine = -1;
    }
    if (editRecord >= 0) {
        // The verdict was the typed text's; the cell keeps its stored one.
        if (editRecord < Model->rowCount() - 1) {
            Edits->Validate(editRecord, editField);
            Model->RowDecorationChanged(editRecord);
        }
        if (UndoStack->index() == stackIndexAtEdit)
            Modified = modifiedBeforeEdit;
        editRecord = -1;
    }
    setWindowModified(Modified);
    UpdateErrorCount();
    VelTorGrid->viewport()->update();
}

void TVelTorForm::HeaderEdited(int box, const QString &text)
{
    QLineEdit *const boxes[] = {SyoudakuBangou, HoukokuNengappi, NiniMoziretsu};
    const QString before = headerTexts[box];
    if (before == text)
        return;
    UndoStack->push(new HeaderCommand(boxes[box], box, &headerTexts[box], before, text, headerSession));
}
