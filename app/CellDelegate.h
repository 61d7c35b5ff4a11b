#pragma once

#include <QStyledItemDelegate>

#include <functional>

class QLineEdit;

// Edits a cell in a byte-limited line edit and draws the window's marks
// (current-row lines, red error frame) over the grid's own cell drawing.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Grid positions: the model's (row, column) plus the title row and the
    // row handle column.
    using DrawCell = std::function<void(QPainter *, const QRect &, int col, int row)>;
    using ByteLimit = std::function<int(int col)>;

    CellDelegate(DrawCell drawCell, ByteLimit byteLimit, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The text an editor hands back: trailing spaces are not kept.
    static QString EditorText(const QString &text);

    // Shown when an editor opens on a cell holding bytes that are not
    // Shift-JIS: they show as U+FFFD, and an edit cannot keep them.
    static QString UnshowableBytesMessage();

    // Whether a paste of `text` into `editor` is a paste of a block of
    // cells instead: nobody has typed into the editor, and the text holds a
    // TAB or a line break, which no cell can hold but a spreadsheet's block
    // of cells always does.
    static bool PastesBlock(const QLineEdit &editor, const QString &text);

signals:
    // Every change of the editor's text, and once more when it closes.
    void editTextChanged(const QModelIndex &index, const QString &text) const;
    void refused(const QString &message) const;
    // Something the user should know about the cell being edited.
    void notice(const QString &message) const;
    void ctrlTabPressed() const;
    // Enter or Shift+Enter in the editor: the edit ends, and the cell below
    // or above is next.
    void enterPressed(bool up) const;
    // Ctrl+V in an editor that PastesBlock() the clipboard's text.
    void blockPasteWanted() const;
    // A cell could not be drawn for want of memory.
    void outOfMemory() const;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    DrawCell drawCell;
    ByteLimit byteLimit;
};
