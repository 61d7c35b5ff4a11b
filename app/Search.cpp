// Finding things from the current cell: a word in four directions, the next
// and previous invalid cell; and undo and redo, which also move there.

#include "qnVelTorForm.h"

#include "Messages.h"
#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolTip>

namespace {

const QString foundHint = QStringLiteral("見つかりました(^_^)");
const QString notFoundHint = QStringLiteral("見つかりません(；_；)");

} // namespace

void TVelTorForm::KensakuLeftButtonClick()
{
    Search(ui.KensakuLeftButton, ReportSearch::Left);
}

void TVelTorForm::KensakuRightButtonClick()
{
    Search(ui.KensakuRightButton, ReportSearch::Right);
}

void TVelTorForm::KensakuUpButtonClick()
{
    Search(ui.KensakuUpButton, ReportSearch::Up);
}

void TVelTorForm::KensakuDownButtonClick()
{
    Search(ui.KensakuDownButton, ReportSearch::Down);
}

void TVelTorForm::Search(QPushButton *button, ReportSearch::Direction direction)
{
    // A cell being typed into is part of what the user sees.
    ui.VelTorGrid->CommitEditor();
    // The box admits only text that code page 932 holds.
    const std::string word = ShiftJis::FromText(ui.KensakuWord->text()).value_or(std::string());
    int line = GridRowToRecord(CurrentRow());
    int field = GridColToField(CurrentCol());
    const bool found = ReportSearch(document).Find(word, direction, line, field);
    if (found) {
        SetCurrentCell(FieldToGridCol(field), RecordToGridRow(line));
        ui.VelTorGrid->scrollTo(Model->index(line, field));
    }
    const QString &hint = found ? foundHint : notFoundHint;
    button->setToolTip(hint);
    ShowHint(button, button->mapToGlobal(button->rect().center()), hint);
}

void TVelTorForm::SearchButtonLeft(QPushButton *button)
{
    // The message belongs to the last click only.
    button->setToolTip(QString());
    ShowHint(button, QPoint(), QString());
}

void TVelTorForm::EditNextErrorExecute()
{
    GoToError(true);
}

void TVelTorForm::EditPrevErrorExecute()
{
    GoToError(false);
}

void TVelTorForm::GoToError(bool forward)
{
    ui.VelTorGrid->CommitEditor();
    unsigned line = 0;
    unsigned field = 0;
    bool wrapped = false;
    // From the new-line row, which has no verdicts, forward starts at the
    // first line and backward at the last.
    if (!CellAttrs().FindError(unsigned(GridRowToRecord(CurrentRow())), unsigned(GridColToField(CurrentCol())),
                               forward, line, field, wrapped)) {
        statusBar()->showMessage(QStringLiteral("エラーのセルはありません。"));
        return;
    }
    SetCurrentCell(FieldToGridCol(int(field)), RecordToGridRow(int(line)));
    const QModelIndex index = ui.VelTorGrid->currentIndex();
    ui.VelTorGrid->scrollTo(index);
    QString text = QStringLiteral("%1行目「%2」：%3")
                           .arg(line + 1)
                           .arg(ShiftJis::ToText(document.Attributes().At(field)->name))
                           .arg(ShiftJis::ToText(CellAttrs().GetErrorMessage(line, field)));
    if (wrapped)
        text += forward ? QStringLiteral("（先頭に戻りました）") : QStringLiteral("（末尾に戻りました）");
    statusBar()->showMessage(text);
    const QRect cell = ui.VelTorGrid->visualRect(index);
    QToolTip::showText(ui.VelTorGrid->viewport()->mapToGlobal(cell.bottomLeft()), text, ui.VelTorGrid->viewport());
}

void TVelTorForm::EditUndoExecute()
{
    // What is being typed is a step of its own, and the first to go.
    ui.VelTorGrid->CommitEditor();
    if (!document.Undo())
        ShowError(Messages::OutOfMemoryUndo());
}

void TVelTorForm::EditRedoExecute()
{
    ui.VelTorGrid->CommitEditor();
    if (!document.Redo())
        ShowError(Messages::OutOfMemoryRedo());
}
