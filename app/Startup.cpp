#include "Startup.h"

#include "qnVelTorForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QStringList QtTranslationFolders()
{
    return {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
}

QTranslator *InstallQtTranslation(QCoreApplication *application, const QStringList &folders)
{
    auto *translator = new QTranslator(application);
    for (const QString &folder : folders) {
        if (!folder.isEmpty() && translator->load(QLocale(QLocale::Japanese, QLocale::Japan),
                                                  QStringLiteral("qtbase"), QStringLiteral("_"), folder)
            && application->installTranslator(translator)) {
            return translator;
        }
    }
    delete translator;
    return nullptr;
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
