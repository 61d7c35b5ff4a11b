// The report and other programs, with no window: spreadsheet text pasted
// cell by cell, CSV and text files imported in any of their encodings,
// the report exported for spreadsheets and imported back, and what a save
// would leave out of the file the report came from.

#include "DocumentSupport.h"
#include "ReportDocument.h"
#include "SpreadsheetCell.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace TestSupport;

namespace {

const QByteArray Bom = "\xEF\xBB\xBF";

// A CSV file as an export writes it and a person may then edit it: the
// header row, cells in ="…" form, a quoted comma and line break, a wave
// dash typed in another program and a character Shift-JIS lacks.
QString editedCsv()
{
    return SpreadsheetCell::FieldNames().join(u',') + QStringLiteral("\r\n")
            + QStringLiteral("=\"0001\",,=\"000\",,=\"000\",,=\"12345678\",夜明けの歌,,山田太郎,,,,,,,,,\r\n"
                             "2,,,,,,,\"曲名, その1\",\"副題\r\n二行目\",,,,,,,,,,\r\n"
                             "3,,,,,,,波\u301Cダッシュ,\U0001F600,,,,,,,,,,\r\n");
}

// The report the file gives, as Save writes it.
QByteArray editedCsvAsReport()
{
    return fileLine(QStringLiteral("0001||000||000||12345678|夜明けの歌||山田太郎"))
            + fileLine(QStringLiteral("2|||||||曲名, その1|副題 二行目")) + fileLine(QStringLiteral("3|||||||波～ダッシュ|〓"));
}

// What a save would lose of the file, and what it would mend: "long 2@3,
// after the end mark 4 | short 1@2".
QString lossText(const ReportFile::SaveLosses &losses)
{
    const auto text = [](const std::vector<FormatProblem> &problems) {
        QStringList parts;
        for (const FormatProblem &problem : problems) {
            const char *kind = problem.kind == FormatProblem::Kind::LongLines     ? "long"
                    : problem.kind == FormatProblem::Kind::BytesAfterEofMark      ? "after the end mark"
                    : problem.kind == FormatProblem::Kind::LoneCr                 ? "lone CR"
                    : problem.kind == FormatProblem::Kind::ShortLines             ? "short"
                    : problem.kind == FormatProblem::Kind::EmptyExtraFields       ? "extra TABs"
                    : problem.kind == FormatProblem::Kind::LfOnlyLineEnds         ? "LF"
                                                                                  : "other";
            parts << QString::fromLatin1(kind) + (problem.first ? QStringLiteral(" %1@%2").arg(problem.count).arg(problem.first)
                                                                  : QStringLiteral(" %1").arg(problem.count));
        }
        return parts.join(QStringLiteral(", "));
    };
    const QString mended = text(losses.mended);
    return text(losses.lost) + (mended.isEmpty() ? QString() : QStringLiteral(" | ") + mended);
}

QString stepCounts(const ReportBlocks::PasteResult &result)
{
    return QStringLiteral("%1 pasted, %2 invalid, %3 refused, %4 flattened")
            .arg(result.pasted)
            .arg(result.invalid)
            .arg(result.refused)
            .arg(result.flattened);
}

} // namespace

class tst_Exchange : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pasteSpreadsheetText_data();
    void pasteSpreadsheetText();
    void pasteCancelledLeavesReport();
    void importEachEncoding_data();
    void importEachEncoding();
    void importIntoNewReportThenSave();
    void importFailureLeavesReport_data();
    void importFailureLeavesReport();
    void exportThenImportGivesReportBack();
    void largeImportReadInParts_data();
    void largeImportReadInParts();
    void exportNeverTouchesTheReport();
    void lossesKeptUntilSaved();

private:
    QString write(const QString &name, const QByteArray &content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
};

void tst_Exchange::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
}

void tst_Exchange::cleanup()
{
    file.reset();
    document.reset();
    dir.reset();
}

