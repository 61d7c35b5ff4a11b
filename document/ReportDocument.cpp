#include "ReportDocument.h"

#include "CellChanges.h"
#include "CellTyping.h"
#include "CellsCommand.h"
#include "HeaderCommand.h"
#include "LineCommands.h"
#include "MemoryHeadroom.h"
#include "ReportEdits.h"
#include "ShiftJis.h"
#include "StepHistory.h"
#include "StepProgress.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorHeaderRules.h"

#include <QUndoStack>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

namespace {

QString stepText(ReportDocument::LineStep step, int count = 1)
{
    switch (step) {
    case ReportDocument::LineStep::Insert:
        return ReportDocument::tr("%1行挿入").arg(count);
    case ReportDocument::LineStep::Paste:
        return ReportDocument::tr("%1行貼り付け").arg(count);
    case ReportDocument::LineStep::Delete:
        return ReportDocument::tr("%1行削除").arg(count);
    case ReportDocument::LineStep::Cut:
        return ReportDocument::tr("%1行切り取り").arg(count);
    }
    return {};
}

} // namespace

ReportDocument::ReportDocument(QObject *parent)
    : QObject(parent), edits(std::make_unique<ReportEdits>(content)), undoStack(new QUndoStack(this)),
      history(std::make_unique<StepHistory>(*undoStack)),
      typing(std::make_unique<CellTyping>(content, *edits, *undoStack,
                                          [this](CellChanges &&changes, const QString &text) {
                                              return ChangeCells(std::move(changes), text);
                                          }))
{
    connect(undoStack, &QUndoStack::indexChanged, this, [this] {
        SyncModified();
        emit invalidCellsChanged();
    });
    connect(undoStack, &QUndoStack::cleanChanged, this, &ReportDocument::SyncModified);
    connect(typing.get(), &CellTyping::typed, this, [this] {
        SyncModified();
        emit invalidCellsChanged();
    });
}

ReportDocument::~ReportDocument()
{
    // The steps go while the edits they hold still stand, and nobody hears
    // of it: the views and the typing state may be gone already.
    undoStack->blockSignals(true);
    delete undoStack;
}

std::vector<std::string> ReportDocument::LineCells(int line) const
{
    std::string_view views[ReportRow::CellCount];
    Line(line).Cells(views);
    return std::vector<std::string>(std::begin(views), std::end(views));
}

ReportDocument::Headers ReportDocument::HeaderValues() const
{
    return {Header(SyoudakuBangou), Header(HoukokuNengappi), Header(NiniMoziretsu)};
}

QString ReportDocument::HeaderText(HeaderBox box) const
{
    return ShiftJis::ToText(Header(box));
}

void ReportDocument::SyncModified()
{
    const bool now = !undoStack->isClean() || typing->Dirty();
    if (modified == now)
        return;
    modified = now;
    emit modifiedChanged(modified);
}

namespace {

// The progress a step tells while it lives.
class Watching
{
public:
    Watching(ReportEdits &edits, const ReadProgress &progress) : edits(edits)
    {
        edits.SetProgress(progress ? &progress : nullptr);
    }
    ~Watching() { edits.SetProgress(nullptr); }
    Watching(const Watching &) = delete;
    Watching &operator=(const Watching &) = delete;

private:
    ReportEdits &edits;
};

} // namespace

bool ReportDocument::MakeRoomFor(std::uint64_t bytes)
{
    bool fits = false;
    if (const int dropped = history->MakeRoom(bytes, fits))
        emit stepsDropped(dropped);
    return fits;
}

EditResult ReportDocument::Push(QUndoCommand *step, const ReadProgress &progress)
{
    std::unique_ptr<QUndoCommand> owned(history->Hold(step));
    try {
        // A step whose first redo runs out of memory, or is stopped, takes
        // back what it did and is not kept.
        const Watching watching(*edits, progress);
        undoStack->push(owned.get());
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    } catch (const StepCancelled &) {
        return EditResult::Cancelled;
    }
    owned.release();
    return EditResult::Done;
}

void ReportDocument::TellHeaders()
{
    for (int box = 0; box < HeaderCount; ++box) {
        if (!std::exchange(headerTold[std::size_t(box)], true))
            edits->SetHeader(HeaderBox(box), Header(HeaderBox(box)));
    }
}

void ReportDocument::Clear()
{
    typing->End();
    undoStack->clear();
    edits->Reset({}, RowArena(), qnVelTor::GridAttr(ReportContent::VerdictWidth));
    headerTold.fill(false);
    for (int box = 0; box < HeaderCount; ++box) {
        filledHeaders[std::size_t(box)].clear();
        edits->SetHeader(HeaderBox(box), std::string());
    }
    SyncModified();
    emit invalidCellsChanged();
    ReleaseFreedMemory();
}

void ReportDocument::Reset(std::vector<ReportRow> &&rows, RowArena &&arena, qnVelTor::GridAttr &&verdicts,
                           const Headers &headers)
{
    typing->End();
    // The old report's steps point into its rows: they go first.
    undoStack->clear();
    edits->Reset(std::move(rows), std::move(arena), std::move(verdicts));
    filledHeaders = headers;
    headerTold.fill(true);
    for (int box = 0; box < HeaderCount; ++box)
        edits->SetHeader(HeaderBox(box), headers[std::size_t(box)]);
    SyncModified();
    emit invalidCellsChanged();
    ReleaseFreedMemory();
}

void ReportDocument::MarkSaved()
{
    undoStack->setClean();
    SyncModified();
    TellHeaders();
}

