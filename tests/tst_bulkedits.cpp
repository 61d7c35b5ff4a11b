// Edits of many cells and lines at once, on the document with no window:
// find and replace with its folding, the key codes renumbered, cells filled
// down, the lines sorted, runs of lines inserted and removed, and the rules
// of the header values. Each is one step; undoing every kind of step back
// to the exact report is tst_document's undoEveryStep.

#include "BulkEdits.h"
#include "DocumentSupport.h"
#include "LineOrder.h"
#include "ReportReplace.h"
#include "TextFolding.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

namespace {

// The whole cell as bytes, for cells that are not Shift-JIS text.
QByteArray cellBytes(const ReportDocument &document, int line, int field)
{
    return bytes(document.Cell(line, field));
}

// The counts that are not 0, e.g. "2 replaced, 1 unstorable".
QString counts(const ReportReplace::Result &result)
{
    QStringList out;
    const auto add = [&out](std::uint64_t count, const char *what) {
        if (count > 0)
            out << QString::number(count) + u' ' + QLatin1String(what);
    };
    add(result.replaced, "replaced");
    add(result.tooLong, "too long");
    add(result.unstorable, "unstorable");
    add(result.madeInvalid, "made invalid");
    return out.join(QStringLiteral(", "));
}

QString place(const ReportReplace::Match &match)
{
    return match.Found() ? QStringLiteral("%1:%2:%3+%4").arg(match.line).arg(match.field).arg(match.start).arg(match.length)
                         : QStringLiteral("none");
}

const ReportReplace::Scope Everywhere;

} // namespace

class tst_BulkEdits : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void folding_data();
    void folding();
    void foldingKeepsOrigins();

    void replaceAll_data();
    void replaceAll();
    void replaceLeavesOtherBytesAlone();
    void replaceNextVisitsEveryOccurrenceInOrder_data();
    void replaceNextVisitsEveryOccurrenceInOrder();
    void replaceNextLeavesAMatchThatIsGone();
    void replaceNextSkipsWhatCannotBeStored();

    void renumber_data();
    void renumber();
    void fillDown_data();
    void fillDown();

    void compareValues_data();
    void compareValues();
    void compareIsAnOrder();
    void sortIsStable_data();
    void sortIsStable();

    void runsOfLinesInOneSignal();
    void headerVerdicts();

private:
    ReportDocument &load(const QStringList &lines);

    QTemporaryDir dir;
    std::unique_ptr<ReportDocument> document;
};

void tst_BulkEdits::init()
{
    QVERIFY(dir.isValid());
    document = std::make_unique<ReportDocument>();
}

ReportDocument &tst_BulkEdits::load(const QStringList &lines)
{
    if (!loadReport(*document, dir, fileLines(lines)))
        QTest::qFail("the report did not load", __FILE__, __LINE__);
    return *document;
}

// ---- Folding -----------------------------------------------------------------

void tst_BulkEdits::folding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("foldWidth");
    QTest::addColumn<QString>("folded");

    QTest::newRow("nothing folded") << "ＡｂｶﾞAb" << true << false << "ＡｂｶﾞAb";
    QTest::newRow("case of ASCII") << "AbC" << false << false << "abc";
    QTest::newRow("case of full-width letters") << "ＡＢｃ" << false << false << "ａｂｃ";
    QTest::newRow("width keeps case") << "ＡＢｃ０９" << true << true << "ABc09";
    QTest::newRow("width and case") << "ＡＢｃ０９" << false << true << "abc09";
    QTest::newRow("full-width symbols stay") << "＿－＆" << true << true << "＿－＆";
    QTest::newRow("half-width katakana") << "ｱｲｳｴｵｦﾝｧｯｰ" << true << true << "アイウエオヲンァッー";
    QTest::newRow("half-width punctuation") << "｡｢｣､･" << true << true << "。「」、・";
    QTest::newRow("voiced mark joins") << "ｶﾞｷﾞｻﾞﾀﾞﾂﾞﾄﾞﾊﾞﾎﾞ" << true << true << "ガギザダヅドバボ";
    QTest::newRow("semi-voiced mark joins") << "ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ" << true << true << "パピプペポ";
    QTest::newRow("u and wa rows") << "ｳﾞﾜﾞｦﾞ" << true << true << "ヴヷヺ";
    QTest::newRow("mark after full-width kana") << "カﾞハﾟ" << true << true << "ガパ";
    QTest::newRow("mark that joins nothing") << "ｱﾞﾅﾟﾞ" << true << true << "ア゛ナ゜゛";
    QTest::newRow("semi-voiced on a k row kana") << "ｶﾟ" << true << true << "カ゜";
    QTest::newRow("hiragana is not katakana") << "かきく" << true << true << "かきく";
    QTest::newRow("kanji untouched") << "曲名Ａ" << false << true << "曲名a";
}

