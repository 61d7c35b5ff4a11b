#include "CommandContext.h"

#include "LoadProgress.h"
#include "ReportModel.h"
#include "SaveAnywayBox.h"
#include "VelTorGridView.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

CommandContext::CommandContext(QMainWindow &window, VelTorGridView &grid, ReportModel &model)
    : window(window), grid(grid), model(model)
{
    QObject::connect(qApp, &QApplication::focusChanged, &window, [this](QWidget *, QWidget *now) {
        // The menu bar and its menus only pass through; a dialog of the
        // window's is not where its text commands go either.
        if (!now || qobject_cast<QMenuBar *>(now) || qobject_cast<QMenu *>(now) || now->window() != &this->window)
            return;
        textTarget = now;
    });
}

QWidget *CommandContext::TextTarget() const
{
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus->window() == &window && !qobject_cast<QMenuBar *>(focus) && !qobject_cast<QMenu *>(focus))
        return focus;
    return textTarget && textTarget->isVisible() ? textTarget.data() : nullptr;
}

bool CommandContext::RunWithProgress(const QString &label, const QString &title,
                                     const std::function<void(const ReadProgress &)> &work, QWidget *parent)
{
    const BusyScope busy(*this);
    if (!busy)
        return false;
    WaitCursor wait;
    LoadProgress progress(parent ? parent : &window, progressDelay, label, title);
    work([&progress](std::uint64_t done, std::uint64_t size) { return progress.Step(done, size); });
    return true;
}

void CommandContext::Tell(const QString &message) const
{
    window.statusBar()->showMessage(note.isEmpty() ? message : message + note);
}

void CommandContext::Note(const QString &text)
{
    const bool first = note.isEmpty();
    note = text;
    window.statusBar()->showMessage(note);
    if (first)
        QTimer::singleShot(0, &window, [this] { note.clear(); });
}

void CommandContext::ShowError(const QString &text) const
{
    QMessageBox box(QMessageBox::NoIcon, tr("エラー"), text, QMessageBox::Ok, &window);
    dialogs->ExecMessageBox(box);
}

void CommandContext::Inform(const QString &title, const QString &text, bool warning) const
{
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, title, text, QMessageBox::Ok, &window);
    dialogs->ExecMessageBox(box);
}

bool CommandContext::Ask(const QString &question, const QString &yes) const
{
    SaveAnywayBox box(&window, question, yes);
    return dialogs->ExecMessageBox(box) == QMessageBox::Save;
}

int CommandContext::CurrentLine() const
{
    const QModelIndex current = grid.currentIndex();
    return current.isValid() ? current.row() : 0;
}

int CommandContext::CurrentField() const
{
    const QModelIndex current = grid.currentIndex();
    return current.isValid() ? current.column() : 0;
}

void CommandContext::ShowPlace(int line, int field) const
{
    const QModelIndex index = model.index(line, field);
    if (!index.isValid())
        return;
    grid.SetCurrentCell(index);
    grid.scrollTo(index);
}

bool CommandContext::SelectedBlock(ReportBlocks::Block &block) const
{
    return grid.SelectedBlock(block.top, block.left, block.bottom, block.right);
}

void CommandContext::CommitEditor() const
{
    grid.CommitEditor();
}
