#include "ReplaceSession.h"

#include "LoadProgress.h"
#include "EditMessages.h"
#include "ReplaceDialog.h"

#include <algorithm>

ReplaceSession::ReplaceSession(ReportDocument &document, ReplaceDialog &dialog, const ReportReplace::Scope &block,
                               View view)
    : document(document), dialog(dialog), block(block), view(std::move(view))
{
    connect(&dialog, &ReplaceDialog::replaceAllClicked, this, &ReplaceSession::ReplaceAll);
    connect(&dialog, &ReplaceDialog::replaceNextClicked, this, &ReplaceSession::ReplaceNext);
}

ReportReplace ReplaceSession::Replacer() const
{
    ReportReplace::Scope scope;
    if (dialog.InBlock())
        scope = block;
    if (dialog.Field() >= 0) {
        scope.left = std::max(scope.left, dialog.Field());
        scope.right = std::min(scope.right, dialog.Field());
    }
    return ReportReplace(document, dialog.FindText(), dialog.ReplacementText(),
                         TextFolding(dialog.MatchCase(), dialog.FoldWidth()), scope);
}

void ReplaceSession::ReplaceAll()
{
    ReportReplace::Result result;
    ReportReplace replace = Replacer();
    const auto work = [&](const ReadProgress &progress) { result = replace.ReplaceAll(progress); };
    if (view.run) {
        if (!view.run(work))
            return;
    } else {
        WaitCursor wait;
        work({});
    }
    if (result.cancelled)
        return view.tell(EditMessages::Cancelled(tr("置換")));
    if (result.outOfMemory)
        return view.tell(EditMessages::OutOfMemoryEdit());
    const bool found = result.replaced + result.tooLong + result.unstorable > 0;
    view.tell(found ? EditMessages::Replaced(result) : EditMessages::ReplaceNotFound(dialog.FindText()));
    if (result.replaced > 0)
        dialog.accept();
}

void ReplaceSession::ReplaceNext()
{
    ReportReplace replace = Replacer();
    QString message;
    if (replace.Holds(shown)) {
        const ReportReplace::Result result = replace.ReplaceOne(shown);
        if (result.outOfMemory)
            return view.tell(EditMessages::OutOfMemoryEdit());
        message = EditMessages::Replaced(result);
    } else {
        const Place from = view.current();
        shown = replace.FindFrom(from.line, from.field);
    }
    if (!shown.Found())
        return view.tell(message + EditMessages::ReplaceNotFound(dialog.FindText()));
    view.show({shown.line, shown.field});
    view.tell(message + EditMessages::ReplaceShown(document, shown, replace.MarkedText(shown)));
}
