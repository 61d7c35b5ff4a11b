#pragma once

#include <QApplication>

// The application object. Commands that may run out of memory (load, save,
// paste, undo, drawing) catch it themselves and leave the report as it was;
// an allocation that fails anywhere else inside an event handler would end
// the program and take the unsaved edits with it. Here it stops that one
// event instead, and the window says so once the handler has unwound.
class TVelTorApplication : public QApplication
{
    Q_OBJECT

public:
    TVelTorApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    static QString OutOfMemoryMessage();

signals:
    // Once per burst of failed events, after they have unwound.
    void outOfMemory();

private:
    bool outOfMemoryPending = false;
};
