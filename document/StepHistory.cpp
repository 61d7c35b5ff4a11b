#include "StepHistory.h"

#include "MemoryHeadroom.h"
#include "UndoCommands.h"

#include <QUndoStack>

#include <utility>
#include <vector>

namespace {

// A step as the stack holds it: everything is passed on, but while the stack
// is built again its redo and undo do nothing, as the report is already
// where they would take it.
class HeldStep : public QUndoCommand
{
public:
    HeldStep(QUndoCommand *step, const bool &replaying)
        : QUndoCommand(step->text()), step(step), replaying(replaying)
    {
        setObsolete(step->isObsolete());
    }

    void redo() override
    {
        if (!replaying)
            step->redo();
    }
    void undo() override
    {
        if (!replaying)
            step->undo();
    }
    int id() const override { return step->id(); }
    bool mergeWith(const QUndoCommand *other) override
    {
        const bool merged = step->mergeWith(static_cast<const HeldStep *>(other)->step.get());
        if (merged) {
            setText(step->text());
            setObsolete(step->isObsolete());
        }
        return merged;
    }

    QUndoCommand *Release() { return step.release(); }
    std::uint64_t Footprint() const
    {
        const auto *reportStep = dynamic_cast<const ReportStep *>(step.get());
        return reportStep ? reportStep->Footprint() : 0;
    }

private:
    std::unique_ptr<QUndoCommand> step;
    const bool &replaying;
};

} // namespace

QUndoCommand *StepHistory::Hold(QUndoCommand *step)
{
    std::unique_ptr<QUndoCommand> owned(step);
    auto *held = new HeldStep(step, replaying);
    owned.release();
    return held;
}

int StepHistory::MakeRoom(std::uint64_t bytes, bool &fits)
{
    fits = HasHeadroomFor(bytes);
    if (fits)
        return 0;
    // Steps are let go only when that can make the room: a step far larger
    // than the whole history is refused with the history kept.
    const AddressSpace space = CurrentAddressSpace();
    const std::uint64_t left = space.limit > space.inUse ? space.limit - space.inUse : 0;
    const std::uint64_t wanted = bytes + HeadroomMargin;
    std::uint64_t held = 0;
    for (int i = 0; i < stack.count(); ++i)
        held += static_cast<const HeldStep *>(stack.command(i))->Footprint();
    if (left + held < wanted)
        return 0;
    int dropped = 0;
    // The steps that could be redone go anyway with the next step.
    if (stack.index() < stack.count()) {
        dropped += stack.count() - stack.index();
        Keep(0, stack.index());
        ReleaseFreedMemory();
        fits = HasHeadroomFor(bytes);
    }
    while (!fits && stack.count() > 0) {
        Keep(1, stack.count());
        ++dropped;
        ReleaseFreedMemory();
        fits = HasHeadroomFor(bytes);
    }
    return dropped;
}

void StepHistory::Keep(int first, int last)
{
    const int index = stack.index();
    const int clean = stack.cleanIndex();
    std::vector<std::unique_ptr<QUndoCommand>> kept;
    kept.reserve(std::size_t(last - first));
    for (int i = first; i < last; ++i)
        kept.emplace_back(static_cast<HeldStep *>(const_cast<QUndoCommand *>(stack.command(i)))->Release());
    replaying = true;
    // The wrappers go, and with them the steps not kept.
    stack.clear();
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (int(i) + first == clean)
            stack.setClean();
        stack.push(Hold(kept[i].release()));
    }
    if (last == clean)
        stack.setClean();
    else if (clean < first || clean > last)
        stack.resetClean();
    while (stack.index() > index - first && stack.canUndo())
        stack.undo();
    replaying = false;
}
