#pragma once

#include <QStringList>

class QCoreApplication;
class QIcon;
class QTranslator;
class TVelTorForm;

// The steps main() takes before the event loop, kept apart so that the tests
// can take them too.

// Folders where Qt's own translations may be: Qt's installation, then a
// "translations" folder beside the program (where windeployqt puts them).
QStringList QtTranslationFolders();

// Loads Qt's Japanese texts (buttons, file dialogs) into `application`,
// from the first folder that has them. The
// interface is Japanese whatever the system's locale, so the language is not
// taken from it. Returns the installed translator, owned by `application`, or
// null when no folder holds the file: the program then runs with Qt's English.
QTranslator *InstallQtTranslation(QCoreApplication *application, const QStringList &folders);

// The program's icon: the installed one from the icon theme, else the copy
// built into the program.
QIcon ProgramIcon();

// Puts back the old bytes of files an in-place save left part written when
// the program was killed, asks the user where another program may have
// written such a file since, and tells the user of each.
void RecoverInterruptedSaves(TVelTorForm &form);

// Opens the file named by the first argument after the program's name, as
// Open does; this is how file managers and desktop entries hand over a file.
// A file that cannot be read gets the usual read error and leaves the window
// empty. False when there was no file to open or it could not be read.
bool OpenCommandLineFile(TVelTorForm &form, const QStringList &arguments);
