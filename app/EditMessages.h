#pragma once

#include "BulkEdits.h"
#include "ReportBlocks.h"
#include "ReportReplace.h"

#include <QCoreApplication>
#include <QString>

class ReportDocument;

// What the editing commands did, or why they could not, in the words the
// user reads.
class EditMessages
{
    Q_DECLARE_TR_FUNCTIONS(EditMessages)

public:
    // The status bar after a replacement.
    static QString Replaced(const ReportReplace::Result &result);
    // The status bar when a find-and-replace finds nothing more.
    static QString ReplaceNotFound(const QString &find);
    // The status bar showing the occurrence a replace-next would replace next.
    static QString ReplaceShown(const ReportDocument &document, const ReportReplace::Match &match,
                                const QString &markedText);
    static QString Renumbered(const BulkEdits::Result &result);
    static QString FilledDown(const BulkEdits::Result &result);
    static QString Sorted(const BulkEdits::Result &result);
    // The status bar after a block paste.
    static QString Pasted(const ReportBlocks::PasteResult &result);
    static QString PasteCancelled();
    // The status bar after a long command (`command`, as a noun) was
    // stopped from its progress.
    static QString Cancelled(const QString &command);

    // The oldest steps of the history were let go to make room.
    static QString StepsDropped(int count);

    static QString OutOfMemoryPaste();
    static QString OutOfMemoryEdit();
    static QString OutOfMemoryDraw();
    static QString OutOfMemoryUndo();
    static QString OutOfMemoryRedo();
};
