#pragma once

#include "ReportFile.h"
#include "ReportLock.h"
#include "SafeReplace.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <vector>


// What the file commands found, or why they failed, in the words the user
// reads.
class FileMessages
{
    Q_DECLARE_TR_FUNCTIONS(FileMessages)

public:
    // The box of a failed open: 「ファイル読み込みエラー」 on the first line,
    // then the file's name and why.
    static QString Load(const QString &path, ReadFailure failure);
    // Why an open failed, in one sentence.
    static QString LoadReason(const QString &path, ReadFailure failure);
    // The box of a failed save: 「ファイル書き込みエラー」 on the first line,
    // then the file's name and why.
    static QString Save(const QString &path, WriteFailure failure, const QString &backupPath = {});
    // Why a save failed, in a sentence or two.
    static QString SaveReason(WriteFailure failure, const QString &backupPath = {});
    // The question before a file is overwritten in place with no copy of it.
    static QString WithoutBackup(const QString &path);
    // At start: an in-place save the program never finished, and what was
    // done about it.
    static QString InterruptedSave(const struct InterruptedSave &save);
    // At start, the question when whether another program wrote such a
    // file since cannot be told: put the old contents back, or leave it.
    static QString RestoreInDoubt(const struct InterruptedSave &save);
    // The question before a save over a file that changed on the disk since
    // it was opened or saved; `other` names the copy of the editor that
    // has it open, when one does.
    static QString ChangedOnDisk(const QString &path, DiskChange change, const LockHolder *other = nullptr);

    // What a load found that the report cannot show or a save cannot give
    // back, each with what a save will do; empty when there is nothing to
    // tell.
    static QStringList LoadWarnings(const ReadFacts &facts);
    // The question before a file that looks like `looks` (not Report) is
    // opened: import it, or open it as a report anyway.
    static QString LooksNotReport(const QString &path, ReportSniffer::Looks looks);
    // The question before a save that would leave out what the file the
    // report came from holds beyond it.
    static QString SaveLosses(const ReportFile::SaveLosses &losses);
    // The question before a save whose file name would not give the header
    // values back; `labels` are the header boxes' captions.
    static QString HeaderDrifts(const ReportDocument &document,
                                const std::vector<ReportFileName::HeaderDrift> &drifts, const QStringList &labels);
    // The status bar after a load.
    static QString Loaded(const ReportDocument &document);
    // The status bar after a save: the file's name, and the invalid cells
    // that remain.
    // `before`: what the save was to mend of the file's form.
    static QString Saved(const ReportFile &file, const ReportFile::SaveLosses &before);
    // The box when a report of the recent-file list is gone.
    static QString RecentFileMissing(const QString &path);

    // The box of a failed import: 「インポートエラー」 on the first line, then
    // the file's name and why.
    static QString Import(const QString &path, ReadFailure failure);
    // The status bar after an import, in one line.
    static QString Imported(const ReportFile::ImportResult &result);
    // The box after an import: the same, and all that was changed or left
    // out on the way.
    static QString ImportSummary(const ReportFile::ImportResult &result);
    static QString ImportCancelled();
    static QString ExportCancelled();

    // The box of a failed export.
    static QString Export(const QString &path, const ReportFile::ExportResult &result);
    // The status bar after an export.
    static QString Exported(const QString &path, const ExportFacts &facts);

    static QString LoadCancelled();

private:
    static QString RefusalReason(InterruptedSave::Refusal refusal);
    static QString EncodingName(TextEncoding::Encoding encoding);
};
