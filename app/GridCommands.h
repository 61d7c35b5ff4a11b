#pragma once

#include "ReportBlocks.h"
#include "ReportDocument.h"

#include <QObject>

class CommandContext;
class qnVelTorClipboard;

// What the main window does to whole lines and blocks of cells at the
// grid's current place: lines inserted, deleted, cut, copied and pasted
// through the line clipboard, a line dragged, blocks copied, cut, cleared
// and pasted through the plain-text clipboard, and Enter's move to the next
// line. The window's handlers forward here.
class GridCommands : public QObject
{
    Q_OBJECT

public:
    // Not owned.
    GridCommands(ReportDocument &document, CommandContext &context, qnVelTorClipboard &lineClipboard,
                 QObject *parent = nullptr);

    // Not owned; the line clipboard the line commands use.
    void SetLineClipboard(qnVelTorClipboard &clipboard) { lineClipboard = &clipboard; }
    qnVelTorClipboard &LineClipboard() const { return *lineClipboard; }

    // Whether a line command may run at the current line: the new-line
    // row counts only for those that take `newLineRow`.
    bool LineCommandAllowed(bool newLineRow) const;
    bool CanPasteLine() const;

    void InsertLines();
    // The lines of a delete, or the one line of a cut (already copied).
    void RemoveLines(ReportDocument::LineStep step);
    void CutLine();
    void CopyLine();
    void PasteLine();
    // A line dragged from one line to another; onto the new-line row it
    // becomes the last line.
    void MoveLine(int from, int to);

    // The grid itself has the focus and no cell editor is open: the text
    // commands work on blocks of cells.
    bool TakesBlocks() const;
    // False when the block did not reach the clipboard.
    bool CopyBlock();
    void CutBlock();
    void ClearBlock();
    // Plain text from the current cell on, with its progress shown when it
    // takes long.
    void PasteBlock();
    // Ctrl+V in a cell editor holding a spreadsheet's block: the editor
    // closes and the block is pasted from its cell on.
    void PasteBlockFromEditor();

    // Enter and Shift+Enter: the cell below or above, at most the new-line
    // row.
    void MoveCurrentLine(int step);

signals:
    // What the line and block commands may do has changed.
    void stateChanged();

private:
    // The lines Insert and Delete work on: those of the selected block when
    // it spans several lines and holds the current cell, else the current
    // line; the new-line row counts only when `newLineRow`.
    bool CommandLines(bool newLineRow, int &first, int &count) const;
    // Puts the current line on the line clipboard; false when it did not
    // get there.
    bool PutCurrentLine();
    // `done` in the status bar, or why `command` was not carried out.
    void Tell(EditResult result, const QString &command, const QString &done) const;

    ReportDocument &document;
    CommandContext &context;
    qnVelTorClipboard *lineClipboard; // not owned
};