void tst_BulkEdits::folding()
{
    QFETCH(QString, text);
    QFETCH(bool, matchCase);
    QFETCH(bool, foldWidth);
    QFETCH(QString, folded);
    QCOMPARE(TextFolding(matchCase, foldWidth).Fold(text), folded);
}

// A match among folded characters maps back to the characters it came
// from: ｶﾞ is two of them.
void tst_BulkEdits::foldingKeepsOrigins()
{
    std::vector<qsizetype> origins;
    QCOMPARE(TextFolding(false, true).Fold(u"xｶﾞＹ", &origins), QStringLiteral("xガy"));
    QCOMPARE(origins, (std::vector<qsizetype>{0, 1, 3, 4}));
}

// ---- Find and replace --------------------------------------------------------

void tst_BulkEdits::replaceAll_data()
{
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("foldWidth");
    QTest::addColumn<QList<int>>("scope"); // top, bottom, left, right; empty: everywhere
    QTest::addColumn<QStringList>("result");
    QTest::addColumn<QString>("counts");

    const QStringList names = {"1|||||||||||山田ﾀﾛｳ", "2|||||||||||山田タロウ", "3|||||||||||山田たろう"};
    const QList<int> all;
    QTest::newRow("exact") << names << "タロウ" << "太郎" << true << false << all
                           << QStringList{"1|||||||||||山田ﾀﾛｳ", "2|||||||||||山田太郎", "3|||||||||||山田たろう"}
                           << "1 replaced";
    QTest::newRow("width folded") << names << "タロウ" << "太郎" << true << true << all
                                  << QStringList{"1|||||||||||山田太郎", "2|||||||||||山田太郎", "3|||||||||||山田たろう"}
                                  << "2 replaced";
    // Two characters that fold into one are replaced together.
    QTest::newRow("half-width kana with its voiced mark") << QStringList{"1|||||||ｶﾞｽ", "2|||||||ガｽ"} << "ｶﾞ" << "x"
                                                          << true << true << all << QStringList{"1|||||||xｽ", "2|||||||xｽ"}
                                                          << "2 replaced";
    QTest::newRow("kanji and kana of either width") << names << "田ﾀﾛｳ" << "田太郎" << true << true << all
                                                    << QStringList{"1|||||||||||山田太郎", "2|||||||||||山田太郎", "3|||||||||||山田たろう"}
                                                    << "2 replaced";
    // Found 16 bytes at a time: ａ and Ａ share their lead byte.
    const QString far(20, u'y');
    QTest::newRow("codes of one lead byte, far into the line")
            << QStringList{"1|||||||" + far + "ａ" + far, "2|||||||" + far + "Ａ" + far, "3|||||||" + far + "ｂ" + far}
            << "a" << "b" << false << true << all
            << QStringList{"1|||||||" + far + "b" + far, "2|||||||" + far + "b" + far, "3|||||||" + far + "ｂ" + far}
            << "2 replaced";
    // The last block of a line ends at its last byte but one, over the one
    // before it; the last byte can only be a single-byte code.
    QTest::newRow("a code in the last two bytes of a long line")
            << QStringList{"1|||||||" + far + "ａ", "2|||||||" + far + "ｂ"} << "a" << "b" << false << true << all
            << QStringList{"1|||||||" + far + "b", "2|||||||" + far + "ｂ"} << "1 replaced";
    QTest::newRow("a single byte at the end of a long line")
            << QStringList{"1|||||||" + far + "ｱ", "2|||||||" + far + "ｲ"} << "ア" << "x" << true << true << all
            << QStringList{"1|||||||" + far + "x", "2|||||||" + far + "ｲ"} << "1 replaced";
    // Too many places of the rarest character to list: every cell is looked at.
    QTest::newRow("the rarest character all over a line")
            << QStringList{"1|||||||aaaaaaaaaa||||ab", "2|||||||a||||b"} << "ab" << "x" << false << true << all
            << QStringList{"1|||||||aaaaaaaaaa||||x", "2|||||||a||||b"} << "1 replaced";
    QTest::newRow("every occurrence of a cell") << QStringList{"1|||||||abAB aB"} << "ab" << "x" << false << false << all
                                                << QStringList{"1|||||||xx x"} << "3 replaced";
    QTest::newRow("other case only") << QStringList{"1|||||||AB", "2||||||||aB"} << "ab" << "x" << false << false << all
                                     << QStringList{"1|||||||x", "2||||||||x"} << "2 replaced";
    QTest::newRow("case kept apart") << QStringList{"1|||||||abAB aB"} << "ab" << "x" << true << false << all
                                     << QStringList{"1|||||||xAB aB"} << "1 replaced";
    QTest::newRow("a replacement growing the match") << QStringList{"1|||||||aaa"} << "a" << "aa" << true << false << all
                                                     << QStringList{"1|||||||aaaaaa"} << "3 replaced";
    // Field 2 takes 3 bytes; field 6 no full-width characters.
    QTest::newRow("past the field's length") << QStringList{"1||000", "2||00"} << "0" << "00" << true << false << all
                                             << QStringList{"1||000", "2||00"} << "5 too long";
    QTest::newRow("exactly the field's length") << QStringList{"1||00"} << "00" << "000" << true << false << all
                                                << QStringList{"1||000"} << "1 replaced";
    QTest::newRow("made invalid") << QStringList{"1||||||12345"} << "123" << "一" << true << false << all
                                  << QStringList{"1||||||一45"} << "1 replaced, 1 made invalid";
    QTest::newRow("invalid before and after") << QStringList{"1||||||一12345"} << "123" << "二" << true << false << all
                                              << QStringList{"1||||||一二45"} << "1 replaced";
    QTest::newRow("a character code page 932 lacks") << QStringList{"1|||||||ab", "2|||||||b"} << "b" << "\U0001F600"
                                                     << true << false << all << QStringList{"1|||||||ab", "2|||||||b"}
                                                     << "2 unstorable";
    QTest::newRow("look-alike made storable") << QStringList{"1|||||||a-b"} << "-" << "\u301C" << true << false << all
                                              << QStringList{"1|||||||a～b"} << "1 replaced";
    QTest::newRow("controls dropped from the replacement") << QStringList{"1|||||||ab"} << "a" << "x\ty\r\n" << true
                                                           << false << all << QStringList{"1|||||||xyb"} << "1 replaced";
    QTest::newRow("found nowhere") << names << "花子" << "x" << false << true << all << names << "";
    // Field 0 holds "a" on every line: any 30 ASCII are a valid key code.
    const QStringList as = {"a|a|a", "a|a|a", "a|a|a"};
    QTest::newRow("within a block") << as << "a" << "b" << true << false << QList<int>{1, 2, 1, 2}
                                    << QStringList{"a|a|a", "a|b|b", "a|b|b"} << "4 replaced";
    QTest::newRow("within a column to past the end") << as << "a" << "c" << true << false << QList<int>{0, INT_MAX, 0, 0}
                                                     << QStringList{"c|a|a", "c|a|a", "c|a|a"} << "3 replaced";
}

