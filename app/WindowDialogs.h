#pragma once

#include <QString>

class QFileDialog;
class QMenu;
class QMessageBox;
class QPoint;
class ReplaceDialog;
class SortDialog;
class TAboutBox;

// Every modal dialog of the main window goes through here, so that tests
// can answer them.
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;
    // Returns the button chosen (a QMessageBox::StandardButton).
    virtual int ExecMessageBox(QMessageBox &box);
    // Returns the confirmed path, or an empty text when cancelled.
    virtual QString ExecFileDialog(QFileDialog &dialog);
    virtual void ExecAbout(TAboutBox &box);
    // Find and replace; its buttons act while it is open.
    virtual void ExecReplace(ReplaceDialog &dialog);
    // Returns a QDialog::DialogCode.
    virtual int ExecSort(SortDialog &dialog);
    // A context menu at `globalPos`; the action chosen does its work.
    virtual void ExecMenu(QMenu &menu, const QPoint &globalPos);
};
