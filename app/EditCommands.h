#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

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

    // Ctrl+Z and Ctrl+Y in `edit` go to the report's history, unless the
    // box has typing of its own that is no step yet: that goes first. A box
    // whose every keystroke is a step of the report (`typingIsStep`, the
    // header boxes) always leaves them to the report. The box's selection
    // also outlives a trip of the focus to the menu bar (Alt+E), for the
    // text commands of the menu to work on.
    void RouteUndo(QLineEdit *edit, bool typingIsStep);

    // What the text actions may do now.
    struct TextState
    {
        bool cut = false;
        bool copy = false;
        bool paste = false;
        bool clear = false; // the grid's block
    };
    TextState TextActions() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The header box, search box or cell editor with the focus, or null.
    QLineEdit *FocusedEdit() const;
    // Gives `edit` back the selection it had when the menu bar took the
    // focus; false when it has none to get back.
    bool RestoreSelection(QLineEdit *edit);

    ReportDocument &document;
    CommandContext &context;
    GridCommands &grid;
    QList<QPointer<QLineEdit>> stepBoxes;
    // The selection a box lost to the menu bar: QLineEdit drops it then.
    QPointer<QLineEdit> selectionOwner;
    int selectionStart = -1;
    int selectionLength = 0;
};