void tst_BulkEdits::replaceAll()
{
    QFETCH(QStringList, report);
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(bool, matchCase);
    QFETCH(bool, foldWidth);
    QFETCH(QList<int>, scope);
    QFETCH(QStringList, result);
    QFETCH(QString, counts);
    ReportDocument &d = load(report);
    ReportReplace replace(d, find, replacement, TextFolding(matchCase, foldWidth),
                          scope.isEmpty() ? Everywhere : ReportReplace::Scope{scope[0], scope[1], scope[2], scope[3]});
    QCOMPARE(::counts(replace.ReplaceAll()), counts);
    QCOMPARE(lineTexts(d), result);
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), result == report ? 0 : 1);
}

// Only a cell holding a match is written again: the others keep bytes that
// decoding and encoding would change (0xED40 reads as the kanji that code
// page 932 writes 0xFA5C) or could not give back (bytes that are not
// Shift-JIS). A cell with such bytes and a match is left out.
void tst_BulkEdits::replaceLeavesOtherBytesAlone()
{
    const QByteArray nec = "\xED\x40";
    const QByteArray song = sjis(QStringLiteral("曲"));
    const QByteArray broken = song + "\xFF";
    ReportDocument &d = *document;
    QVERIFY(loadReport(d, dir,
                       fileLine({"1", "", "", "", "", "", "", nec + song, song, nec}) + fileLine({"2", "", "", "", "", "", "", broken})));
    ReportReplace replace(d, QStringLiteral("曲"), QStringLiteral("歌"), TextFolding(true, false), Everywhere);
    QCOMPARE(counts(replace.ReplaceAll()), QStringLiteral("2 replaced, 1 unstorable"));
    QCOMPARE(cellBytes(d, 0, 7), "\xFA\x5C" + sjis(QStringLiteral("歌")));
    QCOMPARE(cellBytes(d, 0, 8), sjis(QStringLiteral("歌")));
    QCOMPARE(cellBytes(d, 0, 9), nec);
    QCOMPARE(cellBytes(d, 1, 7), broken);

    // A find text of the kanji finds it however the file wrote it.
    QCOMPARE(d.Undo(), EditResult::Done);
    ReportReplace kanji(d, ShiftJis::ToText("\xFA\x5C"), QStringLiteral("x"), TextFolding(true, false), Everywhere);
    QCOMPARE(place(kanji.FindFrom(0, 0)), QStringLiteral("0:7:0+1"));
    QCOMPARE(cellBytes(d, 0, 7), nec + song);
}

