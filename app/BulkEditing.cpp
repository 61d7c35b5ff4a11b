// Commands over many cells or lines (find and replace, renumbering, filling
// down, sorting), the grid's context menu, Enter as spreadsheets take it,
// the list of recent reports and the header boxes' rules. Each command is
// one operation of the document or of a class of its own in document/.

#include "qnVelTorForm.h"

#include "BulkEdits.h"
#include "LoadProgress.h"
#include "Messages.h"
#include "RecentFiles.h"
#include "ReplaceDialog.h"
#include "ReplaceSession.h"
#include "ReportModel.h"
#include "ReportReplace.h"
#include "ShiftJis.h"
#include "SortDialog.h"
#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>

QStringList TVelTorForm::FieldNames() const
{
    QStringList names;
    for (unsigned field = 0; field < FieldCount; ++field)
        names << ShiftJis::ToText(document.Attributes().At(field)->name);
    return names;
}

void TVelTorForm::EditFindExecute()
{
    ui.VelTorGrid->CommitEditor();
    ui.KensakuWord->setFocus(Qt::ShortcutFocusReason);
    ui.KensakuWord->selectAll();
}

void TVelTorForm::EditReplaceExecute()
{
    ui.VelTorGrid->CommitEditor();
    ReplaceDialog dialog(FieldNames(), this);
    dialog.SetTexts(lastFind.isEmpty() ? ui.KensakuWord->text() : lastFind, lastReplacement);
    // The block as it is now: showing an occurrence moves the current cell.
    ReportReplace::Scope block;
    dialog.SetBlockAvailable(ui.VelTorGrid->SelectedBlock(block.top, block.left, block.bottom, block.right)
                             && (block.top != block.bottom || block.left != block.right));
    dialog.SetField(GridColToField(CurrentCol()));
    const ReplaceSession session(document, dialog, block,
                                 {[this] {
                                      return ReplaceSession::Place{GridRowToRecord(CurrentRow()),
                                                                   GridColToField(CurrentCol())};
                                  },
                                  [this](ReplaceSession::Place place) { ShowPlace(place.line, place.field); },
                                  [this, &dialog](const QString &message) {
                                      statusBar()->showMessage(message);
                                      dialog.ShowMessage(message);
                                  }});
    dialogs->ExecReplace(dialog);
    lastFind = dialog.FindText();
    lastReplacement = dialog.ReplacementText();
}

void TVelTorForm::EditRenumberExecute()
{
    ui.VelTorGrid->CommitEditor();
    // Several selected lines are renumbered alone, from their first one's
    // number on; else the whole report from 1.
    int top = 0, left = 0, bottom = 0, right = 0;
    int first = 0;
    int last = document.LineCount() - 1;
    std::uint64_t start = 1;
    if (ui.VelTorGrid->SelectedBlock(top, left, bottom, right) && bottom > top && top < document.LineCount()) {
        first = top;
        last = bottom;
        start = BulkEdits::NumberFrom(document, first);
    }
    const BulkEdits::Result result = BulkEdits::Renumber(document, first, last, start);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::Renumbered(result));
}

void TVelTorForm::EditFillDownExecute()
{
    ui.VelTorGrid->CommitEditor();
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!ui.VelTorGrid->SelectedBlock(top, left, bottom, right))
        return;
    const BulkEdits::Result result = BulkEdits::FillDown(document, top, left, bottom, right);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::FilledDown(result));
}

void TVelTorForm::EditSortExecute()
{
    ui.VelTorGrid->CommitEditor();
    SortDialog dialog(FieldNames(), this);
    dialog.SetKeys(lastSortKeys);
    if (dialogs->ExecSort(dialog) != QDialog::Accepted)
        return;
    lastSortKeys = dialog.Keys();
    WaitCursor wait;
    const BulkEdits::Result result = BulkEdits::Sort(document, lastSortKeys);
    statusBar()->showMessage(result.outOfMemory ? Messages::OutOfMemoryEdit() : Messages::Sorted(result));
}

void TVelTorForm::UpdateBulkActions()
{
    const int lines = document.LineCount();
    ui.EditRenumber->setEnabled(lines > 0);
    ui.EditFillDown->setEnabled(lines > 0);
    ui.EditSort->setEnabled(lines > 1);
    ui.EditClearCells->setEnabled(GridTakesBlocks());
}

void TVelTorForm::VelTorGridContextMenu(const QPoint &globalPos)
{
    UpdateLineActions();
    UpdateTextActions();
    dialogs->ExecMenu(*ui.GridMenu, globalPos);
}

void TVelTorForm::MoveCurrentLine(int step)
{
    // The new-line row is the last place: Enter there stays there.
    const int line = std::clamp(GridRowToRecord(CurrentRow()) + step, 0, document.LineCount());
    ShowPlace(line, GridColToField(CurrentCol()));
}

void TVelTorForm::FileRecentExecute(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        // Offered as it was kept; gone now, it leaves the list.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"), Messages::RecentFileMissing(path),
                        QMessageBox::Ok, this);
        dialogs->ExecMessageBox(box);
        ui.ShowRecentFiles(RecentFiles::Remove(path));
        return;
    }
    if (QuerySaveBeforeReplace(this))
        LoadReport(path);
}
