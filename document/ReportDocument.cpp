#include "ReportDocument.h"

#include "CellChanges.h"
#include "CellText.h"
#include "CellsCommand.h"
#include "DelimitedText.h"
#include "HeaderCommand.h"
#include "LineCommands.h"
#include "LinePartsReader.h"
#include "LoadedLines.h"
#include "MemoryHeadroom.h"
#include "ReportEdits.h"
#include "ShiftJis.h"
#include "qnVelTorData.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorFileName.h"
#include "qnVelTorHeaderRules.h"

#include <QFileInfo>
#include <QUndoStack>

#include <algorithm>
#include <climits>
#include <new>
#include <optional>
#include <span>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr unsigned VerdictWidth = ReportContent::VerdictWidth;

// A load reads the file in this many parts at once, one per core of the
// machines it is meant for; a small file is read in one.
constexpr std::size_t LoadThreads = 2;

const QString ReportSuffix = QStringLiteral("dat");

// Gives freed heap pages back to the system: a large report's lines are
// dropped when another one replaces them.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

QString stepText(ReportDocument::LineStep step, int count = 1)
{
    switch (step) {
    case ReportDocument::LineStep::Insert:
        return QStringLiteral("%1行挿入").arg(count);
    case ReportDocument::LineStep::Paste:
        return QStringLiteral("%1行貼り付け").arg(count);
    case ReportDocument::LineStep::Delete:
        return QStringLiteral("%1行削除").arg(count);
    case ReportDocument::LineStep::Cut:
        return QStringLiteral("%1行切り取り").arg(count);
    }
    return {};
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

// Rows a paste or import reads between two calls of its progress: a look
// at the clock each, and no more.
constexpr int ProgressRows = 4096;

// A pasted cell's bytes, as typing stores a text: look-alikes mapped, 0x1A
// (which the file format cannot carry) left out; nothing when a character
// has no code page 932 form.
std::optional<std::string> pastedBytes(QStringView cell)
{
    // Most cells are codes, numbers and flags: no text is built for them.
    if (std::all_of(cell.begin(), cell.end(), [](QChar c) { return c.unicode() < 0x80 && c.unicode() != 0x1A; })) {
        std::string bytes(std::size_t(cell.size()), '\0');
        std::transform(cell.begin(), cell.end(), bytes.begin(), [](QChar c) { return char(c.unicode()); });
        return bytes;
    }
    QString value = cell.toString();
    value.remove(QChar(0x1A));
    return ShiftJis::FromText(ShiftJis::MapLookAlikes(std::move(value)));
}

// An upper bound of the rows in spreadsheet text: every row but the last
// ends with a line break (CR LF, CR or LF), and a break inside a cell only
// makes the bound larger.
std::size_t rowsAtMost(QStringView text)
{
    std::size_t breaks = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n' || (c == u'\r' && (i + 1 == size || text[i + 1] != u'\n')))
            ++breaks;
    }
    return breaks + 1;
}

} // namespace

ReportDocument::ReportDocument(QObject *parent)
    : QObject(parent), attributes(content.attributes), arena(content.arena), lines(content.lines),
      attrs(content.attrs), headers(content.headers), undoStack(new QUndoStack(this)),
      edits(std::make_unique<ReportEdits>(content))
{
    connect(undoStack, &QUndoStack::indexChanged, this, [this] {
        // A line added by typing belongs to a step from now on.
        typedLine = -1;
        SyncModified();
        emit errorCountChanged();
    });
    connect(undoStack, &QUndoStack::cleanChanged, this, &ReportDocument::SyncModified);
}

ReportDocument::~ReportDocument() = default;

std::vector<std::string> ReportDocument::LineCells(int line) const
{
    std::string_view views[ReportRow::CellCount];
    Line(line).Cells(views);
    return std::vector<std::string>(std::begin(views), std::end(views));
}

QString ReportDocument::HeaderText(HeaderBox box) const
{
    return ShiftJis::ToText(headers[box]);
}

