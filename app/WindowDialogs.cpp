#include "WindowDialogs.h"

#include "ReplaceDialog.h"
#include "SortDialog.h"
#include "about.h"

#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

int WindowDialogs::ExecMessageBox(QMessageBox &box)
{
    return box.exec();
}

QString WindowDialogs::ExecFileDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

void WindowDialogs::ExecAbout(TAboutBox &box)
{
    box.exec();
}

void WindowDialogs::ExecReplace(ReplaceDialog &dialog)
{
    dialog.exec();
}

int WindowDialogs::ExecSort(SortDialog &dialog)
{
    return dialog.exec();
}

void WindowDialogs::ExecMenu(QMenu &menu, const QPoint &globalPos)
{
    menu.exec(globalPos);
}
