#pragma once

#include "EditResult.h"

#include <QObject>
#include <QString>

#include <functional>

class CellChanges;
class QUndoStack;
class ReportContent;
class ReportEdits;

// The text being typed into a cell, before it is committed. Its verdict
// shows at every keystroke; typing into the new-line position makes the
// line at once, so that the grid keeps an empty row below. The commit is
// one step, checked once; an edit given up leaves the cell's own verdict
// and takes back the line it made.
class CellTyping : public QObject
{
    Q_OBJECT

public:
    // Makes the step of a commit, as ReportDocument::ChangeCells does.
    using MakeStep = std::function<EditResult(CellChanges &&changes, const QString &text)>;

    // None is owned.
    CellTyping(const ReportContent &content, ReportEdits &edits, QUndoStack &steps, MakeStep makeStep);

    // What the cell editor holds after a keystroke.
    void Type(int line, int field, const QString &text);
    // The editor's text committed: an unchanged text keeps the cell's exact
    // bytes and makes no step.
    EditResult Commit(int line, int field, const QString &text);
    // The editor closed.
    void End();

    // Text typed that differs from the cell and that no step holds yet.
    bool Dirty() const { return dirty; }

signals:
    // A verdict, or what Dirty() says, changed.
    void typed();

private:
    void SetDirty(bool value);

    const ReportContent &content;
    ReportEdits &edits;
    MakeStep makeStep;
    // The cell being typed into, whose verdict is the typed text's.
    int line = -1;
    int field = -1;
    // The line typing made at the new-line position, which no step holds.
    int madeLine = -1;
    bool dirty = false;
};
