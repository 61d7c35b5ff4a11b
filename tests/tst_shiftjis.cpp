#include "ShiftJis.h"
#include "ShiftJisVectors.h"

#include <QByteArray>
#include <QString>
#include <QTest>

#include <initializer_list>
#include <optional>
#include <string>

namespace {

std::string Bytes(std::initializer_list<int> codes)
{
    std::string bytes;
    for (int code : codes)
        bytes += char(code);
    return bytes;
}

// Readable in a failure message, unlike std::string.
QByteArray Hex(const std::string &bytes)
{
    return QByteArray::fromStdString(bytes).toHex(' ');
}

// QString::fromUcs4() would drop U+FEFF as a byte-order mark.
QString Character(char32_t code)
{
    if (QChar::requiresSurrogates(code))
        return QString(QChar(QChar::highSurrogate(code))) + QChar(QChar::lowSurrogate(code));
    return QString(QChar(char16_t(code)));
}

QString Replacements(int count)
{
    return QString(count, QChar::ReplacementCharacter);
}

bool IsLead(int byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsTrail(int byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

} // namespace

class tst_ShiftJis : public QObject
{
    Q_OBJECT

private slots:
    void wellFormed_data();
    void wellFormed();
    void knownStrings_data();
    void knownStrings();
    void singleBytes();
    void doubleByteTable();
    void duplicateCodesAreNotByteExact();
    void malformedBytes_data();
    void malformedBytes();
    void validTextSurvivesNeighbouringErrors();
    void convertersRecoverAfterErrors();
    void unencodable_data();
    void unencodable();
    void lookAlikes_data();
    void lookAlikes();
    void lookAlikesLeaveOtherCharactersAlone();
    void isEncodableWantsACharacter();
    void byteLength_data();
    void byteLength();
    void byteLengthMatchesEncodingOverBmp();
    void sharedVectors_data();
    void sharedVectors();
};

void tst_ShiftJis::knownStrings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    auto row = [](const char *name, const QString &text, std::initializer_list<int> codes) {
        QTest::newRow(name) << text << QByteArray::fromStdString(Bytes(codes));
    };
    row("empty", QString(), {});
    row("katakana and kanji", QStringLiteral("テスト曲"), {0x83, 0x65, 0x83, 0x58, 0x83, 0x67, 0x8B, 0xC8});
    row("trail byte 0x62", QStringLiteral("甲"), {0x8D, 0x62});
    row("trail byte 0xB3", QStringLiteral("乙"), {0x89, 0xB3});
    row("trail byte is backslash", QStringLiteral("表"), {0x95, 0x5C});
    row("backslash and tilde are ASCII", QStringLiteral("\\~"), {0x5C, 0x7E});
    row("half-width katakana", QStringLiteral("ｱｲｳﾟ･"), {0xB1, 0xB2, 0xB3, 0xDF, 0xA5});
    row("circled one", QStringLiteral("①"), {0x87, 0x40});
    row("horizontal bar", QStringLiteral("―"), {0x81, 0x5C});
    row("full-width tilde", QStringLiteral("～"), {0x81, 0x60});
    row("private use area", Character(0xE000), {0xF0, 0x40});
    row("mixed with TAB and NUL", QStringLiteral("A\t表") + QChar(u'\0') + QStringLiteral("ｱ1"),
        {0x41, 0x09, 0x95, 0x5C, 0x00, 0xB1, 0x31});
}

void tst_ShiftJis::knownStrings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QCOMPARE(ShiftJis::ToText(bytes.toStdString()), text);
    const std::optional<std::string> encoded = ShiftJis::FromText(text);
    QVERIFY(encoded.has_value());
    QCOMPARE(Hex(*encoded), bytes.toHex(' '));
    QCOMPARE(ShiftJis::ByteLength(text), bytes.size());
}