// Replacing one at a time from a cell on visits every occurrence in reading
// order, each once (never one the replacement made), wraps at the end, and
// never stops on a decoy.
void tst_BulkEdits::replaceNextVisitsEveryOccurrenceInOrder_data()
{
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QList<int>>("scope"); // top, bottom, left, right; empty: everywhere
    QTest::addColumn<QList<int>>("from"); // line, field
    // The matches shown in turn, each replaced but the last.
    QTest::addColumn<QStringList>("visited");
    QTest::addColumn<QStringList>("result");
    QTest::addColumn<QString>("counts");

    const QList<int> all;
    const QStringList decoys = {"1|||||||ab abX|ab", "2|||||||aXb|x", "3||||||||AB"};
    QTest::newRow("decoys around each hit") << decoys << "ab" << "Z" << all << QList<int>{0, 8}
                                            << QStringList{"0:8:0+2", "0:7:0+2", "0:7:2+2", "none"}
                                            << QStringList{"1|||||||Z ZX|Z", "2|||||||aXb|x", "3||||||||AB"}
                                            << "3 replaced";
    QTest::newRow("shorter replacement, occurrences side by side")
            << QStringList{"1|||||||abab|ab"} << "ab" << "Z" << all << QList<int>{0, 7}
            << QStringList{"0:7:0+2", "0:7:1+2", "0:8:0+2", "none"} << QStringList{"1|||||||ZZ|Z"} << "3 replaced";
    // Wrapped, the cell's start holds the find text again.
    QTest::newRow("replacement holding the find text") << QStringList{"1|||||||aaa"} << "a" << "aa" << all
                                                       << QList<int>{0, 0}
                                                       << QStringList{"0:7:0+1", "0:7:2+1", "0:7:4+1", "0:7:0+1"}
                                                       << QStringList{"1|||||||aaaaaa"} << "3 replaced";
    QTest::newRow("replacement holding the find text, apart") << QStringList{"1|||||||abab"} << "a" << "aa" << all
                                                              << QList<int>{0, 0}
                                                              << QStringList{"0:7:0+1", "0:7:3+1", "0:7:0+1"}
                                                              << QStringList{"1|||||||aabaab"} << "2 replaced";
    QTest::newRow("made invalid") << QStringList{"1||||||12345"} << "123" << "一" << all << QList<int>{0, 0}
                                  << QStringList{"0:6:0+3", "none"} << QStringList{"1||||||一45"}
                                  << "1 replaced, 1 made invalid";
    QTest::newRow("invalid before and after") << QStringList{"1||||||一12345"} << "123" << "二" << all
                                              << QList<int>{0, 0} << QStringList{"0:6:1+3", "none"}
                                              << QStringList{"1||||||一二45"} << "1 replaced";
    // The block holds no match; the line below it does.
    const QStringList below = {"a|x|x", "a|x|x", "a|a"};
    QTest::newRow("from right of a block on its last line") << below << "a" << "b" << QList<int>{0, 1, 1, 2}
                                                            << QList<int>{1, 5} << QStringList{"none"} << below << "";
}

