#pragma once

#include "RowHandleHeader.h"

#include <QTableView>

class QAbstractButton;
class QLineEdit;
class QMouseEvent;

// The report grid. Lines are dragged by the row handle; the view puts the
// dragged section back at once and reports the move, so that the model moves
// the line itself and visual and model order never differ.
class VelTorGridView : public QTableView
{
    Q_OBJECT

public:
    explicit VelTorGridView(RowHandleHeader::DrawCell drawHandle, QWidget *parent = nullptr);

    // Stores the text of an open cell editor and closes it, so that line
    // commands, saving and searching see what the user typed.
    void CommitEditor();
    // The open cell editor, or null.
    QLineEdit *Editor() const;
    // The selected rectangle in model positions, or the current cell when
    // nothing is selected; false when there is neither.
    bool SelectedBlock(int &top, int &left, int &bottom, int &right) const;
    // Sets the width of the row handle column and lays the grid out anew.
    void SetHandleWidth(int width);
    // Makes the cell current and the only one selected, as a command's move
    // should, whatever keys are held.
    void SetCurrentCell(const QModelIndex &index);

signals:
    // Model rows.
    void rowDragged(int from, int to);
    void currentCellChanged();
    // The cell editor has closed, committed or not.
    void editorClosed();

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    bool CornerMouseEvent(QMouseEvent *event);
    void SectionMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);

    QAbstractButton *corner = nullptr; // the title row's cell above the handles; not owned
    int cornerDragOffset = -1;
    bool movedByCommand = false; // within SetCurrentCell
};
