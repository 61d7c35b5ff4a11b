#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The About box. The main window creates it once, hidden, and shows it
// modally each time About is chosen, so everything that must hold "when the
// dialog opens" is redone on every show rather than once in the constructor.
class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Comments;
    QLineEdit *WebAddress;
    QPushButton *OKButton;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CentreOnScreen();
};
