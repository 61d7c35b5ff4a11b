#pragma once

#include "OpenAsBox.h"
#include "ReportFile.h"
#include "ReportLock.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QStringList>

class CommandContext;
class QUrl;
class ReportDocument;

// The file commands of the main window: New, Open, Save, Save As, Import,
// Export, the recent reports, a dropped file, and the questions before each
// (unsaved edits, what a save would lose, a name that would not give the
// header values back, a file changed on the disk). It owns the report's
// file session; the window's handlers forward here.
class FileCommands : public QObject
{
    Q_OBJECT

public:
    // Not owned. `headerLabels` are the header boxes' captions, for the
    // question about the values a name would not give back.
    FileCommands(ReportDocument &document, CommandContext &context, const QStringList &headerLabels,
                 QObject *parent = nullptr);

    ReportFile &File() { return file; }
    const ReportFile &File() const { return file; }

    void New();
    void Open();
    // Save As when `saveAs`; true when the report was written.
    bool Save(bool saveAs);
    // Saves over the report's own file, which changed on the disk, as the
    // user chose on the notice of that change: no question about it again.
    bool Overwrite();
    // Opens the unsaved report a recovery copy holds, as a restore at start
    // does, after the question about the report shown has cleared the way.
    ReportFile::RestoreResult Restore(const QString &recoveryPath);
    void Import();
    void Export();
    void OpenRecent(const QString &path);
    // Opens the first of the dropped files, as Open does.
    void OpenDropped(const QList<QUrl> &urls);
    // Loads a report like Open does after its dialog; false (with the
    // reason shown) when the file cannot be read. A file that does not look
    // like a report (CSV, UTF-8, UTF-16) is first offered for import into a
    // new report, which the save question before this call has cleared the
    // way for.
    bool LoadReport(const QString &path);

    // The question about unsaved edits.
    QMessageBox::StandardButton ConfirmSave();
    // Before the report is replaced or the window closes: false when the
    // command must stop (Cancel, or a Yes whose save did not happen).
    bool QuerySave();

    // Where Open and Save dialogs start: the current file's folder, else the
    // last folder used; empty leaves it to the platform.
    QString StartFolder() const;
    const QString &LastFolder() const { return lastFolder; }
    void SetLastFolder(const QString &folder) { lastFolder = folder; }

signals:
    // The list of recent reports as it is now, newest first.
    void recentFilesChanged(const QStringList &paths);

private:
    enum class SaveMode { Plain, As, Overwrite };
    bool SaveReport(SaveMode mode);
    // The file a save writes to: the current one, or one the user picks;
    // empty when the dialog was cancelled.
    QString SaveTarget(const ReportFile::SavePlan &plan);
    // The file a name typed into the open dialog names: as typed when it
    // exists, else with .dat when it has no extension and that exists.
    static QString OpenedName(const QString &typed);
    // The question before a save over a file changed on the disk: the path
    // to save to, or empty when the save is not to happen.
    QString AskOverwrite(const QString &target, DiskChange change);
    // For a file that does not look like a report: import it, open it as
    // a report, or neither.
    OpenAsBox::Answer AskHowToOpen(const QString &path);
    // Imports with the progress shown, then says what came in; false when
    // nothing did.
    bool ImportFile(const QString &path, ReportFile::ImportInto into);
    void ShowLoadFacts(const ReadFacts &facts);
    // The grid shows the report's top (or `line`), with the focus, as after
    // an open.
    void ShowReport(int line);

    ReportDocument &document;
    CommandContext &context;
    QStringList headerLabels;
    ReportFile file;
    // Tells other copies of the editor that this one has the report open;
    // follows the report's path.
    ReportLock lock;
    QString lastFolder;
};
