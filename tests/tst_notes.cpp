// The notes from the fields' hints as the document keeps them, with no
// window: each rule's note follows an edit and its undo; the key code
// repeated follows edits, lines inserted, removed, moved and sorted, and a
// load; after every step the notes are exactly those `qnveltor --check
// --notes` gives for the same lines (qnVelTorLineNotes), which tst_data and
// tst_check hold to the rules themselves.

#include "BulkEdits.h"
#include "CellChanges.h"
#include "DocumentSupport.h"
#include "ReportNotes.h"
#include "qnVelTorLineNotes.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>
#include <random>

using namespace TestSupport;

namespace {

const char *const kindNames[] = {"none", "keyNotNumber", "keyRepeated", "content", "contentSub", "medley",
                                 "medleySub", "collect", "workCode", "fee", "ivt", "lyrics", "il", "requests",
                                 "emptyLine"};

QString noteText(std::uint32_t line, std::uint32_t field, NoteKind kind)
{
    return QStringLiteral("%1:%2 %3").arg(line + 1).arg(field).arg(QLatin1String(kindNames[std::size_t(kind)]));
}

// "2:15 ivt, 3:19 emptyLine": line from 1, field (19: the line), kind.
QString notesText(const ReportNotes &notes)
{
    QStringList out;
    for (const ReportNotes::Note &note : notes.Notes())
        out << noteText(note.line, note.field, note.kind);
    return out.join(QStringLiteral(", "));
}

// The same as the check of a file with these lines gives them.
QString checkedNotes(const ReportDocument &document)
{
    qnVelTorLineNotes check;
    QStringList out;
    for (int line = 0; line < document.LineCount(); ++line) {
        std::string_view fields[FieldCount];
        document.Line(line).Cells(fields);
        qnVelTorLineNotes::Note found[qnVelTorLineNotes::MaxNotes];
        const std::size_t count = check.Check(fields, found);
        for (std::size_t i = 0; i < count; ++i)
            out << noteText(std::uint32_t(line), found[i].field, found[i].kind);
    }
    return out.join(QStringLiteral(", "));
}

// Where two lists of notes first differ, to read in a failure; empty when
// they are the same.
QString firstDifference(const QString &held, const QString &checked)
{
    const QStringList a = held.split(QStringLiteral(", "));
    const QStringList b = checked.split(QStringLiteral(", "));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i))
            return QStringLiteral("held %1, checked %2").arg(a.value(i), b.value(i));
    }
    return {};
}

// The counts per kind, as the notes keep them, against those they list.
QString countMismatch(const ReportNotes &notes)
{
    std::uint64_t listed[qnVelTorDataNotes::LastKind + 1] = {};
    for (const ReportNotes::Note &note : notes.Notes())
        ++listed[std::size_t(note.kind)];
    for (std::uint8_t kind = 1; kind <= qnVelTorDataNotes::LastKind; ++kind) {
        if (notes.Count(NoteKind(kind)) != listed[kind])
            return QStringLiteral("%1 counted %2, listed %3")
                    .arg(QLatin1String(kindNames[kind]))
                    .arg(notes.Count(NoteKind(kind)))
                    .arg(listed[kind]);
    }
    return notes.Count() == notes.Notes().size() ? QString() : QStringLiteral("total");
}

} // namespace

class tst_Notes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ruleFollowsEditAndUndo_data();
    void ruleFollowsEditAndUndo();
    void repeatedKeyCodeFollowsLines_data();
    void repeatedKeyCodeFollowsLines();
    void randomEditsAgreeWithTheCheck();
    void followsLoadAndNew();
    void largeReportReadInTwoHalves();
    void offKeepsNothing();
    void toldOnceAfterAChange();

private:
    void load(const QStringList &lines);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
    std::unique_ptr<ReportNotes> notes;
};

void tst_Notes::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
    notes = std::make_unique<ReportNotes>(document->Content());
}

void tst_Notes::cleanup()
{
    notes.reset();
    file.reset();
    document.reset();
    dir.reset();
}

void tst_Notes::load(const QStringList &lines)
{
    QVERIFY(loadReport(*file, *dir, fileLines(lines)));
}

// ---- One rule at a time ---------------------------------------------------