void tst_ShiftJis::singleBytes()
{
    for (int byte = 0; byte < 0x100; ++byte) {
        const std::string bytes(1, char(byte));
        const QString text = ShiftJis::ToText(bytes);
        QString expected;
        if (byte < 0x80)
            expected = QChar(char16_t(byte)); // control bytes 0x1A, 0x1C, 0x7F included
        else if (byte >= 0xA1 && byte <= 0xDF)
            expected = QChar(char16_t(0xFF61 + byte - 0xA1));
        else
            expected = Replacements(1); // a lead byte alone, or no character at all
        QVERIFY2(text == expected, qPrintable(QStringLiteral("byte %1").arg(byte, 2, 16)));

        if (expected != Replacements(1)) {
            const std::optional<std::string> encoded = ShiftJis::FromText(text);
            QVERIFY2(encoded.has_value(), qPrintable(QStringLiteral("byte %1").arg(byte, 2, 16)));
            QCOMPARE(Hex(*encoded), Hex(bytes));
            QCOMPARE(ShiftJis::ByteLength(text), 1);
        }
    }
}

void tst_ShiftJis::doubleByteTable()
{
    int mapped = 0;
    int notByteExact = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLead(lead))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!IsTrail(trail))
                continue;
            const std::string bytes = Bytes({lead, trail});
            const QString label = QStringLiteral("%1%2").arg(lead, 2, 16).arg(trail, 2, 16);
            const QString text = ShiftJis::ToText(bytes);
            if (text == Replacements(2))
                continue; // a well-formed code without a character
            ++mapped;
            QVERIFY2(text.size() == 1, qPrintable(label));
            QVERIFY2(text.at(0).unicode() >= 0x80, qPrintable(label));
            QVERIFY2(text.at(0) != QChar::ReplacementCharacter, qPrintable(label));
            QVERIFY2(text.at(0) != QChar(0x1A), qPrintable(label));

            const std::optional<std::string> encoded = ShiftJis::FromText(text);
            QVERIFY2(encoded.has_value(), qPrintable(label));
            QVERIFY2(encoded->size() == 2, qPrintable(label));
            QVERIFY2(ShiftJis::ToText(*encoded) == text, qPrintable(label));
            QVERIFY2(ShiftJis::IsEncodable(text), qPrintable(label));
            QVERIFY2(ShiftJis::ByteLength(text) == qsizetype(encoded->size()), qPrintable(label));
            if (*encoded != bytes)
                ++notByteExact;
        }
    }
    // JIS X 0208 with the NEC and IBM extensions (7724 codes) plus the
    // user-defined area 0xF040-0xF9FC (1880 codes).
    QCOMPARE(mapped, 9604);
    // The NEC-selected IBM extensions at least duplicate the IBM ones.
    QVERIFY(notByteExact >= 374);
}

void tst_ShiftJis::duplicateCodesAreNotByteExact()
{
    // Both codes show small roman numeral one. A cell the user never edits
    // therefore keeps its bytes: decoding and encoding it again could turn
    // 0xEEEF into 0xFA40 in a file that nobody meant to change.
    const QString nec = ShiftJis::ToText(Bytes({0xEE, 0xEF}));
    const QString ibm = ShiftJis::ToText(Bytes({0xFA, 0x40}));
    QCOMPARE(nec, Character(0x2170));
    QCOMPARE(ibm, nec);

    const std::optional<std::string> encoded = ShiftJis::FromText(nec);
    QVERIFY(encoded.has_value());
    // one text has one encoding, so one of the two codes cannot come back
    QVERIFY(*encoded == Bytes({0xFA, 0x40}) || *encoded == Bytes({0xEE, 0xEF}));
    QCOMPARE(ShiftJis::ToText(*encoded), nec);
}