QString tst_Exchange::write(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    if (!writeFile(path, content))
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

// What spreadsheets put on the clipboard, pasted from field 7 of a line
// holding "1": quoted cells keep their TABs, line breaks and doubled
// quotes together, which become a space, " and a space.
void tst_Exchange::pasteSpreadsheetText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("counts");

    QTest::newRow("quoted TAB") << QStringLiteral("\"a\tb\"\tc\r\n") << QStringList{"1|||||||a b|c"}
                                << "2 pasted, 0 invalid, 0 refused, 1 flattened";
    QTest::newRow("quoted LF") << QStringLiteral("\"曲\n名\"\tx\r\ny\r\n") << QStringList{"1|||||||曲 名|x", "|||||||y"}
                               << "3 pasted, 0 invalid, 0 refused, 1 flattened";
    QTest::newRow("quoted CR LF") << QStringLiteral("\"a\r\nb\"\r\n") << QStringList{"1|||||||a b"}
                                  << "1 pasted, 0 invalid, 0 refused, 1 flattened";
    QTest::newRow("doubled quotes") << QStringLiteral("\"say \"\"hi\"\"\"\tz\r\n") << QStringList{"1|||||||say \"hi\"|z"}
                                    << "2 pasted, 0 invalid, 0 refused, 0 flattened";
    QTest::newRow("last line with a break") << QStringLiteral("a\tb\r\nc\td\r\n")
                                            << QStringList{"1|||||||a|b", "|||||||c|d"}
                                            << "4 pasted, 0 invalid, 0 refused, 0 flattened";
    QTest::newRow("last line without a break") << QStringLiteral("a\tb\r\nc\td")
                                               << QStringList{"1|||||||a|b", "|||||||c|d"}
                                               << "4 pasted, 0 invalid, 0 refused, 0 flattened";
    QTest::newRow("quoted break in the last cell of a line") << QStringLiteral("x\t\"p\nq\"\r\ny\t\"\"\r\n")
                                                             << QStringList{"1|||||||x|p q", "|||||||y"}
                                                             << "4 pasted, 0 invalid, 0 refused, 1 flattened";
    QTest::newRow("quote inside an unquoted cell") << QStringLiteral("ab\"c\td\"e\r\n")
                                                   << QStringList{"1|||||||ab\"c|d\"e"}
                                                   << "2 pasted, 0 invalid, 0 refused, 0 flattened";
    QTest::newRow("LF after every line") << QStringLiteral("a\tb\nc\td\n") << QStringList{"1|||||||a|b", "|||||||c|d"}
                                         << "4 pasted, 0 invalid, 0 refused, 0 flattened";
    QTest::newRow("refused and invalid cells") << QStringLiteral("\"\U0001F600\n\"\tV\r\n")
                                               << QStringList{"1||||||||V"}
                                               << "1 pasted, 0 invalid, 1 refused, 1 flattened";
}

void tst_Exchange::pasteSpreadsheetText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QFETCH(QString, counts);
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("1")));
    const ReportBlocks::PasteResult result = ReportBlocks(d).Paste(0, 7, text);
    QCOMPARE(lineTexts(d), lines);
    QCOMPARE(stepCounts(result), counts);
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(d.UndoStack()->count(), 1);
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(lineTexts(d), QStringList{"1"});
    QCOMPARE(verdictMismatch(d), QString());
}

// A paste of many lines hears of its progress as it reads, and stops when
// told, leaving the report as it was.
void tst_Exchange::pasteCancelledLeavesReport()
{
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("1")));
    QString text;
    for (int line = 0; line < 20000; ++line)
        text += QStringLiteral("%1\t\"a\nb\"\r\n").arg(line);
    std::vector<std::uint64_t> told;
    const auto stopAtSecond = [&told, &text](std::uint64_t done, std::uint64_t size) {
        if (size != std::uint64_t(text.size()) || done > size || (!told.empty() && done <= told.back()))
            qWarning("progress %llu of %llu", (unsigned long long)done, (unsigned long long)size);
        told.push_back(done);
        return told.size() < 2;
    };
    ReportBlocks::PasteResult result = ReportBlocks(d).Paste(0, 5, text, stopAtSecond);
    QVERIFY(result.cancelled);
    QVERIFY(!result.changed);
    QCOMPARE(told.size(), std::size_t(2));
    QCOMPARE(lineTexts(d), QStringList{"1"});
    QCOMPARE(d.UndoStack()->count(), 0);
    QVERIFY(!d.IsModified());

    told.clear();
    result = ReportBlocks(d).Paste(0, 5, text, [&told](std::uint64_t done, std::uint64_t) {
        told.push_back(done);
        return true;
    });
    QVERIFY(result.changed);
    QVERIFY(told.size() >= 4);
    QVERIFY(std::is_sorted(told.begin(), told.end()));
    QCOMPARE(d.LineCount(), 20000);
    QCOMPARE(lineText(d, 0), QStringLiteral("1|||||0|a b"));
    QCOMPARE(lineText(d, 19999), QStringLiteral("|||||19999|a b"));
    QCOMPARE(d.UndoStack()->count(), 1);
}

