// The report's file, with no window: what a save must ask (the name the
// header values give the file, the values that name would not give back),
// the header values told once the report has a file, and a file another
// copy of the editor saved over.

#include "DocumentSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace TestSupport;

namespace {

QStringList headerTexts(const ReportDocument &document)
{
    return {document.HeaderText(ReportDocument::SyoudakuBangou), document.HeaderText(ReportDocument::HoukokuNengappi),
            document.HeaderText(ReportDocument::NiniMoziretsu)};
}

// "box: what opening gives back", or "box: unfit" for a character no file
// name can hold.
QStringList driftTexts(const std::vector<ReportFileName::HeaderDrift> &drifts)
{
    QStringList found;
    for (const ReportFileName::HeaderDrift &drift : drifts)
        found << QStringLiteral("%1: %2").arg(drift.box).arg(drift.unfit ? QStringLiteral("unfit")
                                                                          : ShiftJis::ToText(drift.readBack));
    return found;
}

} // namespace

class tst_ReportFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void savePlan_data();
    void savePlan();
    void headerDrifts_data();
    void headerDrifts();
    void headersToldOnceSaved();
    void emptyHeadersTakeTheSavedName_data();
    void emptyHeadersTakeTheSavedName();
    void changeOnDiskIsNoticed_data();
    void changeOnDiskIsNoticed();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ReportDocument> document;
    std::unique_ptr<ReportFile> file;
};

void tst_ReportFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    document = std::make_unique<ReportDocument>();
    file = std::make_unique<ReportFile>(*document);
}

void tst_ReportFile::cleanup()
{
    file.reset();
    document.reset();
    dir.reset();
}

// The report opened as `opened` (none: a new report), the header values
// then typed (empty: left as they are), a first save's dialog cancelled
// after taking the name; what the next Save or Save As asks.
void tst_ReportFile::savePlan_data()
{
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<bool>("cancelledOnce");
    QTest::addColumn<bool>("saveAs");
    QTest::addColumn<bool>("needsName");
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QStringList>("drifts");

    const QStringList asOpened;
    const QStringList none;
    QTest::newRow("new report without values") << QString() << asOpened << false << false << true << QString() << none;
    QTest::newRow("new report with values")
            << QString() << QStringList{"1234567890", "201204", "ABC"} << false << false << true
            << "1234567890201204ABC.dat" << none;
    QTest::newRow("opened, unchanged") << "1234567890201204ABC.dat" << asOpened << false << false << false
                                       << QString() << none;
    QTest::newRow("opened, Save As") << "1234567890201204ABC.dat" << asOpened << false << true << true
                                     << "1234567890201204ABC.dat" << none;
    QTest::newRow("opened, a value changed") << "K.dat" << QStringList{"K", "", "Z"} << false << false << true
                                             << "KZ.dat" << QStringList{"0: KZ", "2: "};
    QTest::newRow("its own extension kept") << "K.txt" << QStringList{"L", "", ""} << false << false << true << "L.txt"
                                            << none;
    QTest::newRow("dialog cancelled, Save asks again")
            << "K.dat" << QStringList{"L", "", ""} << true << false << true << "L.dat" << none;
    QTest::newRow("a base name with a dot gets no further extension")
            << "1234567890201204A.B.dat" << asOpened << false << true << true << "1234567890201204A.B"
            << QStringList{"2: A"};
    QTest::newRow("a name that matches is saved as it is")
            << "1234567890201204A.B.dat" << asOpened << false << false << false << QString() << none;
    QTest::newRow("a name cut to 116 bytes is another name")
            << "1234567890201204" + QString(104, u'F') + ".dat" << asOpened << false << false << true
            << "1234567890201204" + QString(100, u'F') + ".dat" << none;
}