std::string ReportDocument::HeaderBaseName() const
{
    return qnVelTorData::MakeFileBaseName(headers[SyoudakuBangou], headers[HoukokuNengappi], headers[NiniMoziretsu]);
}

void ReportDocument::SetModified(bool value)
{
    if (modified == value)
        return;
    modified = value;
    emit modifiedChanged(modified);
}

void ReportDocument::SyncModified()
{
    SetModified(!undoStack->isClean());
}

void ReportDocument::SetFilePath(const QString &path)
{
    if (filePath == path)
        return;
    filePath = path;
    emit filePathChanged(filePath);
}

bool ReportDocument::Push(QUndoCommand *step)
{
    std::unique_ptr<QUndoCommand> owned(step);
    try {
        // A step whose first redo runs out of memory takes back what it did
        // and is not kept.
        undoStack->push(step);
    } catch (const std::bad_alloc &) {
        return false;
    }
    owned.release();
    return true;
}

void ReportDocument::ResetLines(std::vector<ReportRow> &&rows, RowArena &&rowArena, qnVelTor::GridAttr &&verdicts)
{
    emit aboutToBeReset();
    lines = std::move(rows);
    arena = std::move(rowArena);
    attrs = std::move(verdicts);
    emit reset();
    emit errorCountChanged();
}

void ReportDocument::Clear()
{
    ResetLines({}, RowArena(), qnVelTor::GridAttr(VerdictWidth));
    headerChecked.fill(false);
    for (int box = 0; box < HeaderCount; ++box) {
        headers[box].clear();
        filledHeaders[box].clear();
        emit content.headerChanged(HeaderBox(box));
    }
    fileBaseName.clear();
    nameChanged = false;
    fileIdentity = {};
    losses = {};
    SetFilePath(QString());
    undoStack->clear();
    typedLine = typingLine = -1;
    SyncModified();
    releaseFreedMemory();
}

ReportDocument::LoadResult ReportDocument::Load(const QString &path, const ReadProgress &progress)
{
    LoadResult result;
    // Events are handled while a load shows its progress; a second load
    // must not start inside the first.
    if (loading) {
        result.failure = ReadFailure::Cancelled;
        return result;
    }
    loading = true;
    const std::string previousBaseName = fileBaseName;
    const auto fileSize = std::uint64_t(std::max<qint64>(QFileInfo(path).size(), 0));
    try {
        // Set before the file is opened: a later save compares the header
        // values with it even when this read fails.
        fileBaseName = FileBaseNameOfPath(path);
        // A report's lines are rarely shorter than a few dozen bytes: the
        // rows are not regrown and copied on the way, and what is reserved
        // but not filled takes address space only.
        const std::uint64_t expected = fileSize / 32 + 1;
        // The lines take about as much memory as the file; under an
        // address-space limit the window must keep room to paint after
        // them, or it cannot show them at all.
        bool read = HasHeadroomFor(fileSize);
        // A part of the file for each core; the first part's rows take the
        // others' at the end, so they have room for all.
        std::vector<std::unique_ptr<LoadedLines>> parts;
        if (!read) {
            result.failure = ReadFailure::OutOfMemory;
        } else {
            std::vector<TakeLines> takes;
            for (std::size_t i = 0; i < LoadThreads; ++i) {
                parts.push_back(std::make_unique<LoadedLines>(attributes, VerdictWidth));
                parts.back()->Reserve(std::size_t(std::min<std::uint64_t>(expected / (i == 0 ? 1 : LoadThreads),
                                                                          qnVelTorData::MaxRecords)));
                takes.emplace_back([part = parts.back().get()](const std::string_view *fields, std::size_t count) {
                    part->Take(fields, count);
                });
            }
            LinePartsReader reader(std::move(takes));
            read = reader.Read(path, progress);
            result.failure = reader.Failure();
            result.facts = reader.Facts();
            if (read) {
                for (std::size_t i = 1; i < reader.KeptParts(); ++i)
                    parts[0]->Append(std::move(*parts[i]));
                parts.resize(1);
            }
        }
        if (read && !HasHeadroomFor(0)) {
            read = false;
            result.failure = ReadFailure::OutOfMemory;
        }
        if (read) {
            ResetLines(parts[0]->TakeRows(), parts[0]->TakeArena(), parts[0]->TakeVerdicts());
            qnVelTorData names;
            names.SetFileBaseName(fileBaseName);
            headers = {names.GetSyoudakuBangou(), names.GetHoukokuNengappi(), names.GetNiniMoziretsu()};
            filledHeaders = headers;
            headerChecked.fill(true);
            for (int box = 0; box < HeaderCount; ++box)
                emit content.headerChanged(HeaderBox(box));
            nameChanged = false;
            fileIdentity = result.facts.identity;
            losses = {result.facts.longLines, result.facts.firstLongLine, result.facts.bytesAfterEofMark};
            SetFilePath(path);
            undoStack->clear();
            typedLine = typingLine = -1;
            SyncModified();
        }
    } catch (const std::bad_alloc &) {
        result.failure = ReadFailure::OutOfMemory;
    }
    // A load the user cancels leaves everything as it was, also the name
    // the next save compares the header values with.
    if (result.failure == ReadFailure::Cancelled)
        fileBaseName = previousBaseName;
    releaseFreedMemory();
    loading = false;
    return result;
}

