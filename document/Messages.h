#pragma once


#include <QString>

#include "BulkEdits.h"
#include "ReportDocument.h"
#include "ReportReplace.h"

#include <QStringList>

#include <vector>

// The one place where what a command found or why it failed becomes the
// Japanese words the user reads.
namespace Messages {

// The box of a failed open: 「ファイル読み込みエラー」 on the first line, then
// the file's name and why.
QString Load(const QString &path, ReadFailure failure);
// The box of a failed save: 「ファイル書き込みエラー」 on the first line, then
// the file's name and why.
QString Save(const QString &path, WriteFailure failure, const QString &backupPath = {});
// Why a save failed, in a sentence or two.
QString SaveReason(WriteFailure failure, const QString &backupPath = {});
// The question before a file is overwritten in place with no copy of it.
QString WithoutBackup(const QString &path);
// At start: an in-place save the program never finished, and what was done
// about it.
QString InterruptedSave(const struct InterruptedSave &save);
// At start, the question when whether another program wrote such a file
// since cannot be told: put the old contents back, or leave it.
QString RestoreInDoubt(const struct InterruptedSave &save);
// The question before a save over a file that changed on the disk since
// it was opened or saved.
QString ChangedOnDisk(const QString &path, DiskChange change);

// Why an open failed, in one sentence.
QString LoadReason(const QString &path, ReadFailure failure);

// What a load found that the report cannot show or a save cannot give
// back, each with what a save will do; empty when there is nothing to tell.
QStringList LoadWarnings(const ReadFacts &facts);
// The question before a file that looks like `looks` (not Report) is
// opened: import it, or open it as a report anyway.
QString LooksNotReport(const QString &path, ReportSniffer::Looks looks);
// The question before a save that would leave out what the file the report
// came from holds beyond it.
QString SaveLosses(const ReportDocument::SaveLosses &losses);
// The question before a save whose file name would not give the header
// values back; `labels` are the header boxes' captions.
QString HeaderDrifts(const ReportDocument &document, const std::vector<ReportDocument::HeaderDrift> &drifts,
                     const QStringList &labels);
// The status bar after a load.
QString Loaded(const ReportDocument &document);

// The status bar after a save: the file's name, and the invalid cells
// that remain.
QString Saved(const ReportDocument &document);
// The status bar after a replacement.
QString Replaced(const ReportReplace::Result &result);
// The status bar when a find-and-replace finds nothing more.
QString ReplaceNotFound(const QString &find);
// The status bar showing the occurrence a replace-next would replace next.
QString ReplaceShown(const ReportDocument &document, const ReportReplace::Match &match, const QString &markedText);
QString Renumbered(const BulkEdits::Result &result);
QString FilledDown(const BulkEdits::Result &result);
QString Sorted(const BulkEdits::Result &result);
// The box when a report of the recent-file list is gone.
QString RecentFileMissing(const QString &path);
// The status bar after a block paste.
QString Pasted(const ReportDocument::PasteResult &result);
QString PasteCancelled();

// The box of a failed import: 「インポートエラー」 on the first line, then the
// file's name and why.
QString Import(const QString &path, ReadFailure failure);
// The status bar after an import, in one line.
QString Imported(const ReportDocument::ImportResult &result);
// The box after an import: the same, and all that was changed or left out
// on the way.
QString ImportSummary(const ReportDocument::ImportResult &result);
QString ImportCancelled();

// The box of a failed export.
QString Export(const QString &path, const ReportDocument::ExportResult &result);
// The status bar after an export.
QString Exported(const QString &path, const ExportFacts &facts);

QString LoadCancelled();
QString OutOfMemoryPaste();
QString OutOfMemoryEdit();
QString OutOfMemoryDraw();
QString OutOfMemoryUndo();
QString OutOfMemoryRedo();

} // namespace Messages
