#pragma once

#include <QUndoCommand>

#include <cstdint>
#include <memory>

class QUndoStack;

// The undo stack's steps, each held in a wrapper of its own, so that the
// oldest can be let go while the others stay: QUndoStack drops steps only
// when it is cleared whole. When the history would leave the window too
// little memory to work in, the oldest steps go first.
class StepHistory
{
public:
    // `stack` is not owned.
    explicit StepHistory(QUndoStack &stack) : stack(stack) {}

    // `step`, ready for the stack's push(); the wrapper owns it.
    QUndoCommand *Hold(QUndoCommand *step);

    // Lets go of the steps that could be redone, then of the oldest ones,
    // one at a time, until `bytes` more fit in the address space with the
    // room the window keeps (MemoryHeadroom.h), or none is left; the steps
    // still there undo and redo as before. Returns how many were let go;
    // `fits` tells whether the bytes fit in the end.
    int MakeRoom(std::uint64_t bytes, bool &fits);

private:
    // Keeps only the steps [first, last) of the stack, the current one the
    // same, the saved one too when it is among them.
    void Keep(int first, int last);

    QUndoStack &stack;
    // While the stack is built again: the steps it replays do nothing.
    bool replaying = false;
};