void ReportDocument::TakeHeaderName()
{
    const std::string baseName = HeaderBaseName();
    if (baseName != fileBaseName) {
        fileBaseName = baseName;
        nameChanged = true;
    }
}

QString ReportDocument::SuggestedFileName() const
{
    const QString baseName = ShiftJis::ToText(fileBaseName);
    if (baseName.isEmpty())
        return {};
    const QString suffix = QFileInfo(filePath).suffix();
    if (filePath.isEmpty() || suffix.isEmpty())
        return baseName + u'.' + ReportSuffix; // a report never saved
    return baseName.contains(u'.') ? baseName : baseName + u'.' + suffix;
}

std::vector<ReportDocument::HeaderDrift> ReportDocument::HeaderDrifts(bool saveAs) const
{
    const std::string baseName = HeaderBaseName();
    // Only a save whose dialog proposes the name made of the values; with
    // no values it proposes none.
    const bool newName = saveAs || NeedsFileName() || baseName != fileBaseName;
    if (!newName || baseName.empty())
        return {};

    // The name as the dialog proposes it, read back as Open reads it: a
    // base name with a dot of its own keeps that dot as its extension.
    QString proposed = ShiftJis::ToText(baseName);
    if (!proposed.contains(u'.'))
        proposed += u'.' + ReportSuffix;
    qnVelTorData reopened;
    reopened.SetFileBaseName(FileBaseNameOfPath(proposed));
    const std::string readBack[HeaderCount] = {reopened.GetSyoudakuBangou(), reopened.GetHoukokuNengappi(),
                                               reopened.GetNiniMoziretsu()};
    const std::array<bool, 3> unfit =
            valuesUnfitForFileName(baseName, headers[SyoudakuBangou].size(), headers[HoukokuNengappi].size());

    std::vector<HeaderDrift> drifts;
    for (int box = 0; box < HeaderCount; ++box) {
        if (unfit[std::size_t(box)] || readBack[box] != headers[box])
            drifts.push_back({HeaderBox(box), unfit[std::size_t(box)], readBack[box]});
    }
    return drifts;
}

DiskChange ReportDocument::ChangeOnDisk() const
{
    if (filePath.isEmpty())
        return DiskChange::Same;
    return CompareIdentity(fileIdentity, IdentityOf(filePath));
}