void tst_Notes::ruleFollowsEditAndUndo_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    // Line 2 of three usual lines is edited.
    QTest::newRow("key code with a letter") << 0 << "2a" << "2:0 keyNotNumber";
    QTest::newRow("key code empty") << 0 << "" << "2:0 keyNotNumber";
    QTest::newRow("key code of another line") << 0 << "3" << "3:0 keyRepeated";
    QTest::newRow("key code with leading zeros of another") << 0 << "0001" << "2:0 keyRepeated";
    QTest::newRow("key code past 64 bits with leading zeros of another")
            << 0 << QString(25, u'0') + "3" << "3:0 keyRepeated";
    QTest::newRow("key code full-width is an error, no note") << 0 << "２" << "";
    QTest::newRow("content category lower case") << 1 << "q" << "2:1 content";
    QTest::newRow("content category Q") << 1 << "Q" << "";
    QTest::newRow("content sub-number two digits") << 2 << "00" << "2:2 contentSub";
    QTest::newRow("content sub-number empty") << 2 << "" << "2:2 contentSub";
    QTest::newRow("medley category other letter") << 3 << "N" << "2:3 medley";
    QTest::newRow("medley sub-number letter") << 4 << "00a" << "2:4 medleySub";
    QTest::newRow("collect code filled") << 5 << "1" << "2:5 collect";
    QTest::newRow("work code with a hyphen") << 6 << "1234-567" << "2:6 workCode";
    QTest::newRow("work code empty") << 6 << "" << "";
    QTest::newRow("fee empty") << 14 << "" << "2:14 fee";
    QTest::newRow("fee with a comma") << 14 << "1,000" << "2:14 fee";
    QTest::newRow("IVT lower case") << 15 << "v" << "2:15 ivt";
    QTest::newRow("IVT another letter") << 15 << "X" << "2:15 ivt";
    QTest::newRow("IVT two letters is an error, no note") << 15 << "VI" << "";
    QTest::newRow("lyrics 4") << 16 << "4" << "2:16 lyrics";
    QTest::newRow("IL filled") << 17 << "I" << "2:17 il";
    QTest::newRow("requests empty") << 18 << "" << "2:18 requests";
    QTest::newRow("title has no rule") << 7 << "" << "";
}

void tst_Notes::ruleFollowsEditAndUndo()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    load({usualLine("1"), usualLine("2"), usualLine("3")});
    QCOMPARE(notesText(*notes), QString());
    QVERIFY(document->SetCell(1, field, std::string(sjis(value))) == EditResult::Done);
    QCOMPARE(notesText(*notes), expected);
    QCOMPARE(countMismatch(*notes), QString());
    QVERIFY(document->Undo() == EditResult::Done);
    QCOMPARE(notesText(*notes), QString());
    QVERIFY(document->Redo() == EditResult::Done);
    QCOMPARE(notesText(*notes), expected);
    QCOMPARE(checkedNotes(*document), expected);
}

// ---- The key code repeated across the report ------------------------------

void tst_Notes::repeatedKeyCodeFollowsLines_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("expected");

    const QStringList plain = {"1", "2", "3", "4"};
    const QStringList twice = {"1", "2", "1", "4"};
    QTest::newRow("first of two edited away") << twice << "set 0 9" << "";
    QTest::newRow("second of two edited away") << twice << "set 2 9" << "";
    QTest::newRow("a third one made") << twice << "set 3 1" << "3:0 keyRepeated, 4:0 keyRepeated";
    QTest::newRow("first of three edited away") << QStringList{"7", "7", "7"} << "set 0 8"
                                                << "3:0 keyRepeated";
    QTest::newRow("the other cells of a repeat edited") << twice << "set 2 7=x" << "3:0 keyRepeated";
    QTest::newRow("first removed") << twice << "remove 0 1" << "";
    QTest::newRow("both kept, one between removed") << twice << "remove 1 1" << "2:0 keyRepeated";
    QTest::newRow("line inserted before the first") << twice << "insert 0 1"
                                                     << "1:19 emptyLine, 4:0 keyRepeated";
    QTest::newRow("a repeat pasted at the top") << plain << "paste 0 3" << "4:0 keyRepeated";
    QTest::newRow("second moved above the first") << twice << "move 2 0" << "2:0 keyRepeated";
    QTest::newRow("first moved below the second") << twice << "move 0 3" << "4:0 keyRepeated";
    QTest::newRow("sorted by key code descending") << twice << "sort" << "4:0 keyRepeated";
    QTest::newRow("renumbered") << twice << "renumber" << "";
    QTest::newRow("two repeats taken away in one step") << QStringList{"5", "5", "6", "6"} << "fill 0 1 3 9"
                                                         << "";
    // Nobody asks between the two: the line is new to the counts, though it
    // was told as changing with the same number.
    QTest::newRow("a line pasted, then edited") << QStringList{"1", "2", "3"} << "paste 0 3; set 0 7=x"
                                                << "4:0 keyRepeated";
}