void tst_ShiftJis::malformedBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QString a = QStringLiteral("亜"); // 88 9F
    auto row = [](const char *name, std::initializer_list<int> codes, const QString &text) {
        QTest::newRow(name) << QByteArray::fromStdString(Bytes(codes)) << text;
    };
    row("0x80", {0x80}, Replacements(1));
    row("0xA0", {0xA0}, Replacements(1));
    row("0xFD 0xFE 0xFF", {0xFD, 0xFE, 0xFF}, Replacements(3));
    row("lone lead byte at the end", {0x61, 0x81}, QStringLiteral("a") + Replacements(1));
    row("lead byte before TAB", {0x81, 0x09, 0x62}, Replacements(1) + QStringLiteral("\tb"));
    row("lead byte before CR LF", {0x88, 0x0D, 0x0A}, Replacements(1) + QStringLiteral("\r\n"));
    row("lead byte before 0x7F", {0x81, 0x7F}, Replacements(1) + QChar(0x7F));
    row("lead byte before 0xFD", {0x81, 0xFD}, Replacements(2));
    row("katakana byte as trail byte", {0x83, 0xA1}, QStringLiteral("Γ"));
    row("0xA0 as trail byte", {0x88, 0xA0}, QStringLiteral("唖"));
    row("unmapped pair", {0x85, 0x40}, Replacements(2));
    row("unmapped pair between valid ones", {0x88, 0x9F, 0x85, 0x40, 0x88, 0x9F},
        a + Replacements(2) + a);
    row("unmapped pair after a lone lead byte", {0x81, 0x20, 0xEB, 0x40},
        Replacements(1) + QStringLiteral(" ") + Replacements(2));
    row("lead byte as trail byte", {0x81, 0x81, 0x81}, QStringLiteral("＝") + Replacements(1));
    row("katakana byte is no lead byte", {0xB1, 0x40}, QStringLiteral("ｱ@"));
}

void tst_ShiftJis::malformedBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    const QString decoded = ShiftJis::ToText(bytes.toStdString());
    QCOMPARE(decoded, text);
    QVERIFY(!decoded.contains(QChar(0x1A)));
    // what is shown can be stored again only once the bad bytes are gone
    QCOMPARE(ShiftJis::FromText(decoded).has_value(), !decoded.contains(QChar::ReplacementCharacter));
}

void tst_ShiftJis::validTextSurvivesNeighbouringErrors()
{
    // Valid runs must decode the same on the fast path and on the path
    // taken after an error, wherever the error sits.
    const std::string valid = Bytes({0x83, 0x65, 0x83, 0x58, 0x83, 0x67, 0x8B, 0xC8, 0xEE, 0xEF, 0x87, 0x40});
    const QString text = ShiftJis::ToText(valid);
    QCOMPARE(text.size(), 6);
    for (const std::string &bad : {Bytes({0x80}), Bytes({0x85, 0x40}), Bytes({0xFC, 0xFC}), Bytes({0x81, 0x0D})}) {
        const QString badText = ShiftJis::ToText(bad);
        QVERIFY(badText.contains(QChar::ReplacementCharacter));
        QCOMPARE(ShiftJis::ToText(valid + bad + valid), text + badText + text);
        QCOMPARE(ShiftJis::ToText(bad + valid), badText + text);
    }
    QCOMPARE(ShiftJis::ToText(valid + Bytes({0x81})), text + Replacements(1));
}

void tst_ShiftJis::convertersRecoverAfterErrors()
{
    // A converter that kept reporting its first error would turn all later
    // text into U+FFFD and refuse every later edit.
    for (int round = 0; round < 3; ++round) {
        QCOMPARE(ShiftJis::ToText(Bytes({0x85, 0x40})), Replacements(2));
        QCOMPARE(ShiftJis::ToText(Bytes({0x8D, 0x62})), QStringLiteral("甲"));
        QVERIFY(!ShiftJis::FromText(Character(0x1F600)).has_value());
        QVERIFY(!ShiftJis::FromText(QString(QChar(0xD800))).has_value());
        const std::optional<std::string> encoded = ShiftJis::FromText(QStringLiteral("乙"));
        QVERIFY(encoded.has_value());
        QCOMPARE(Hex(*encoded), Hex(Bytes({0x89, 0xB3})));
    }
}

void tst_ShiftJis::unencodable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("characters");

    QTest::newRow("emoji") << Character(0x1F600) << 1;
    QTest::newRow("replacement character") << Replacements(1) << 1;
    QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) << 1;
    QTest::newRow("lone low surrogate") << QString(QChar(0xDE00)) << 1;
    QTest::newRow("wave dash") << Character(0x301C) << 1;
    QTest::newRow("minus sign") << Character(0x2212) << 1;
    QTest::newRow("yen sign") << Character(0x00A5) << 1;
    QTest::newRow("overline") << Character(0x203E) << 1;
    QTest::newRow("C1 control") << Character(0x0080) << 1;
    QTest::newRow("broken bar") << Character(0x00A6) << 1;
    QTest::newRow("hangul") << Character(0xAC00) << 1;
    QTest::newRow("converter fallback to numero sign") << Character(0xF86F) << 1;
    QTest::newRow("emoji inside valid text")
        << QStringLiteral("テスト") + Character(0x1F600) + QStringLiteral("曲") << 5;
    QTest::newRow("replacement inside ASCII") << QStringLiteral("ab") + Replacements(1) + QStringLiteral("c") << 4;
}