void tst_BulkEdits::replaceNextVisitsEveryOccurrenceInOrder()
{
    QFETCH(QStringList, report);
    QFETCH(QString, find);
    QFETCH(QString, replacement);
    QFETCH(QList<int>, scope);
    QFETCH(QList<int>, from);
    QFETCH(QStringList, visited);
    QFETCH(QStringList, result);
    QFETCH(QString, counts);
    ReportDocument &d = load(report);
    ReportReplace replace(d, find, replacement, TextFolding(true, false),
                          scope.isEmpty() ? Everywhere : ReportReplace::Scope{scope[0], scope[1], scope[2], scope[3]});
    ReportReplace::Match match = replace.FindFrom(from[0], from[1]);
    QStringList seen {place(match)};
    ReportReplace::Result total;
    while (match.Found() && seen.size() < visited.size()) {
        QVERIFY(replace.Holds(match));
        const ReportReplace::Result one = replace.ReplaceOne(match);
        QCOMPARE(one.replaced, 1u);
        total.replaced += one.replaced;
        total.madeInvalid += one.madeInvalid;
        seen << place(match);
    }
    QCOMPARE(seen, visited);
    QCOMPARE(lineTexts(d), result);
    QCOMPARE(::counts(total), counts);
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), int(total.replaced));
}

// A match that is no longer there is not replaced.
void tst_BulkEdits::replaceNextLeavesAMatchThatIsGone()
{
    ReportDocument &d = load({"1|||||||ab abX|ab", "2|||||||aXb|x", "3||||||||AB"});
    ReportReplace other(d, QStringLiteral("X"), QStringLiteral("Y"), TextFolding(true, false), Everywhere);
    ReportReplace::Match gone = other.FindFrom(1, 0);
    QCOMPARE(place(gone), QStringLiteral("1:7:1+1"));
    typeCell(d, 1, 7, QStringLiteral("ab"));
    QVERIFY(!other.Holds(gone));
    QCOMPARE(other.ReplaceOne(gone).replaced, 0u);
    QCOMPARE(lineText(d, 1), QStringLiteral("2|||||||ab|x"));
}

void tst_BulkEdits::replaceNextSkipsWhatCannotBeStored()
{
    ReportDocument &d = load({"1||0|||||0", "2||000"});
    ReportReplace replace(d, QStringLiteral("0"), QStringLiteral("00"), TextFolding(true, false), Everywhere);
    ReportReplace::Match match = replace.FindFrom(1, 0);
    QCOMPARE(place(match), QStringLiteral("1:2:0+1"));
    // Field 2 takes 3 bytes: "0000" is left out, and the next one shown.
    QCOMPARE(counts(replace.ReplaceOne(match)), QStringLiteral("1 too long"));
    QCOMPARE(place(match), QStringLiteral("1:2:1+1"));
    QCOMPARE(d.UndoStack()->count(), 0);
}

// ---- Renumber and fill down --------------------------------------------------

void tst_BulkEdits::renumber_data()
{
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("start"); // 0: where NumberFrom() says
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("changed");

    const QStringList broken = {"1|a", "2|b", "5|c", "|d", "3|e"};
    QTest::newRow("whole report") << broken << 0 << 4 << 1 << QStringList{"1", "2", "3", "4", "5"} << 3;
    QTest::newRow("lines from their first number") << QStringList{"1", "7", "x", "y", "z"} << 1 << 3 << 0
                                                   << QStringList{"1", "7", "8", "9", "z"} << 2;
    QTest::newRow("first line no number: its line number") << QStringList{"1", "A", "x", "y"} << 1 << 2 << 0
                                                            << QStringList{"1", "2", "3", "y"} << 2;
    QTest::newRow("leading zeros read as the number") << QStringList{"007", "x"} << 0 << 1 << 0
                                                      << QStringList{"7", "8"} << 2;
    QTest::newRow("from an 18-digit key") << QStringList{"123456789012345678", "x"} << 0 << 1 << 0
                                          << QStringList{"123456789012345678", "123456789012345679"} << 1;
    QTest::newRow("19 digits: the line's number") << QStringList{"1234567890123456789", "x"} << 0 << 1 << 0
                                                  << QStringList{"1", "2"} << 2;
    QTest::newRow("past the end clamped") << QStringList{"9", "9"} << 0 << 5 << 1 << QStringList{"1", "2"} << 2;
    QTest::newRow("already numbered") << QStringList{"1", "2"} << 0 << 1 << 1 << QStringList{"1", "2"} << 0;
}

