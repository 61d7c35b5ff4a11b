#include "SaveAnywayBox.h"

#include <QPushButton>

SaveAnywayBox::SaveAnywayBox(QWidget *parent, const QString &question, const QString &yes)
    : QMessageBox(QMessageBox::Warning, QStringLiteral("確認"), question, QMessageBox::Save | QMessageBox::Cancel,
                  parent)
{
    button(QMessageBox::Save)->setText(yes);
    button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    setDefaultButton(QMessageBox::Cancel);
    setEscapeButton(QMessageBox::Cancel);
}
