// An allocation that fails inside an event handler no command guards must
// not end the program, which would take the unsaved edits with it.

#include "VelTorApplication.h"

#include <QSignalSpy>
#include <QtTest>

#include <new>

namespace {

class Failing : public QObject
{
public:
    int handled = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++handled;
        throw std::bad_alloc();
    }
};

} // namespace

class tst_Application : public QObject
{
    Q_OBJECT

private slots:
    void failedEventLeavesTheProgramRunning();
};

void tst_Application::failedEventLeavesTheProgramRunning()
{
    auto *application = qobject_cast<TVelTorApplication *>(qApp);
    QVERIFY(application);
    QSignalSpy told(application, &TVelTorApplication::outOfMemory);
    Failing failing;

    for (int burst = 1; burst <= 2; ++burst) {
        for (int i = 0; i < 3; ++i) {
            QEvent event(QEvent::User);
            QVERIFY(!QCoreApplication::sendEvent(&failing, &event));
        }
        // Not from inside the failed handlers, and once for the burst.
        QCOMPARE(told.count(), burst - 1);
        QTRY_COMPARE(told.count(), burst);
        QTest::qWait(20);
        QCOMPARE(told.count(), burst);
    }
    QCOMPARE(failing.handled, 6);
    QVERIFY(!TVelTorApplication::OutOfMemoryMessage().isEmpty());
}

int main(int argc, char **argv)
{
    TVelTorApplication application(argc, argv);
    tst_Application test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
