// The line clipboard against other X11 clients: xclip stands in for another
// running copy of the editor, so the format name, the target atom and the
// payload bytes are checked as they really travel between processes.

#include "qnVelTorClipboard.h"

#include <QByteArrayList>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace {

using Cells = std::vector<std::string>;

constexpr int Timeout = 10000; // ms; Xvfb on a busy machine can be slow

QByteArray joined(const Cells &cells)
{
    QByteArrayList parts;
    for (const std::string &c : cells)
        parts << QByteArray(c.data(), qsizetype(c.size()));
    return parts.join('|');
}

Cells cellsOf(const QByteArrayList &list)
{
    Cells cells;
    for (const QByteArray &b : list)
        cells.emplace_back(b.constData(), std::size_t(b.size()));
    return cells;
}

QByteArray crlfLines(const QByteArrayList &cells)
{
    QByteArray text;
    for (const QByteArray &c : cells)
        text += c + "\r\n";
    return text;
}

QByteArrayList numbered(int count)
{
    QByteArrayList cells;
    for (int i = 0; i < count; ++i)
        cells << "c" + QByteArray::number(i);
    return cells;
}

} // namespace

class tst_ClipboardX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void otherProcessPutsRecord_data();
    void otherProcessPutsRecord();
    void otherProcessPutsPlainText();
    void otherProcessReadsRecord_data();
    void otherProcessReadsRecord();
    void onlyThePrivateTargetIsOffered();

private:
    // Starts xclip as the owner of CLIPBOARD with `data` of `target`; it
    // stays in the foreground until another client takes the selection.
    bool startOwner(const QByteArray &target, const QByteArray &data);
    // Takes the clipboard with plain text; true when it reads back.
    static bool putText(const QString &text);
    // Runs xclip to the end while this process keeps serving the selection.
    bool runXclip(const QStringList &args, QByteArray *out);

    QString xclip;
    std::unique_ptr<QProcess> owner;
};

void tst_ClipboardX11::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (DISPLAY unset or unreachable)");
    xclip = QStandardPaths::findExecutable(QStringLiteral("xclip"));
    if (xclip.isEmpty())
        QSKIP("xclip not found");
}

void tst_ClipboardX11::cleanup()
{
    if (owner) {
        if (owner->state() != QProcess::NotRunning) {
            owner->kill(); // our own child, by its handle
            owner->waitForFinished(Timeout);
        }
        owner.reset();
    }
}

void tst_ClipboardX11::cleanupTestCase()
{
    cleanup();
}

bool tst_ClipboardX11::startOwner(const QByteArray &target, const QByteArray &data)
{
    cleanup();
    owner = std::make_unique<QProcess>();
    QStringList args{QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard")};
    if (!target.isEmpty())
        args << QStringLiteral("-t") << QString::fromLatin1(target);
    args << QStringLiteral("-i");
    // -quiet keeps xclip in the foreground but it still chats on stderr.
    owner->setStandardOutputFile(QProcess::nullDevice());
    owner->setStandardErrorFile(QProcess::nullDevice());
    owner->start(xclip, args);
    if (!owner->waitForStarted(Timeout))
        return false;
    owner->write(data);
    owner->closeWriteChannel();
    return owner->waitForBytesWritten(Timeout) || data.isEmpty() || owner->bytesToWrite() == 0;
}

bool tst_ClipboardX11::putText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    return QGuiApplication::clipboard()->text() == text;
}

bool tst_ClipboardX11::runXclip(const QStringList &args, QByteArray *out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(xclip, args);
    if (!p.waitForStarted(Timeout))
        return false;
    p.closeWriteChannel();
    // xclip asks this process for the data: keep the event loop turning.
    const QDeadlineTimer deadline(Timeout);
    while (!p.waitForFinished(10)) {
        if (deadline.hasExpired()) {
            p.kill();
            p.waitForFinished(Timeout);
            return false;
        }
        QCoreApplication::processEvents();
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void tst_ClipboardX11::otherProcessPutsRecord_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArrayList all = numbered(20);
    QTest::newRow("every column filled") << crlfLines(all) << all;

    QByteArrayList gaps = all;
    gaps[0].clear();
    gaps[4].clear(); // field 3
    gaps[6].clear(); // field 5
    QTest::newRow("fields 3 and 5 empty") << crlfLines(gaps) << gaps;

    QTest::newRow("20 empty cells") << QByteArray("\r\n").repeated(20) << QByteArrayList(20);

    QByteArrayList sjis(20);
    sjis[1] = "\x93\xfa\x96\x7b\x8c\xea";
    sjis[2] = "\xb1\xb2\xb3";
    sjis[3] = "\x83\x5c\x95\x5c";
    QTest::newRow("Shift-JIS") << crlfLines(sjis) << sjis;

    QByteArray lf = all.join('\n');
    QTest::newRow("LF only, no final break") << lf << all;

    QTest::newRow("25 lines, last five dropped") << crlfLines(numbered(25)) << all;
}

void tst_ClipboardX11::otherProcessPutsRecord()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArrayList, expected);

    qnVelTorClipboard clip;
    // Start from a clipboard that holds something else.
    QTRY_VERIFY_WITH_TIMEOUT(putText(QStringLiteral("before")), Timeout);
    QVERIFY(!clip.HasRecord());

    QVERIFY(startOwner(qnVelTorClipboard::FormatName, payload));
    QTRY_VERIFY_WITH_TIMEOUT(clip.HasRecord(), Timeout);

    Cells row{"untouched"};
    QVERIFY(clip.GetRecord(row));
    QCOMPARE(row.size(), std::size_t(20));
    QCOMPARE(joined(row), expected.join('|'));
}

