#include "Startup.h"

#include "FileMessages.h"
#include "SafeReplace.h"
#include "qnVelTorForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

QStringList QtTranslationFolders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

QTranslator *InstallQtTranslation(QCoreApplication *application, const QStringList &folders)
{
    auto *translator = new QTranslator(application);
    // Qt's installations have qtbase_ja; windeployqt merges what a program
    // needs into qt_ja.
    for (const QString &folder : folders) {
        for (const QString &name : {QStringLiteral("qtbase"), QStringLiteral("qt")}) {
            if (!folder.isEmpty()
                && translator->load(QLocale(QLocale::Japanese, QLocale::Japan), name, QStringLiteral("_"), folder)
                && application->installTranslator(translator)) {
                return translator;
            }
        }
    }
    delete translator;
    return nullptr;
}

QIcon ProgramIcon()
{
    QIcon builtIn;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/qnveltor-%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("qnveltor"), builtIn);
}

bool OpenCommandLineFile(TVelTorForm &form, const QStringList &arguments)
{
    // QApplication has already taken out the options that are Qt's own.
    if (arguments.size() < 2 || arguments.at(1).isEmpty())
        return false;
    // A relative name is the caller's working folder's, and the report
    // remembers its full path for later saves.
    return form.LoadReport(QFileInfo(arguments.at(1)).absoluteFilePath());
}

void RecoverInterruptedSaves(TVelTorForm &form)
{
    // Either answer keeps both versions; "No" writes nothing.
    const auto ask = [&form](const InterruptedSave &save) {
        return QMessageBox::question(&form, FileMessages::tr("確認"), FileMessages::RestoreInDoubt(save),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes;
    };
    for (const InterruptedSave &save : ::RecoverInterruptedSaves(ask))
        QMessageBox::warning(&form, FileMessages::tr("確認"), FileMessages::InterruptedSave(save));
}
