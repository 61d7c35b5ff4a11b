#pragma once

#include "RecoveryFile.h"
#include "RecoveryFolder.h"

class CommandContext;
class FileCommands;
class RecoveryCopies;

// At start, the unsaved reports of editors that ended without a word (a
// crash, kill -9, a power cut), offered back one after another:
// 復元する opens one as unsaved under its own path (after the question
// about the report shown, when it has unsaved edits of its own),
// 破棄する removes it, あとで keeps it for the next start. A copy that
// cannot be read is told of and put aside, never offered again.
class RecoveryOffers
{
public:
    // None is owned.
    RecoveryOffers(CommandContext &context, FileCommands &files, RecoveryCopies &copies);

    // Offers every copy that no running editor holds.
    void OfferAll();

private:
    void Offer(const RecoveryFolder::HeldCopy &copy);
    void TellUnreadable(const QString &path, RecoveryFailure failure);

    CommandContext &context;
    FileCommands &files;
    RecoveryCopies &copies;
};
