#include "TextFolding.h"

namespace {

// U+FF61..U+FF9F in order: ｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱ...ﾝﾞﾟ
constexpr char16_t halfWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};
static_assert(std::size(halfWidthKana) == 0xFF9F - 0xFF61 + 1);

constexpr char16_t halfVoicedMark = 0xFF9E;
constexpr char16_t halfSemiVoicedMark = 0xFF9F;

// The kana of the k, s, t and h rows that take a sound mark: the voiced
// form is the next code point, the semi-voiced (h row only) the one after.
bool takesVoicedMark(char16_t kana)
{
    const auto inRow = [kana](char16_t first, char16_t last, int step) {
        return kana >= first && kana <= last && (kana - first) % step == 0;
    };
    // か..ぢ and カ..ヂ step 2; つ..ど and ツ..ド step 2; は..ほ and ハ..ホ step 3.
    for (const char16_t base : {char16_t(0x3040), char16_t(0x30A0)}) {
        const char16_t offset = base - 0x3040;
        if (inRow(0x304B + offset, 0x3062 + offset, 2) || inRow(0x3064 + offset, 0x3069 + offset, 2)
            || inRow(0x306F + offset, 0x307B + offset, 3))
            return true;
    }
    return false;
}

bool takesSemiVoicedMark(char16_t kana)
{
    return (kana >= 0x306F && kana <= 0x307B && (kana - 0x306F) % 3 == 0)
            || (kana >= 0x30CF && kana <= 0x30DB && (kana - 0x30CF) % 3 == 0);
}

} // namespace

char16_t TextFolding::FullWidthKana(char16_t c)
{
    return c >= 0xFF61 && c <= 0xFF9F ? halfWidthKana[c - 0xFF61] : c;
}

char16_t TextFolding::Voiced(char16_t kana)
{
    if (takesVoicedMark(kana))
        return kana + 1;
    switch (kana) {
    case 0x3046: // う
        return 0x3094;
    case 0x309D: // ゝ ヽ
    case 0x30FD:
        return kana + 1;
    case 0x30A6: // ウ
        return 0x30F4;
    case 0x30EF: // ワ ヰ ヱ ヲ
    case 0x30F0:
    case 0x30F1:
    case 0x30F2:
        return kana + 8;
    default:
        return 0;
    }
}

char16_t TextFolding::SemiVoiced(char16_t kana)
{
    return takesSemiVoicedMark(kana) ? kana + 2 : 0;
}

QString TextFolding::Fold(QStringView text, std::vector<qsizetype> *origins) const
{
    QString folded;
    folded.reserve(text.size());
    if (origins) {
        origins->clear();
        origins->reserve(std::size_t(text.size()) + 1);
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        const qsizetype origin = i;
        if (foldWidth) {
            if ((c >= 0xFF10 && c <= 0xFF19) || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A)) {
                c = char16_t(c - 0xFEE0);
            } else {
                c = FullWidthKana(c);
            }
            if (i + 1 < text.size()) {
                const char16_t next = text[i + 1].unicode();
                const char16_t joined = next == halfVoicedMark ? Voiced(c)
                        : next == halfSemiVoicedMark           ? SemiVoiced(c)
                                                               : char16_t(0);
                if (joined) {
                    c = joined;
                    ++i;
                }
            }
        }
        if (!matchCase)
            c = QChar(c).toCaseFolded().unicode();
        folded += QChar(c);
        if (origins)
            origins->push_back(origin);
    }
    if (origins)
        origins->push_back(text.size());
    return folded;
}