void tst_Notes::repeatedKeyCodeFollowsLines()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, step);
    QFETCH(QString, expected);

    QStringList lines;
    for (const QString &key : keys)
        lines << usualLine(key);
    load(lines);
    const QString before = notesText(*notes);
    QCOMPARE(before, checkedNotes(*document));

    const QStringList steps = step.split(QStringLiteral("; "));
    for (const QString &one : steps) {
        const QStringList words = one.split(u' ');
        const auto number = [&words](int i) { return words.value(i).toInt(); };
        EditResult result = EditResult::Done;
        if (words[0] == "set") {
            const QString what = words[2];
            const qsizetype eq = what.indexOf(u'=');
            result = eq < 0 ? document->SetCell(number(1), 0, what.toStdString())
                            : document->SetCell(number(1), what.left(eq).toInt(), what.mid(eq + 1).toStdString());
        } else if (words[0] == "remove") {
            result = document->RemoveLines(number(1), number(2));
        } else if (words[0] == "insert") {
            result = document->InsertLines(number(1), number(2));
        } else if (words[0] == "paste") {
            result = document->InsertLine(number(1), document->LineCells(number(2) - 1),
                                          ReportDocument::LineStep::Paste);
        } else if (words[0] == "move") {
            result = document->MoveLine(number(1), number(2));
        } else if (words[0] == "sort") {
            QVERIFY(!BulkEdits::Sort(*document, {{0, true}}).outOfMemory);
        } else if (words[0] == "renumber") {
            QVERIFY(!BulkEdits::Renumber(*document, 0, document->LineCount() - 1, 1).outOfMemory);
        } else if (words[0] == "fill") {
            CellChanges changes(document->Content());
            for (int line = number(1); line <= number(3); line += 2)
                changes.Set(line, 0, QByteArray::number(number(4) + line).toStdString());
            result = document->ChangeCells(std::move(changes), QStringLiteral("fill"));
        }
        QVERIFY(result == EditResult::Done);
    }
    QCOMPARE(notesText(*notes), expected);
    QCOMPARE(checkedNotes(*document), expected);
    QCOMPARE(countMismatch(*notes), QString());
    for (qsizetype i = 0; i < steps.size(); ++i)
        QVERIFY(document->Undo() == EditResult::Done);
    QCOMPARE(notesText(*notes), before);
    for (qsizetype i = 0; i < steps.size(); ++i)
        QVERIFY(document->Redo() == EditResult::Done);
    QCOMPARE(notesText(*notes), expected);
}

// Edits of every kind at random places, the notes held after each against
// those of the check: the random-edit test of GridAttr, for the notes.
void tst_Notes::randomEditsAgreeWithTheCheck()
{
    QStringList lines;
    for (int i = 0; i < 40; ++i)
        lines << usualLine(QString::number(1 + i % 25), {i % 7 == 0 ? "15=v" : "15=V"});
    load(lines);
    std::mt19937 random(24);
    const auto below = [&random](int n) { return n > 0 ? int(random() % unsigned(n)) : 0; };
    const QStringList values = {"1", "2", "3", "01", "x", "", "v", "V", "000", "5"};
    for (int round = 0; round < 400; ++round) {
        const int count = document->LineCount();
        const int line = below(count);
        EditResult result = EditResult::Done;
        switch (below(10)) {
        case 0:
        case 1:
        case 2:
            result = document->SetCell(line, below(2) ? 0 : below(int(FieldCount)),
                                       values[below(int(values.size()))].toStdString());
            break;
        case 3:
            result = document->InsertLines(line, 1 + below(3));
            break;
        case 4:
            result = document->RemoveLines(line, 1 + below(3));
            break;
        case 5:
            result = count > 1 ? document->MoveLine(line, below(count)) : EditResult::Done;
            break;
        case 6:
            result = count ? document->InsertLine(line, document->LineCells(below(count)),
                                                  ReportDocument::LineStep::Paste)
                           : EditResult::Done;
            break;
        case 7:
            result = below(2) ? document->Undo() : document->Redo();
            break;
        case 8: {
            // Every other line's key code in one step: many runs of lines.
            CellChanges changes(document->Content());
            for (int at = below(2); at < count; at += 2)
                changes.Set(at, 0, values[below(int(values.size()))].toStdString());
            result = document->ChangeCells(std::move(changes), QStringLiteral("many"));
            break;
        }
        case 9: {
            // The lines in another order: their notes go with them, a
            // repeat may become the first of its number.
            const BulkEdits::Result sorted = BulkEdits::Sort(*document, {{below(2) ? 0 : 15, below(2) == 0}});
            QVERIFY(!sorted.outOfMemory && !sorted.cancelled);
            break;
        }
        }
        QVERIFY(result == EditResult::Done);
        // Asked now and then only: several changes gather before a check.
        if (below(3) == 0) {
            QCOMPARE(firstDifference(notesText(*notes), checkedNotes(*document)), QString());
            QCOMPARE(countMismatch(*notes), QString());
        }
    }
    QCOMPARE(notesText(*notes), checkedNotes(*document));
    while (document->UndoStack()->canUndo())
        QVERIFY(document->Undo() == EditResult::Done);
    QCOMPARE(notesText(*notes), checkedNotes(*document));
}

