// Renders the main window with a report loaded into a PNG, for the README.
// Not a test: scripts/screenshot.sh runs it under Xvfb.

#include "qnVelTorForm.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 3) {
        qWarning("usage: qnveltor_screenshot REPORT.dat OUTPUT.png");
        return 2;
    }
    TVelTorForm form;
    form.show();
    if (!form.LoadReport(QString::fromLocal8Bit(argv[1])))
        return 1;
    form.SetCurrentCell(8, 2);
    const QString output = QString::fromLocal8Bit(argv[2]);
    int status = 1;
    QTimer::singleShot(500, &form, [&] {
        status = form.grab().save(output) ? 0 : 1;
        application.quit();
    });
    application.exec();
    return status;
}
