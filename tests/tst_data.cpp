#include "qnVelTorData.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorDataNotes.h"
#include "qnVelTorLineNotes.h"

#include <QTest>

#include <sstream>
#include <string>

using namespace std::string_literals;

namespace {

// Shift-JIS bytes used below.
const std::string kanji = "\x8A\xBF"; // 漢
const std::string halfWidthKa = "\xB6"; // ｶ
const std::string lengthMessage60 = // 文字数は60文字（漢字は30）までです。
    "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "60" "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD"
    "30" "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42";
const std::string lengthMessage1 = // 文字数は1文字（漢字は0）までです。
    "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "1" "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD"
    "0" "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42";
const std::string fullWidthMessage = // 全角文字（漢字等）を含んではいけません。
    "\x91\x53\x8A\x70\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x93\x99\x81\x6A\x82\xF0"
    "\x8A\xDC\x82\xF1\x82\xC5\x82\xCD\x82\xA2\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x81\x42";

std::string repeat(const std::string &unit, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += unit;
    return s;
}

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

class tst_Data : public QObject
{
    Q_OBJECT

private slots:
    void attributeTable();
    void attributeBounds();
    void validate_data();
    void validate();
    void validateAppendsToStream();
    void cellNote_data();
    void cellNote();
    void lineNotes_data();
    void lineNotes();
    void repeatedKeyCodes_data();
    void repeatedKeyCodes();
    void emptyContainer();
    void resizeKeepsValues();
    void cellBounds();
    void appendIsCopy();
    void headerAccessors_data();
    void headerAccessors();
    void makeFileBaseName_data();
    void makeFileBaseName();
    void clear();
};

void tst_Data::attributeTable()
{
    const qnVelTorDataAttribute *table = qnVelTorDataAttribute::Instance();
    QVERIFY(table);
    QCOMPARE(table->Instance(), table);
    QCOMPARE(table->Count(), 19u);

    // ｺﾚｸﾄ･ｺｰﾄﾞ: half-width katakana and the half-width middle dot.
    QCOMPARE(bytes(table->At(5)->name), QByteArray("\xBA\xDA\xB8\xC4\xA5\xBA\xB0\xC4\xDE"));
    QCOMPARE(table->At(0)->name.size(), std::size_t(14));
    QCOMPARE(bytes(table->At(18)->name), // リクエスト回数
             QByteArray("\x83\x8A\x83\x4E\x83\x47\x83\x58\x83\x67\x89\xF1\x90\x94"));
    // ［ＪＡＳＲＡＣ作品コード］／「0」も入力。「-」不要: ASCII inside 「」.
    QVERIFY(bytes(table->At(6)->hint).contains("\x81\x75" "0" "\x81\x76"));
    QVERIFY(bytes(table->At(6)->hint).startsWith("\x81\x6D\x82\x69\x82\x60")); // ［ＪＡ

    const unsigned maxLengths[19] = {30, 1, 3, 1, 3, 1, 10, 60, 60, 60, 60, 60, 60, 60, 10, 1, 1, 1, 9};
    const int widths[19] = {30, 20, 30, 20, 30, 20, 60, 80, 60, 60, 60, 60, 60, 80, 20, 20, 20, 20, 20};
    for (unsigned i = 0; i < 19; ++i) {
        const qnVelTorDataAttribute::FieldAttribute *field = table->At(i);
        QVERIFY(field);
        QCOMPARE(field->maxLength, maxLengths[i]);
        QCOMPARE(table->MaxLength(i), maxLengths[i]);
        QCOMPARE(field->columnWidth, widths[i]);
        QCOMPARE(field->allowFullWidth, i >= 7 && i <= 13);
        QVERIFY(!field->name.empty());
        QVERIFY(!field->hint.empty());
    }
}

void tst_Data::attributeBounds()
{
    const qnVelTorDataAttribute *table = qnVelTorDataAttribute::Instance();
    QVERIFY(!table->At(19));
    QVERIFY(!table->At(unsigned(-1)));
    QCOMPARE(table->MaxLength(19), 0u);
    QCOMPARE(table->MaxLength(6), 10u);

    std::ostringstream out;
    QVERIFY(!table->Validate(19, "", out));
    QVERIFY(out.str().empty());
    std::string message;
    QVERIFY(!table->Validate(unsigned(-1), "x", message));
    QVERIFY(message.empty());
    QVERIFY(!table->IsValid(19, ""));

    const qnVelTorDataAttribute::FieldAttribute field;
    QVERIFY(field.name.empty() && field.hint.empty());
    QCOMPARE(field.maxLength, 0u);
    QCOMPARE(field.columnWidth, 30);
    QVERIFY(!field.allowFullWidth);
}

void tst_Data::validate_data()
{
    QTest::addColumn<unsigned>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("message");

    for (unsigned f = 0; f < 19; ++f)
        QTest::addRow("empty value in field %u", f) << f << QByteArray() << QByteArray();

    QTest::newRow("60 bytes in field 7") << 7u << bytes(std::string(60, 'a')) << QByteArray();
    QTest::newRow("61 bytes in field 7") << 7u << bytes(std::string(61, 'a')) << bytes(lengthMessage60);
    QTest::newRow("30 kanji in field 7") << 7u << bytes(repeat(kanji, 30)) << QByteArray();
    QTest::newRow("31 kanji in field 7") << 7u << bytes(repeat(kanji, 31)) << bytes(lengthMessage60);
    QTest::newRow("Q in field 1") << 1u << QByteArray("Q") << QByteArray();
    QTest::newRow("two letters in field 1") << 1u << QByteArray("QQ") << bytes(lengthMessage1);
    QTest::newRow("half-width kana in field 1") << 1u << bytes(halfWidthKa) << bytes(fullWidthMessage);
    QTest::newRow("kanji in ASCII field 6") << 6u << bytes("12" + kanji) << bytes(fullWidthMessage);
    QTest::newRow("byte 0x80 in field 0") << 0u << QByteArray("1\x80") << bytes(fullWidthMessage);
    QTest::newRow("byte 0x7F in field 0") << 0u << QByteArray("1\x7F") << QByteArray();
    QTest::newRow("tab and controls pass") << 0u << QByteArray("a\tb\x01") << QByteArray();
    QTest::newRow("31 bytes with kanji: length only")
            << 0u << bytes(std::string(29, '1') + kanji) << bytes(
                   "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "30" "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD"
                   "15" "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42");
    QTest::newRow("9 digits in field 18") << 18u << QByteArray("123456789") << QByteArray();
    QTest::newRow("10 digits in field 18") << 18u << QByteArray("1234567890") << bytes(
            "\x95\xB6\x8E\x9A\x90\x94\x82\xCD" "9" "\x95\xB6\x8E\x9A\x81\x69\x8A\xBF\x8E\x9A\x82\xCD"
            "4" "\x81\x6A\x82\xDC\x82\xC5\x82\xC5\x82\xB7\x81\x42");
    QTest::newRow("lone lead byte in field 9") << 9u << QByteArray("abc\x8A") << QByteArray();
    QTest::newRow("full width allowed in field 13") << 13u << bytes(halfWidthKa + kanji) << QByteArray();
}

void tst_Data::validate()
{
    QFETCH(unsigned, field);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, message);
    const qnVelTorDataAttribute *table = qnVelTorDataAttribute::Instance();
    const std::string_view text(value.constData(), std::size_t(value.size()));

