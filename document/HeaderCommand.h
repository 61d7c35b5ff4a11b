#pragma once

#include "UndoCommands.h"

#include <string>

// Typing into a header box. Keystrokes in one box merge into one step until
// the focus moves elsewhere (`session` changes).
class HeaderCommand : public QUndoCommand
{
public:
    HeaderCommand(ReportEdits &edits, ReportContent::HeaderBox box, std::string before, std::string after,
                  int session);

    int id() const override { return int(UndoCommandId::HeaderEdit); }
    bool mergeWith(const QUndoCommand *other) override;
    void redo() override;
    void undo() override;

private:
    ReportEdits &edits;
    ReportContent::HeaderBox box;
    std::string before;
    std::string after;
    int session;
};
