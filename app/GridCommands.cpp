#include "GridCommands.h"

#include "CommandContext.h"
#include "EditMessages.h"
#include "LoadProgress.h"
#include "ReportModel.h"
#include "VelTorGridView.h"
#include "qnVelTorClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMainWindow>

#include <algorithm>
#include <new>

GridCommands::GridCommands(ReportDocument &document, CommandContext &context, qnVelTorClipboard &lineClipboard,
                           QObject *parent)
    : QObject(parent), document(document), context(context), lineClipboard(&lineClipboard)
{
}

void GridCommands::Tell(EditResult result, const QString &command, const QString &done) const
{
    if (result == EditResult::OutOfMemory)
        context.ShowError(EditMessages::OutOfMemoryEdit());
    else if (result == EditResult::Cancelled)
        context.Tell(EditMessages::Cancelled(command));
    else if (!done.isEmpty())
        context.Tell(done);
}

bool GridCommands::LineCommandAllowed(bool newLineRow) const
{
    const int line = context.CurrentLine();
    return line >= 0 && line < (newLineRow ? document.LineCount() + 1 : document.LineCount());
}

bool GridCommands::CanPasteLine() const
{
    return LineCommandAllowed(true) && lineClipboard->HasRecord();
}

bool GridCommands::CommandLines(bool newLineRow, int &first, int &count) const
{
    const int current = context.CurrentLine();
    ReportBlocks::Block block;
    first = current;
    int last = current;
    if (context.SelectedBlock(block) && block.bottom > block.top && current >= block.top && current <= block.bottom) {
        first = block.top;
        last = block.bottom;
    }
    last = std::min(last, newLineRow ? document.LineCount() : document.LineCount() - 1);
    count = last - first + 1;
    return first >= 0 && count > 0;
}

bool GridCommands::PutCurrentLine()
{
    std::vector<std::string> cells = document.LineCells(context.CurrentLine());
    cells.insert(cells.begin(), std::string()); // the row handle's cell
    return lineClipboard->PutRecord(cells);
}

void GridCommands::InsertLines()
{
    context.CommitEditor();
    if (!LineCommandAllowed(true))
        return;
    const int field = context.CurrentField();
    int first = 0;
    int count = 0;
    ReportBlocks::Block block;
    if (!CommandLines(true, first, count) || !context.SelectedBlock(block))
        return;
    // On the empty last row the new line is appended: the former new-line
    // row becomes a report line. As many lines as are selected.
    EditResult result = EditResult::Done;
    if (!context.RunWithProgress(tr("行を挿入しています…"), tr("行の挿入中"), [&](const ReadProgress &progress) {
            result = document.InsertLines(first, count, progress);
        }))
        return;
    Tell(result, tr("行の挿入"), tr("%1行を挿入しました。").arg(count));
    context.ShowPlace(first, field);
    if (count > 1) {
        ReportModel &model = context.Model();
        context.Grid().selectionModel()->select(
                QItemSelection(model.index(first, block.left), model.index(first + count - 1, block.right)),
                QItemSelectionModel::ClearAndSelect);
    }
    emit stateChanged();
}

void GridCommands::RemoveLines(ReportDocument::LineStep step)
{
    context.CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    const int field = context.CurrentField();
    // A cut takes the one line the line clipboard holds; a delete takes
    // every selected line.
    int first = context.CurrentLine();
    int count = 1;
    if (step == ReportDocument::LineStep::Delete && !CommandLines(false, first, count))
        return;
    EditResult result = EditResult::Done;
    if (!context.RunWithProgress(tr("行を削除しています…"), tr("行の削除中"), [&](const ReadProgress &progress) {
            result = document.RemoveLines(first, count, step, progress);
        }))
        return;
    Tell(result, tr("行の削除"),
         step == ReportDocument::LineStep::Cut ? tr("%1行を切り取りました。").arg(count)
                                               : tr("%1行を削除しました。").arg(count));
    // The same row now shows the line that followed, or the empty last row
    // when the last line went.
    context.ShowPlace(first, field);
    emit stateChanged();
}

void GridCommands::CutLine()
{
    context.CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    // A line that did not reach the clipboard would be gone for good.
    if (!PutCurrentLine()) {
        context.Tell(tr("クリップボードに入れられなかったため、行は切り取りませんでした。"));
        return;
    }
    RemoveLines(ReportDocument::LineStep::Cut);
}

void GridCommands::CopyLine()
{
    context.CommitEditor();
    if (!LineCommandAllowed(false))
        return;
    context.Tell(PutCurrentLine() ? tr("1行をコピーしました。") : tr("クリップボードに入れられませんでした。"));
    emit stateChanged();
}