    std::ostringstream stream;
    const bool valid = table->Validate(field, text, stream);
    QCOMPARE(valid, message.isEmpty());
    QCOMPARE(bytes(stream.str()), message);

    std::string fast;
    QCOMPARE(table->Validate(field, text, fast), valid);
    QCOMPARE(bytes(fast), message);

    std::ostringstream direct;
    QCOMPARE(table->At(field)->Validate(text, direct), valid);
    QCOMPARE(bytes(direct.str()), message);

    // The verdict without a message, as a load asks for it.
    QCOMPARE(table->IsValid(field, text), valid);
    QCOMPARE(table->At(field)->IsValid(text), valid);
}

// The hints' rules: a value the field table takes earns a note when it
// breaks one, never one that the table already refuses.
void tst_Data::cellNote_data()
{
    QTest::addColumn<unsigned>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("kind"); // NoteKind, 0 for none

    const auto row = [](unsigned field, const QByteArray &value, NoteKind kind) {
        QTest::addRow("field %u, \"%s\"", field, value.toHex().constData()) << field << value << int(kind);
    };
    const NoteKind none = NoteKind::None;
    row(0, "1", none);
    row(0, "000123", none);
    row(0, "", NoteKind::KeyCodeNotNumber);
    row(0, "1a", NoteKind::KeyCodeNotNumber);
    row(0, "-1", NoteKind::KeyCodeNotNumber);
    row(0, QByteArray(31, '1'), none); // too long: its error alone
    row(0, "\x82\x50", none); // full-width: its error alone
    row(1, "", none);
    row(1, "Q", none);
    row(1, "q", NoteKind::ContentCategory);
    row(1, "M", NoteKind::ContentCategory);
    row(1, "QQ", none);
    row(2, "000", none);
    row(2, "001", none);
    row(2, "00", NoteKind::ContentSubNumber);
    row(2, "", NoteKind::ContentSubNumber);
    row(2, "0a0", NoteKind::ContentSubNumber);
    row(2, "0000", none);
    row(3, "", none);
    row(3, "M", none);
    row(3, "Q", NoteKind::MedleyCategory);
    row(4, "000", none);
    row(4, "12", NoteKind::MedleySubNumber);
    row(4, "", NoteKind::MedleySubNumber);
    row(5, "", none);
    row(5, "1", NoteKind::CollectCodeFilled);
    row(5, "\xB1", none); // half-width katakana: its error alone
    row(6, "", none);
    row(6, "0012345678", none);
    row(6, "1234-5678", NoteKind::WorkCodeNotNumber);
    row(6, " 1234", NoteKind::WorkCodeNotNumber);
    row(6, "12345678901", none);
    row(7, "", none);
    row(7, "anything", none);
    row(14, "0", none);
    row(14, "", NoteKind::InformationFeeNotNumber);
    row(14, "1,000", NoteKind::InformationFeeNotNumber);
    row(15, "I", none);
    row(15, "V", none);
    row(15, "T", none);
    row(15, "", NoteKind::IvtCategory);
    row(15, "v", NoteKind::IvtCategory);
    row(15, "X", NoteKind::IvtCategory);
    row(16, "1", none);
    row(16, "3", none);
    row(16, "0", NoteKind::LyricsCategory);
    row(16, "4", NoteKind::LyricsCategory);
    row(16, "", NoteKind::LyricsCategory);
    row(17, "", none);
    row(17, "I", NoteKind::IlCategoryFilled);
    row(18, "0", none);
    row(18, "123456789", none);
    row(18, "", NoteKind::RequestCountNotNumber);
    row(18, "1.5", NoteKind::RequestCountNotNumber);
    row(18, "1234567890", none);
    row(19, "x", none); // no such field
}