// The same lines from a CSV or a spreadsheet's text in every encoding
// told from the bytes, appended after the report's as one step; the
// report keeps its own file.
void tst_Exchange::importEachEncoding_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");

    const QString csv = QStringLiteral("1,,,,,,,夜明けの歌,ｻﾄｳ\r\n2,,,,,,,\"a,b\",〜\r\n,,,,\r\n");
    QString tabs = csv;
    tabs.replace(u',', u'\t').replace(QStringLiteral("\"a\tb\""), QStringLiteral("a,b"));
    QTest::newRow("UTF-8 with BOM, commas") << Bom + csv.toUtf8() << "lines.csv";
    QTest::newRow("UTF-8, commas") << csv.toUtf8() << "lines.csv";
    QTest::newRow("UTF-8, TABs") << tabs.toUtf8() << "lines.txt";
    QTest::newRow("UTF-16 LE with BOM, TABs") << utf16(tabs) << "lines.txt";
    QTest::newRow("UTF-16 BE with BOM, TABs") << utf16(tabs, true) << "lines.txt";
    QTest::newRow("Shift-JIS, commas") << sjis(QString(csv).replace(u'〜', u'～')) << "lines.dat";
}

void tst_Exchange::importEachEncoding()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("0|QQ")));
    const QString reportPath = file->Path();
    const ReportFile::ImportResult result = file->Import(write(name, content));
    QVERIFY(result.Ok());
    QCOMPARE(lineTexts(d), QStringList({"0|QQ", "1|||||||夜明けの歌|ｻﾄｳ", "2|||||||a,b|～", ""}));
    QCOMPARE(result.firstLine, 1);
    QCOMPARE(result.lines, 3);
    QCOMPARE(result.invalid, std::uint64_t(0));
    QCOMPARE(verdictMismatch(d), QString());
    QCOMPARE(file->Path(), reportPath);
    QVERIFY(!file->PlanSave(false).needsName);
    QVERIFY(d.IsModified());
    QCOMPARE(d.UndoStack()->count(), 1);
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(linesWithErrors(d), QStringList{"0|QQ [1]"});
    QVERIFY(!d.IsModified());
}

// Into a new report: the old one goes, the file does not become the
// report's, Save needs a name, and the Shift-JIS report comes out byte for
// byte.
void tst_Exchange::importIntoNewReportThenSave()
{
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("9|||||||old") + fileLine(QStringLiteral("8") + QString(22, u'|') + "x")));
    QVERIFY(file->Losses().Any());
    const ReportFile::ImportResult result =
            file->Import(write(QStringLiteral("edited.csv"), Bom + editedCsv().toUtf8()), {},
                     ReportFile::ImportInto::NewReport);
    QVERIFY(result.Ok());
    QVERIFY(result.facts.headerSkipped);
    QCOMPARE(result.lines, 3);
    QCOMPARE(result.facts.substitutedCells, std::uint64_t(1));
    QCOMPARE(result.facts.flattenedCells, std::uint64_t(1));
    QCOMPARE(result.invalid, d.Verdicts().ErrorCellCount());
    QCOMPARE(verdictMismatch(d), QString());
    QVERIFY(file->Path().isEmpty());
    QVERIFY(file->PlanSave(false).needsName);
    QVERIFY(!file->NameChanged());
    QVERIFY(file->FileBaseName().empty());
    QVERIFY(d.Header(ReportDocument::SyoudakuBangou).empty());
    QVERIFY(!file->Losses().Any());
    QVERIFY(d.IsModified());

    // One step on an empty report.
    QCOMPARE(d.UndoStack()->count(), 1);
    QCOMPARE(d.Undo(), EditResult::Done);
    QCOMPARE(d.LineCount(), 0);
    QVERIFY(!d.IsModified());
    QCOMPARE(d.Redo(), EditResult::Done);

    const QString saved = dir->filePath(QStringLiteral("1234567890202405.dat"));
    QVERIFY(file->Save(saved).Written());
    QCOMPARE(readFile(saved), editedCsvAsReport());
    QCOMPARE(file->Path(), saved);
}

