// File commands of the main window: New, Open, Save, Save As, Exit, the save
// question, the file drop and the copying between window and report.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorFile.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QUndoStack>
#include <QUrl>

#include <ranges>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*.*)");
const QString ReportSuffix = QStringLiteral("dat");

// Gives freed heap pages back to the system: a large report's container is
// dropped once the grid holds the report.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Header boxes only ever hold characters code page 932 has.
std::string headerBytes(const QLineEdit *edit)
{
    return ShiftJis::FromText(edit->text()).value_or(std::string());
}

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

QMessageBox::StandardButton TVelTorForm::ConfirmSave()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"),
                    QStringLiteral("内容は変更されています。\n変更を保存しますか？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    box.adjustSize();
    const QRect window = frameGeometry();
    box.move(window.left() + window.width() / 2 - box.width() / 2,
             window.top() + window.height() / 2 - box.height() / 2);
    switch (dialogs->ExecMessageBox(box)) {
    case QMessageBox::Yes:
        return QMessageBox::Yes;
    case QMessageBox::No:
        return QMessageBox::No;
    default:
        return QMessageBox::Cancel;
    }
}

void TVelTorForm::ShowError(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), text, QMessageBox::Ok, this);
    dialogs->ExecMessageBox(box);
}

bool TVelTorForm::QuerySaveBeforeReplace(QObject *Sender)
{
    VelTorGrid->CommitEditor();
    if (!Modified)
        return true;
    switch (ConfirmSave()) {
    case QMessageBox::Yes:
        // A Yes that ends without a save must not lose the edits.
        return FileSave1Execute(Sender);
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TVelTorForm::FileNew1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    Data.Clear();
    Modified = false;
    CurrentFileName.clear();
    NameChanged = false;
    ClearView();
    ResetUndo();
}

void TVelTorForm::FileOpen1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    QFileDialog dialog(this, QString(), QString(), ReportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(ReportSuffix);
    const QString path = dialogs->ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    LoadReport(path);
}

bool TVelTorForm::LoadReport(const QString &path)
{
    bool ok;
    ReadFacts facts;
    {
        WaitCursor wait;
        Data.Clear();
        ok = ReadReportFile(path, &Data, [this](qnVelTorData &) { TakeRecords(); }, &facts);
        if (ok) {
            Modified = false;
            CurrentFileName = path;
            NameChanged = false;
            ClearView();
            DocumentToGrid();
            ResetUndo();
        } else {
            loadedRows.clear();
            loadedArena = RowArena();
            loadedAttrs.Reset(0);
        }
        releaseFreedMemory();
    }
    if (!ok)
        ShowError(QStringLiteral("ファイル読み込みエラー"));
    else
        ReportLoaded(facts);
    return ok;
}

bool TVelTorForm::FileSave1Execute(QObject *Sender)
{
    VelTorGrid->CommitEditor();
    GridToDocument();

    if (Sender == FileSaveAs1 || CurrentFileName.isEmpty() || NameChanged) {
        const QFileInfo current(CurrentFileName);
        const QString folder = CurrentFileName.isEmpty() ? QString() : current.absolutePath();
        const QString extension =
                CurrentFileName.isEmpty() || current.suffix().isEmpty() ? QString() : u'.' + current.suffix();
        const QString baseName = ShiftJis::ToText(Data.FileBaseName());
        QString suggested;
        if (!baseName.isEmpty()) {
            if (extension.isEmpty())
                suggested = baseName + u'.' + ReportSuffix; // a report never saved
            else
                suggested = baseName.contains(u'.') ? baseName : baseName + extension;
        }

        QFileDialog dialog(this, QString(), folder, ReportFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(ReportSuffix);
#ifndef Q_OS_WIN
        // Qt's own dialog reliably adds the default extension and asks
        // before overwriting the file that name then names.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
        if (!suggested.isEmpty())
            dialog.selectFile(suggested);
        const QString path = dialogs->ExecFileDialog(dialog);
        if (path.isEmpty()) {
            Data.Resize(0);
            releaseFreedMemory();
            return false;
        }
        CurrentFileName = path;
    }

    bool written;
    {
        WaitCursor wait;
        written = qnVelTorFileWriter().Write(CurrentFileName, &Data);
        Data.Resize(0);
        releaseFreedMemory();
    }
    if (!written) {
        ShowError(QStringLiteral("ファイル書き込みエラー"));
        return false;
    }
    NameChanged = false;
    // Undoing back to what was saved leaves the report unmodified again.
    UndoStack->setClean();
    SyncModified();
    return true;
}

void TVelTorForm::FileExit1Execute(QObject *)
{
    close();
}

bool TVelTorForm::FormClose()
{
    VelTorGrid->CommitEditor();
    if (Modified) {
        switch (ConfirmSave()) {
        case QMessageBox::Yes:
            if (!FileSave1Execute(this))
                return false;
            break;
        case QMessageBox::No:
            break;
        default:
            return false;
        }
    }
    WriteSettings();
    return true;
}

void TVelTorForm::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TVelTorForm::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    OpenDroppedFile(event->mimeData()->urls());
}

void TVelTorForm::OpenDroppedFile(const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty())
        return;
    if (!QuerySaveBeforeReplace(this))
        return;
    LoadReport(path);
}

