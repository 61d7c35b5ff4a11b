#pragma once

// Helpers for tests that drive the main window.

#include "DocumentSupport.h"
#include "ReplaceDialog.h"
#include "ReportModel.h"
#include "SortDialog.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAbstractItemModelTester>
#include <optional>
#include <QAction>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMessageBox>

#include <functional>

namespace TestSupport {

// Answers every dialog at once and records it: a message box with the next
// of `answers` (else `defaultAnswer`), a file dialog with the next of
// `paths` (else as cancelled).
class RecordingDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        boxes << box.text();
        captions << box.windowTitle();
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    QString ExecFileDialog(QFileDialog &) override
    {
        ++fileDialogs;
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }
    void ExecAbout(TAboutBox &) override { ++abouts; }
    // The find-and-replace and sort dialogs are handed to these, which
    // drive them as a user would; unset, they are closed at once.
    void ExecReplace(ReplaceDialog &dialog) override
    {
        ++replaceDialogs;
        if (onReplace)
            onReplace(dialog);
    }
    int ExecSort(SortDialog &dialog) override { return onSort ? onSort(dialog) : int(QDialog::Rejected); }
    // A context menu: its actions are recorded by name, and the one named
    // `menuChoice` is chosen.
    void ExecMenu(QMenu &menu, const QPoint &) override
    {
        menus << QStringList();
        for (QAction *action : menu.actions())
            menus.last() << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        for (QAction *action : menu.actions()) {
            if (!menuChoice.isEmpty() && action->objectName() == menuChoice && action->isEnabled())
                action->trigger();
        }
    }

    QStringList boxes;
    QStringList captions;
    QList<int> answers;
    int defaultAnswer = QMessageBox::Cancel;
    QStringList paths;
    int fileDialogs = 0;
    int abouts = 0;
    std::function<void(ReplaceDialog &)> onReplace;
    int replaceDialogs = 0;
    std::function<int(SortDialog &)> onSort;
    QList<QStringList> menus;
    QString menuChoice;
};

// The grid's model, watched by Qt's model tester for as long as `tester`
// lives.
inline ReportModel *model(const TVelTorForm &form)
{
    return static_cast<ReportModel *>(form.Ui().VelTorGrid->model());
}

// A window whose dialogs are answered and whose model is watched. The
// model tester walks every row at each reset: a window that loads tens of
// thousands of lines goes without it.
struct Window
{
    explicit Window(bool watched = true)
    {
        form.SetDialogs(&dialogs);
        if (watched)
            tester.emplace(model(form), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    ~Window() { form.SetDialogs(nullptr); }

    RecordingDialogs dialogs;
    TVelTorForm form;
    std::optional<QAbstractItemModelTester> tester;
};

// What the cell editor does for a keystroke and at the end of an edit, in
// the document's (line, field).
inline void type(TVelTorForm &form, int line, int field, const QString &text)
{
    form.VelTorGridSetEditText(form.FieldToGridCol(field), form.RecordToGridRow(line), text);
    model(form)->setData(model(form)->index(line, field), text);
}

inline void setCurrent(TVelTorForm &form, int line, int field)
{
    form.SetCurrentCell(form.FieldToGridCol(field), form.RecordToGridRow(line));
}

// Opens the grid's cell editor on (line, field), as a double click does.
inline QLineEdit *openEditor(TVelTorForm &form, int line, int field)
{
    setCurrent(form, line, field);
    form.Ui().VelTorGrid->setFocus();
    form.Ui().VelTorGrid->edit(form.Ui().VelTorGrid->currentIndex());
    return form.Ui().VelTorGrid->Editor();
}

inline void selectBlock(TVelTorForm &form, int top, int left, int bottom, int right)
{
    setCurrent(form, top, left);
    form.Ui().VelTorGrid->selectionModel()->select(
            QItemSelection(model(form)->index(top, left), model(form)->index(bottom, right)),
            QItemSelectionModel::ClearAndSelect);
}

// A failed open's or save's box: its first line, a blank line, the file's
// path and the reason.
inline QString failureBox(const QString &firstLine, const QString &path, const QString &reason)
{
    return firstLine + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) + u'\n' + reason;
}

} // namespace TestSupport
