#pragma once

#include "FileIdentity.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

class CommandContext;
class DiskNoticeBar;
class FileCommands;
class ReportDocument;

// Watches the open report's file while it is open, and tells when another
// program (or another copy of the editor) changed it: a report with no
// unsaved edits is offered to be read again; one with edits gets a bar in
// the window, which offers what a save would. A file gone, or its folder
// gone, is told as such. The system's notices and the window's activation
// both lead to one look at the file's identity, so this editor's own saves,
// whose identity the report's file session knows, are never told.
class DiskWatch : public QObject
{
    Q_OBJECT

public:
    // None is owned; the bar goes into the context's window.
    DiskWatch(CommandContext &context, FileCommands &files, ReportDocument &document);

    // Looks at the file now, as a notice does after a short wait (a program
    // may write a file in several steps).
    void Check();
    const DiskNoticeBar &Bar() const { return *bar; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Watches the report's file and its folder, as they are now.
    void Watch();
    void Forget();

    CommandContext &context;
    FileCommands &files;
    ReportDocument &document;
    QFileSystemWatcher watcher;
    QTimer settle;
    DiskNoticeBar *bar; // a child of the window
    // The change last told, so that it is told once.
    QString toldPath;
    FileIdentity toldIdentity;
    DiskChange toldChange = DiskChange::Same;
    bool asking = false;
};
