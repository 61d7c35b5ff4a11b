#pragma once

#include "ReportRow.h"

#include <QString>
#include <QUndoCommand>

#include <cstdint>
#include <functional>
#include <string_view>
#include <string>
#include <vector>

class QLineEdit;
class ReportModel;
class qnVelTorDataAttribute;
namespace qnVelTor {
class GridAttr;
}

// The changes an undo step makes to the report: the grid's lines and their
// verdicts always move together, so that a red frame never lands on a line
// that was not checked. Positions are the model's (line, field).
class ReportEdits
{
public:
    // Not owned.
    ReportEdits(ReportModel &model, qnVelTor::GridAttr &attrs, const qnVelTorDataAttribute &attributes);

    int LineCount() const;
    void Validate(int record, int field);
    void ValidateLine(int record);
    void InsertLine(int record, const ReportRow &line);
    void RemoveLine(int record);
    void MoveLine(int from, int to);
    void AppendLines(int count);
    void RemoveLastLines(int count);
    // Sets the fields in the mask to the texts of `cells`, leaving the
    // others as they are.
    void SetCells(int record, std::uint32_t fields, const ReportRow &cells);

    // Shows a place after an undo or redo; set by the window.
    std::function<void(int record, int field)> focus;

    ReportModel &model;

private:
    qnVelTor::GridAttr &attrs;
    const qnVelTorDataAttribute &attributes;
};

// A base for the steps on the grid: the first redo is the edit the user has
// just made, and leaves the current cell where the user put it; later undos
// and redos show where the change happened.
class GridCommand : public QUndoCommand
{
public:
    GridCommand(ReportEdits &edits, const QString &text) : QUndoCommand(text), edits(edits) {}

protected:
    void Focus(int record, int field);

    ReportEdits &edits;
    bool done = false;
};

// Cells changed in place: one committed cell edit, a block pasted or
// cleared. Lines the step added at the end go again on undo. Only the
// changed cells are kept: per line a mask of the changed fields and two
// compact rows that hold the changed cells' bytes before and after, the
// other cells empty, so that clearing a column of a million lines costs
// little more than the bytes it removed.
class CellsCommand : public GridCommand
{
public:
    struct LineChange
    {
        int record;
        std::uint32_t fields; // bit f: field f changed
        ReportRow before;
        ReportRow after;
    };

    // The changed fields of `before` and `after`; the others are left out.
    static LineChange MakeLine(int record, std::uint32_t fields, const std::string_view (&before)[ReportRow::CellCount],
                               const std::string_view (&after)[ReportRow::CellCount]);

    // `lines` sorted by line; `linesBefore` is the report's line count
    // before the step and `linesAdded` the lines it appends.
    CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                 int linesAdded);

    void redo() override;
    void undo() override;

private:
    void Apply(bool after);

    std::vector<LineChange> lines;
    int linesBefore;
    int linesAdded;
};

// An empty line inserted, or a line pasted from the line clipboard.
class InsertLineCommand : public GridCommand
{
public:
    InsertLineCommand(ReportEdits &edits, const QString &text, int record, int field, ReportRow line);
    void redo() override;
    void undo() override;

private:
    int record;
    int field;
    ReportRow line;
};

// A line deleted or cut; the step keeps that line only.
class RemoveLineCommand : public GridCommand
{
public:
    RemoveLineCommand(ReportEdits &edits, const QString &text, int record, int field);
    void redo() override;
    void undo() override;

private:
    int record;
    int field;
    ReportRow line;
};

// A line dragged to another place.
class MoveLineCommand : public GridCommand
{
public:
    MoveLineCommand(ReportEdits &edits, int from, int to, int field);
    void redo() override;
    void undo() override;

private:
    int from;
    int to;
    int field;
};

// Typing into a header box. Keystrokes in one box merge into one step until
// the focus moves elsewhere (`session` changes).
class HeaderCommand : public QUndoCommand
{
public:
    // `box` and `remembered` (the box's text as last known) are not owned.
    HeaderCommand(QLineEdit *box, int boxId, QString *remembered, QString before, QString after, int session);

    int id() const override { return 100 + boxId; }
    bool mergeWith(const QUndoCommand *other) override;
    void redo() override;
    void undo() override;

private:
    void Show(const QString &text);

    QLineEdit *box;
    int boxId;
    QString *remembered;
    QString before;
    QString after;
    int session;
};
