#include "LineCommands.h"

InsertLineCommand::InsertLineCommand(ReportEdits &edits, const QString &text, int line, ReportRow row)
    : ReportStep(edits, text), line(line), row(std::move(row))
{
}

void InsertLineCommand::redo()
{
    edits.InsertLine(line, row);
    Show(line, -1);
    done = true;
}

void InsertLineCommand::undo()
{
    edits.RemoveLine(line);
    Show(line, -1);
}

RemoveLineCommand::RemoveLineCommand(ReportEdits &edits, const QString &text, int line)
    : ReportStep(edits, text), line(line), row(edits.Line(line))
{
}

void RemoveLineCommand::redo()
{
    edits.RemoveLine(line);
    Show(line, -1);
    done = true;
}

void RemoveLineCommand::undo()
{
    edits.InsertLine(line, row);
    Show(line, -1);
}

MoveLineCommand::MoveLineCommand(ReportEdits &edits, int from, int to)
    : ReportStep(edits, QStringLiteral("行の移動")), from(from), to(to)
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
