#pragma once

// Helpers for tests that drive the main window.

#include "DocumentSupport.h"
#include "ReportModel.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QItemSelectionModel>
#include <QList>
#include <QMessageBox>

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

    QStringList boxes;
    QStringList captions;
    QList<int> answers;
    int defaultAnswer = QMessageBox::Cancel;
    QStringList paths;
    int fileDialogs = 0;
    int abouts = 0;
};

// The grid's model, watched by Qt's model tester for as long as `tester`
// lives.
inline ReportModel *model(const TVelTorForm &form)
{
    return static_cast<ReportModel *>(form.Ui().VelTorGrid->model());
}

// A window whose dialogs are answered and whose model is watched.
struct Window
{
    Window() { form.SetDialogs(&dialogs); }
    ~Window() { form.SetDialogs(nullptr); }

    RecordingDialogs dialogs;
    TVelTorForm form;
    QAbstractItemModelTester tester{model(form), QAbstractItemModelTester::FailureReportingMode::QtTest};
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
