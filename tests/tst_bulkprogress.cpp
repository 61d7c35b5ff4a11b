// The long commands on the document with no window, as a large report needs
// them: each tells its progress and stops when told, at any point of the
// command, of its undo and of its redo, leaving the report and its history
// exactly as they were; the compact steps give back every byte; the sort on
// two cores with its flat keys orders as a plain stable sort by Compare does.

#include "BulkEdits.h"
#include "DocumentSupport.h"
#include "LineOrder.h"
#include "ReportReplace.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <numeric>
#include <random>

using namespace TestSupport;

namespace {

// Enough lines for the progress to be told several times in each part.
constexpr int Lines = 20000;

// A report with something for every command: numbered key codes, titles of
// many lengths in both widths, a column of values of every length, invalid
// cells here and there, and bytes that are not Shift-JIS.
QByteArray report()
{
    const QByteArrayList titles = {sjis(QStringLiteral("ｻﾄｳの歌")), sjis(QStringLiteral("サトウ")),
                                   sjis(QStringLiteral("夜明けの星空 ～ライブ版～")), "LOVE SONG",
                                   sjis(QStringLiteral("さとう")), "\xED\x40\xFF", ""};
    QByteArray content;
    for (int line = 0; line < Lines; ++line) {
        QByteArrayList fields(FieldCount);
        fields[0] = QByteArray::number(line % 7 == 3 ? line * 13 : line + 1);
        fields[1] = line % 11 == 0 ? "QQQ" : "QQ";
        fields[2] = "000";
        fields[7] = titles[line % titles.size()] + (line % 2 == 0 ? sjis(QStringLiteral("ｻﾄｳ")) : QByteArray());
        fields[15] = QByteArray(line % 9, char('a' + line % 26));
        content += fileLine(fields);
    }
    return content;
}

// A progress that says stop at its call number `stopAt` (never when
// negative), and counts its calls.
struct Stopper
{
    int calls = 0;
    int stopAt = -1;
    ReadProgress Progress()
    {
        return [this](std::uint64_t, std::uint64_t) { return calls++ != stopAt; };
    }
};

enum class Outcome { Done, Cancelled, Other };

Outcome outcome(EditResult result)
{
    return result == EditResult::Done ? Outcome::Done
            : result == EditResult::Cancelled ? Outcome::Cancelled
                                              : Outcome::Other;
}

Outcome outcome(const BulkEdits::Result &result)
{
    return result.cancelled ? Outcome::Cancelled : result.outOfMemory ? Outcome::Other : Outcome::Done;
}

Outcome outcome(const ReportReplace::Result &result)
{
    return result.cancelled ? Outcome::Cancelled : result.outOfMemory ? Outcome::Other : Outcome::Done;
}

// Everything a cancel must leave as it was: every byte of every line, every
// verdict, and (unless `lines` alone) the history.
QByteArray state(const ReportDocument &document, bool linesAlone = false)
{
    QByteArray out;
    const qnVelTor::GridAttr &verdicts = document.Verdicts();
    for (int line = 0; line < document.LineCount(); ++line) {
        std::string_view cells[ReportRow::CellCount];
        document.Line(line).Cells(cells);
        const bool errors = verdicts.RowHasError(unsigned(line));
        for (unsigned field = 0; field < FieldCount; ++field) {
            out.append(cells[field].data(), qsizetype(cells[field].size()));
            out += errors && verdicts.IsError(unsigned(line), field) ? "\t!" : "\t";
        }
        out += '\n';
    }
    if (linesAlone)
        return out;
    const QUndoStack *stack = document.UndoStack();
    out += QStringLiteral("steps %1 at %2 saved %3:").arg(stack->count()).arg(stack->index()).arg(stack->cleanIndex()).toUtf8();
    for (int i = 0; i < stack->count(); ++i)
        out += ' ' + stack->text(i).toUtf8();
    return out;
}

} // namespace

class tst_BulkProgress : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cancelAnywhereLeavesEverything_data();
    void cancelAnywhereLeavesEverything();
    void stepsGiveBackEveryByte_data();
    void stepsGiveBackEveryByte();
    void sortOrdersAsAStableSortByCompare_data();
    void sortOrdersAsAStableSortByCompare();
    void replaceAllOnTwoCoresAsLineByLine_data();
    void replaceAllOnTwoCoresAsLineByLine();

private:
    Outcome Run(const QString &command, const ReadProgress &progress);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
};

void tst_BulkProgress::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
}