void tst_BulkEdits::renumber()
{
    QFETCH(QStringList, report);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, start);
    QFETCH(QStringList, keys);
    QFETCH(int, changed);
    ReportDocument &d = load(report);
    QSignalSpy cells(&d.Content(), &ReportContent::cellsChanged);
    const BulkEdits::Result result =
            BulkEdits::Renumber(d, first, last, start ? std::uint64_t(start) : BulkEdits::NumberFrom(d, first));
    QCOMPARE(result.changed, std::uint64_t(changed));
    QCOMPARE(fieldTexts(d, 0), keys);
    // Only the lines whose key code changed are touched (a run of lines is
    // told at once).
    int touched = 0;
    for (const QList<QVariant> &signal : cells)
        touched += signal.at(1).toInt() - signal.at(0).toInt() + 1;
    QCOMPARE(touched, changed);
    QCOMPARE(d.UndoStack()->count(), changed ? 1 : 0);
    QCOMPARE(verdictMismatch(d), QString());
}

void tst_BulkEdits::fillDown_data()
{
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QList<int>>("block"); // top, left, bottom, right
    QTest::addColumn<QStringList>("result");
    QTest::addColumn<int>("invalid");

    QTest::newRow("top cells down") << QStringList{"1||000||||||||||||0|V", "2", "3||001", "4"} << QList<int>{0, 14, 2, 15}
                                    << QStringList{"1||000||||||||||||0|V", "2||||||||||||||0|V", "3||001||||||||||||0|V", "4"}
                                    << 0;
    QTest::newRow("empty top cell empties") << QStringList{"1", "2|Q", "3|Q"} << QList<int>{0, 1, 2, 1}
                                            << QStringList{"1", "2", "3"} << 0;
    QTest::newRow("invalid values counted") << QStringList{"1|QQ", "2", "3|Q"} << QList<int>{0, 1, 2, 1}
                                            << QStringList{"1|QQ", "2|QQ", "3|QQ"} << 2;
    QTest::newRow("one line takes the line above") << QStringList{"1|||||||曲", "2", "3"} << QList<int>{1, 6, 1, 7}
                                                   << QStringList{"1|||||||曲", "2|||||||曲", "3"} << 0;
    QTest::newRow("first line alone: nothing above") << QStringList{"1|Q", "2"} << QList<int>{0, 0, 0, 5}
                                                     << QStringList{"1|Q", "2"} << 0;
    QTest::newRow("no line made past the end") << QStringList{"1|Q", "2"} << QList<int>{1, 1, 9, 1}
                                               << QStringList{"1|Q", "2"} << 0;
    QTest::newRow("block reaching the new-line row") << QStringList{"1|Q", "2"} << QList<int>{0, 1, 9, 1}
                                                     << QStringList{"1|Q", "2|Q"} << 0;
}

void tst_BulkEdits::fillDown()
{
    QFETCH(QStringList, report);
    QFETCH(QList<int>, block);
    QFETCH(QStringList, result);
    QFETCH(int, invalid);
    ReportDocument &d = load(report);
    const BulkEdits::Result done = BulkEdits::FillDown(d, block[0], block[1], block[2], block[3]);
    QCOMPARE(lineTexts(d), result);
    QCOMPARE(done.invalid, std::uint64_t(invalid));
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), result == report ? 0 : 1);
}

// ---- Sort --------------------------------------------------------------------