void tst_ShiftJis::unencodable()
{
    QFETCH(QString, text);
    QFETCH(int, characters);

    QVERIFY(!ShiftJis::FromText(text).has_value());
    if (characters == 1)
        QVERIFY(!ShiftJis::IsEncodable(text));
    // every character counts at most 2, and the bad one exactly 2
    QVERIFY(ShiftJis::ByteLength(text) <= 2 * characters);
    if (characters == 1)
        QCOMPARE(ShiftJis::ByteLength(text), 2);
}

void tst_ShiftJis::lookAlikes_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("stored");

    QTest::newRow("wave dash") << Character(0x301C) << Character(0xFF5E);
    QTest::newRow("minus sign") << Character(0x2212) << Character(0xFF0D);
    QTest::newRow("double vertical line") << Character(0x2016) << Character(0x2225);
    QTest::newRow("cent sign") << Character(0x00A2) << Character(0xFFE0);
    QTest::newRow("pound sign") << Character(0x00A3) << Character(0xFFE1);
    QTest::newRow("not sign") << Character(0x00AC) << Character(0xFFE2);
    QTest::newRow("em dash") << Character(0x2014) << Character(0x2015);
}

void tst_ShiftJis::lookAlikes()
{
    QFETCH(QString, input);
    QFETCH(QString, stored);

    QVERIFY(!ShiftJis::IsEncodable(input));
    QCOMPARE(ShiftJis::MapLookAlikes(input), stored);
    QVERIFY(ShiftJis::IsEncodable(stored));
    const QString inText = QStringLiteral("1") + input + QStringLiteral("曲");
    const std::optional<std::string> encoded = ShiftJis::FromText(ShiftJis::MapLookAlikes(inText));
    QVERIFY(encoded.has_value());
    QCOMPARE(encoded->size(), size_t(5));
    QCOMPARE(ShiftJis::ToText(*encoded), QStringLiteral("1") + stored + QStringLiteral("曲"));
}

void tst_ShiftJis::lookAlikesLeaveOtherCharactersAlone()
{
    const QString text = QStringLiteral("A~\\-ｱ～－∥￠￡￬―テスト曲") + Character(0x00A5) + Character(0x1F600)
        + Character(0x203E) + Character(0x2015);
    QCOMPARE(ShiftJis::MapLookAlikes(text), text);
    for (char32_t code = 0; code < 0x10000; ++code) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        const QString one = Character(code);
        if (ShiftJis::MapLookAlikes(one) != one) {
            const QList<char32_t> mapped = {0x301C, 0x2212, 0x2016, 0x00A2, 0x00A3, 0x00AC, 0x2014};
            QVERIFY2(mapped.contains(code), qPrintable(QString::number(code, 16)));
        }
    }
}

void tst_ShiftJis::isEncodableWantsACharacter()
{
    QVERIFY(!ShiftJis::IsEncodable(QString()));
    QVERIFY(ShiftJis::IsEncodable(QStringLiteral("\t")));
    QVERIFY(ShiftJis::IsEncodable(QString(QChar(u'\0'))));
    QVERIFY(ShiftJis::IsEncodable(QStringLiteral("ﾟ")));
    QVERIFY(!ShiftJis::IsEncodable(Character(0x20BB7))); // outside the BMP, in JIS X 0213 only
}

void tst_ShiftJis::byteLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("length");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ASCII") << QStringLiteral("abc\t") << 4;
    QTest::newRow("half-width katakana at both ends") << QStringLiteral("｡ﾟ") << 2;
    QTest::newRow("beyond half-width katakana") << Character(0xFF60) + Character(0xFFA0) << 4;
    QTest::newRow("full-width") << QStringLiteral("テスト曲") << 8;
    QTest::newRow("mixed") << QStringLiteral("A表ｱ") << 4;
    QTest::newRow("surrogate pair") << Character(0x1F600) << 2;
    QTest::newRow("two lone high surrogates") << QString(2, QChar(0xD800)) << 4;
    QTest::newRow("lone low surrogate then ASCII") << QString(QChar(0xDC00)) + QStringLiteral("a") << 3;
    QTest::newRow("yen sign") << Character(0x00A5) << 2;
}

