#include "HeaderCommand.h"

#include <QCoreApplication>

HeaderCommand::HeaderCommand(ReportEdits &edits, ReportContent::HeaderBox box, std::string before, std::string after,
                             int session)
    : QUndoCommand(QCoreApplication::translate("Undo Commands", "見出しの編集")), edits(edits), box(box), before(std::move(before)),
      after(std::move(after)), session(session)
{
}

bool HeaderCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const HeaderCommand *>(other);
    if (next->box != box || next->session != session)
        return false;
    after = next->after;
    // Typed and taken back again: no step is left.
    setObsolete(after == before);
    return true;
}

void HeaderCommand::redo()
{
    edits.SetHeader(box, after);
}

void HeaderCommand::undo()
{
    edits.SetHeader(box, before);
    edits.ShowHeader(box);
}
