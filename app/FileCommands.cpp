// File commands of the main window: New, Open, Save, Save As, Exit, the save
// question, the file drop and the copying between window and report.

#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"
#include "qnVelTorFile.h"
#include "qnVelTorFileName.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <ranges>
#include <span>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

#ifdef Q_OS_WIN
const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*.*)");
#else
// Elsewhere "*.*" would hide every name without a dot.
const QString ReportFilter = QStringLiteral("JASRAC報告ファイル(*.dat);;すべてのファイル (*)");
#endif
const QString ReportSuffix = QStringLiteral("dat");

// Gives freed heap pages back to the system: a large report's container is
// dropped once the grid holds the report.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Which of the three values joined in `baseName` (the first two `first` and
// `second` bytes long) hold a character no file name can hold. Looked for in
// the joined name: a value cut out of a name inside a double-byte character
// may begin with its second byte, which alone reads as a backslash.
std::array<bool, 3> valuesUnfitForFileName(std::string_view baseName, std::size_t first, std::size_t second)
{
    std::array<bool, 3> unfit{};
    for (std::size_t i = 0; i < baseName.size(); ++i) {
        const auto c = static_cast<unsigned char>(baseName[i]);
        if (ShiftJis::IsLeadByte(c) && i + 1 < baseName.size()
            && ShiftJis::IsTrailByte(static_cast<unsigned char>(baseName[i + 1]))) {
            ++i;
            continue;
        }
        if (c < 0x80 && !CanStandInFileName(QChar(char16_t(c))))
            unfit[i < first ? 0 : i < first + second ? 1 : 2] = true;
    }
    return unfit;
}

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Shows how far a load has got once it has run for `delay` milliseconds, and
// lets the user stop it. Events are handled only from then on, while the
// window-modal dialog keeps the user's input away from the window, so no
// command can run inside a load. Called once per chunk of the file: before
// the dialog is up it costs one look at the clock.
class LoadProgress
{
public:
    LoadProgress(QWidget *window, int delay) : window(window), delay(delay) { clock.start(); }

