#include "BulkCommands.h"

#include "BulkEdits.h"
#include "CommandContext.h"
#include "EditMessages.h"
#include "LoadProgress.h"
#include "ReplaceDialog.h"
#include "ReplaceSession.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "SortDialog.h"
#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"

#include <QMainWindow>
#include <QToolTip>

BulkCommands::BulkCommands(ReportDocument &document, CommandContext &context, QObject *parent)
    : QObject(parent), document(document), context(context)
{
}

QStringList BulkCommands::FieldNames() const
{
    QStringList names;
    for (unsigned field = 0; field < FieldCount; ++field)
        names << ShiftJis::ToText(document.Attributes().At(field)->name);
    return names;
}

void BulkCommands::Replace(const QString &findText)
{
    context.CommitEditor();
    ReplaceDialog dialog(FieldNames(), &context.Window());
    dialog.SetTexts(lastFind.isEmpty() ? findText : lastFind, lastReplacement);
    // The block as it is now: showing an occurrence moves the current cell.
    ReportBlocks::Block block;
    dialog.SetBlockAvailable(context.SelectedBlock(block) && (block.top != block.bottom || block.left != block.right));
    dialog.SetField(context.CurrentField());
    const ReplaceSession session(
            document, dialog, {block.top, block.bottom, block.left, block.right},
            {[this] { return ReplaceSession::Place{context.CurrentLine(), context.CurrentField()}; },
             [this](ReplaceSession::Place place) { context.ShowPlace(place.line, place.field); },
             [this, &dialog](const QString &message) {
                 context.Tell(message);
                 dialog.ShowMessage(message);
             },
             [this, &dialog](const std::function<void(const ReadProgress &)> &work) {
                 return context.RunWithProgress(tr("置換しています…"), tr("置換中"), work, &dialog);
             }});
    context.Dialogs().ExecReplace(dialog);
    lastFind = dialog.FindText();
    lastReplacement = dialog.ReplacementText();
}

void BulkCommands::Renumber()
{
    context.CommitEditor();
    // Several selected lines are renumbered alone, from their first one's
    // number on; else the whole report from 1.
    ReportBlocks::Block block;
    int first = 0;
    int last = document.LineCount() - 1;
    std::uint64_t start = 1;
    if (context.SelectedBlock(block) && block.bottom > block.top && block.top < document.LineCount()) {
        first = block.top;
        last = block.bottom;
        start = BulkEdits::NumberFrom(document, first);
    }
    BulkEdits::Result result;
    if (!context.RunWithProgress(tr("連番を振り直しています…"), tr("連番の振り直し中"), [&](const ReadProgress &progress) {
            result = BulkEdits::Renumber(document, first, last, start, progress);
        }))
        return;
    context.Tell(result.cancelled     ? EditMessages::Cancelled(tr("連番の振り直し"))
                 : result.outOfMemory ? EditMessages::OutOfMemoryEdit()
                                      : EditMessages::Renumbered(result));
}

void BulkCommands::FillDown()
{
    context.CommitEditor();
    ReportBlocks::Block block;
    if (!context.SelectedBlock(block))
        return;
    BulkEdits::Result result;
    if (!context.RunWithProgress(tr("下方向へコピーしています…"), tr("下方向へコピー中"), [&](const ReadProgress &progress) {
            result = BulkEdits::FillDown(document, block.top, block.left, block.bottom, block.right, progress);
        }))
        return;
    context.Tell(result.cancelled     ? EditMessages::Cancelled(tr("下方向へのコピー"))
                 : result.outOfMemory ? EditMessages::OutOfMemoryEdit()
                                      : EditMessages::FilledDown(result));
}

void BulkCommands::Sort()
{
    context.CommitEditor();
    SortDialog dialog(FieldNames(), &context.Window());
    // By the column the user is in, as spreadsheets start; the rest as the
    // last sort had it.
    std::vector<LineOrder::Key> keys = lastSortKeys.empty() ? std::vector<LineOrder::Key>(1) : lastSortKeys;
    keys.front().field = context.CurrentField();
    dialog.SetKeys(keys);
    if (context.Dialogs().ExecSort(dialog) != QDialog::Accepted)
        return;
    lastSortKeys = dialog.Keys();
    BulkEdits::Result result;
    if (!context.RunWithProgress(tr("並べ替えています…"), tr("並べ替え中"), [&](const ReadProgress &progress) {
            result = BulkEdits::Sort(document, lastSortKeys, progress);
        }))
        return;
    context.Tell(result.cancelled     ? EditMessages::Cancelled(tr("並べ替え"))
                 : result.outOfMemory ? EditMessages::OutOfMemoryEdit()
                                      : EditMessages::Sorted(result));
}

void BulkCommands::GoToError(bool forward)
{
    context.CommitEditor();
    unsigned line = 0;
    unsigned field = 0;
    bool wrapped = false;
    // From the new-line row, which has no verdicts, forward starts at the
    // first line and backward at the last.
    const qnVelTor::GridAttr &verdicts = document.Verdicts();
    if (!verdicts.FindError(unsigned(context.CurrentLine()), unsigned(context.CurrentField()), forward, line, field,
                            wrapped)) {
        context.Tell(tr("エラーのセルはありません。"));
        return;
    }
    context.ShowPlace(int(line), int(field));
    QString text = tr("%1行目「%2」：%3")
                           .arg(line + 1)
                           .arg(ShiftJis::ToText(document.Attributes().At(field)->name))
                           .arg(ShiftJis::ToText(verdicts.GetErrorMessage(line, field)));
    if (wrapped)
        text += forward ? tr("（先頭に戻りました）") : tr("（末尾に戻りました）");
    context.Tell(text);
    VelTorGridView &grid = context.Grid();
    const QRect cell = grid.visualRect(grid.currentIndex());
    QToolTip::showText(grid.viewport()->mapToGlobal(cell.bottomLeft()), text, grid.viewport());
}

bool BulkCommands::Search(const QString &wordText, ReportSearch::Direction direction)
{
    // A cell being typed into is part of what the user sees.
    context.CommitEditor();
    // The box admits only text that code page 932 holds.
    const std::string word = ShiftJis::FromText(wordText).value_or(std::string());
    int line = context.CurrentLine();
    int field = context.CurrentField();
    if (!ReportSearch(document).Find(word, direction, line, field))
        return false;
    context.ShowPlace(line, field);
    return true;
}
