#include "SaveAnywayBox.h"

#include <QPushButton>

SaveAnywayBox::SaveAnywayBox(QWidget *parent, const QString &question, const QString &yes)
    : QMessageBox(QMessageBox::Warning, tr("確認"), question, QMessageBox::Save | QMessageBox::Cancel,
                  parent)
{
    button(QMessageBox::Save)->setText(yes.isEmpty() ? tr("このまま保存") : yes);
    button(QMessageBox::Cancel)->setText(tr("キャンセル"));
    setDefaultButton(QMessageBox::Cancel);
    setEscapeButton(QMessageBox::Cancel);
}
