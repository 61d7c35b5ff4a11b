#include "EditCommands.h"

#include "CellDelegate.h"
#include "CommandContext.h"
#include "EditMessages.h"
#include "GridCommands.h"
#include "ReportDocument.h"
#include "VelTorGridView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>

EditCommands::EditCommands(ReportDocument &document, CommandContext &context, GridCommands &grid, QObject *parent)
    : QObject(parent), document(document), context(context), grid(grid)
{
}

QLineEdit *EditCommands::FocusedEdit() const
{
    // The header boxes, the search box and the grid's cell editor are all
    // line edits; nothing else takes text.
    return qobject_cast<QLineEdit *>(context.TextTarget());
}

void EditCommands::CutText()
{
    if (QLineEdit *edit = FocusedEdit()) {
        RestoreSelection(edit);
        edit->cut();
        selectionOwner = nullptr;
    }
    else if (grid.TakesBlocks())
        grid.CutBlock();
}

void EditCommands::CopyText()
{
    if (QLineEdit *edit = FocusedEdit()) {
        RestoreSelection(edit);
        edit->copy();
    }
    else if (grid.TakesBlocks())
        grid.CopyBlock();
}

void EditCommands::PasteText()
{
    QLineEdit *edit = FocusedEdit();
    if (edit && edit == context.Grid().Editor() && CellDelegate::PastesBlock(*edit, QGuiApplication::clipboard()->text()))
        grid.PasteBlockFromEditor();
    else if (edit) {
        RestoreSelection(edit); // what a paste replaces
        edit->paste();
        selectionOwner = nullptr;
    }
    else if (grid.TakesBlocks())
        grid.PasteBlock();
}

EditCommands::TextState EditCommands::TextActions() const
{
    const QLineEdit *edit = FocusedEdit();
    // The grid itself takes blocks of cells: there is always a current cell.
    const bool block = !edit && grid.TakesBlocks();
    const bool selected = block || (edit && (edit->hasSelectedText() || (edit == selectionOwner && selectionLength > 0)));
    // Without an owner the clipboard has no data at all.
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    TextState state;
    state.cut = state.copy = selected;
    state.paste = (block || (edit && !edit->isReadOnly())) && mime && mime->hasText();
    state.clear = block;
    return state;
}

void EditCommands::RouteUndo(QLineEdit *edit, bool typingIsStep)
{
    if (typingIsStep && !stepBoxes.contains(edit))
        stepBoxes << edit;
    edit->removeEventFilter(this);
    edit->installEventFilter(this);
}

bool EditCommands::RestoreSelection(QLineEdit *edit)
{
    if (!edit || edit != selectionOwner || edit->hasSelectedText())
        return edit && edit->hasSelectedText();
    if (selectionStart < 0 || selectionStart + selectionLength > edit->text().size())
        return false;
    edit->setSelection(selectionStart, selectionLength);
    return true;
}

bool EditCommands::eventFilter(QObject *watched, QEvent *event)
{
    auto *edit = qobject_cast<QLineEdit *>(watched);
    if (edit && event->type() == QEvent::FocusOut
        && static_cast<QFocusEvent *>(event)->reason() == Qt::MenuBarFocusReason) {
        selectionOwner = edit;
        selectionStart = edit->selectionStart();
        selectionLength = int(edit->selectedText().size());
    } else if (edit && event->type() == QEvent::FocusIn) {
        // Back from the menu bar: the selection is as the user left it.
        RestoreSelection(edit);
        selectionOwner = nullptr;
    }
    if (event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool undo = key->matches(QKeySequence::Undo);
    const bool redo = key->matches(QKeySequence::Redo)
            || (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier);
    if (!edit || (!undo && !redo))
        return QObject::eventFilter(watched, event);
    const bool ownTyping = !stepBoxes.contains(edit) && (undo ? edit->isUndoAvailable() : edit->isRedoAvailable());
    // Kept from the box, the key goes on to the window's 元に戻す or やり
    // 直し, which work on the report.
    return !ownTyping;
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
