#pragma once

#include "ReportEdits.h"

#include <QUndoCommand>

#include <cstdint>

// The ids of the steps that merge with the next one of their kind.
enum class UndoCommandId {
    HeaderEdit = 1,
};

// A base for the steps on the report's lines: the first redo is the edit the
// user has just made, and leaves the view where the user is; later undos and
// redos show where the change happened.
class ReportStep : public QUndoCommand
{
public:
    ReportStep(ReportEdits &edits, const QString &text) : QUndoCommand(text), edits(edits) {}

    // About the memory the step gives back when it is let go.
    virtual std::uint64_t Footprint() const { return 0; }

protected:
    void Show(int line, int field)
    {
        if (done)
            edits.ShowPlace(line, field);
    }

    ReportEdits &edits;
    bool done = false;
};
