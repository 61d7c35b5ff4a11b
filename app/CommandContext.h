#pragma once

#include "ReportBlocks.h"
#include "WindowDialogs.h"

#include <QCoreApplication>
#include <QPointer>
#include <QString>

#include <functional>

class QMainWindow;
class QWidget;
class ReportModel;
class VelTorGridView;

// What the main window's command controllers share: the window they stand
// on, its grid and dialogs, where they tell the user what happened, and the
// one guard that keeps a command from starting while another shows its
// progress (events are handled meanwhile).
class CommandContext
{
    Q_DECLARE_TR_FUNCTIONS(CommandContext)

public:
    // None is owned.
    CommandContext(QMainWindow &window, VelTorGridView &grid, ReportModel &model);

    QMainWindow &Window() const { return window; }
    VelTorGridView &Grid() const { return grid; }
    ReportModel &Model() const { return model; }
    WindowDialogs &Dialogs() const { return *dialogs; }
    // Not owned; null restores the real dialogs.
    void SetDialogs(WindowDialogs *replacement) { dialogs = replacement ? replacement : &realDialogs; }

    // Milliseconds a long command runs before it shows its progress with a
    // Cancel button; until then no event is handled.
    int ProgressDelay() const { return progressDelay; }
    void SetProgressDelay(int milliseconds) { progressDelay = milliseconds; }

    // A command showing its progress is running.
    bool Busy() const { return busy; }
    // Marks a command as running for as long as it lives; null when one
    // already is, and the new one must not start.
    class BusyScope
    {
    public:
        explicit BusyScope(CommandContext &context) : context(context.busy ? nullptr : &context)
        {
            if (this->context)
                this->context->busy = true;
        }
        ~BusyScope()
        {
            if (context)
                context->busy = false;
        }
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;
        explicit operator bool() const { return context != nullptr; }

    private:
        CommandContext *context;
    };

    // Runs a command that may take long on a large report: with the busy
    // guard, the wait cursor and, once it has run for ProgressDelay(), the
    // progress dialog with キャンセル over `parent` (the window when null).
    // `work` tells the progress it is given how far it has got; the
    // window repaints meanwhile. False, with nothing run, while another
    // command runs.
    bool RunWithProgress(const QString &label, const QString &title,
                         const std::function<void(const ReadProgress &)> &work, QWidget *parent = nullptr);

    // The status bar; a note made during the same command follows the
    // message.
    void Tell(const QString &message) const;
    // Something the status bar tells at once, and after the message the
    // command that is running tells next.
    void Note(const QString &note);
    // The one message box of a failed command.
    void ShowError(const QString &text) const;
    // A box that only tells something, with OK.
    void Inform(const QString &title, const QString &text, bool warning = true) const;
    // A warning question with `yes` and キャンセル, the default; true for yes.
    bool Ask(const QString &question, const QString &yes) const;

    // The grid's current cell as the report's line and field; the
    // new-line row is the line after the last.
    int CurrentLine() const;
    int CurrentField() const;
    // Makes the cell current, alone selected, and scrolls to it.
    void ShowPlace(int line, int field) const;
    // The selected rectangle, or the current cell; false with neither.
    bool SelectedBlock(ReportBlocks::Block &block) const;
    // An open cell editor hands its text to the report and closes.
    void CommitEditor() const;

    // What the text commands work on: the box, cell editor or grid that has
    // the focus, or had it before the menu bar took it (Alt+E opens the
    // 編集 menu with the keyboard focus in the menu bar).
    QWidget *TextTarget() const;

private:
    QMainWindow &window;
    QPointer<QWidget> textTarget;
    VelTorGridView &grid;
    ReportModel &model;
    WindowDialogs realDialogs;
    WindowDialogs *dialogs = &realDialogs; // not owned
    int progressDelay = 500;
    bool busy = false;
    QString note; // until the events of the command that made it are done
};
