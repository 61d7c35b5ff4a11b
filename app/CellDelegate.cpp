#include "CellDelegate.h"

#include "ReportModel.h"
#include "TextFilter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>
#include <new>

CellDelegate::CellDelegate(DrawCell drawCell, ByteLimit byteLimit, QObject *parent)
    : QStyledItemDelegate(parent), drawCell(std::move(drawCell)), byteLimit(std::move(byteLimit))
{
}

QString CellDelegate::EditorText(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == u' ')
        --end;
    return text.left(end);
}

QWidget *CellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    auto *filter = new TextFilter(editor, byteLimit ? byteLimit(index.column() + 1) : 0);
    editor->setValidator(filter);
    connect(filter, &TextFilter::refused, this, &CellDelegate::refused);
    const QPersistentModelIndex cell(index);
    connect(editor, &QLineEdit::textEdited, this, [this, cell](const QString &text) {
        if (cell.isValid())
            emit editTextChanged(cell, EditorText(text));
    });
    return editor;
}

void CellDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = static_cast<QLineEdit *>(editor);
    lineEdit->setText(index.data(Qt::EditRole).toString());
    if (const auto *model = qobject_cast<const ReportModel *>(index.model())) {
        const QString note = model->LongNote(index.row(), index.column());
        if (!note.isEmpty()) {
            emit notice(note + tr("編集すると、表示されている文字だけが残ります。"));
            return;
        }
    }
    // An unchanged cell keeps its bytes; the user must know before
    // changing it that the edit will drop the ones shown as U+FFFD.
    if (lineEdit->text().contains(QChar::ReplacementCharacter))
        emit notice(UnshowableBytesMessage());
}

QString CellDelegate::UnshowableBytesMessage()
{
    return tr("このセルには表示できないバイト（\uFFFD で表示）があります。内容を変更すると、そのバイトは削除されます。");
}

bool CellDelegate::PastesBlock(const QLineEdit &editor, const QString &text)
{
    return !editor.isModified()
            && std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c == u'\t' || c == u'\r' || c == u'\n'; });
}

void CellDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    const auto *lineEdit = static_cast<QLineEdit *>(editor);
    const QString text = EditorText(lineEdit->text());
    // An editor nobody typed into hands back the cell less its trailing
    // spaces; that is no edit, and the cell keeps its exact bytes.
    if (!lineEdit->isModified() && text == EditorText(index.data(Qt::EditRole).toString()))
        return;
    // The commit checks the text once more, as the report's: no keystroke
    // report is needed first.
    model->setData(index, text, Qt::EditRole);
}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    try {
        QStyledItemDelegate::paint(painter, option, index);
        if (drawCell)
            drawCell(painter, option.rect, index.column() + 1, index.row() + 1);
    } catch (const std::bad_alloc &) {
        // Thrown on through Qt's paint event it would end the program and
        // lose the report. The cell stays blank; the window says why.
        emit outOfMemory();
    }
}

bool CellDelegate::eventFilter(QObject *object, QEvent *event)
{
    // Plain Tab moves between cells; with Ctrl it leaves the grid.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ControlModifier)) {
            emit ctrlTabPressed();
            return true;
        }
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            emit enterPressed(modifiers == Qt::ShiftModifier);
            return true;
        }
        const auto *editor = qobject_cast<QLineEdit *>(object);
        if (editor && key->matches(QKeySequence::Paste)
            && PastesBlock(*editor, QGuiApplication::clipboard()->text())) {
            emit blockPasteWanted();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