ReportDocument::SaveResult ReportDocument::Save(const QString &path, const std::function<bool()> &confirmWithoutBackup)
{
    SaveResult result;
    // The lines go to the file straight from their rows: a second copy of a
    // large report could take more memory than there is.
    const auto lineFields = [this](std::uint32_t line, std::string_view(&fields)[FieldCount]) {
        lines[line].Cells(fields);
    };
    FileIdentity written;
    try {
        qnVelTorFileWriter writer;
        writer.SetConfirmWithoutBackup(confirmWithoutBackup);
        writer.Write(path, std::uint32_t(LineCount()), lineFields);
        result.failure = writer.Failure();
        result.backupPath = writer.BackupPath();
        written = writer.Written();
    } catch (const std::bad_alloc &) {
        result.failure = WriteFailure::OutOfMemory;
    }
    if (!result.Written())
        return result;
    // Only a file that was written becomes the current one: a later save
    // must not go quietly to a path that failed.
    fileIdentity = written;
    SetFilePath(path);
    nameChanged = false;
    // The file written holds all the report has: nothing more to lose.
    losses = {};
    // Undoing back to what was saved leaves the report unmodified again.
    undoStack->setClean();
    SyncModified();
    // A saved report's values are the file's name: from now on they are told.
    for (int box = 0; box < HeaderCount; ++box) {
        if (!std::exchange(headerChecked[std::size_t(box)], true))
            emit content.headerChanged(HeaderBox(box));
    }
    return result;
}

void ReportDocument::TypeCell(int line, int field, const QString &text)
{
    if (line < 0 || line > LineCount() || field < 0 || field >= int(FieldCount))
        return;
    const std::string_view stored = Cell(line, field);
    // Any change counts, also one to an empty text; a cell left as it was
    // does not, and keeps its exact bytes.
    const bool unchanged = CellText::EditLeaves(stored, text);
    const std::string bytes = unchanged ? std::string(stored) : CellText::ToBytes(text);
    if (line != typingLine || field != typingField) {
        // The first report of an edit: giving it up restores what was before.
        typingLine = line;
        typingField = field;
        modifiedBeforeTyping = modified;
        stackIndexAtTyping = undoStack->index();
    }
    if (!unchanged)
        SetModified(true);
    if (!text.isEmpty() && line == LineCount()) {
        try {
            edits->AppendLines(1);
            typedLine = line;
        } catch (const std::bad_alloc &) {
            // The commit makes the line, or says that it cannot.
            return;
        }
    }
    std::string message;
    const bool valid = attributes.Validate(unsigned(field), bytes, message);
    attrs.SetError(unsigned(line), unsigned(field), !valid);
    attrs.SetErrorMessage(unsigned(line), unsigned(field), std::move(message));
    emit content.verdictsChanged(line, line);
    emit errorCountChanged();
}

void ReportDocument::EndTyping()
{
    if (typedLine >= 0) {
        // Text typed into the new-line position and taken back, or an edit
        // given up: the line it made holds nothing and belongs to no step.
        const int lastLine = LineCount() - 1;
        if (typedLine == lastLine && lines[std::size_t(lastLine)].IsEmpty())
            edits->RemoveLastLines(1);
        typedLine = -1;
    }
    if (typingLine >= 0) {
        // The verdict was the typed text's; the cell keeps its stored one.
        if (typingLine < LineCount()) {
            edits->Validate(typingLine, typingField);
            emit content.verdictsChanged(typingLine, typingLine);
        }
        if (undoStack->index() == stackIndexAtTyping)
            SetModified(modifiedBeforeTyping);
        typingLine = -1;
    }
    emit errorCountChanged();
}

void ReportDocument::SetCellText(int line, int field, const QString &text)
{
    if (CellText::EditLeaves(Cell(line, field), text))
        return;
    SetCell(line, field, CellText::ToBytes(text));
}