void tst_BulkProgress::cleanup()
{
    file.reset();
    document.reset();
    dir.reset();
}

Outcome tst_BulkProgress::Run(const QString &command, const ReadProgress &progress)
{
    ReportDocument &d = *document;
    const int last = d.LineCount() - 1;
    if (command == "replace all") {
        return outcome(ReportReplace(d, QStringLiteral("QQ"), QStringLiteral("Q"), TextFolding(true, false), {})
                               .ReplaceAll(progress));
    }
    if (command == "replace all folded") {
        return outcome(ReportReplace(d, QStringLiteral("ｻﾄｳ"), QStringLiteral("ｻ"), TextFolding(false, true), {})
                               .ReplaceAll(progress));
    }
    if (command == "renumber")
        return outcome(BulkEdits::Renumber(d, 0, last, 2, progress));
    if (command == "renumber lines")
        return outcome(BulkEdits::Renumber(d, 100, last - 100, 9990, progress));
    if (command == "fill down")
        return outcome(BulkEdits::FillDown(d, 1, 14, last, 15, progress));
    if (command == "sort")
        return outcome(BulkEdits::Sort(d, {{7, false}, {0, true}}, progress));
    if (command == "import") {
        const QString csv = dir->filePath(QStringLiteral("lines.csv"));
        QByteArray lines = "\xEF\xBB\xBF";
        for (int line = 0; line < Lines; ++line)
            lines += QStringLiteral("%1,QQ,000,,,,,サトウ%2\r\n").arg(line).arg(line % 3).toUtf8();
        if (!writeFile(csv, lines))
            return Outcome::Other;
        const ReportFile::ImportResult result = file->Import(csv, progress);
        return result.Ok() ? Outcome::Done : result.failure == ReadFailure::Cancelled ? Outcome::Cancelled : Outcome::Other;
    }
    return Outcome::Other;
}

void tst_BulkProgress::cancelAnywhereLeavesEverything_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("stopped");
    for (const char *command :
         {"replace all", "replace all folded", "renumber", "renumber lines", "fill down", "sort", "import"}) {
        // A sort's undo and redo only put the lines in another order, at
        // once; an import's take its lines out and back in, as a delete.
        for (const char *stopped : {"do", "undo", "redo"}) {
            if ((QByteArray(command) != "sort" && QByteArray(command) != "import") || QByteArray(stopped) == "do")
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(command, stopped))) << command << stopped;
        }
    }
}

// Before, a long command could not be stopped: the window stayed frozen.
// Stopped at its every call of the progress, the command, its undo and its
// redo each leave the report and its history as they were, and the step
// still undoes and redoes whole afterwards.
void tst_BulkProgress::cancelAnywhereLeavesEverything()
{
    QFETCH(QString, command);
    QFETCH(QString, stopped);
    QVERIFY(loadReport(*file, *dir, report()));
    ReportDocument &d = *document;
    const QByteArray loaded = state(d);

    // Done whole once, counting the calls of each part.
    Stopper counter;
    QCOMPARE(Run(command, counter.Progress()), Outcome::Done);
    const QByteArray done = state(d);
    QVERIFY(done != loaded);
    QCOMPARE(verdictMismatch(d), QString());
    Stopper undoCounter;
    QCOMPARE(d.Undo(undoCounter.Progress()), EditResult::Done);
    const QByteArray undone = state(d);
    Stopper redoCounter;
    QCOMPARE(d.Redo(redoCounter.Progress()), EditResult::Done);
    QCOMPARE(state(d), done);

    int calls = 0;
    QByteArray before;
    if (stopped == "do") {
        QCOMPARE(d.Undo(), EditResult::Done);
        before = state(d); // with the step to redo, which a cancel keeps
        calls = counter.calls;
    } else if (stopped == "undo") {
        before = done;
        calls = undoCounter.calls;
    } else {
        QCOMPARE(d.Undo(), EditResult::Done);
        before = undone;
        calls = redoCounter.calls;
    }
    // Told often enough to stop a large report at any time.
    QVERIFY2(calls >= 2, qPrintable(QString::number(calls)));
    for (int stopAt = 0; stopAt < calls; ++stopAt) {
        Stopper stopper;
        stopper.stopAt = stopAt;
        const Outcome result = stopped == "do" ? Run(command, stopper.Progress())
                : stopped == "undo"            ? outcome(d.Undo(stopper.Progress()))
                                               : outcome(d.Redo(stopper.Progress()));
        QVERIFY2(result == Outcome::Cancelled, qPrintable(QStringLiteral("call %1 of %2").arg(stopAt).arg(calls)));
        QVERIFY2(state(d) == before, qPrintable(QStringLiteral("call %1 of %2").arg(stopAt).arg(calls)));
    }
    // Messages and counts, which the state leaves out, once for all the
    // cancels: a wrong one stays wrong.
    QCOMPARE(verdictMismatch(d), QString());
    // Whole again afterwards.
    if (stopped == "do")
        QCOMPARE(Run(command, {}), Outcome::Done);
    else if (stopped == "redo")
        QCOMPARE(d.Redo(), EditResult::Done);
    QCOMPARE(state(d, true), state(d, true).size() ? done.left(done.indexOf("steps")) : QByteArray());
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(state(d, true), loaded.left(loaded.indexOf("steps")));
}

