#pragma once

#include <QObject>

class CommandContext;
class GridCommands;
class QLineEdit;
class ReportDocument;

// Cut, copy and paste of text, and undo and redo: each goes to the box or
// cell editor that has the focus, or to the grid's blocks, or to the
// report's history. The window's handlers forward here.
class EditCommands : public QObject
{
    Q_OBJECT

public:
    // Not owned.
    EditCommands(ReportDocument &document, CommandContext &context, GridCommands &grid, QObject *parent = nullptr);

    void CutText();
    void CopyText();
    void PasteText();
    void Undo();
    void Redo();

    // What the text actions may do now.
    struct TextState
    {
        bool cut = false;
        bool copy = false;
        bool paste = false;
        bool clear = false; // the grid's block
    };
    TextState TextActions() const;

private:
    // The header box, search box or cell editor with the focus, or null.
    static QLineEdit *FocusedEdit();

    ReportDocument &document;
    CommandContext &context;
    GridCommands &grid;
};
