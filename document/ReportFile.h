#pragma once

#include "FormatProblem.h"
#include "ReportCsvWriter.h"
#include "ReportFileName.h"
#include "RecoveryFile.h"
#include "ReportImporter.h"
#include "qnVelTorFile.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class ReportDocument;

// The file a report lives in, and everything that crosses between the two:
// opening, saving, importing and exporting, the name the header values give
// the file, what the file held that the report cannot keep, and whether the
// file changed on the disk since. The report itself is the document's.
class ReportFile : public QObject
{
    Q_OBJECT

public:
    struct LoadResult
    {
        ReadFailure failure = ReadFailure::None;
        ReadFacts facts;
        bool Ok() const { return failure == ReadFailure::None; }
    };

    struct SaveResult
    {
        WriteFailure failure = WriteFailure::None;
        // After a failed write in place: where the copy of the old file is.
        QString backupPath;
        bool Written() const { return failure == WriteFailure::None; }
    };

    // How a save would write the file the report was read from otherwise
    // (FormatProblem.h, as the check names them): what it would leave out
    // of it, and what it would mend losing nothing. Lines count from 1.
    struct SaveLosses
    {
        std::vector<FormatProblem> lost;
        std::vector<FormatProblem> mended;
        bool Any() const { return !lost.empty(); }
    };

    // Everything to ask before a save, in the order it is asked.
    struct SavePlan
    {
        // What the save would leave out of the file.
        SaveLosses losses;
        // Header values that the name a save proposes would not give back.
        std::vector<ReportFileName::HeaderDrift> drifts;
        // The file name must be asked for, suggesting `suggestedName`.
        bool needsName = false;
        QString suggestedName;
        // How the current file changed on the disk since it was read or
        // written here; asked about when the save goes to that file.
        DiskChange change = DiskChange::Same;
    };

    // Where an import puts its lines: after the report's, or into a new
    // report with no file, as New would make it.
    enum class ImportInto { End, NewReport };

    // What an import did. `lines` from `firstLine` on are the imported
    // ones; `invalid` counts their invalid cells.
    struct ImportResult
    {
        ReadFailure failure = ReadFailure::None;
        ImportFacts facts;
        int firstLine = 0;
        int lines = 0;
        std::uint64_t invalid = 0;
        bool Ok() const { return failure == ReadFailure::None; }
    };

    // What a restore of unsaved work from a recovery copy did.
    struct RestoreResult
    {
        RecoveryFailure failure = RecoveryFailure::None;
        RecoveryFacts facts;
        bool Ok() const { return failure == RecoveryFailure::None; }
    };

    struct ExportResult
    {
        bool written = false;
        bool outOfMemory = false;
        bool ontoReport = false; // the path is the report's own file, left alone
        bool cancelled = false; // by the progress; no file was written
        ExportFacts facts;
    };

    // `document` is not owned.
    explicit ReportFile(ReportDocument &document, QObject *parent = nullptr);

    ReportDocument &Document() const { return document; }
    // Empty for a report never saved.
    const QString &Path() const { return path; }
    // The base name the report was opened as or last saved as.
    const std::string &FileBaseName() const { return fileBaseName; }
    // The header values were found to give another file name than the
    // report's, and no save has written it since.
    bool NameChanged() const { return nameChanged; }
    // What a save would leave out of the file the report was read from,
    // as the load found it; nothing once a save has written the report.
    SaveLosses Losses() const;
    // Where the form of the file the report was read from differs from what
    // a save writes (those FormatProblem::ChangedBySave(), the losses among
    // them), as the load found it; none once a save has written the report,
    // nor for a new one. formatChanged() tells when they change.
    const std::vector<FormatProblem> &PendingFormat() const { return pendingFormat; }

    // An empty report with no file, as New makes it.
    void New();
    // Replaces the report by the unsaved one a recovery copy holds
    // (RecoveryFile.h), only when the copy was read whole: under the path
    // it had, and with that file's identity as it was then, so that a save
    // still asks when the file changed since. The report counts as
    // modified until it is saved.
    RestoreResult Restore(const QString &recoveryPath);
    // Replaces the report by the file's only when it was read whole; a
    // failed read leaves the report as it was, but a later save compares
    // the header values with the failed file's name. A read the user
    // cancels through `progress` leaves everything as it was.
    LoadResult Load(const QString &filePath, const ReadProgress &progress = {});

    // What must be asked before a save (Save As when `saveAs`).
    SavePlan PlanSave(bool saveAs) const;
    // Takes the file name the header values give: when it differs from the
    // report's, it becomes the report's and NameChanged() is set.
    void TakeHeaderName();
    // Writes the report to `filePath`; only a written file becomes the
    // current one, and the report counts as saved from then on. When the
    // file can only be overwritten in place and no copy of it can be kept,
    // `confirmWithoutBackup` is asked first; unset counts as no.
    SaveResult Save(const QString &filePath, const std::function<bool()> &confirmWithoutBackup = {});
    // How the current file changed on the disk since it was read or last
    // written here; Same for a report that has no file. FolderGone when
    // the file is gone with its folder.
    DiskChange ChangeOnDisk() const;
    // The current file as it was when it was read or last written here.
    const FileIdentity &Identity() const { return identity; }

    // Appends the lines of a CSV or text file (ReportImporter.h: encoding
    // and separator told from its bytes) as one step, validated. The file
    // never becomes the report's. Into a new report, the report is replaced
    // only when the file was read whole; any failure, or a cancel through
    // `progress`, leaves everything as it was.
    ImportResult Import(const QString &filePath, const ReadProgress &progress = {},
                        ImportInto into = ImportInto::End);
    // Writes the report as a CSV file for spreadsheets (ReportCsvWriter.h).
    // The report, its file and its saved state are left as they are; the
    // report's own file is never written over. `progress` hears how far it
    // has got; false from it stops the export, and no file is written.
    ExportResult Export(const QString &filePath, const ReadProgress &progress = {}) const;
    // The name an export dialog suggests; empty without header values.
    QString SuggestedExportName() const;

signals:
    void pathChanged(const QString &path);
    void formatChanged();

private:
    void SetPath(const QString &filePath);
    void SetPendingFormat(std::vector<FormatProblem> problems);
    RecordFields LineFields() const;

    ReportDocument &document; // not owned
    QString path;
    std::string fileBaseName;
    // The file as it was when it was read or written here.
    FileIdentity identity;
    bool nameChanged = false;
    std::vector<FormatProblem> pendingFormat;
};