// A file that cannot be read, or a cancel, leaves the report as it was,
// also when it was to be replaced.
void tst_Exchange::importFailureLeavesReport_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("newReport");
    QTest::addColumn<int>("failure");
    for (const bool newReport : {false, true}) {
        const char *mode = newReport ? "into a new report" : "appended";
        QTest::addRow("missing file, %s", mode) << "missing" << newReport << int(ReadFailure::CannotOpen);
        QTest::addRow("a folder, %s", mode) << "folder" << newReport << int(ReadFailure::NotRegularFile);
        QTest::addRow("cancelled, %s", mode) << "cancel" << newReport << int(ReadFailure::Cancelled);
    }
}

void tst_Exchange::importFailureLeavesReport()
{
    QFETCH(QString, what);
    QFETCH(bool, newReport);
    QFETCH(int, failure);
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("1|QQ") + fileLine(QStringLiteral("2") + QString(20, u'|') + "x")));
    typeCell(d, 0, 7, QStringLiteral("typed"));
    const QString reportPath = file->Path();
    QString path = dir->filePath(QStringLiteral("missing.csv"));
    if (what == "folder") {
        path = dir->filePath(QStringLiteral("folder.csv"));
        QVERIFY(QDir().mkpath(path));
    } else if (what == "cancel") {
        QString csv;
        for (int line = 0; line < 10000; ++line)
            csv += QStringLiteral("%1,,,,,,,曲\r\n").arg(line);
        path = write(QStringLiteral("large.csv"), Bom + csv.toUtf8());
    }
    const auto into = newReport ? ReportFile::ImportInto::NewReport : ReportFile::ImportInto::End;
    const ReportFile::ImportResult result =
            file->Import(path, [](std::uint64_t done, std::uint64_t) { return done == 0; }, into);
    QCOMPARE(int(result.failure), failure);
    QCOMPARE(linesWithErrors(d), QStringList({"1|QQ||||||typed [1]", "2"}));
    QCOMPARE(file->Path(), reportPath);
    QCOMPARE(d.UndoStack()->count(), 1);
    QVERIFY(d.IsModified());
    QCOMPARE(lossText(file->Losses()), QStringLiteral("long 1@2"));
}

// Cells a spreadsheet would take for numbers, dates or formulas, Japanese,
// commas, quotes and half-width kana, empty lines and fields: exported,
// then imported into a new report and saved, the report comes back byte for
// byte.
void tst_Exchange::exportThenImportGivesReportBack()
{
    const QByteArray report = fileLine(QStringLiteral("0001||000||000||00012345|=SUM(A1)|+81|-1||@x||1/2|1E5"))
            + fileLine(QStringLiteral("2|||||||曲名, \"引用\"|ｻﾄｳ ﾀﾛｳ|  空白  |１２３"))
            + fileLine(QString()) + fileLine(QStringLiteral("||||||||||||||||||9"));
    QVERIFY(loadReport(*file, *dir, report));
    const QString csv = dir->filePath(QStringLiteral("report.csv"));
    const ReportFile::ExportResult exported = file->Export(csv);
    QVERIFY(exported.written);
    QCOMPARE(exported.facts.changedCells, std::uint64_t(0));
    QVERIFY(readFile(csv).startsWith(Bom));

    const ReportFile::ImportResult imported = file->Import(csv, {}, ReportFile::ImportInto::NewReport);
    QVERIFY(imported.Ok());
    QCOMPARE(imported.lines, 4);
    const QString saved = dir->filePath(QStringLiteral("again.dat"));
    QVERIFY(file->Save(saved).Written());
    QCOMPARE(readFile(saved), report);
}

// An export leaves the report, its file and its saved state alone, and
// refuses to write over that file.
void tst_Exchange::largeImportReadInParts_data()
{
    QTest::addColumn<bool>("newReport");
    QTest::newRow("appended") << false;
    QTest::newRow("into a new report") << true;
}