void ReportDocument::FillHeaders(const Headers &headers)
{
    filledHeaders = headers;
    headerTold.fill(true);
    for (int box = 0; box < HeaderCount; ++box)
        edits->SetHeader(HeaderBox(box), headers[std::size_t(box)]);
}

EditResult ReportDocument::SetCell(int line, int field, std::string bytes)
{
    if (line < 0 || line > LineCount() || field < 0 || field >= int(FieldCount))
        return EditResult::Done;
    try {
        CellChanges changes(content);
        changes.Set(line, field, bytes);
        return ChangeCells(std::move(changes), tr("セルの編集"));
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::InsertLine(int line, const std::vector<std::string> &cells, LineStep step)
{
    if (line < 0 || line > LineCount())
        return EditResult::Done;
    try {
        std::vector<ReportRow> rows;
        rows.push_back(ReportRow::FromCells(cells));
        return Push(new InsertLinesCommand(*edits, stepText(step), line, std::move(rows)));
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::RemoveLine(int line, LineStep step)
{
    if (line < 0 || line >= LineCount())
        return EditResult::Done;
    return RemoveLines(line, 1, step);
}

EditResult ReportDocument::InsertLines(int line, int count, const ReadProgress &progress)
{
    if (line < 0 || line > LineCount() || count <= 0 || count > INT_MAX - LineCount())
        return EditResult::Done;
    try {
        // Empty rows own no block: a million of them cost their pointers.
        return Push(new InsertLinesCommand(*edits, stepText(LineStep::Insert, count), line,
                                           std::vector<ReportRow>(std::size_t(count))),
                    progress);
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::RemoveLines(int first, int count, LineStep step, const ReadProgress &progress)
{
    count = std::min(count, LineCount() - first);
    if (first < 0 || count <= 0)
        return EditResult::Done;
    try {
        return Push(new RemoveLinesCommand(*edits, stepText(step, count), first, count), progress);
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::ReorderLines(std::vector<std::uint32_t> order, const QString &text,
                                        const ReadProgress &progress)
{
    if (order.size() != std::size_t(LineCount()))
        return EditResult::Done;
    bool moved = false;
    for (std::uint32_t i = 0; i < order.size() && !moved; ++i)
        moved = order[i] != i;
    if (!moved)
        return EditResult::Done;
    try {
        return Push(new ReorderLinesCommand(*edits, text, std::move(order)), progress);
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::MoveLine(int from, int to)
{
    const int count = LineCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return EditResult::Done;
    try {
        return Push(new MoveLineCommand(*edits, from, to));
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::SetHeaderText(HeaderBox box, const QString &text, int session)
{
    const std::string &current = Header(box);
    if (text == ShiftJis::ToText(current))
        return EditResult::Done;
    // A box the user types into lets in only characters code page 932
    // holds; its U+FFFD stand for bytes that were not Shift-JIS, which only
    // the text the box was filled with can give back.
    headerTold[std::size_t(box)] = true;
    try {
        std::string bytes = text == ShiftJis::ToText(filledHeaders[std::size_t(box)])
                ? filledHeaders[std::size_t(box)]
                : ShiftJis::FromTextReplacing(text, {});
        return Push(new HeaderCommand(*edits, box, current, std::move(bytes), session));
    } catch (const std::bad_alloc &) {
        // The box shows the value it still has.
        edits->SetHeader(box, current);
        return EditResult::OutOfMemory;
    }
}

std::string ReportDocument::HeaderVerdict(HeaderBox box) const
{
    std::string message;
    if (!headerTold[std::size_t(box)])
        return message;
    if (box == SyoudakuBangou)
        ValidateSyoudakuBangou(Header(box), message);
    else if (box == HoukokuNengappi)
        ValidateHoukokuNengappi(Header(box), message);
    return message;
}

EditResult ReportDocument::ChangeCells(CellChanges &&changes, const QString &text, const ReadProgress &progress)
{
    if (&changes.content != &content || changes.Empty() || changes.lineCount > LineCount())
        return EditResult::Done;
    // Under an address-space limit the window must keep room to paint: old
    // steps go first.
    if (!MakeRoomFor(changes.Footprint()))
        return EditResult::OutOfMemory;
    try {
        const int linesBefore = changes.lineCount;
        const int linesAdded = changes.LinesAdded();
        return Push(new CellsCommand(*edits, text, changes.Take(), linesBefore, linesAdded), progress);
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::AppendLines(LoadedLines &&lines, const QString &text)
{
    if (lines.LineCount() == 0)
        return EditResult::Done;
    if (lines.LineCount() > std::size_t(INT_MAX - LineCount()))
        return EditResult::OutOfMemory;
    // What the views take per line; the rows are made already.
    constexpr std::uint64_t ViewBytesPerLine = 32;
    if (!MakeRoomFor(ViewBytesPerLine * lines.LineCount()))
        return EditResult::OutOfMemory;
    try {
        return Push(new AppendLinesCommand(*edits, text, std::move(lines)));
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

EditResult ReportDocument::Undo(const ReadProgress &progress)
{
    // A step that throws has put back what it did, and the stack stays
    // where it was.
    try {
        const Watching watching(*edits, progress);
        undoStack->undo();
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    } catch (const StepCancelled &) {
        return EditResult::Cancelled;
    }
    ReleaseFreedMemory();
    return EditResult::Done;
}

EditResult ReportDocument::Redo(const ReadProgress &progress)
{
    try {
        const Watching watching(*edits, progress);
        undoStack->redo();
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    } catch (const StepCancelled &) {
        return EditResult::Cancelled;
    }
    return EditResult::Done;
}