bool ReportDocument::SetCell(int line, int field, std::string bytes)
{
    const int count = LineCount();
    if (line < 0 || line > count || field < 0 || field >= int(FieldCount))
        return true;
    try {
        // A cell of the new-line position makes its line; typing may have
        // made it already.
        const bool newLine = line == count || line == typedLine;
        std::string_view after[ReportRow::CellCount];
        after[field] = bytes;
        std::vector<CellsCommand::LineChange> change;
        change.push_back(CellsCommand::MakeLine(line, 1u << field, after));
        if (!Push(new CellsCommand(*edits, QStringLiteral("セルの編集"), std::move(change), newLine ? line : count,
                                   newLine ? 1 : 0)))
            return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
    typingLine = -1;
    return true;
}

bool ReportDocument::InsertLine(int line, const std::vector<std::string> &cells, LineStep step)
{
    if (line < 0 || line > LineCount())
        return true;
    try {
        std::vector<ReportRow> rows;
        rows.push_back(ReportRow::FromCells(cells));
        return Push(new InsertLinesCommand(*edits, stepText(step), line, std::move(rows)));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::RemoveLine(int line, LineStep step)
{
    if (line < 0 || line >= LineCount())
        return true;
    try {
        return Push(new RemoveLinesCommand(*edits, stepText(step), line, 1));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::InsertLines(int line, int count)
{
    if (line < 0 || line > LineCount() || count <= 0 || count > INT_MAX - LineCount())
        return true;
    try {
        // Empty rows own no block: a million of them cost their pointers.
        return Push(new InsertLinesCommand(*edits, stepText(LineStep::Insert, count), line,
                                           std::vector<ReportRow>(std::size_t(count))));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::RemoveLines(int first, int count, LineStep step)
{
    count = std::min(count, LineCount() - first);
    if (first < 0 || count <= 0)
        return true;
    try {
        return Push(new RemoveLinesCommand(*edits, stepText(step, count), first, count));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::ReorderLines(std::vector<std::uint32_t> order, const QString &text)
{
    if (order.size() != lines.size())
        return true;
    bool moved = false;
    for (std::uint32_t i = 0; i < order.size() && !moved; ++i)
        moved = order[i] != i;
    if (!moved)
        return true;
    try {
        return Push(new ReorderLinesCommand(*edits, text, std::move(order)));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::MoveLine(int from, int to)
{
    const int count = LineCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return true;
    try {
        return Push(new MoveLineCommand(*edits, from, to));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void ReportDocument::SetHeaderText(HeaderBox box, const QString &text, int session)
{
    const std::string &current = headers[box];
    if (text == ShiftJis::ToText(current))
        return;
    // A box the user types into lets in only characters code page 932
    // holds; its U+FFFD stand for bytes that were not Shift-JIS, which only
    // the text the box was filled with can give back.
    std::string bytes = text == ShiftJis::ToText(filledHeaders[box]) ? filledHeaders[box]
                                                                     : ShiftJis::FromTextReplacing(text, {});
    headerChecked[box] = true;
    try {
        Push(new HeaderCommand(*edits, box, current, std::move(bytes), session));
    } catch (const std::bad_alloc &) {
        emit content.headerChanged(box);
    }
}

std::string ReportDocument::HeaderVerdict(HeaderBox box) const
{
    std::string message;
    if (!headerChecked[box])
        return message;
    if (box == SyoudakuBangou)
        ValidateSyoudakuBangou(headers[box], message);
    else if (box == HoukokuNengappi)
        ValidateHoukokuNengappi(headers[box], message);
    return message;
}

QString ReportDocument::BlockText(int top, int left, int bottom, int right, bool *outOfMemory) const
{
    if (outOfMemory)
        *outOfMemory = false;
    left = std::max(left, 0);
    right = std::min(right, int(FieldCount) - 1);
    try {
        QString text;
        for (int line = top; line <= bottom; ++line) {
            if (line > top)
                text += QStringLiteral("\r\n");
            std::string_view cells[ReportRow::CellCount];
            Line(line).Cells(cells);
            for (int field = left; field <= right; ++field) {
                if (field > left)
                    text += u'\t';
                // A cell can hold no TAB or line break, but one that starts
                // with a quote would lose its quotes to a paste, here or in a
                // spreadsheet, unless it is quoted itself.
                const QString cell = ShiftJis::ToText(cells[field]);
                if (cell.startsWith(u'"'))
                    text += u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"';
                else
                    text += cell;
            }
        }
        return text;
    } catch (const std::bad_alloc &) {
        if (outOfMemory)
            *outOfMemory = true;
        return {};
    }
}

bool ReportDocument::ClearBlock(int top, int left, int bottom, int right)
{
    const int count = LineCount();
    left = std::max(left, 0);
    right = std::min(right, int(FieldCount) - 1);
    try {
        std::vector<CellsCommand::LineChange> changes;
        const std::string_view cleared[ReportRow::CellCount];
        for (int line = std::max(top, 0); line <= std::min(bottom, count - 1); ++line) {
            std::string_view cells[ReportRow::CellCount];
            lines[std::size_t(line)].Cells(cells);
            std::uint32_t fields = 0;
            for (int field = left; field <= right; ++field) {
                if (!cells[field].empty())
                    fields |= 1u << field;
            }
            if (fields)
                changes.push_back(CellsCommand::MakeLine(line, fields, cleared));
        }
        if (changes.empty())
            return true;
        return Push(new CellsCommand(*edits, QStringLiteral("クリア"), std::move(changes), count, 0));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

ReportDocument::PasteResult ReportDocument::PasteText(int line, int field, const QString &text,
                                                      const ReadProgress &progress)
{
    PasteResult result;
    if (line < 0 || line > LineCount() || field < 0 || field >= int(FieldCount) || text.isEmpty())
        return result;
    result.top = result.bottom = line;
    result.left = result.right = field;
    try {
        // Row by row: only the changed cells are kept, as compact rows, and
        // never a list of the text's lines.
        DelimitedTextReader reader(text, u'\t', DelimitedTextReader::Breaks::AsSpace);
        CellChanges changes(content);
        changes.Reserve(std::min<std::size_t>(rowsAtMost(text), std::size_t(INT_MAX - line)));
        for (int target = line; reader.NextRow(); ++target) {
            if (target == INT_MAX) {
                result.outOfMemory = true; // no report holds that many lines
                return result;
            }
            const QList<QStringView> &texts = reader.Cells();
            std::string_view current[ReportRow::CellCount];
            Line(target).Cells(current);
            bool changed = false;
            for (qsizetype j = 0; j < texts.size(); ++j) {
                const int column = field + int(j);
                if (column >= int(FieldCount)) {
                    // Right of the last field lies no field.
                    result.outside += int(texts.size() - j);
                    break;
                }
                const std::optional<std::string> bytes = pastedBytes(texts[j]);
                if (!bytes) {
                    ++result.refused;
                    continue;
                }
                ++result.pasted;
                if (!attributes.IsValid(unsigned(column), *bytes))
                    ++result.invalid;
                if (current[column] == *bytes)
                    continue;
                changes.Set(target, column, *bytes);
                changed = true;
                result.right = std::max(result.right, column);
            }
            if (changed)
                result.bottom = target;
            if (progress && (target - line) % ProgressRows == ProgressRows - 1
                && !progress(std::uint64_t(reader.Position()), std::uint64_t(text.size()))) {
                result.cancelled = true;
                return result;
            }
        }
        result.flattened = int(reader.FlattenedCells());
        // The last word before the step is made, which takes a while too.
        if (progress && !progress(std::uint64_t(text.size()), std::uint64_t(text.size()))) {
            result.cancelled = true;
            return result;
        }
        if (changes.ChangedCells() == 0)
            return result;
        if (!ChangeCells(std::move(changes), QStringLiteral("貼り付け"))) {
            result.outOfMemory = true;
            return result;
        }
        result.changed = true;
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

ReportDocument::ImportResult ReportDocument::Import(const QString &path, const ReadProgress &progress, ImportInto into)
{
    ImportResult result;
    if (loading) {
        result.failure = ReadFailure::Cancelled;
        return result;
    }
    loading = true;
    const bool fresh = into == ImportInto::NewReport;
    result.firstLine = fresh ? 0 : LineCount();
    try {
        // The report is emptied only once the file has been read whole.
        CellChanges changes = fresh ? CellChanges(content, CellChanges::Emptied()) : CellChanges(content);
        int target = result.firstLine;
        bool tooMany = false;
        const auto take = [&](const std::string_view *fields, std::size_t count) {
            for (std::size_t i = 0; i < count && !tooMany; ++i, fields += FieldCount, ++target) {
                if (target == INT_MAX || std::uint64_t(target) >= qnVelTorData::MaxRecords) {
                    tooMany = true;
                    return;
                }
                // A line of empty fields is a line too.
                changes.Reach(target);
                for (unsigned field = 0; field < FieldCount; ++field) {
                    if (!fields[field].empty())
                        changes.Set(target, int(field), fields[field]);
                }
            }
        };
        // Too many lines stop the read as a cancel would.
        const auto step = [&](std::uint64_t done, std::uint64_t size) {
            return !tooMany && (!progress || progress(done, size));
        };
        bool read = ImportReportLines(path, take, step, &result.failure, &result.facts);
        if (tooMany) {
            read = false;
            result.failure = ReadFailure::TooManyLines;
        }
        // A new report takes this one's place only when there is room for
        // it: refused after the emptying, the report would be lost.
        if (read && fresh && !HasHeadroomFor(changes.Footprint())) {
            read = false;
            result.failure = ReadFailure::OutOfMemory;
        }
        if (read) {
            result.lines = target - result.firstLine;
            if (fresh)
                Clear();
            const std::uint64_t invalidBefore = attrs.ErrorCellCount();
            if (!ChangeCells(std::move(changes), QStringLiteral("インポート")))
                result.failure = ReadFailure::OutOfMemory;
            else
                result.invalid = attrs.ErrorCellCount() - invalidBefore;
        }
    } catch (const std::bad_alloc &) {
        result.failure = ReadFailure::OutOfMemory;
    }
    releaseFreedMemory();
    loading = false;
    return result;
}

ReportDocument::ExportResult ReportDocument::Export(const QString &path) const
{
    ExportResult result;
    if (!filePath.isEmpty() && QFileInfo(path) == QFileInfo(filePath)) {
        result.ontoReport = true;
        return result;
    }
    const auto lineFields = [this](std::uint32_t line, std::string_view(&fields)[FieldCount]) {
        lines[line].Cells(fields);
    };
    try {
        ReportCsvWriter writer;
        result.written = writer.WriteFile(path, std::uint32_t(LineCount()), lineFields);
        result.outOfMemory = writer.OutOfMemory();
        result.facts = writer.Facts();
    } catch (const std::bad_alloc &) {
        result.written = false;
        result.outOfMemory = true;
    }
    return result;
}

QString ReportDocument::SuggestedExportName() const
{
    const QString baseName = ShiftJis::ToText(HeaderBaseName());
    return baseName.isEmpty() ? QString() : baseName + QStringLiteral(".csv");
}

bool ReportDocument::ChangeCells(CellChanges &&changes, const QString &text)
{
    if (&changes.content != &content || changes.Empty())
        return true;
    // Under an address-space limit the window must keep room to paint.
    if (!HasHeadroomFor(changes.Footprint()))
        return false;
    try {
        const int linesAdded = changes.LinesAdded();
        return Push(new CellsCommand(*edits, text, changes.Take(), LineCount(), linesAdded));
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReportDocument::Undo()
{
    try {
        undoStack->undo();
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool ReportDocument::Redo()
{
    try {
        undoStack->redo();
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}
