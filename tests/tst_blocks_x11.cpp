// A block of cells copied in one running copy of the editor and pasted in
// another, as plain text through a real X server. The test starts itself a
// second time as the other copy.

#include "WindowSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

namespace {

constexpr int Timeout = 20000; // ms; Xvfb on a busy machine can be slow
const char ChildVariable[] = "QNVELTOR_BLOCK_COPIER";

// The copier's report: two lines, fields 7 to 9 filled, one cell empty.
const QStringList CopiedRows = {QStringLiteral("夜明けの街\tｻﾄｳ\t"), QStringLiteral("LOVE SONG\t\t山田太郎")};

// The other copy of the program: fills its grid, copies the block and keeps
// serving the clipboard until another program takes it.
int runCopier()
{
    TVelTorForm form;
    // Outside a test function a broken model ends the copier, and the
    // parent sees its exit code.
    QAbstractItemModelTester tester(TestSupport::model(form), QAbstractItemModelTester::FailureReportingMode::Fatal);
    form.show();
    for (int line = 0; line < CopiedRows.size(); ++line) {
        const QStringList cells = CopiedRows.at(line).split(u'\t');
        for (int i = 0; i < cells.size(); ++i) {
            if (!cells.at(i).isEmpty())
                TestSupport::type(form, line, 7 + i, cells.at(i));
        }
    }
    TestSupport::selectBlock(form, 0, 7, 1, 9);
    form.BlockCopy();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard())
        return 2;
    const QString copied = clipboard->text();
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [clipboard, copied] {
        if (!clipboard->ownsClipboard() || clipboard->text() != copied)
            QCoreApplication::quit();
    });
    poll->start(100);
    QTimer::singleShot(Timeout, qApp, [] { QCoreApplication::exit(3); });
    form.Document().UndoStack()->setClean(); // leaves without a save question
    return QCoreApplication::exec();
}

} // namespace

class tst_BlocksX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void blockBetweenTwoCopies();
};

void tst_BlocksX11::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (DISPLAY unset or unreachable)");
}

void tst_BlocksX11::blockBetweenTwoCopies()
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QProcess copier;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
    copier.setProcessEnvironment(environment);
    copier.setProcessChannelMode(QProcess::ForwardedChannels);
    copier.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(copier.waitForStarted(Timeout));

    // The text as a spreadsheet would find it: TAB between cells, CR LF
    // between lines.
    const QString expected = CopiedRows.join(QStringLiteral("\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), expected, Timeout);
    QVERIFY(!QGuiApplication::clipboard()->ownsClipboard());

    TestSupport::Window window;
    TVelTorForm &form = window.form;
    TestSupport::type(form, 0, 0, QStringLiteral("1"));
    TestSupport::setCurrent(form, 0, 8);
    form.BlockPaste();
    QCOMPARE(TestSupport::lineTexts(form.Document()),
             QStringList({QStringLiteral("1||||||||夜明けの街|ｻﾄｳ"), QStringLiteral("||||||||LOVE SONG||山田太郎")}));
    // Fields 8 to 10 take kanji and kana: nothing is invalid.
    QCOMPARE(form.CellAttrs().ErrorCellCount(), 0u);

    // Taking the clipboard back lets the other copy end.
    QGuiApplication::clipboard()->setText(QStringLiteral("after"));
    // The event loop must turn for the new owner to reach the X server.
    QTRY_VERIFY_WITH_TIMEOUT(copier.state() == QProcess::NotRunning, Timeout);
    QCOMPARE(copier.exitCode(), 0);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ChildVariable))
        return runCopier();
    tst_BlocksX11 tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_blocks_x11.moc"