void tst_Data::cellNote()
{
    QFETCH(unsigned, field);
    QFETCH(QByteArray, value);
    QFETCH(int, kind);
    const NoteKind note = qnVelTorDataNotes::CellNote(field, std::string_view(value.constData(), std::size_t(value.size())));
    QCOMPARE(int(note), kind);
    if (note != NoteKind::None) {
        QCOMPARE(qnVelTorDataNotes::Field(note), field);
        QVERIFY(!qnVelTorDataNotes::Message(note).empty());
    }
}

// The notes of whole lines, fields given between bars: "field:kind" each,
// in field order.
void tst_Data::lineNotes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("notes");

    QTest::newRow("every field empty") << QByteArray("||||||||||||||||||") << QByteArray("19:14");
    QTest::newRow("a valid line") << QByteArray("1||000||000|||title|||||||0|V|1||0") << QByteArray();
    QTest::newRow("a note on every field that has a rule")
            << QByteArray("x|q|00|Q|1|C|12-3|||||||||A|9|I|x")
            << QByteArray("0:1 1:3 2:4 3:5 4:6 5:7 6:8 14:9 15:10 16:11 17:12 18:13");
    QTest::newRow("a key code alone: notes of its cells, not of the line")
            << QByteArray("1||||||||||||||||||") << QByteArray("2:4 4:6 14:9 15:10 16:11 18:13");
}

