#pragma once

#include <QMessageBox>

// A question before a save that could lose something: `yes` (「このまま
// 保存」 unless said) or 「キャンセル」, Cancel the default and the answer to
// Escape. The Save button stands for yes.
class SaveAnywayBox : public QMessageBox
{
    Q_OBJECT

public:
    SaveAnywayBox(QWidget *parent, const QString &question, const QString &yes = {});
};