    // False when the user has asked to stop.
    bool Step(std::uint64_t done, std::uint64_t size)
    {
        if (!dialog) {
            if (clock.elapsed() < delay)
                return true;
            dialog = std::make_unique<QProgressDialog>(QStringLiteral("ファイルを読み込んでいます…"),
                                                       QStringLiteral("キャンセル"), 0, Steps, window);
            dialog->setWindowTitle(QStringLiteral("読み込み中"));
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            // The Cancel button must not look busy.
            QApplication::changeOverrideCursor(Qt::BusyCursor);
            dialog->show();
        }
        const std::uint64_t part = size == 0 ? 0 : std::min(done, size) * Steps / size;
        dialog->setValue(int(part));
        QCoreApplication::processEvents();
        return !dialog->wasCanceled();
    }

private:
    static constexpr int Steps = 1000;
    QWidget *window; // not owned
    int delay;
    QElapsedTimer clock;
    std::unique_ptr<QProgressDialog> dialog;
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

bool TVelTorForm::ConfirmHeaderComesBack(QObject *Sender)
{
    struct Header
    {
        const QLabel *label;
        const QLineEdit *box;
        std::string value;
        std::string readBack;
    };
    Header headers[] = {{Label1, SyoudakuBangou, HeaderBytes(SyoudakuBangou), {}},
                        {Label2, HoukokuNengappi, HeaderBytes(HoukokuNengappi), {}},
                        {Label3, NiniMoziretsu, HeaderBytes(NiniMoziretsu), {}}};
    const std::string baseName =
            qnVelTorData::MakeFileBaseName(headers[0].value, headers[1].value, headers[2].value);
    // Only a save whose dialog proposes the name made of the boxes; with
    // empty boxes it proposes none.
    const bool newName = Sender == FileSaveAs1 || CurrentFileName.isEmpty() || NameChanged
            || baseName != Data.FileBaseName();
    if (!newName || baseName.empty())
        return true;

    // The name as the dialog proposes it, read back as Open reads it: a base
    // name with a dot of its own keeps that dot as its extension.
    QString proposed = ShiftJis::ToText(baseName);
    if (!proposed.contains(u'.'))
        proposed += u'.' + ReportSuffix;
    qnVelTorData reopened;
    reopened.SetFileBaseName(FileBaseNameOfPath(proposed));
    headers[0].readBack = reopened.GetSyoudakuBangou();
    headers[1].readBack = reopened.GetHoukokuNengappi();
    headers[2].readBack = reopened.GetNiniMoziretsu();

    const std::array<bool, 3> unfit =
            valuesUnfitForFileName(baseName, headers[0].value.size(), headers[1].value.size());

    QStringList differences;
    for (std::size_t h = 0; h < 3; ++h) {
        const Header &header = headers[h];
        const QString text = header.box->text();
        if (header.readBack == header.value && !unfit[h])
            continue;
        if (unfit[h]) {
            differences << QStringLiteral("・%1：「%2」にはファイル名に使えない文字があります")
                                   .arg(header.label->text(), text);
        } else {
            differences << QStringLiteral("・%1：「%2」は「%3」として読まれます")
                                   .arg(header.label->text(), text, ShiftJis::ToText(header.readBack));
        }
    }
    if (differences.isEmpty())
        return true;

    QMessageBox box(QMessageBox::Warning, QStringLiteral("確認"),
                    QStringLiteral("このファイル名で保存すると、開き直したときに次の欄が今の値と変わります。\n\n%1"
                                   "\n\nこのまま保存しますか？")
                            .arg(differences.join(u'\n')),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(QStringLiteral("このまま保存"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return dialogs->ExecMessageBox(box) == QMessageBox::Save;
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
    SetCurrentFileName(QString());
    NameChanged = false;
    ClearView();
    ResetUndo();
}

void TVelTorForm::FileOpen1Execute(QObject *Sender)
{
    if (!QuerySaveBeforeReplace(Sender))
        return;
    QFileDialog dialog(this, QString(), StartFolder(), ReportFilter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // No default suffix: a name typed without an extension is opened as typed.
    const QString path = dialogs->ExecFileDialog(dialog);
    if (path.isEmpty())
        return;
    LoadReport(path);
}

bool TVelTorForm::LoadReport(const QString &path)
{
    // Events are handled while the progress is shown; a second load must
    // not start inside the first.
    if (loading)
        return false;
    loading = true;
    bool ok = false;
    ReadFailure failure = ReadFailure::None;
    ReadFacts facts;
    // A load the user cancels leaves everything as it was, also the name
    // the next Save compares the header boxes with.
    const std::string previousBaseName = Data.FileBaseName();
    {
        WaitCursor wait;
        LoadProgress progress(this, LoadProgressDelay);
        try {
            Data.Clear();
            // Set before the file is opened: a later save compares its
            // name with it even when this read fails.
            Data.SetFileBaseName(FileBaseNameOfPath(path));
            // A report's lines are rarely shorter than a few dozen bytes: the
            // rows are not regrown and copied on the way, and what is
            // reserved but not filled takes address space only.
            const std::uint64_t expected = std::uint64_t(std::max<qint64>(QFileInfo(path).size(), 0)) / 32 + 1;
            const auto reserved = std::size_t(std::min<std::uint64_t>(expected, qnVelTorData::MaxRecords));
            loadedRows.reserve(reserved);
            ok = ReadReportLines(
                    path, [this](const std::string_view *fields, std::size_t lines) { TakeLines(fields, lines); },
                    [&progress](std::uint64_t done, std::uint64_t size) { return progress.Step(done, size); },
                    &failure, &facts);
            if (ok) {
                // Everything that needs much memory happens before the
                // window lets go of the report it shows.
                loadedRows.reserve(loadedRows.size() + 1); // the new-line row
                ClearView();
                DocumentToGrid();
                Modified = false;
                SetCurrentFileName(path);
                NameChanged = false;
                ResetUndo();
            }
        } catch (const std::bad_alloc &) {
            ok = false;
            failure = ReadFailure::OutOfMemory;
        }
        if (!ok)
            DropLoadedRecords();
        if (failure == ReadFailure::Cancelled)
            Data.SetFileBaseName(previousBaseName);
        releaseFreedMemory();
    }
    loading = false;
    switch (failure) {
    case ReadFailure::None:
        break;
    case ReadFailure::Cancelled:
        statusBar()->showMessage(LoadCancelledMessage());
        break;
    case ReadFailure::NotRegularFile:
        ShowError(NotRegularFileMessage());
        break;
    case ReadFailure::OutOfMemory:
        ShowError(OutOfMemoryLoadMessage());
        break;
    default:
        ShowError(QStringLiteral("ファイル読み込みエラー"));
        break;
    }
    if (ok)
        ReportLoaded(facts);
    return ok;
}

void TVelTorForm::DropLoadedRecords()
{
    Data.Resize(0);
    std::vector<ReportRow>().swap(loadedRows);
    loadedArena = RowArena();
    loadedAttrs.Reset(0);
}

QString TVelTorForm::NotRegularFileMessage()
{
    return QStringLiteral("通常のファイルではないため、開けません。\n（フォルダー、パイプ、デバイスなどは開けません）");
}

QString TVelTorForm::OutOfMemoryLoadMessage()
{
    return QStringLiteral("メモリが足りないため、ファイルを開けません。\n表示中の報告はそのままです。");
}

QString TVelTorForm::OutOfMemorySaveMessage()
{
    return QStringLiteral("メモリが足りないため、ファイルを保存できませんでした。\n報告も元のファイルもそのままです。");
}

QString TVelTorForm::OutOfMemoryPasteMessage()
{
    return QStringLiteral("メモリが足りないため、行を貼り付けられません。");
}

QString TVelTorForm::OutOfMemoryDrawMessage()
{
    return QStringLiteral("メモリが足りないため、表示できないセルがあります。");
}

QString TVelTorForm::LoadCancelledMessage()
{
    return QStringLiteral("読み込みを中止しました。表示中の報告はそのままです。");
}

bool TVelTorForm::FileSave1Execute(QObject *Sender)
{
    VelTorGrid->CommitEditor();
    if (!ConfirmHeaderComesBack(Sender))
        return false;
    GridToDocument();

    QString target = CurrentFileName;
    if (Sender == FileSaveAs1 || CurrentFileName.isEmpty() || NameChanged) {
        const QFileInfo current(CurrentFileName);
        const QString folder = StartFolder();
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
        if (path.isEmpty())
            return false;
        target = path;
    }

    bool written = false;
    bool outOfMemory = false;
    {
        WaitCursor wait;
        // The lines go to the file straight from the grid's rows: a second
        // copy of a large report could take more memory than there is.
        const auto rowFields = [this](std::uint32_t record, std::string_view (&fields)[FieldCount]) {
            Model->Row(int(record)).Cells(fields);
        };
        try {
            qnVelTorFileWriter writer;
            written = writer.Write(target, std::uint32_t(GridRowCount() - FixedRows - 1), rowFields);
            outOfMemory = writer.OutOfMemory();
        } catch (const std::bad_alloc &) {
            outOfMemory = true;
        }
    }
    if (!written) {
        ShowError(outOfMemory ? OutOfMemorySaveMessage() : QStringLiteral("ファイル書き込みエラー"));
        return false;
    }
    // Only a file that was written becomes the current one: a later Save
    // must not go quietly to a path that failed.
    SetCurrentFileName(target);
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
    SetHeader(SyoudakuBangou, {});
    SetHeader(HoukokuNengappi, {});
    SetHeader(NiniMoziretsu, {});
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

void TVelTorForm::TakeLines(const std::string_view *fields, std::size_t lines)
{
    std::string message;
    for (std::size_t line = 0; line < lines; ++line, fields += FieldCount) {
        const unsigned record = loadedAttrs.RowCount();
        loadedAttrs.AddRow();
        loadedRows.push_back(ReportRow::FromCells(std::span(fields, FieldCount), &loadedArena));
        // The message is made only for the few cells that need one.
        for (unsigned field = 0; field < FieldCount; ++field) {
            if (!Attributes.IsValid(field, fields[field])) {
                Attributes.Validate(field, fields[field], message);
                loadedAttrs.SetError(record, field, true);
                loadedAttrs.SetErrorMessage(record, field, message);
                message.clear();
            }
        }
    }
}

void TVelTorForm::DocumentToGrid()
{
    SetHeader(SyoudakuBangou, Data.GetSyoudakuBangou());
    SetHeader(HoukokuNengappi, Data.GetHoukokuNengappi());
    SetHeader(NiniMoziretsu, Data.GetNiniMoziretsu());

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
    const std::string baseName = Data.MakeFileBaseName(HeaderBytes(SyoudakuBangou), HeaderBytes(HoukokuNengappi),
                                                       HeaderBytes(NiniMoziretsu));
    if (baseName != Data.FileBaseName()) {
        Data.SetFileBaseName(baseName);
        NameChanged = true;
    }
    // The lines are not copied: the save writes them from the grid's rows.
    Data.Resize(0);
}

void TVelTorForm::SetHeader(QLineEdit *box, std::string bytes)
{
    box->setText(ShiftJis::ToText(bytes));
    if (box == SyoudakuBangou)
        syoudakuBangouBytes = std::move(bytes);
    else if (box == HoukokuNengappi)
        houkokuNengappiBytes = std::move(bytes);
    else if (box == NiniMoziretsu)
        niniMoziretsuBytes = std::move(bytes);
}

std::string TVelTorForm::HeaderBytes(const QLineEdit *box) const
{
    const std::string &filled = box == SyoudakuBangou    ? syoudakuBangouBytes
                                : box == HoukokuNengappi ? houkokuNengappiBytes
                                                         : niniMoziretsuBytes;
    const QString text = box->text();
    if (text == ShiftJis::ToText(filled))
        return filled;
    // An edited box: the box lets in only characters code page 932 holds,
    // so what has no form is the U+FFFD of bytes that were not Shift-JIS,
    // which cannot be turned back into those bytes and is dropped, as in an
    // edited cell.
    return ShiftJis::FromTextReplacing(text, {});
}