void tst_Data::lineNotes()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, notes);
    const QByteArrayList fields = line.split('|');
    QCOMPARE(fields.size(), qsizetype(FieldCount));
    std::string_view views[FieldCount];
    for (std::uint32_t field = 0; field < FieldCount; ++field)
        views[field] = std::string_view(fields[field].constData(), std::size_t(fields[field].size()));
    qnVelTorLineNotes checker;
    qnVelTorLineNotes::Note found[qnVelTorLineNotes::MaxNotes];
    const std::size_t count = checker.Check(views, found);
    QByteArrayList texts;
    for (std::size_t i = 0; i < count; ++i)
        texts << QByteArray::number(found[i].field) + ':' + QByteArray::number(int(found[i].kind));
    QCOMPARE(texts.join(' '), notes);
}

void tst_Data::repeatedKeyCodes_data()
{
    QTest::addColumn<QByteArrayList>("codes");
    QTest::addColumn<QByteArray>("repeated"); // 'r' where a code came before

    QTest::newRow("in order") << QByteArrayList {"1", "2", "3"} << QByteArray("...");
    QTest::newRow("one again") << QByteArrayList {"1", "2", "1"} << QByteArray("..r");
    QTest::newRow("leading zeros are no part of it") << QByteArrayList {"7", "007", "0007"} << QByteArray(".rr");
    QTest::newRow("zero") << QByteArrayList {"0", "000", ""} << QByteArray(".rr");
    QTest::newRow("a number of 64 bits and one past them")
            << QByteArrayList {"18446744073709551615", "1844674407370955161", "018446744073709551615"}
            << QByteArray("..r");
    QTest::newRow("30 digits") << QByteArrayList {QByteArray(30, '9'), QByteArray(29, '9'), QByteArray(30, '9')}
                               << QByteArray("..r");
    QTest::newRow("far apart") << QByteArrayList {"1000000000000", "5", "1000000000000"} << QByteArray("..r");
    // 268800 lies past the numbers the map first holds and goes aside; the
    // numbers after it let the map grow over it.
    QByteArrayList grown {"268800"};
    for (int i = 1; i <= 30; ++i)
        grown << QByteArray::number(i);
    grown << QByteArray::number(64 * 4210) << "268800";
    QTest::newRow("a number kept aside, then the map grown over it") << grown << QByteArray(32, '.') + "r";
}

void tst_Data::repeatedKeyCodes()
{
    QFETCH(QByteArrayList, codes);
    QFETCH(QByteArray, repeated);
    qnVelTorLineNotes notes;
    QByteArray got;
    for (const QByteArray &code : codes)
        got += notes.Repeated(std::string_view(code.constData(), std::size_t(code.size()))) ? 'r' : '.';
    QCOMPARE(got, repeated);
}