void tst_ShiftJis::byteLength()
{
    QFETCH(QString, text);
    QFETCH(int, length);

    QCOMPARE(ShiftJis::ByteLength(text), qsizetype(length));
}

void tst_ShiftJis::byteLengthMatchesEncodingOverBmp()
{
    int encodable = 0;
    for (char32_t code = 0; code < 0x10000; ++code) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        const QString one = Character(code);
        const std::optional<std::string> encoded = ShiftJis::FromText(one);
        const QString label = QString::number(code, 16);
        QVERIFY2(encoded.has_value() == ShiftJis::IsEncodable(one), qPrintable(label));
        if (encoded) {
            ++encodable;
            QVERIFY2(ShiftJis::ByteLength(one) == qsizetype(encoded->size()), qPrintable(label));
            QVERIFY2(ShiftJis::ToText(*encoded) == one, qPrintable(label));
        } else {
            QVERIFY2(ShiftJis::ByteLength(one) == 2, qPrintable(label));
        }
    }
    // 128 ASCII + 63 half-width katakana + at least the JIS X 0208 characters
    QVERIFY(encodable > 128 + 63 + 6879);
}

// The cases the Windows build is held to as well (scripts/test-windows-codec.sh).
void tst_ShiftJis::sharedVectors_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(ShiftJisVectors)); ++i)
        QTest::newRow(ShiftJisVectors[i].name) << i;
}

void tst_ShiftJis::sharedVectors()
{
    QFETCH(int, index);
    const ShiftJisVector &vector = ShiftJisVectors[index];
    const QString text = QString::fromUtf16(vector.text.data(), qsizetype(vector.text.size()));
    const std::string bytes(vector.bytes);

    if (vector.kind != ShiftJisVector::Refused)
        QCOMPARE(ShiftJis::ToText(bytes), text);
    const std::optional<std::string> encoded = ShiftJis::FromText(text);
    switch (vector.kind) {
    case ShiftJisVector::RoundTrip:
        QVERIFY(encoded.has_value());
        QCOMPARE(Hex(*encoded), Hex(bytes));
        QCOMPARE(ShiftJis::ByteLength(text), qsizetype(bytes.size()));
        break;
    case ShiftJisVector::OtherCode:
        QVERIFY(encoded.has_value());
        QCOMPARE(Hex(*encoded), Hex(std::string(vector.encoded)));
        break;
    case ShiftJisVector::BadBytes:
    case ShiftJisVector::Refused:
        QVERIFY(!encoded.has_value());
        break;
    }
}

// Bad bytes at every place of the eight-byte steps must be seen.
void tst_ShiftJis::wellFormed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("expected");

    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("long ASCII") << QByteArray("The quick brown fox jumps over") << true;
    QTest::newRow("kanji across a step") << QByteArray("ABCDEFG\x8A\xBFHIJ") << true;
    QTest::newRow("katakana") << QByteArray("\xB1\xB2\xB3\xDF") << true;
    for (int at : {0, 7, 8, 15, 16}) {
        QByteArray nul(20, 'a');
        nul[at] = '\0';
        QTest::addRow("NUL at %d", at) << nul << false;
        QByteArray ff(20, 'a');
        ff[at] = '\xFF';
        QTest::addRow("0xFF at %d", at) << ff << false;
    }
    QTest::newRow("0x80") << QByteArray("a\x80") << false;
    QTest::newRow("0xA0") << QByteArray("\xA0") << false;
    QTest::newRow("lone lead byte at the end") << QByteArray("abcdefghij\x82") << false;
    QTest::newRow("lead byte before a control byte") << QByteArray("\x82\x1F") << false;
    QTest::newRow("0x5C trail byte") << QByteArray("\x83\x5C") << true;
}

void tst_ShiftJis::wellFormed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, expected);
    QCOMPARE(ShiftJis::IsWellFormed(std::string_view(bytes.constData(), std::size_t(bytes.size()))), expected);
}

QTEST_APPLESS_MAIN(tst_ShiftJis)

#include "tst_shiftjis.moc"
