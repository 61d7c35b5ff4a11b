#pragma once

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