void tst_Data::validateAppendsToStream()
{
    const qnVelTorDataAttribute *table = qnVelTorDataAttribute::Instance();
    std::ostringstream out;
    QVERIFY(!table->Validate(1, "QQ", out));
    QVERIFY(!table->Validate(1, "QQ", out));
    QCOMPARE(bytes(out.str()), bytes(lengthMessage1 + lengthMessage1));
    QVERIFY(table->Validate(1, "Q", out));
    QCOMPARE(out.str().size(), 2 * lengthMessage1.size());
}

void tst_Data::emptyContainer()
{
    qnVelTorData data;
    QCOMPARE(data.RecordCount(), 0u);
    QVERIFY(!data.GetCell(0, 0));
    QVERIFY(!data.SetCell(0, 0, "x"));
    QVERIFY(!data.RecordAt(0));
    QVERIFY(data.GetSyoudakuBangou().empty());
    QVERIFY(data.GetHoukokuNengappi().empty());
    QVERIFY(data.GetNiniMoziretsu().empty());

    const qnVelTorDataRecord record;
    QCOMPARE(record.fields.size(), std::size_t(19));
    QVERIFY(!record.GetField(19));
    QVERIFY(record.GetField(18) && record.GetField(18)->empty());
}

void tst_Data::resizeKeepsValues()
{
    qnVelTorData data;
    data.Resize(3);
    QCOMPARE(data.RecordCount(), 3u);
    for (unsigned r = 0; r < 3; ++r) {
        for (unsigned f = 0; f < 19; ++f)
            QVERIFY(data.GetCell(r, f) && data.GetCell(r, f)->empty());
    }
    QVERIFY(data.SetCell(0, 18, "first"));
    QVERIFY(data.SetCell(2, 0, "third"));
    data.Resize(1);
    QCOMPARE(data.RecordCount(), 1u);
    QCOMPARE(*data.GetCell(0, 18), "first"s);
    QVERIFY(!data.GetCell(1, 0));
    data.Resize(2);
    QVERIFY(data.GetCell(1, 0)->empty()); // a regrown record starts empty
    QCOMPARE(*data.GetCell(0, 18), "first"s);
    data.Resize(0);
    QCOMPARE(data.RecordCount(), 0u);
}

void tst_Data::cellBounds()
{
    qnVelTorData data;
    data.Resize(2);
    QVERIFY(!data.SetCell(0, 19, "x"));
    QVERIFY(!data.SetCell(2, 0, "x"));
    QVERIFY(!data.SetCell(unsigned(-1), 0, "x"));
    QVERIFY(!data.GetCell(0, 19));
    QVERIFY(!data.GetCell(2, 0));
    QVERIFY(data.SetCell(1, 18, "y"));
    QCOMPARE(*data.GetCell(1, 18), "y"s);
    for (const qnVelTorDataRecord &record : data) {
        QCOMPARE(record.fields.size(), std::size_t(19));
        QVERIFY(!record.GetField(19));
    }
    qnVelTorDataRecord *record = data.RecordAt(1);
    QVERIFY(record);
    QVERIFY(!record->SetField(19, "z"));
    QVERIFY(!record->fields.At(19));
    qnVelTorDataField *field = record->fields.At(18);
    QVERIFY(field);
    const std::string w = "w";
    QVERIFY(field->Set(w));
    QCOMPARE(*data.GetCell(1, 18), "w"s);
}

void tst_Data::appendIsCopy()
{
    qnVelTorData data;
    qnVelTorDataRecord record;
    record.SetField(7, "title");
    QVERIFY(data.AppendRecord(record));
    record.SetField(7, "changed");
    QCOMPARE(*data.GetCell(0, 7), "title"s);

    // A moved record leaves its source usable, with 19 empty fields.
    QVERIFY(data.AppendRecord(std::move(record)));
    QCOMPARE(*data.GetCell(1, 7), "changed"s);
    QCOMPARE(record.fields.size(), std::size_t(19));
    QVERIFY(record.SetField(18, "again"));

    qnVelTorDataRecord copy = *data.RecordAt(0);
    copy.SetField(0, "x");
    QVERIFY(data.GetCell(0, 0)->empty());
}