void tst_BulkProgress::stepsGiveBackEveryByte_data()
{
    QTest::addColumn<QStringList>("steps");
    // Cells written over where they stand, as long as before.
    QTest::newRow("renumbered in place") << QStringList{"renumber 2", "renumber 3"};
    // Longer and shorter cells: new rows, the old ones kept by the step.
    QTest::newRow("cells growing and shrinking") << QStringList{"fill", "replace"};
    // A line changed again by a later step: its row is the step's own by then.
    QTest::newRow("a line changed twice") << QStringList{"replace", "replace back", "renumber 2", "fill"};
    QTest::newRow("lines appended by a paste") << QStringList{"paste at the end", "renumber 2"};
    QTest::newRow("a block cleared") << QStringList{"clear", "renumber 2"};
}

// Before, a step kept a row object per changed line, about 190 bytes a
// cell. Packed now, and written in place where it can: every byte of every
// cell, not Shift-JIS ones included, must come back through any sequence of
// undos and redos.
void tst_BulkProgress::stepsGiveBackEveryByte()
{
    QFETCH(QStringList, steps);
    QVERIFY(loadReport(*file, *dir, report()));
    ReportDocument &d = *document;
    const int last = d.LineCount() - 1;
    QList<QByteArray> states {state(d, true)};
    for (const QString &step : steps) {
        if (step.startsWith(u"renumber"))
            QVERIFY(BulkEdits::Renumber(d, 0, last, step.back().digitValue()).changed > 0);
        else if (step == "fill")
            QVERIFY(BulkEdits::FillDown(d, 3, 7, last, 15).changed > 0);
        else if (step == "replace")
            QVERIFY(ReportReplace(d, QStringLiteral("ｻﾄｳ"), QStringLiteral("佐藤さん"), TextFolding(false, true), {}).ReplaceAll().replaced > 0);
        else if (step == "replace back")
            QVERIFY(ReportReplace(d, QStringLiteral("佐藤さん"), QStringLiteral("x"), TextFolding(true, false), {}).ReplaceAll().replaced > 0);
        else if (step == "paste at the end")
            QVERIFY(ReportBlocks(d).Paste(d.LineCount(), 0, QStringLiteral("9\tQ\r\n10\tQQ\r\n")).changed);
        else if (step == "clear")
            QVERIFY(ReportBlocks(d).Clear({10, 0, 5000, 18}) == EditResult::Done);
        states << state(d, true);
        QCOMPARE(verdictMismatch(d), QString());
    }
    // All the way back and forth, twice.
    for (int round = 0; round < 2; ++round) {
        for (int i = int(steps.size()); i-- > 0;) {
            QCOMPARE(d.Undo(), EditResult::Done);
            QVERIFY2(state(d, true) == states[i], qPrintable(QStringLiteral("undo to %1").arg(i)));
        }
        for (int i = 1; i <= int(steps.size()); ++i) {
            QCOMPARE(d.Redo(), EditResult::Done);
            QVERIFY2(state(d, true) == states[i], qPrintable(QStringLiteral("redo to %1").arg(i)));
        }
    }
    QCOMPARE(verdictMismatch(d), QString());
}

void tst_BulkProgress::sortOrdersAsAStableSortByCompare_data()
{
    QTest::addColumn<bool>("firstDescending");
    QTest::addColumn<bool>("secondDescending");
    QTest::addColumn<bool>("fewValues");
    QTest::newRow("ascending, many values") << false << false << false;
    QTest::newRow("descending, then ascending, many values") << true << false << false;
    QTest::newRow("ascending, then descending, few values") << false << true << true;
}