void TVelTorForm::ClearView()
{
    SyoudakuBangou->clear();
    HoukokuNengappi->clear();
    NiniMoziretsu->clear();
    Model->Clear();
    CellAttrs.Reset(0);
    gridHint.clear();
    SetCurrentCell(FixedCols, FixedRows);
}

void TVelTorForm::TakeRecords()
{
    std::string message;
    for (const qnVelTorDataRecord &line : Data) {
        const unsigned record = loadedAttrs.RowCount();
        loadedAttrs.AddRow();
        loadedRows.push_back(
                ReportRow::FromCells(line.fields | std::views::transform(&qnVelTorDataField::Get), &loadedArena));
        // A new row is clear: only the cells that break a rule are written,
        // which matters at 19 cells a line and a million lines.
        for (unsigned field = 0; field < FieldCount; ++field) {
            message.clear();
            if (!Attributes.Validate(field, line.fields[field].Get(), message)) {
                loadedAttrs.SetError(record, field, true);
                loadedAttrs.SetErrorMessage(record, field, message);
            }
        }
    }
    // The grid is the master copy from now on: the lines are not kept twice.
    Data.Resize(0);
}

void TVelTorForm::DocumentToGrid()
{
    SyoudakuBangou->setText(ShiftJis::ToText(Data.GetSyoudakuBangou()));
    HoukokuNengappi->setText(ShiftJis::ToText(Data.GetHoukokuNengappi()));
    NiniMoziretsu->setText(ShiftJis::ToText(Data.GetNiniMoziretsu()));

    // Lines still in Data (all of them, when a caller filled it at once)
    // join the ones a load has already taken.
    TakeRecords();
    CellAttrs = std::move(loadedAttrs);
    loadedAttrs = qnVelTor::GridAttr(FixedCols + FieldCount);
    Model->ResetRows(std::move(loadedRows), std::move(loadedArena));
    loadedRows.clear();
    loadedArena = RowArena();
    SetCurrentCell(FixedCols, FixedRows);
    VelTorGrid->scrollToTop();
}

void TVelTorForm::GridToDocument()
{
    const std::string baseName = Data.MakeFileBaseName(headerBytes(SyoudakuBangou), headerBytes(HoukokuNengappi),
                                                       headerBytes(NiniMoziretsu));
    if (baseName != Data.FileBaseName()) {
        Data.SetFileBaseName(baseName);
        NameChanged = true;
    }
    const unsigned lines = unsigned(GridRowCount() - FixedRows - 1);
    Data.Resize(0);
    Data.Resize(lines);
    for (unsigned record = 0; record < lines; ++record) {
        std::string_view cells[ReportRow::CellCount];
        Model->Row(int(record)).Cells(cells);
        qnVelTorDataRecord *target = Data.RecordAt(record);
        for (unsigned field = 0; field < FieldCount; ++field)
            target->fields[field].Set(cells[field]);
    }
}
