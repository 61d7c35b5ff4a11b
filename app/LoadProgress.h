#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

// The wait cursor for as long as it lives.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
};

// Shows how far a load (or a paste or an import) has got once it has run
// for `delay` milliseconds, and lets the user stop it. Events are handled only from then on, while the
// window-modal dialog keeps the user's input away from the window, so no
// command can run inside a load. Called once per chunk of the file: before
// the dialog is up it costs one look at the clock.
class LoadProgress
{
    Q_DECLARE_TR_FUNCTIONS(LoadProgress)

public:
    // `window` is not owned. `label` says what is being done, `title` is
    // the dialog's caption; a load's by default.
    LoadProgress(QWidget *window, int delay, const QString &label = {}, const QString &title = {});
    ~LoadProgress();

    // False when the user has asked to stop.
    bool Step(std::uint64_t done, std::uint64_t size);

private:
    static constexpr int Steps = 1000;
    QWidget *window; // not owned
    int delay;
    QString label;
    QString title;
    QElapsedTimer clock;
    std::unique_ptr<QProgressDialog> dialog;
};
