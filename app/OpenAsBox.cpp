#include "OpenAsBox.h"

#include <QPushButton>

OpenAsBox::OpenAsBox(QWidget *parent, const QString &text)
    : QMessageBox(QMessageBox::Question, tr("確認"), text,
                  QMessageBox::Yes | QMessageBox::Open | QMessageBox::Cancel, parent)
{
    button(QMessageBox::Yes)->setText(tr("インポートする"));
    button(QMessageBox::Open)->setText(tr("報告ファイルとして開く"));
    button(QMessageBox::Cancel)->setText(tr("キャンセル"));
    setDefaultButton(QMessageBox::Yes);
    setEscapeButton(QMessageBox::Cancel);
}

OpenAsBox::Answer OpenAsBox::Chosen(int button)
{
    switch (button) {
    case QMessageBox::Yes:
        return Answer::Import;
    case QMessageBox::Open:
        return Answer::Report;
    default:
        return Answer::Nothing;
    }
}