// Before, a sort compared every pair through Compare and took seconds on
// a million lines. Now words of the keys, ranks and two cores; the order
// must be the one a plain stable sort by Compare gives: numbers of any
// length with leading zeros, values sharing their first 24 bytes, empty
// ones, bytes that are not Shift-JIS.
void tst_BulkProgress::sortOrdersAsAStableSortByCompare()
{
    QFETCH(bool, firstDescending);
    QFETCH(bool, secondDescending);
    QFETCH(bool, fewValues);
    std::mt19937 random(7);
    const QByteArray shared(30, 'S');
    const auto value = [&](int kind) -> QByteArray {
        const int n = int(random() % (fewValues ? 5 : 100000));
        switch (kind % 7) {
        case 6:
            return QByteArray::number(n) + 'a'; // starts as a number does
        case 0:
            return QByteArray::number(n);
        case 1:
            return "00" + QByteArray::number(n % 50);
        case 2:
            return shared + QByteArray::number(n % 40);
        case 3:
            return QByteArray();
        case 4:
            return sjis(QStringLiteral("曲")) + char(0x80 + n % 100);
        default:
            return QByteArray(20, 'Z') + QByteArray::number(n).rightJustified(12, '0') + "x";
        }
    };
    QByteArray content;
    std::vector<std::pair<QByteArray, QByteArray>> keys;
    for (int line = 0; line < Lines; ++line) {
        // Numbers beside values that start with digits, empty ones and text.
        const QByteArray first = value(int(random() % 7));
        const QByteArray second = value(int(random() % 2));
        QByteArrayList fields(FieldCount);
        fields[0] = second;
        fields[7] = first;
        content += fileLine(fields);
        keys.emplace_back(first, second);
    }
    QVERIFY(loadReport(*file, *dir, content));
    std::vector<std::uint32_t> expected(static_cast<std::size_t>(Lines), 0u);
    std::iota(expected.begin(), expected.end(), 0u);
    const auto view = [](const QByteArray &bytes) { return std::string_view(bytes.constData(), std::size_t(bytes.size())); };
    std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
        int c = LineOrder::Compare(view(keys[a].first), view(keys[b].first));
        if (c != 0)
            return firstDescending ? c > 0 : c < 0;
        c = LineOrder::Compare(view(keys[a].second), view(keys[b].second));
        return c != 0 && (secondDescending ? c > 0 : c < 0);
    });
    const std::vector<std::uint32_t> order = LineOrder::Sorted(*document, {{7, firstDescending}, {0, secondDescending}});
    QCOMPARE(order, expected);
}

void tst_BulkProgress::replaceAllOnTwoCoresAsLineByLine_data()
{
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("foldWidth");
    QTest::newRow("exact") << "サトウ" << "佐藤" << true << false;
    QTest::newRow("width and case folded") << "ｻﾄｳ" << "サトウさん" << false << true;
    QTest::newRow("ASCII in any case") << "love" << "Love" << false << false;
    QTest::newRow("a cell made shorter") << "QQ" << "Q" << true << false;
}

// Before, one thread looked through every line. The two halves found on
// two cores must make the very step that small scopes, each looked through
// by one thread, make line by line.
void tst_BulkProgress::replaceAllOnTwoCoresAsLineByLine()
{
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(bool, matchCase);
    QFETCH(bool, foldWidth);
    QVERIFY(loadReport(*file, *dir, report()));
    const ReportReplace::Result whole =
            ReportReplace(*document, find, replacement, TextFolding(matchCase, foldWidth), {}).ReplaceAll();
    QVERIFY(whole.replaced > 0);
    ReportDocument byParts;
    QVERIFY(loadReport(byParts, *dir, report()));
    std::uint64_t replaced = 0;
    for (int top = 0; top < Lines; top += 1000) {
        const ReportReplace::Scope scope {top, top + 999, 0, INT_MAX};
        replaced += ReportReplace(byParts, find, replacement, TextFolding(matchCase, foldWidth), scope).ReplaceAll().replaced;
    }
    QCOMPARE(whole.replaced, replaced);
    QCOMPARE(state(*document, true), state(byParts, true));
    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(state(*document, true), [&] {
        ReportDocument loaded;
        return loadReport(loaded, *dir, report()) ? state(loaded, true) : QByteArray();
    }());
}

QTEST_GUILESS_MAIN(tst_BulkProgress)
#include "tst_bulkprogress.moc"
