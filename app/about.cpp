#include "about.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel *PlaceLabel(const QString &text, QWidget *parent, int top)
{
    auto *label = new QLabel(text, parent);
    label->move(8, top);
    label->adjustSize();
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("About"));

    // Only the size changes; the family is whatever the application chose.
    QFont font = QApplication::font();
    font.setPointSize(8);
    setFont(font);

    setFixedSize(298, 218);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 281, 161);

    ProductName = PlaceLabel(QStringLiteral("qnVelTor"), Panel1, 8);
    Version = PlaceLabel(tr("バージョン 1.0.0"), Panel1, 27);
    Copyright = PlaceLabel(QStringLiteral("Copyright (C) mornwicks"), Panel1, 46);

    Comments = new QLabel(tr("問題点、使いづらい点は教えてください。"), Panel1);
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 74, 265, Comments->heightForWidth(265));

    WebAddress = new QLineEdit(QStringLiteral("https://www.example.jp/mornwicks/qnVelTor/"), Panel1);
    WebAddress->setReadOnly(true);
    WebAddress->setGeometry(8, 93, 265, WebAddress->sizeHint().height());
    // Long addresses would otherwise open scrolled to their end.
    WebAddress->setCursorPosition(0);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(120, 178, 65, 33);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CentreOnScreen();
    OKButton->setFocus(Qt::OtherFocusReason);
}

void TAboutBox::CentreOnScreen()
{
    QScreen *screen = parentWidget() ? parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the first show the frame is unknown and frameGeometry() equals
    // geometry(); from then on the whole window, frame included, is centred.
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