void tst_BulkEdits::compareValues_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<int>("order");

    QTest::newRow("numbers, not text") << QByteArray("9") << QByteArray("10") << -1;
    QTest::newRow("longer than 64 bits") << QByteArray("99999999999999999999") << QByteArray("100000000000000000000") << -1;
    QTest::newRow("equal numbers by their bytes") << QByteArray("007") << QByteArray("7") << -1;
    QTest::newRow("same bytes") << QByteArray("12") << QByteArray("12") << 0;
    QTest::newRow("leading zeros do not make a number larger") << QByteArray("0010") << QByteArray("9") << 1;
    QTest::newRow("one side not a number") << QByteArray("9a") << QByteArray("10") << 1;
    QTest::newRow("numbers before what starts with digits") << QByteArray("1a") << QByteArray("9") << 1;
    QTest::newRow("empty before numbers") << QByteArray("") << QByteArray("0") << -1;
    QTest::newRow("empty before text") << QByteArray("") << QByteArray(" ") << -1;
    QTest::newRow("capitals first") << QByteArray("B") << QByteArray("a") << -1;
    QTest::newRow("ASCII before half-width kana") << QByteArray("z") << QByteArray("\xB1") << -1;
    QTest::newRow("lead bytes as unsigned") << QByteArray("\x83\x41") << QByteArray("\xB1") << -1;
    QTest::newRow("kanji by code") << QByteArray("\x88\x9F") << QByteArray("\x88\xA0") << -1;
}

void tst_BulkEdits::compareValues()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(int, order);
    QCOMPARE(LineOrder::Compare(a.toStdString(), b.toStdString()), order);
    QCOMPARE(LineOrder::Compare(b.toStdString(), a.toStdString()), -order);
}

// A sort needs an order: no two values both before each other, and no
// circle among three, also where numbers, text and empty values mix.
void tst_BulkEdits::compareIsAnOrder()
{
    const std::vector<std::string> values = {"",   "0",   "007", "7",  "9",   "10",  "1a", "9a", "A10",
                                             "A9", "a",   " ",   "00", "99999999999999999999", "\x82\xA0",
                                             "1",  "1 ",  "x1"};
    for (const std::string &a : values) {
        for (const std::string &b : values) {
            const int ab = LineOrder::Compare(a, b);
            QVERIFY2(ab == -LineOrder::Compare(b, a), (a + " / " + b).c_str());
            for (const std::string &c : values) {
                if (ab < 0 && LineOrder::Compare(b, c) < 0)
                    QVERIFY2(LineOrder::Compare(a, c) < 0, (a + " < " + b + " < " + c).c_str());
            }
        }
    }
}

void tst_BulkEdits::sortIsStable_data()
{
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QList<bool>>("descending");
    QTest::addColumn<QStringList>("keys");

    // Field 15 takes one byte: "VV" is invalid, and its verdict must go
    // with its line.
    const QStringList six = {"1|||||||||||||||VV|||30", "2|||||||||||||||I|||9", "3|||||||||||||||VV|||20",
                             "4|||||||||||||||I|||10", "5|||||||||||||||VV|||10", "6|||||||||||||||I|||010"};
    QTest::newRow("ascending, ties in their order") << six << QList<int>{15} << QList<bool>{false}
                                                    << QStringList{"2", "4", "6", "1", "3", "5"};
    QTest::newRow("descending, ties in their order") << six << QList<int>{15} << QList<bool>{true}
                                                     << QStringList{"1", "3", "5", "2", "4", "6"};
    QTest::newRow("second field breaks ties") << six << QList<int>{15, 18} << QList<bool>{false, false}
                                              << QStringList{"2", "6", "4", "5", "3", "1"};
    QTest::newRow("second field descending") << six << QList<int>{15, 18} << QList<bool>{true, true}
                                             << QStringList{"1", "3", "5", "4", "6", "2"};

    // Past 16 lines an unstable sort no longer keeps ties by chance.
    const QStringList values = {"I", "V", "VV"};
    QStringList forty;
    QList<QStringList> byValue(values.size());
    for (int line = 1; line <= 40; ++line) {
        const qsizetype value = (line * 7 + line / 5) % values.size();
        forty << QString::number(line) + "|||||||||||||||" + values[value];
        byValue[value] << QString::number(line);
    }
    QTest::newRow("40 lines, ascending") << forty << QList<int>{15} << QList<bool>{false}
                                         << byValue[0] + byValue[1] + byValue[2];
    QTest::newRow("40 lines, descending") << forty << QList<int>{15} << QList<bool>{true}
                                          << byValue[2] + byValue[1] + byValue[0];
}