void tst_ReportFile::savePlan()
{
    QFETCH(QString, opened);
    QFETCH(QStringList, values);
    QFETCH(bool, cancelledOnce);
    QFETCH(bool, saveAs);
    QFETCH(bool, needsName);
    QFETCH(QString, suggested);
    QFETCH(QStringList, drifts);

    if (!opened.isEmpty())
        QVERIFY(loadReport(*file, *dir, fileLine("1"), opened));
    for (int box = 0; box < values.size(); ++box)
        QCOMPARE(document->SetHeaderText(ReportDocument::HeaderBox(box), values[box], 0), EditResult::Done);
    if (cancelledOnce) {
        QVERIFY(file->PlanSave(false).needsName);
        file->TakeHeaderName();
        QVERIFY(file->NameChanged());
    }
    const ReportFile::SavePlan plan = file->PlanSave(saveAs);
    QCOMPARE(plan.needsName, needsName);
    QCOMPARE(plan.suggestedName, suggested);
    QCOMPARE(driftTexts(plan.drifts), drifts);
    QVERIFY(!plan.losses.Any());
    QCOMPARE(plan.change, DiskChange::Same);

    // Written under the name asked for, a plain Save asks nothing more.
    const QString target = needsName ? dir->filePath(suggested.isEmpty() ? QStringLiteral("x.dat") : suggested)
                                     : file->Path();
    file->TakeHeaderName();
    QVERIFY(file->Save(target).Written());
    QVERIFY(!file->NameChanged());
    QVERIFY(!document->IsModified());
    QCOMPARE(file->PlanSave(false).needsName, false);
}

void tst_ReportFile::headerDrifts_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("drifts");

    const QString license = QStringLiteral("1234567890");
    const QString month = QStringLiteral("202301");
    QTest::newRow("16 digits whose last six look like a year-month")
            << QStringList({QStringLiteral("1234567890202301"), QStringLiteral("202302"), QStringLiteral("X")})
            << QStringList(
                       {QStringLiteral("0: 1234567890"), QStringLiteral("1: 202301"), QStringLiteral("2: 202302X")});
    QTest::newRow("short license number")
            << QStringList({QStringLiteral("12345"), month, QStringLiteral("ABC")})
            << QStringList({QStringLiteral("0: 1234520230"), QStringLiteral("1: 1ABC"), QStringLiteral("2: ")});
    QTest::newRow("free string of 101 bytes")
            << QStringList({license, month, QString(101, u'F')}) << QStringList({"2: " + QString(100, u'F')});
    QTest::newRow("free string of 51 double-byte characters")
            << QStringList({license, month, QString(51, u'表')}) << QStringList({"2: " + QString(50, u'表')});
    QTest::newRow("dot in the free string")
            << QStringList({license, month, QStringLiteral("A.B")}) << QStringList({QStringLiteral("2: A")});
    QTest::newRow("asterisk in the free string")
            << QStringList({license, month, QStringLiteral("A*B")}) << QStringList({QStringLiteral("2: unfit")});
    QTest::newRow("slash in the free string")
            << QStringList({license, month, QStringLiteral("A/B")})
            << QStringList({QStringLiteral("0: B"), QStringLiteral("1: "), QStringLiteral("2: unfit")});
    QTest::newRow("control character in the year-month")
            << QStringList({license, QStringLiteral("20\u000101"), QString()})
            << QStringList({QStringLiteral("1: unfit")});
    QTest::newRow("values that come back") << QStringList({license, month, QStringLiteral("A-B")}) << QStringList();
}

void tst_ReportFile::headerDrifts()
{
    QFETCH(QStringList, values);
    QFETCH(QStringList, drifts);

    // Set as a program would: the boxes refuse most of these when typed.
    QVERIFY(loadReport(*file, *dir, fileLine("1"), QStringLiteral("9876543210201305XYZ.dat")));
    for (int box = 0; box < ReportDocument::HeaderCount; ++box)
        QCOMPARE(document->SetHeaderText(ReportDocument::HeaderBox(box), values[box], box), EditResult::Done);
    QCOMPARE(headerTexts(*document), values);
    QCOMPARE(driftTexts(file->PlanSave(false).drifts), drifts);
    // Save As proposes the same name.
    QCOMPARE(driftTexts(file->PlanSave(true).drifts), drifts);
}

