#pragma once

#include "UndoCommands.h"

// An empty line inserted, or a line pasted from the line clipboard.
class InsertLineCommand : public ReportStep
{
public:
    InsertLineCommand(ReportEdits &edits, const QString &text, int line, ReportRow row);
    void redo() override;
    void undo() override;

private:
    int line;
    ReportRow row;
};

// A line deleted or cut; the step keeps that line only.
class RemoveLineCommand : public ReportStep
{
public:
    RemoveLineCommand(ReportEdits &edits, const QString &text, int line);
    void redo() override;
    void undo() override;

private:
    int line;
    ReportRow row;
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