void tst_BulkEdits::sortIsStable()
{
    QFETCH(QStringList, report);
    QFETCH(QList<int>, fields);
    QFETCH(QList<bool>, descending);
    QFETCH(QStringList, keys);
    ReportDocument &d = load(report);
    std::vector<LineOrder::Key> order;
    for (qsizetype i = 0; i < fields.size(); ++i)
        order.push_back({fields[i], descending[i]});
    const BulkEdits::Result result = BulkEdits::Sort(d, order);
    QCOMPARE(fieldTexts(d, 0), keys);
    QVERIFY(result.changed > 0);
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), 1);

    // Sorted again the same way: already in order, no step.
    QCOMPARE(BulkEdits::Sort(d, order).changed, 0u);
    QCOMPARE(d.UndoStack()->count(), 1);
}

// ---- Runs of lines -----------------------------------------------------------

// A run of lines reaches the views in one signal, however long, and the
// verdicts stay on their lines.
void tst_BulkEdits::runsOfLinesInOneSignal()
{
    ReportDocument &d = load({"1|QQ", "2", "3|QQ", "4", "5"});
    QSignalSpy inserted(&d.Content(), &ReportContent::linesInserted);
    QSignalSpy removed(&d.Content(), &ReportContent::linesRemoved);
    QCOMPARE(d.RemoveLines(1, 3), EditResult::Done);
    QCOMPARE(linesWithErrors(d), (QStringList{"1|QQ [1]", "5"}));
    QCOMPARE(d.InsertLines(1, 4), EditResult::Done);
    QCOMPARE(linesWithErrors(d), (QStringList{"1|QQ [1]", "", "", "", "", "5"}));
    QCOMPARE(d.InsertLines(6, 2), EditResult::Done);
    QCOMPARE(d.LineCount(), 8);
    // More than there are: only those there are.
    QCOMPARE(d.RemoveLines(5, 100, ReportDocument::LineStep::Cut), EditResult::Done);
    QCOMPARE(d.LineCount(), 5);
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(removed.count(), 2);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(removed.at(1), (QList<QVariant>{5, 3}));
    QCOMPARE(d.UndoStack()->text(3), QStringLiteral("3行切り取り"));

    // Undone in one signal each too, back to the loaded report.
    while (d.UndoStack()->canUndo())
        QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), (QStringList{"1|QQ [1]", "2", "3|QQ [1]", "4", "5"}));
    QCOMPARE(removed.count() + inserted.count(), 8);
}

// ---- Header values -----------------------------------------------------------

void tst_BulkEdits::headerVerdicts()
{
    ReportDocument &d = *document;
    const auto verdict = [&d](ReportDocument::HeaderBox box) { return ShiftJis::ToText(d.HeaderVerdict(box)); };
    const auto number = ReportDocument::SyoudakuBangou;
    const auto month = ReportDocument::HoukokuNengappi;
    // A new report's empty boxes are not yet wrong.
    QCOMPARE(verdict(number), QString());
    QCOMPARE(verdict(month), QString());
    QCOMPARE(d.SetHeaderText(number, QStringLiteral("12345"), 1), EditResult::Done);
    QCOMPARE(verdict(number), QStringLiteral("許諾番号は英数字10桁、または数字16桁です（5桁あります）。"));
    QCOMPARE(verdict(month), QString());
    QCOMPARE(d.SetHeaderText(number, QStringLiteral("ABCDE12345"), 1), EditResult::Done);
    QCOMPARE(verdict(number), QString());
    QCOMPARE(d.SetHeaderText(month, QStringLiteral("202413"), 2), EditResult::Done);
    QCOMPARE(verdict(month), QStringLiteral("報告年月の月は01～12です（13になっています）。"));
    QCOMPARE(d.SetHeaderText(month, QString(), 2), EditResult::Done);
    QCOMPARE(verdict(month), QStringLiteral("報告年月がありません。YYYYMM（月は01～12）の6桁です。"));
    d.Clear();
    QCOMPARE(verdict(month), QString());

    // A file's name that holds no year-month is told at once.
    QVERIFY(loadReport(d, dir, fileLine("1"), QStringLiteral("ABCDEFGHIJ.dat")));
    QCOMPARE(verdict(number), QString());
    QCOMPARE(verdict(month), QStringLiteral("報告年月がありません。YYYYMM（月は01～12）の6桁です。"));
    QCOMPARE(verdict(ReportDocument::NiniMoziretsu), QString());
}

QTEST_GUILESS_MAIN(tst_BulkEdits)
#include "tst_bulkedits.moc"
