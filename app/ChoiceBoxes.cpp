#include "ChoiceBoxes.h"

#include <QPushButton>

OverwriteBox::OverwriteBox(QWidget *parent, const QString &question, bool canOverwrite)
    : QMessageBox(QMessageBox::Warning, tr("確認"), question,
                  (canOverwrite ? QMessageBox::Save : QMessageBox::NoButton) | QMessageBox::SaveAll
                          | QMessageBox::Cancel,
                  parent)
{
    if (canOverwrite)
        button(QMessageBox::Save)->setText(tr("上書きする"));
    button(QMessageBox::SaveAll)->setText(tr("名前を付けて保存"));
    button(QMessageBox::Cancel)->setText(tr("キャンセル"));
    setDefaultButton(QMessageBox::Cancel);
    setEscapeButton(QMessageBox::Cancel);
}

OverwriteBox::Answer OverwriteBox::Chosen(int button)
{
    switch (button) {
    case QMessageBox::Save:
        return Answer::Overwrite;
    case QMessageBox::SaveAll:
        return Answer::SaveAs;
    default:
        return Answer::Cancel;
    }
}

RecoveryBox::RecoveryBox(QWidget *parent, const QString &text)
    : QMessageBox(QMessageBox::Question, tr("確認"), text, QMessageBox::Yes | QMessageBox::Discard | QMessageBox::No,
                  parent)
{
    button(QMessageBox::Yes)->setText(tr("復元する"));
    button(QMessageBox::Discard)->setText(tr("破棄する"));
    button(QMessageBox::No)->setText(tr("あとで"));
    setDefaultButton(QMessageBox::Yes);
    setEscapeButton(QMessageBox::No);
}

RecoveryBox::Answer RecoveryBox::Chosen(int button)
{
    switch (button) {
    case QMessageBox::Yes:
        return Answer::Restore;
    case QMessageBox::Discard:
        return Answer::Discard;
    default:
        return Answer::Later;
    }
}

OpenAnywayBox::OpenAnywayBox(QWidget *parent, const QString &question)
    : QMessageBox(QMessageBox::Warning, tr("確認"), question, QMessageBox::Open | QMessageBox::Cancel, parent)
{
    button(QMessageBox::Open)->setText(tr("開く"));
    button(QMessageBox::Cancel)->setText(tr("キャンセル"));
    setDefaultButton(QMessageBox::Cancel);
    setEscapeButton(QMessageBox::Cancel);
}

ReloadBox::ReloadBox(QWidget *parent, const QString &question)
    : QMessageBox(QMessageBox::Question, tr("確認"), question, QMessageBox::Yes | QMessageBox::No, parent)
{
    button(QMessageBox::Yes)->setText(tr("読み込み直す"));
    button(QMessageBox::No)->setText(tr("そのまま"));
    setDefaultButton(QMessageBox::Yes);
    setEscapeButton(QMessageBox::No);
}
