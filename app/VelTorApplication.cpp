#include "VelTorApplication.h"

#include <QTimer>

#include <new>

TVelTorApplication::TVelTorApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // The folders the system gives the program (the cache, where a file
    // overwritten in place keeps its copy) under the names its settings use.
    setOrganizationName(QStringLiteral("mornwicks"));
    setApplicationName(QStringLiteral("qnVelTor"));
}

bool TVelTorApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc &) {
        // Not shown from here: a modal box inside a half-finished handler
        // would run events on top of it.
        if (!outOfMemoryPending) {
            outOfMemoryPending = true;
            QTimer::singleShot(0, this, [this] {
                outOfMemoryPending = false;
                emit outOfMemory();
            });
        }
        return false;
    }
}

QString TVelTorApplication::OutOfMemoryMessage()
{
    return tr("メモリが足りないため、操作を最後まで行えませんでした。\n"
                          "編集中の報告を保存してから、続けてください。");
}