void tst_Data::headerAccessors_data()
{
    QTest::addColumn<QByteArray>("baseName");
    QTest::addColumn<QByteArray>("syoudaku");
    QTest::addColumn<QByteArray>("nengappi");
    QTest::addColumn<QByteArray>("nini");

    QTest::newRow("full") << QByteArray("1234567890201204ABC") << QByteArray("1234567890")
                          << QByteArray("201204") << QByteArray("ABC");
    QTest::newRow("short") << QByteArray("report") << QByteArray("report") << QByteArray() << QByteArray();
    QTest::newRow("10 bytes") << QByteArray("1234567890") << QByteArray("1234567890") << QByteArray()
                              << QByteArray();
    QTest::newRow("11 bytes") << QByteArray("12345678902") << QByteArray("1234567890") << QByteArray("2")
                              << QByteArray();
    QTest::newRow("15 bytes") << QByteArray("123456789020120") << QByteArray("1234567890")
                              << QByteArray("20120") << QByteArray();
    QTest::newRow("16 bytes") << QByteArray("1234567890201204") << QByteArray("1234567890")
                              << QByteArray("201204") << QByteArray();
    QTest::newRow("17 bytes") << QByteArray("1234567890201204Z") << QByteArray("1234567890")
                              << QByteArray("201204") << QByteArray("Z");
    const QByteArray free100 = QByteArray(100, 'f');
    QTest::newRow("130 bytes") << QByteArray("1234567890201204" + free100 + QByteArray(14, 'x'))
                               << QByteArray("1234567890") << QByteArray("201204") << free100;
    QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray();

    // A 16-digit license number is read only where the 10-digit reading
    // gives no year-month and the 16-digit one does.
    QTest::newRow("16 digits, year-month, free string")
            << QByteArray("1234567890123456202301ABC") << QByteArray("1234567890123456") << QByteArray("202301")
            << QByteArray("ABC");
    QTest::newRow("16 digits, year-month, nothing after")
            << QByteArray("1234567890123456202312") << QByteArray("1234567890123456") << QByteArray("202312")
            << QByteArray();
    QTest::newRow("16 digits, free string of 100")
            << QByteArray("9999999999000000202301" + free100 + "cut") << QByteArray("9999999999000000")
            << QByteArray("202301") << free100;
    QTest::newRow("digits 11-16 look like a year-month")
            << QByteArray("1234567890202301202302X") << QByteArray("1234567890") << QByteArray("202301")
            << QByteArray("202302X");
    QTest::newRow("month 00 after 10 digits is no year-month")
            << QByteArray("1234567890201200202301") << QByteArray("1234567890201200") << QByteArray("202301")
            << QByteArray();
    QTest::newRow("month 13 after 10 digits is no year-month")
            << QByteArray("1234567890201213202301") << QByteArray("1234567890201213") << QByteArray("202301")
            << QByteArray();
    QTest::newRow("16 digits, month 13 after them")
            << QByteArray("1234567890123456202313") << QByteArray("1234567890") << QByteArray("123456")
            << QByteArray("202313");
    QTest::newRow("16 digits, month 00 after them")
            << QByteArray("1234567890123456202300") << QByteArray("1234567890") << QByteArray("123456")
            << QByteArray("202300");
    QTest::newRow("16 digits, 5-digit year-month")
            << QByteArray("123456789012345620230") << QByteArray("1234567890") << QByteArray("123456")
            << QByteArray("20230");
    QTest::newRow("16 digits alone") << QByteArray("1234567890123456") << QByteArray("1234567890")
                                     << QByteArray("123456") << QByteArray();
    QTest::newRow("letter among the 16") << QByteArray("123456789A123456202301") << QByteArray("123456789A")
                                         << QByteArray("123456") << QByteArray("202301");
    QTest::newRow("letter in the year-month") << QByteArray("12345678901234562023A1") << QByteArray("1234567890")
                                              << QByteArray("123456") << QByteArray("2023A1");
}

