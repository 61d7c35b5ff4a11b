#include "LineCommands.h"

#include <QCoreApplication>

InsertLinesCommand::InsertLinesCommand(ReportEdits &edits, const QString &text, int line, std::vector<ReportRow> rows)
    : ReportStep(edits, text), line(line), rows(std::move(rows))
{
}

void InsertLinesCommand::redo()
{
    edits.InsertLines(line, rows);
    Show(line, -1);
    done = true;
}

void InsertLinesCommand::undo()
{
    edits.TakeLines(line, int(rows.size()), rows);
    Show(line, -1);
}

RemoveLinesCommand::RemoveLinesCommand(ReportEdits &edits, const QString &text, int first, int count)
    : ReportStep(edits, text), first(first), count(count)
{
}

void RemoveLinesCommand::redo()
{
    edits.TakeLines(first, count, rows, &verdicts);
    Show(first, -1);
    done = true;
}

void RemoveLinesCommand::undo()
{
    edits.PutLines(first, rows, verdicts);
    Show(first, -1);
}

AppendLinesCommand::AppendLinesCommand(ReportEdits &edits, const QString &text, LoadedLines &&lines)
    : ReportStep(edits, text), rows(lines.TakeRows()), arena(lines.TakeArena()), loaded(lines.TakeVerdicts()),
      count(int(rows.size()))
{
}

void AppendLinesCommand::redo()
{
    if (!appended) {
        first = edits.LineCount();
        edits.AppendLoaded(rows, arena, loaded);
        appended = true;
    } else {
        edits.PutLines(first, rows, verdicts);
    }
    Show(first, 0);
    done = true;
}

void AppendLinesCommand::undo()
{
    edits.TakeLines(first, count, rows, &verdicts);
    Show(first, 0);
}

MoveLineCommand::MoveLineCommand(ReportEdits &edits, int from, int to)
    : ReportStep(edits, QCoreApplication::translate("Undo Commands", "行の移動")), from(from), to(to)
{
}

void MoveLineCommand::redo()
{
    edits.MoveLine(from, to);
    Show(to, -1);
    done = true;
}

void MoveLineCommand::undo()
{
    edits.MoveLine(to, from);
    Show(from, -1);
}

ReorderLinesCommand::ReorderLinesCommand(ReportEdits &edits, const QString &text, std::vector<std::uint32_t> order)
    : ReportStep(edits, text), order(std::move(order))
{
}

void ReorderLinesCommand::redo()
{
    edits.Reorder(order);
    Show(0, -1);
    done = true;
}

void ReorderLinesCommand::undo()
{
    std::vector<std::uint32_t> back(order.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        back[order[i]] = i;
    edits.Reorder(back);
    Show(0, -1);
}
