#include "CheckCommand.h"
#include "Startup.h"
#include "VelTorApplication.h"
#include "qnVelTorForm.h"

#include <QMessageBox>
#include <QTimer>

int main(int argc, char *argv[])
{
    // A check from the command line opens no window: it runs before any
    // application object that would need a display.
    if (IsReportCheckCommand(argc, argv))
        return RunReportCheck(argc, argv);
    TVelTorApplication application(argc, argv);
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("qnveltor"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtTranslation(&application, QtTranslationFolders());
    TVelTorForm VelTorForm;
    VelTorForm.show();
    QObject::connect(&application, &TVelTorApplication::outOfMemory, &VelTorForm, [&VelTorForm] {
        QMessageBox::warning(&VelTorForm, TVelTorApplication::tr("エラー"), TVelTorApplication::OutOfMemoryMessage());
    });
    // Once the window is up, so that a message has a window to stand on;
    // a file left half saved is put right, and unsaved work offered back,
    // before anything is opened.
    QTimer::singleShot(0, &VelTorForm, [&VelTorForm, &application] {
        RecoverInterruptedSaves(VelTorForm);
        VelTorForm.OfferRecoveryCopies();
        OpenCommandLineFile(VelTorForm, application.arguments());
    });
    return application.exec();
}
