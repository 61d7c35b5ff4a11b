#include "SaveAnywayBox.h"

#include <QPushButton>

SaveAnywayBox::SaveAnywayBox(QWidget *parent, const QString &question)
    : QMessageBox(QMessageBox::Warning, QStringLiteral("確認"), question, QMessageBox::Save | QMessageBox::Cancel,
                  parent)
{
    button(QMessageBox::Save)->setText(QStringLiteral("このまま保存"));
    button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    setDefaultButton(QMessageBox::Cancel);
    setEscapeButton(QMessageBox::Cancel);
}
