#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Find and replace: the text to find, its replacement and where to look.
// It does nothing itself: the window answers its buttons. すべて置換 closes
// it; 次を置換 leaves it open for the next occurrence.
class ReplaceDialog : public QDialog
{
    Q_OBJECT

public:
    // `fields` are the fields' names, for the choice of one column.
    ReplaceDialog(const QStringList &fields, QWidget *parent = nullptr);

    QString FindText() const;
    QString ReplacementText() const;
    bool MatchCase() const;
    bool FoldWidth() const;
    bool InBlock() const;
    // The one field to look in, or -1 for all of them.
    int Field() const;

    void SetTexts(const QString &find, const QString &replacement);
    // Offers "selected block only" when there is a block of several cells.
    void SetBlockAvailable(bool available);
    // The field the column choice starts with.
    void SetField(int field);
    // What the last button did, shown in the dialog, which may cover the
    // status bar.
    void ShowMessage(const QString &message);

signals:
    void replaceNextClicked();
    void replaceAllClicked();

private:
    QLineEdit *findEdit;
    QLineEdit *replacementEdit;
    QCheckBox *matchCaseBox;
    QCheckBox *foldWidthBox;
    QCheckBox *inBlockBox;
    QCheckBox *inFieldBox;
    QComboBox *fieldBox;
    QLabel *message;
};
