#include "RecoveryOffers.h"

#include "ChoiceBoxes.h"
#include "CommandContext.h"
#include "FileCommands.h"
#include "RecoveryCopies.h"
#include "RecoveryFile.h"
#include "RecoveryMessages.h"

#include <QFile>
#include <QFileInfo>
#include <QMainWindow>

RecoveryOffers::RecoveryOffers(CommandContext &context, FileCommands &files, RecoveryCopies &copies)
    : context(context), files(files), copies(copies)
{
}

void RecoveryOffers::OfferAll()
{
    // Each stays locked until it has been offered, so that another editor
    // starting meanwhile does not offer it too.
    for (const RecoveryFolder::HeldCopy &copy : RecoveryFolder::UnheldCopies())
        Offer(copy);
}

void RecoveryOffers::TellUnreadable(const QString &path, RecoveryFailure failure)
{
    // One of a later version stays for that version to read.
    const QString aside = failure == RecoveryFailure::Newer ? QString() : RecoveryFolder::SetAside(path);
    context.Inform(RecoveryMessages::tr("確認"), RecoveryMessages::Unreadable(path, failure, aside));
}

void RecoveryOffers::Offer(const RecoveryFolder::HeldCopy &copy)
{
    RecoveryFacts facts;
    const RecoveryFailure failure = ReadRecoveryFacts(copy.path, facts);
    if (failure != RecoveryFailure::None) {
        // Made empty, readable by the user alone, just before an editor's
        // first copy: there was nothing in it yet.
        if (QFileInfo(copy.path).size() == 0)
            QFile::remove(copy.path);
        else
            TellUnreadable(copy.path, failure);
        return;
    }
    RecoveryBox box(&context.Window(), RecoveryMessages::Offer(facts));
    switch (RecoveryBox::Chosen(context.Dialogs().ExecMessageBox(box))) {
    case RecoveryBox::Answer::Restore: {
        // Declined, the copy stays for the next start.
        if (!files.QuerySave())
            return;
        const ReportFile::RestoreResult result = files.Restore(copy.path);
        if (!result.Ok()) {
            TellUnreadable(copy.path, result.failure);
            return;
        }
        copies.Adopt(copy.path);
        return;
    }
    case RecoveryBox::Answer::Discard:
        QFile::remove(copy.path);
        return;
    case RecoveryBox::Answer::Later:
        return;
    }
}
