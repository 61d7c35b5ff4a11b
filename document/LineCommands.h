#pragma once

#include "LoadedLines.h"
#include "UndoCommands.h"

#include <cstdint>
#include <vector>

// Empty lines inserted, or lines pasted. The rows are the report's while
// the step is done and the step's while it is undone: a step over many
// lines copies none of them.
class InsertLinesCommand : public ReportStep
{
public:
    InsertLinesCommand(ReportEdits &edits, const QString &text, int line, std::vector<ReportRow> rows);
    void redo() override;
    void undo() override;
    std::uint64_t Footprint() const override { return rows.capacity() * sizeof(ReportRow); }

private:
    int line;
    std::vector<ReportRow> rows;
};

// Lines deleted or cut; the step holds them, and their verdicts, while it
// is done: undone, they come back as they were without being checked again.
class RemoveLinesCommand : public ReportStep
{
public:
    RemoveLinesCommand(ReportEdits &edits, const QString &text, int first, int count);
    void redo() override;
    void undo() override;
    std::uint64_t Footprint() const override { return rows.capacity() * sizeof(ReportRow); }

private:
    int first;
    int count;
    std::vector<ReportRow> rows;
    qnVelTor::GridAttr::Rows verdicts;
};

// Lines read from elsewhere (an import) appended with their verdicts. The
// first redo takes them in whole, rows, arena and verdicts; undone and
// redone they move out and back in, as deleted lines do, never checked
// again.
class AppendLinesCommand : public ReportStep
{
public:
    AppendLinesCommand(ReportEdits &edits, const QString &text, LoadedLines &&lines);
    void redo() override;
    void undo() override;
    std::uint64_t Footprint() const override { return rows.capacity() * sizeof(ReportRow); }

private:
    std::vector<ReportRow> rows;
    RowArena arena; // the rows' until the first redo, then the report's
    qnVelTor::GridAttr loaded;
    qnVelTor::GridAttr::Rows verdicts;
    int first = 0;
    int count = 0;
    bool appended = false;
};

// A line dragged to another place.
class MoveLineCommand : public ReportStep
{
public:
    MoveLineCommand(ReportEdits &edits, int from, int to);
    void redo() override;
    void undo() override;

private:
    int from;
    int to;
};

// The lines put in another order, as a sort does: line order[i] becomes
// line i. The step keeps the order only, 4 bytes a line.
class ReorderLinesCommand : public ReportStep
{
public:
    ReorderLinesCommand(ReportEdits &edits, const QString &text, std::vector<std::uint32_t> order);
    void redo() override;
    void undo() override;
    std::uint64_t Footprint() const override { return order.capacity() * sizeof(std::uint32_t); }

private:
    std::vector<std::uint32_t> order;
};
