#pragma once

#include "FileIdentity.h"
#include "RecoveryFile.h"
#include "ReportLock.h"

#include <QCoreApplication>
#include <QString>

// The words of what keeps unsaved work and other versions of a report from
// being lost: the recovery copies offered at start, the notice of a report
// changed on the disk while it is open, and another copy of the editor
// that has it open.
class RecoveryMessages
{
    Q_DECLARE_TR_FUNCTIONS(RecoveryMessages)

public:
    // At start: a recovery copy, with the report it holds (its file, or a
    // new report), when it was written and how many lines it has.
    static QString Offer(const RecoveryFacts &facts);
    // A recovery copy that could not be read, and where it was put aside
    // (`asidePath`, empty when it stays where it was).
    static QString Unreadable(const QString &path, RecoveryFailure failure, const QString &asidePath);
    // The status bar after a restore.
    static QString Restored(const RecoveryFacts &facts);

    // Another copy of the editor, as its lock record names it.
    static QString Holder(const LockHolder &holder);
    // The question before opening a report another copy of the editor has
    // open.
    static QString OpenElsewhere(const QString &path, const LockHolder &holder);

    // The question when a report with no unsaved edits changed on the disk.
    static QString ReloadQuestion(const QString &path, DiskChange change, const LockHolder *other);
    // The bar's words when the report changed on the disk: with unsaved
    // edits (`edited`), or a change no reload can follow (the file or its
    // folder gone).
    static QString Notice(const QString &path, DiskChange change, bool edited, const LockHolder *other);
    // The status bar when the save question was answered with Cancel.
    static QString NotSaved(const QString &path);
    // Who changed the file: another program, or the copy of the editor
    // `other` names.
    static QString Changer(const LockHolder *other);
};
