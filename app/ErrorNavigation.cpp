// Every invalid cell at a glance: the count in the status bar, F8 and
// Shift+F8 to walk them, and what a load found.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorFile.h"

#include <QLabel>
#include <QStatusBar>
#include <QToolTip>

void TVelTorForm::UpdateErrorCount()
{
    const std::uint64_t cells = CellAttrs.ErrorCellCount();
    ErrorCount->setText(cells ? QStringLiteral("エラー %1 個（%2 行）").arg(cells).arg(CellAttrs.ErrorRowCount())
                              : QStringLiteral("エラーなし"));
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
    VelTorGrid->CommitEditor();
    unsigned record = 0;
    unsigned field = 0;
    bool wrapped = false;
    // From the new-line row, which has no verdicts, forward starts at the
    // first line and backward at the last.
    if (!CellAttrs.FindError(unsigned(GridRowToRecord(CurrentRow())), unsigned(GridColToField(CurrentCol())), forward,
                             record, field, wrapped)) {
        statusBar()->showMessage(QStringLiteral("エラーのセルはありません。"));
        return;
    }
    SetCurrentCell(FieldToGridCol(int(field)), RecordToGridRow(int(record)));
    const QModelIndex index = VelTorGrid->currentIndex();
    VelTorGrid->scrollTo(index);
    QString text = QStringLiteral("%1行目「%2」：%3")
                           .arg(record + 1)
                           .arg(ShiftJis::ToText(Attributes.At(field)->name))
                           .arg(ShiftJis::ToText(CellAttrs.GetErrorMessage(record, field)));
    if (wrapped)
        text += forward ? QStringLiteral("（先頭に戻りました）") : QStringLiteral("（末尾に戻りました）");
    statusBar()->showMessage(text);
    const QRect cell = VelTorGrid->visualRect(index);
    QToolTip::showText(VelTorGrid->viewport()->mapToGlobal(cell.bottomLeft()), text, VelTorGrid->viewport());
}

void TVelTorForm::ReportLoaded(const ReadFacts &facts)
{
    UpdateErrorCount();
    statusBar()->showMessage(QStringLiteral("%1行を読み込みました。エラーのセルは%2個（%3行）です。")
                                     .arg(Model->rowCount() - 1)
                                     .arg(CellAttrs.ErrorCellCount())
                                     .arg(CellAttrs.ErrorRowCount()));
    QStringList warnings;
    if (facts.longLines) {
        warnings << QStringLiteral("項目が19個より多い行が%1行あります（最初は%2行目）。\n"
                                   "上書き保存すると、20個目からの項目は失われます。")
                            .arg(facts.longLines)
                            .arg(facts.firstLongLine);
    }
    if (facts.oddLines) {
        warnings << QStringLiteral("NULバイトまたはShift_JISでないバイトを含む行が%1行あります（最初は%2行目）。\n"
                                   "報告ファイルではない可能性があります。")
                            .arg(facts.oddLines)
                            .arg(facts.firstOddLine);
    }
    if (warnings.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"), warnings.join(QStringLiteral("\n\n")),
                    QMessageBox::Ok, this);
    dialogs->ExecMessageBox(box);
}