// Before, an import read its file on one thread. A CSV of a few megabytes
// is read in two parts at once: the lines of both come in order, with the
// verdicts a load gives them, as one step.
void tst_Exchange::largeImportReadInParts()
{
    QFETCH(bool, newReport);
    QStringList lines;
    for (int line = 1; line <= 30000; ++line)
        lines << QStringLiteral("%1|%2|000||||12345678|夜明けの歌 %1|ｻﾄｳ ﾀﾛｳ").arg(line).arg(line % 7 ? "" : "QQ");
    const QByteArray report = fileLines(lines);
    QVERIFY(loadReport(*file, *dir, report));
    const QString csv = dir->filePath(QStringLiteral("large.csv"));
    QVERIFY(file->Export(csv).written);
    QVERIFY(readFile(csv).size() > 2 << 20);
    const int steps = document->UndoStack()->count();
    const auto into = newReport ? ReportFile::ImportInto::NewReport : ReportFile::ImportInto::End;
    const ReportFile::ImportResult imported = file->Import(csv, {}, into);
    QVERIFY(imported.Ok());
    QCOMPARE(imported.lines, 30000);
    QCOMPARE(imported.invalid, std::uint64_t(30000 / 7));
    QCOMPARE(verdictMismatch(*document), QString());
    if (newReport) {
        const QString saved = dir->filePath(QStringLiteral("1234567890202404BACK.dat"));
        QVERIFY(file->Save(saved).Written());
        QCOMPARE(readFile(saved), report);
        return;
    }
    QCOMPARE(document->LineCount(), 60000);
    for (const int line : {0, 14999, 15000, 29999})
        QCOMPARE(lineText(*document, 30000 + line), lineText(*document, line));
    QCOMPARE(document->UndoStack()->count(), steps + 1);
    QCOMPARE(document->Undo(), EditResult::Done);
    QCOMPARE(document->LineCount(), 30000);
}

void tst_Exchange::exportNeverTouchesTheReport()
{
    ReportDocument &d = *document;
    QVERIFY(loadReport(*file, *dir, fileLine("1|||||||曲")));
    const QString reportPath = file->Path();
    const QByteArray before = readFile(reportPath);
    QVERIFY(file->Export(dir->filePath(QStringLiteral("out.csv"))).written);
    QVERIFY(!d.IsModified());
    QCOMPARE(file->Path(), reportPath);
    typeCell(d, 0, 8, QStringLiteral("副"));
    QVERIFY(file->Export(dir->filePath(QStringLiteral("out.csv"))).written);
    QVERIFY(d.IsModified());

    const ReportFile::ExportResult onto = file->Export(reportPath);
    QVERIFY(!onto.written);
    QVERIFY(onto.ontoReport);
    QCOMPARE(readFile(reportPath), before);
    QVERIFY(!file->Export(dir->filePath(QStringLiteral("no/such/folder/out.csv"))).written);
}

// Fields past the 19th that hold something and bytes after an end-of-file
// mark are remembered from the load until a save has gone ahead.
void tst_Exchange::lossesKeptUntilSaved()
{
    const QByteArray emptyExtras = fileLine("2").chopped(2) + "\t\t\r\n";
    const QByteArray content = fileLine("1") + emptyExtras + fileLine(QStringLiteral("3") + QString(24, u'|') + "x")
            + fileLine(QStringLiteral("4") + QString(19, u'|') + "y") + "5\r6\r\n" + "\x1A" + "rest";
    QVERIFY(loadReport(*file, *dir, content));
    const auto losses = [this] { return lossText(file->Losses()); };
    const QString lost = QStringLiteral("lone CR 1@5, long 2@3, after the end mark 4 | short 1@5, extra TABs 1@2");
    QCOMPARE(losses(), lost);

    // A failed save or load changes nothing.
    QVERIFY(!file->Save(dir->filePath(QStringLiteral("no/such/folder/x.dat"))).Written());
    QVERIFY(!file->Load(dir->filePath(QStringLiteral("missing.dat"))).Ok());
    QCOMPARE(losses(), lost);
    QVERIFY(file->Save(file->Path()).Written());
    QCOMPARE(losses(), QString());
    QCOMPARE(readFile(file->Path()), fileLine("1") + fileLine("2") + fileLine("3") + fileLine("4") + fileLine("56"));

    QVERIFY(loadReport(*file, *dir, content));
    QVERIFY(file->Losses().Any());
    file->New();
    QVERIFY(!file->Losses().Any());
}

QTEST_GUILESS_MAIN(tst_Exchange)
#include "tst_exchange.moc"