// The boxes of a new report are not yet wrong, only unfilled: once the
// report is saved, their values are its file's name and their rules are
// told, also for the boxes nobody typed into.
void tst_ReportFile::headersToldOnceSaved()
{
    QCOMPARE(document->SetCell(0, 0, "1"), EditResult::Done);
    QCOMPARE(document->SetHeaderText(ReportDocument::HoukokuNengappi, QStringLiteral("202413"), 0), EditResult::Done);
    QVERIFY(document->HeaderVerdict(ReportDocument::SyoudakuBangou).empty());
    QVERIFY(!document->HeaderVerdict(ReportDocument::HoukokuNengappi).empty());
    QStringList told;
    connect(&document->Content(), &ReportContent::headerChanged, this,
            [&told](ReportContent::HeaderBox box) { told << QString::number(box); });

    QVERIFY(file->Save(dir->filePath(QStringLiteral("first.dat"))).Written());
    QVERIFY(!document->HeaderVerdict(ReportDocument::SyoudakuBangou).empty());
    QVERIFY(!document->HeaderVerdict(ReportDocument::HoukokuNengappi).empty());
    QVERIFY(document->HeaderVerdict(ReportDocument::NiniMoziretsu).empty()); // no rule
    // The boxes not told before hear of it, so that they are framed.
    QCOMPARE(told, QStringList({"0", "2"}));
}

// A report with no header values (imported, say) saved under a name takes
// the values that name gives, as an open of it would, when they keep their
// rules; the next save then asks for no name.
void tst_ReportFile::emptyHeadersTakeTheSavedName_data()
{
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("boxes");
    QTest::newRow("a report's name") << QString() << "1234567890202612TEST.dat" << "1234567890|202612|TEST";
    QTest::newRow("sixteen digits and a month") << QString() << "1234567890123456202601.dat"
                                                << "1234567890123456|202601|";
    QTest::newRow("a name that is no report's") << QString() << "report.dat" << "||";
    QTest::newRow("a month out of range") << QString() << "1234567890202613.dat" << "||";
    QTest::newRow("values typed are kept") << "9999999999" << "1234567890202612TEST.dat" << "9999999999||";
}

void tst_ReportFile::emptyHeadersTakeTheSavedName()
{
    QFETCH(QString, values);
    QFETCH(QString, name);
    QFETCH(QString, boxes);
    QCOMPARE(document->SetCell(0, 0, "1"), EditResult::Done);
    if (!values.isEmpty())
        QCOMPARE(document->SetHeaderText(ReportDocument::SyoudakuBangou, values, 0), EditResult::Done);
    file->TakeHeaderName();
    QVERIFY(file->Save(dir->filePath(name)).Written());
    QCOMPARE(headerTexts(*document).join(u'|'), boxes);
    QVERIFY(!document->IsModified());
    QVERIFY(!file->PlanSave(false).needsName);
    QCOMPARE(readFile(dir->filePath(name)), fileLine("1"));
}

void tst_ReportFile::changeOnDiskIsNoticed_data()
{
    QTest::addColumn<bool>("otherCopy");
    QTest::newRow("nothing") << false;
    QTest::newRow("saved by another copy") << true;
}

// How files change is the file layer's to tell (tst_filefaults); here, that
// the report knows its file from its open and its last save.
void tst_ReportFile::changeOnDiskIsNoticed()
{
    QFETCH(bool, otherCopy);
    QVERIFY(loadReport(*file, *dir, fileLine(QStringLiteral("1"))));
    const QString path = file->Path();
    QCOMPARE(file->ChangeOnDisk(), DiskChange::Same);
    if (otherCopy) {
        ReportDocument otherReport;
        ReportFile other(otherReport);
        QVERIFY(other.Load(path).Ok());
        QVERIFY(other.Save(path).Written());
        QCOMPARE(other.ChangeOnDisk(), DiskChange::Same);
    }
    QCOMPARE(file->PlanSave(false).change, otherCopy ? DiskChange::Replaced : DiskChange::Same);
    // A save makes the file on the disk the one this report knows.
    QVERIFY(file->Save(path).Written());
    QCOMPARE(file->ChangeOnDisk(), DiskChange::Same);
}

QTEST_GUILESS_MAIN(tst_ReportFile)
#include "tst_reportfile.moc"
