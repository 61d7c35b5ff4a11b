#include "LoadProgress.h"

#include <QApplication>
#include <QProgressDialog>

#include <algorithm>

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

LoadProgress::LoadProgress(QWidget *window, int delay, const QString &label, const QString &title)
    : window(window), delay(delay),
      label(label.isEmpty() ? tr("ファイルを読み込んでいます…") : label),
      title(title.isEmpty() ? tr("読み込み中") : title)
{
    clock.start();
}

LoadProgress::~LoadProgress() = default;

bool LoadProgress::Step(std::uint64_t done, std::uint64_t size)
{
    if (!dialog) {
        if (clock.elapsed() < delay)
            return true;
        dialog = std::make_unique<QProgressDialog>(label, tr("キャンセル"), 0, Steps, window);
        dialog->setWindowTitle(title);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setMinimumDuration(0);
        dialog->setAutoReset(false);
        dialog->setAutoClose(false);
        // The Cancel button must not look busy.
        QApplication::changeOverrideCursor(Qt::BusyCursor);
        dialog->show();
    }
    const std::uint64_t part = size == 0 ? 0 : std::min(done, size) * Steps / size;
    dialog->setValue(int(part));
    QCoreApplication::processEvents();
    return !dialog->wasCanceled();
}