void tst_Notes::followsLoadAndNew()
{
    load({usualLine("1", {"5=1"}), usualLine("1")});
    QCOMPARE(notesText(*notes), QStringLiteral("1:5 collect, 2:0 keyRepeated"));
    load({usualLine("1"), "", usualLine("2", {"17=I"})});
    QCOMPARE(notesText(*notes), QStringLiteral("2:19 emptyLine, 3:17 il"));
    file->New();
    QCOMPARE(notes->Count(), std::uint64_t(0));
    QVERIFY(document->SetCell(0, 0, "7") == EditResult::Done);
    QCOMPARE(notesText(*notes), checkedNotes(*document));
}

// A report this large is read in two halves at once: the notes of the
// second half follow the first's, and a number of the first half repeated
// in the second is a repeat there, and the long numbers of the two halves
// are kept apart.
void tst_Notes::largeReportReadInTwoHalves()
{
    constexpr int Lines = 70001;
    const QString huge = QStringLiteral("123456789012345678901234567");
    const QString otherHuge = QStringLiteral("923456789012345678901234567");
    QStringList lines;
    for (int line = 0; line < Lines; ++line)
        lines << usualLine(QString::number(line + 1));
    lines[10] = usualLine(huge, {"15=v"});
    lines[Lines / 2 - 1] = usualLine("7", {"3=X"});
    lines[Lines / 2] = usualLine("12");
    lines[Lines - 2] = usualLine(otherHuge); // no repeat: the halves' long numbers differ
    lines[Lines - 1] = QString(18, u'|');
    load(lines);
    QCOMPARE(notesText(*notes), checkedNotes(*document));
    QCOMPARE(countMismatch(*notes), QString());
    QCOMPARE(notes->Count(), std::uint64_t(5));
    // Most of it renumbered, and back: checked afresh, not line by line.
    QVERIFY(!BulkEdits::Renumber(*document, 0, Lines - 3, 5).outOfMemory);
    QCOMPARE(notesText(*notes), checkedNotes(*document));
    QCOMPARE(countMismatch(*notes), QString());
    QVERIFY(document->Undo() == EditResult::Done);
    QCOMPARE(notesText(*notes), checkedNotes(*document));
    QCOMPARE(countMismatch(*notes), QString());
}

void tst_Notes::offKeepsNothing()
{
    load({usualLine("1", {"15=v"}), usualLine("1")});
    notes->SetEnabled(false);
    QCOMPARE(notes->Count(), std::uint64_t(0));
    QCOMPARE(notes->At(0, 15), NoteKind::None);
    // Edits while off are caught up with when on again.
    QVERIFY(document->SetCell(1, 0, "2") == EditResult::Done);
    QVERIFY(document->SetCell(0, 5, "1") == EditResult::Done);
    notes->SetEnabled(true);
    QCOMPARE(notesText(*notes), QStringLiteral("1:5 collect, 1:15 ivt"));
    QCOMPARE(notes->At(0, 15), NoteKind::IvtCategory);
}

void tst_Notes::toldOnceAfterAChange()
{
    QStringList lines;
    for (int i = 0; i < 50; ++i)
        lines << usualLine(QString::number(i + 1));
    load(lines);
    QCOMPARE(notes->Count(), std::uint64_t(0));
    QSignalSpy told(notes.get(), &ReportNotes::notesChanged);
    // Every other line changed: many runs of lines, one step.
    CellChanges changes(document->Content());
    for (int line = 0; line < 50; line += 2)
        changes.Set(line, 15, "v");
    QVERIFY(document->ChangeCells(std::move(changes), QStringLiteral("v")) == EditResult::Done);
    QTRY_COMPARE(told.count(), 1);
    QCOMPARE(notes->Count(NoteKind::IvtCategory), std::uint64_t(25));
    QCoreApplication::processEvents();
    QCOMPARE(told.count(), 1);
}

QTEST_MAIN(tst_Notes)
#include "tst_notes.moc"
