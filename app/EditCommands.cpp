#include "EditCommands.h"

#include "CellDelegate.h"
#include "CommandContext.h"
#include "EditMessages.h"
#include "GridCommands.h"
#include "ReportDocument.h"
#include "VelTorGridView.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>

EditCommands::EditCommands(ReportDocument &document, CommandContext &context, GridCommands &grid, QObject *parent)
    : QObject(parent), document(document), context(context), grid(grid)
{
}

QLineEdit *EditCommands::FocusedEdit()
{
    // The header boxes, the search box and the grid's cell editor are all
    // line edits; nothing else takes text.
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

void EditCommands::CutText()
{
    if (QLineEdit *edit = FocusedEdit())
        edit->cut();
    else if (grid.TakesBlocks())
        grid.CutBlock();
}

void EditCommands::CopyText()
{
    if (QLineEdit *edit = FocusedEdit())
        edit->copy();
    else if (grid.TakesBlocks())
        grid.CopyBlock();
}

void EditCommands::PasteText()
{
    QLineEdit *edit = FocusedEdit();
    if (edit && edit == context.Grid().Editor() && CellDelegate::PastesBlock(*edit, QGuiApplication::clipboard()->text()))
        grid.PasteBlockFromEditor();
    else if (edit)
        edit->paste();
    else if (grid.TakesBlocks())
        grid.PasteBlock();
}

EditCommands::TextState EditCommands::TextActions() const
{
    const QLineEdit *edit = FocusedEdit();
    // The grid itself takes blocks of cells: there is always a current cell.
    const bool block = !edit && grid.TakesBlocks();
    const bool selected = block || (edit && edit->hasSelectedText());
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    TextState state;
    state.cut = state.copy = selected;
    state.paste = (block || (edit && !edit->isReadOnly())) && mime && mime->hasText();
    state.clear = block;
    return state;
}

void EditCommands::Undo()
{
    // What is being typed is a step of its own, and the first to go.
    context.CommitEditor();
    // What the status bar said of the step (or of the last save) is no
    // longer so.
    context.Tell(QString());
    EditResult result = EditResult::Done;
    if (!context.RunWithProgress(tr("元に戻しています…"), tr("元に戻す操作中"),
                                 [&](const ReadProgress &progress) { result = document.Undo(progress); }))
        return;
    if (result == EditResult::Cancelled)
        context.Tell(EditMessages::Cancelled(tr("元に戻す操作")));
    else if (result != EditResult::Done)
        context.ShowError(EditMessages::OutOfMemoryUndo());
}

void EditCommands::Redo()
{
    context.CommitEditor();
    context.Tell(QString());
    EditResult result = EditResult::Done;
    if (!context.RunWithProgress(tr("やり直しています…"), tr("やり直し中"),
                                 [&](const ReadProgress &progress) { result = document.Redo(progress); }))
        return;
    if (result == EditResult::Cancelled)
        context.Tell(EditMessages::Cancelled(tr("やり直し")));
    else if (result != EditResult::Done)
        context.ShowError(EditMessages::OutOfMemoryRedo());
}
