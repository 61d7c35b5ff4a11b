#pragma once

#include <QMessageBox>

// A question before a save that would not give everything back: 「このまま
// 保存」 or 「キャンセル」, Cancel the default and the answer to Escape.
class SaveAnywayBox : public QMessageBox
{
    Q_OBJECT

public:
    SaveAnywayBox(QWidget *parent, const QString &question);
};
