#pragma once

#include <QMessageBox>

// The question before a file that does not look like a report is opened:
// import it (the default), open it as a report anyway, or neither.
class OpenAsBox : public QMessageBox
{
    Q_OBJECT

public:
    enum class Answer { Import, Report, Nothing };

    OpenAsBox(QWidget *parent, const QString &text);

    // The answer the button an exec() returned stands for.
    static Answer Chosen(int button);
};