void tst_ClipboardX11::otherProcessPutsPlainText()
{
    qnVelTorClipboard clip;
    QVERIFY(startOwner(qnVelTorClipboard::FormatName, crlfLines(numbered(20))));
    // This line, not one an earlier owner left: Qt keeps the last owner's
    // list of formats until it hears of the change.
    Cells line;
    QTRY_VERIFY_WITH_TIMEOUT(clip.GetRecord(line) && joined(line) == numbered(20).join('|'), Timeout);

    // Another program copies plain text: the line is gone. Between the two
    // owners the clipboard has none, and once the new one has it Qt may
    // still answer from the old one's formats for a moment, so the check
    // waits until the text has arrived.
    QVERIFY(startOwner(QByteArray(), "c0\r\nc1\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), QStringLiteral("c0\r\nc1\r\n"), Timeout);
    QVERIFY(!clip.HasRecord());

    Cells row{"a", "b"};
    QVERIFY(!clip.GetRecord(row));
    QCOMPARE(joined(row), QByteArray("a|b"));
}

void tst_ClipboardX11::otherProcessReadsRecord_data()
{
    QTest::addColumn<QByteArrayList>("cells");

    QTest::newRow("20 empty cells") << QByteArrayList(20);
    QByteArrayList gaps = numbered(20);
    gaps[0].clear();
    gaps[4].clear();
    gaps[6].clear();
    QTest::newRow("fields 3 and 5 empty") << gaps;
    QByteArrayList sjis(20);
    sjis[1] = "\x93\xfa\x96\x7b\x8c\xea";
    sjis[19] = "\x83\x5c";
    QTest::newRow("Shift-JIS") << sjis;
    QByteArrayList big(20);
    for (int i = 1; i < 20; ++i)
        big[i] = QByteArray(5000, char('A' + i)); // larger than one small X request
    QTest::newRow("long cells") << big;
}

void tst_ClipboardX11::otherProcessReadsRecord()
{
    QFETCH(QByteArrayList, cells);
    const Cells row = cellsOf(cells);
    const std::string payload = qnVelTorClipboard::MakePayload(row);

    qnVelTorClipboard clip;
    // X11 ignores a selection request with a timestamp older than the last
    // change (the previous owner's): retry once the event loop has caught up.
    QTRY_VERIFY_WITH_TIMEOUT(clip.PutRecord(row), Timeout);
    QVERIFY(clip.HasRecord());

    QByteArray out;
    QVERIFY(runXclip({QStringLiteral("-selection"), QStringLiteral("clipboard"),
                      QStringLiteral("-t"), QStringLiteral("qnVelTor-Record"), QStringLiteral("-o")},
                     &out));
    QCOMPARE(out, QByteArray(payload.data(), qsizetype(payload.size())));
    if (cells == QByteArrayList(20))
        QCOMPARE(out.size(), 40);
}

void tst_ClipboardX11::onlyThePrivateTargetIsOffered()
{
    qnVelTorClipboard clip;
    QTRY_VERIFY_WITH_TIMEOUT(clip.PutRecord(Cells(20)), Timeout);

    QByteArray out;
    QVERIFY(runXclip({QStringLiteral("-selection"), QStringLiteral("clipboard"),
                      QStringLiteral("-t"), QStringLiteral("TARGETS"), QStringLiteral("-o")},
                     &out));
    const QByteArrayList targets = out.split('\n');
    QVERIFY2(targets.contains("qnVelTor-Record"), out.constData());
    for (const char *text : {"UTF8_STRING", "STRING", "TEXT", "text/plain", "text/plain;charset=utf-8"})
        QVERIFY2(!targets.contains(text), text);
}

int main(int argc, char **argv)
{
    // A real X server when there is one; otherwise start offscreen so that
    // initTestCase can skip instead of the platform plugin aborting.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    QGuiApplication app(argc, argv);
    tst_ClipboardX11 tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_clipboard_x11.moc"
