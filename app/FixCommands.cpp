#include "FixCommands.h"

#include "CommandContext.h"
#include "EditMessages.h"
#include "NoteFix.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "TrimFix.h"
#include "WidthFix.h"
#include "qnVelTorDataAttribute.h"

FixCommands::FixCommands(ReportDocument &document, CommandContext &context, QObject *parent)
    : QObject(parent), document(document), context(context)
{
}

std::unique_ptr<CellFix> FixCommands::GroupFix(ReviewModel::Group group)
{
    if (group.section == ReviewModel::Section::Errors)
        return group.kind == int(ReviewModel::ErrorKind::FullWidth) ? std::make_unique<WidthFix>() : nullptr;
    if (!NoteFix::Offered(NoteKind(group.kind)))
        return nullptr;
    return std::make_unique<NoteFix>(NoteKind(group.kind));
}

void FixCommands::NarrowWidth()
{
    Run(WidthFix(), true);
}

void FixCommands::TrimSpaces()
{
    Run(TrimFix(), true);
}

void FixCommands::FixGroup(ReviewModel::Group group)
{
    if (const std::unique_ptr<CellFix> fix = GroupFix(group))
        Run(*fix, false);
}

void FixCommands::Run(const CellFix &fix, bool overSelection)
{
    context.CommitEditor();
    CellFix::Scope scope;
    ReportBlocks::Block block;
    // A block of more than one cell is fixed alone; one cell stands for
    // the whole report, as for renumbering.
    const bool inBlock = overSelection && context.SelectedBlock(block)
            && (block.top != block.bottom || block.left != block.right);
    if (inBlock)
        scope = {block.top, block.bottom, block.left, block.right};
    const std::uint64_t errorsBefore = document.Verdicts().ErrorCellCount();
    const CellFix::Result result = fix.Apply(document, scope);
    if (result.outOfMemory) {
        context.Tell(EditMessages::OutOfMemoryEdit());
        return;
    }
    if (result.refused) {
        context.ShowPlace(result.line, result.field);
        context.Tell(tr("%1：%2行目の［%3］は直しても文字数が上限を超えるため、何も変えていません。")
                             .arg(fix.Text())
                             .arg(result.line + 1)
                             .arg(ShiftJis::ToText(document.Attributes().At(unsigned(result.field))->name)));
        return;
    }
    if (result.changed == 0) {
        context.Tell(inBlock ? tr("%1：選択範囲に直すセルはありません。").arg(fix.Text())
                             : tr("%1：直すセルはありません。").arg(fix.Text()));
        return;
    }
    const std::uint64_t errorsAfter = document.Verdicts().ErrorCellCount();
    QString text = inBlock ? tr("%1：選択範囲の%2個のセルを直しました。").arg(fix.Text()).arg(result.changed)
                           : tr("%1：%2個のセルを直しました。").arg(fix.Text()).arg(result.changed);
    if (errorsAfter < errorsBefore)
        text += tr("エラーが%1個減りました。").arg(errorsBefore - errorsAfter);
    context.Tell(text);
}
