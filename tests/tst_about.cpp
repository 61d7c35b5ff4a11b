#include "Icons.h"
#include "about.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QList<int> UsedIcons{0, 1, 2, 5, 6, 7, 8, 15};

bool HasVisiblePixel(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

} // namespace

class tst_About : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void caption();
    void fixedClientSize();
    void texts();
    void webAddressIsReadOnly();
    void okIsDefaultAndFocusedOnOpen();
    void okIsFocusedAgainOnReopen();
    void okAccepts();
    void centredOnScreen();

    void imageListHasSixteenSlots();
    void fallbackPictures_data();
    void fallbackPictures();
    void themeNames_data();
    void themeNames();
};

void tst_About::init()
{
    // No theme, so the pictures under test are the program's own.
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(QStringLiteral("qnveltor-none"));
}

void tst_About::caption()
{
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    QVERIFY(!(box.windowFlags() & Qt::WindowContextHelpButtonHint));
}

void tst_About::fixedClientSize()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(298, 218));
    QCOMPARE(box.minimumSize(), QSize(298, 218));
    QCOMPARE(box.maximumSize(), QSize(298, 218));
    QCOMPARE(box.font().pointSize(), 8);
    QCOMPARE(box.font().family(), QApplication::font().family());
    QCOMPARE(box.Panel1->geometry(), QRect(8, 8, 281, 161));
    QCOMPARE(box.Panel1->frameShadow(), QFrame::Sunken);
    QCOMPARE(box.OKButton->geometry(), QRect(120, 178, 65, 33));
}

void tst_About::texts()
{
    TAboutBox box;
    QCOMPARE(box.ProductName->text(), QStringLiteral("qnVelTor"));
    QCOMPARE(box.Version->text(), QStringLiteral("バージョン 1.0.0"));
    QCOMPARE(box.Copyright->text(), QStringLiteral("Copyright (C) mornwicks"));
    QCOMPARE(box.Comments->text(), QStringLiteral("問題点、使いづらい点は教えてください。"));
    QVERIFY(box.Comments->wordWrap());
    QCOMPARE(box.OKButton->text(), QStringLiteral("OK"));

    // One under another, in the panel, in this order.
    const QList<QWidget *> column{box.ProductName, box.Version, box.Copyright, box.Comments,
                                  box.WebAddress};
    const QList<int> tops{8, 27, 46, 74, 93};
    for (int i = 0; i < column.size(); ++i) {
        QCOMPARE(column[i]->parentWidget(), box.Panel1);
        QCOMPARE(column[i]->pos(), QPoint(8, tops[i]));
    }
    QCOMPARE(box.Comments->width(), 265);
    QCOMPARE(box.WebAddress->width(), 265);
}

void tst_About::webAddressIsReadOnly()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.WebAddress->text(), QStringLiteral("https://www.example.jp/mornwicks/qnVelTor/"));
    QVERIFY(box.WebAddress->isReadOnly());

    box.WebAddress->setFocus();
    QTest::keyClicks(box.WebAddress, QStringLiteral("x"));
    QTest::keyClick(box.WebAddress, Qt::Key_Backspace);
    QCOMPARE(box.WebAddress->text(), QStringLiteral("https://www.example.jp/mornwicks/qnVelTor/"));
}

void tst_About::okIsDefaultAndFocusedOnOpen()
{
    TAboutBox box;
    QVERIFY(box.OKButton->isDefault());
    box.show();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    QCOMPARE(QApplication::focusWidget(), box.OKButton);

    // Return anywhere in the dialog presses the default button.
    QSignalSpy accepted(&box, &QDialog::accepted);
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(accepted.size(), 1);
}

void tst_About::okIsFocusedAgainOnReopen()
{
    // The one instance is shown again and again; the focus left on the web
    // box by the last visit must not carry over.
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    box.WebAddress->setFocus();
    QCOMPARE(QApplication::focusWidget(), box.WebAddress);
    box.hide();

    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // The offscreen platform leaves a window shown for the second time
    // inactive, so look at the focus the dialog hands over on activation.
    QCOMPARE(box.focusWidget(), box.OKButton);
}

void tst_About::okAccepts()
{
    TAboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.OKButton, Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void tst_About::centredOnScreen()
{
    // A parent far from the centre shows that the screen, not the parent,
    // decides the place.
    QWidget parent;
    parent.setGeometry(10, 10, 200, 100);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    TAboutBox box(&parent);
    for (int visit = 0; visit < 2; ++visit) {
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint screenCentre = parent.screen()->availableGeometry().center();
        const QPoint offset = box.frameGeometry().center() - screenCentre;
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("visit %1 off by (%2, %3)")
                                .arg(visit).arg(offset.x()).arg(offset.y())));
        box.hide();
        box.move(0, 0);
    }
}

void tst_About::imageListHasSixteenSlots()
{
    const QList<QIcon> icons = MakeImageList();
    QCOMPARE(icons.size(), 16);
    for (int i = 0; i < icons.size(); ++i)
        QCOMPARE(icons[i].isNull(), !UsedIcons.contains(i));
}

void tst_About::fallbackPictures_data()
{
    QTest::addColumn<int>("index");
    for (int index : UsedIcons)
        QTest::addRow("icon %d", index) << index;
}

void tst_About::fallbackPictures()
{
    QFETCH(int, index);
    const QIcon icon = MakeImageList().at(index);
    for (int size : {16, 32}) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size), 1.0);
        QCOMPARE(pixmap.size(), QSize(size, size));
        QVERIFY(HasVisiblePixel(pixmap.toImage()));
    }
    // Two different actions must not end up with the same picture.
    const QImage mine = icon.pixmap(16, 16).toImage();
    for (int other : UsedIcons)
        if (other != index)
            QVERIFY(MakeImageList().at(other).pixmap(16, 16).toImage() != mine);
}

void tst_About::themeNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::newRow("cut") << 0 << "edit-cut";
    QTest::newRow("copy") << 1 << "edit-copy";
    QTest::newRow("paste") << 2 << "edit-paste";
    QTest::newRow("delete line") << 5 << "edit-delete";
    QTest::newRow("new file") << 6 << "document-new";
    QTest::newRow("open file") << 7 << "document-open";
    QTest::newRow("save file") << 8 << "document-save";
    QTest::newRow("insert line") << 15 << "list-add";
}

void tst_About::themeNames()
{
    QFETCH(int, index);
    QFETCH(QString, name);

    // A theme holding one plain square under the expected name: the icon at
    // that index must come from it rather than from the program's own picture.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString themeDir = root.filePath(QStringLiteral("probe"));
    QVERIFY(QDir().mkpath(themeDir + QStringLiteral("/16x16/actions")));
    QFile themeFile(themeDir + QStringLiteral("/index.theme"));
    QVERIFY(themeFile.open(QIODevice::WriteOnly));
    themeFile.write("[Icon Theme]\nName=probe\nDirectories=16x16/actions\n\n"
                      "[16x16/actions]\nSize=16\nType=Fixed\n");
    themeFile.close();
    QImage square(16, 16, QImage::Format_ARGB32);
    square.fill(QColor(1, 2, 3));
    QVERIFY(square.save(themeDir + QStringLiteral("/16x16/actions/") + name + QStringLiteral(".png")));

    QIcon::setThemeSearchPaths({root.path()});
    QIcon::setThemeName(QStringLiteral("probe"));

    const QList<QIcon> icons = MakeImageList();
    QCOMPARE(icons.at(index).name(), name);
    QCOMPARE(icons.at(index).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(1, 2, 3));
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"