void GridCommands::PasteLine()
{
    context.CommitEditor();
    if (!CanPasteLine())
        return;
    const int line = context.CurrentLine();
    const int field = context.CurrentField();
    EditResult result = EditResult::OutOfMemory;
    try {
        // Read first: a clipboard that fails now leaves no empty line behind.
        std::vector<std::string> cells;
        if (!lineClipboard->GetRecord(cells))
            return;
        // Cell 0 is the row handle's and belongs to no field; foreign data
        // may put text there, which is dropped.
        cells.erase(cells.begin());
        // Another program may offer a line of any size; a line that does
        // not fit leaves the report as it was.
        result = document.InsertLine(line, cells, ReportDocument::LineStep::Paste);
    } catch (const std::bad_alloc &) {
    }
    context.ShowPlace(line, field);
    if (result != EditResult::Done) {
        context.ShowError(EditMessages::OutOfMemoryPaste());
        return;
    }
    context.Tell(tr("1行を貼り付けました。"));
    emit stateChanged();
}

void GridCommands::MoveLine(int from, int to)
{
    // Text still in a cell editor may add a line; count after it.
    context.CommitEditor();
    const int newLineRow = document.LineCount();
    // The empty new-line row stays last, and a line dropped onto it becomes
    // the report's last line: no line is lost and no empty line is made.
    if (from == newLineRow)
        return;
    to = std::min(to, newLineRow - 1);
    if (from == to || from < 0 || to < 0)
        return;
    const int field = context.CurrentField();
    const EditResult result = document.MoveLine(from, to);
    Tell(result, QString(), QString());
    if (result == EditResult::Done)
        context.ShowPlace(to, field);
}

bool GridCommands::TakesBlocks() const
{
    return context.TextTarget() == &context.Grid() && !context.Grid().Editor();
}

bool GridCommands::CopyBlock()
{
    ReportBlocks::Block block;
    if (!context.SelectedBlock(block))
        return false;
    bool outOfMemory = false;
    const QString text = ReportBlocks(document).Text(block, &outOfMemory);
    if (outOfMemory) {
        context.Tell(EditMessages::OutOfMemoryEdit());
        return false;
    }
    QGuiApplication::clipboard()->setText(text);
    context.Tell(tr("%1行×%2列をコピーしました。").arg(block.bottom - block.top + 1).arg(block.right - block.left + 1));
    return true;
}

void GridCommands::CutBlock()
{
    // Cells that did not reach the clipboard must not be cleared.
    if (CopyBlock())
        ClearBlock();
}

void GridCommands::ClearBlock()
{
    ReportBlocks::Block block;
    if (context.SelectedBlock(block) && ReportBlocks(document).Clear(block) != EditResult::Done)
        context.Tell(EditMessages::OutOfMemoryEdit());
}

void GridCommands::PasteBlock()
{
    ReportBlocks::PasteResult result;
    {
        const CommandContext::BusyScope busy(context);
        if (!busy)
            return;
        // A large block takes a while to come from another program too: the
        // half second before the progress shows counts from here.
        WaitCursor wait;
        LoadProgress progress(&context.Window(), context.ProgressDelay(), tr("貼り付けています…"), tr("貼り付け中"));
        const QString text = QGuiApplication::clipboard()->text();
        if (text.isEmpty())
            return;
        result = ReportBlocks(document).Paste(context.CurrentLine(), context.CurrentField(), text,
                                              [&progress](std::uint64_t done, std::uint64_t size) {
                                                  return progress.Step(done, size);
                                              });
    }
    if (result.cancelled) {
        context.Tell(EditMessages::PasteCancelled());
        return;
    }
    if (result.outOfMemory) {
        context.Tell(EditMessages::OutOfMemoryEdit());
        return;
    }
    if (result.changed) {
        const ReportModel &model = context.Model();
        const QModelIndex first = model.index(result.block.top, result.block.left);
        QItemSelectionModel *selection = context.Grid().selectionModel();
        selection->select(QItemSelection(first, model.index(result.block.bottom, result.block.right)),
                          QItemSelectionModel::ClearAndSelect);
        selection->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    }
    context.Tell(EditMessages::Pasted(result));
}

void GridCommands::PasteBlockFromEditor()
{
    // Nobody typed into the editor: closing it changes nothing.
    context.CommitEditor();
    context.Grid().setFocus(Qt::OtherFocusReason);
    PasteBlock();
}

void GridCommands::MoveCurrentLine(int step)
{
    // The new-line row is the last place: Enter there stays there.
    const int line = std::clamp(context.CurrentLine() + step, 0, document.LineCount());
    context.ShowPlace(line, context.CurrentField());
}