void tst_Data::headerAccessors()
{
    QFETCH(QByteArray, baseName);
    QFETCH(QByteArray, syoudaku);
    QFETCH(QByteArray, nengappi);
    QFETCH(QByteArray, nini);
    qnVelTorData data;
    data.SetFileBaseName(baseName.toStdString());
    QCOMPARE(bytes(data.FileBaseName()), baseName);
    QCOMPARE(bytes(data.GetSyoudakuBangou()), syoudaku);
    QCOMPARE(bytes(data.GetHoukokuNengappi()), nengappi);
    QCOMPARE(bytes(data.GetNiniMoziretsu()), nini);
}

void tst_Data::makeFileBaseName_data()
{
    QTest::addColumn<QByteArray>("syoudaku");
    QTest::addColumn<QByteArray>("nengappi");
    QTest::addColumn<QByteArray>("nini");
    QTest::addColumn<QByteArray>("baseName");
    QTest::addColumn<QByteArray>("splitSyoudaku");
    QTest::addColumn<QByteArray>("splitNengappi");
    QTest::addColumn<QByteArray>("splitNini");

    QTest::newRow("all three") << QByteArray("1234567890") << QByteArray("201204") << QByteArray("ABC")
                               << QByteArray("1234567890201204ABC") << QByteArray("1234567890")
                               << QByteArray("201204") << QByteArray("ABC");
    QTest::newRow("no free string") << QByteArray("1234567890") << QByteArray("201204") << QByteArray()
                                    << QByteArray("1234567890201204") << QByteArray("1234567890")
                                    << QByteArray("201204") << QByteArray();
    QTest::newRow("license only") << QByteArray("1234567890") << QByteArray() << QByteArray()
                                  << QByteArray("1234567890") << QByteArray("1234567890") << QByteArray()
                                  << QByteArray();
    QTest::newRow("short license shifts") << QByteArray("12345") << QByteArray("201204") << QByteArray("ABC")
                                          << QByteArray("12345201204ABC") << QByteArray("1234520120")
                                          << QByteArray("4ABC") << QByteArray();
    QTest::newRow("all empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                               << QByteArray() << QByteArray();
}

void tst_Data::makeFileBaseName()
{
    QFETCH(QByteArray, syoudaku);
    QFETCH(QByteArray, nengappi);
    QFETCH(QByteArray, nini);
    QFETCH(QByteArray, baseName);
    QFETCH(QByteArray, splitSyoudaku);
    QFETCH(QByteArray, splitNengappi);
    QFETCH(QByteArray, splitNini);

    qnVelTorData data;
    const std::string made = data.MakeFileBaseName(syoudaku.toStdString(), nengappi.toStdString(),
                                                   nini.toStdString());
    QCOMPARE(bytes(made), baseName);
    QVERIFY(data.FileBaseName().empty()); // building does not store
    data.SetFileBaseName(made);
    QCOMPARE(bytes(data.GetSyoudakuBangou()), splitSyoudaku);
    QCOMPARE(bytes(data.GetHoukokuNengappi()), splitNengappi);
    QCOMPARE(bytes(data.GetNiniMoziretsu()), splitNini);
}

void tst_Data::clear()
{
    qnVelTorData data;
    data.SetFileBaseName("1234567890201204ABC");
    data.Resize(5);
    data.SetCell(4, 4, "x");
    QVERIFY(data.Clear());
    QCOMPARE(data.RecordCount(), 0u);
    QVERIFY(data.FileBaseName().empty());
    QVERIFY(!data.GetCell(0, 0));
    QVERIFY(data.GetSyoudakuBangou().empty());
}

QTEST_APPLESS_MAIN(tst_Data)
#include "tst_data.moc"
