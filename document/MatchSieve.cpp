#include "MatchSieve.h"

#include "ShiftJis.h"

#include <algorithm>
#include <bit>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QNVELTOR_SSE2 1
#endif

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The characters code page 932 writes more than one way (NEC's row 13 and
// the IBM extensions twice over, a few symbols of JIS X 0208 again among
// them): found by reading every double-byte code once.
const std::unordered_set<char16_t> &writtenTwoWays()
{
    static const std::unordered_set<char16_t> twice = [] {
        std::unordered_map<char16_t, int> seen;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead >= 0xA0 && lead <= 0xDF)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char code[2] = {char(lead), char(trail)};
                const QString text = ShiftJis::ToText(std::string_view(code, 2));
                if (text.size() == 1 && text[0] != QChar::ReplacementCharacter)
                    ++seen[text[0].unicode()];
            }
        }
        std::unordered_set<char16_t> result;
        for (const auto &[character, codes] : seen) {
            if (codes > 1)
                result.insert(character);
        }
        return result;
    }();
    return twice;
}

// Whether a cell can match `c` only where it holds c's own bytes: a
// character written one way only, and none other that the folding makes
// the same (another case; a full-width or half-width form, a kana that
// takes a sound mark).
bool standsForItself(QChar c, const TextFolding &folding)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        const bool letter = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
        const bool digit = u >= '0' && u <= '9';
        return (!letter || (folding.MatchCase() && !folding.FoldWidth())) && (!digit || !folding.FoldWidth());
    }
    if (c.isSurrogate() || u == QChar::ReplacementCharacter || writtenTwoWays().count(u))
        return false;
    if (!folding.MatchCase() && (c.toLower() != c || c.toUpper() != c || c.toCaseFolded() != c))
        return false;
    return !folding.FoldWidth() || !((u >= 0x3000 && u <= 0x30FF) || (u >= 0xFF00 && u <= 0xFFEF));
}

// Every code of code page 932 and what its character folds into: alone, and
// with a voiced or a semi-voiced sound mark after it (ｶ and ﾞ fold into
// ガ). Worked out once per way of folding: reading every code takes a while.
struct FoldedCode
{
    std::uint16_t code; // a byte, or lead * 256 + trail
    char16_t folded[3];
};

const std::vector<FoldedCode> &foldedCodes(const TextFolding &folding)
{
    static std::vector<FoldedCode> tables[4];
    static std::once_flag once[4];
    const int mode = (folding.MatchCase() ? 1 : 0) + (folding.FoldWidth() ? 2 : 0);
    std::call_once(once[mode], [&folding, mode] {
        std::vector<FoldedCode> &codes = tables[mode];
        const auto add = [&](std::uint16_t code, std::string_view bytes) {
            const QString text = ShiftJis::ToText(bytes);
            if (text.size() != 1 || text[0] == QChar::ReplacementCharacter)
                return;
            FoldedCode folded {code, {}};
            const QString forms[3] = {folding.Fold(text), folding.Fold(text + QChar(0xFF9E)),
                                      folding.Fold(text + QChar(0xFF9F))};
            for (int i = 0; i < 3; ++i)
                folded.folded[i] = forms[i].isEmpty() ? 0 : forms[i][0].unicode();
            codes.push_back(folded);
        };
        for (int byte = 0; byte < 256; ++byte) {
            if (!ShiftJis::IsLeadByte(static_cast<unsigned char>(byte))) {
                const char single = char(byte);
                add(std::uint16_t(byte), std::string_view(&single, 1));
            }
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!ShiftJis::IsLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!ShiftJis::IsTrailByte(static_cast<unsigned char>(trail)))
                    continue;
                const char pair[2] = {char(lead), char(trail)};
                add(std::uint16_t(lead << 8 | trail), std::string_view(pair, 2));
            }
        }
    });
    return tables[mode];
}

} // namespace

MatchSieve::MatchSieve(const QString &find, const TextFolding &folding)
    : folding(folding)
{
    asciiFind = std::all_of(find.begin(), find.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (asciiFind) {
        findBytes = find.toStdString();
        if (folding.Folds())
            std::transform(findBytes.begin(), findBytes.end(), findBytes.begin(), lowerAscii);
        if (folding.FoldWidth() && !find.isEmpty())
            FindCandidates(folding.Fold(find));
        return;
    }
    // Without folding, a text whose every character only its own bytes can
    // stand for is found only where all its bytes are.
    const auto standsAlone = [this](QChar c) { return standsForItself(c, this->folding); };
    if (!folding.Folds() && std::all_of(find.begin(), find.end(), standsAlone)) {
        guideBytes = ShiftJis::FromText(find).value_or(std::string());
        if (!guideBytes.empty())
            return;
    }
    // Else a character outside ASCII that only its own bytes can stand for:
    // a cell without them holds no match. Kanji are best, being rare.
    for (const bool ascii : {false, true}) {
        for (const QChar c : find) {
            if ((c.unicode() < 0x80) == ascii && standsForItself(c, folding)) {
                guideBytes = ShiftJis::FromText(QString(c)).value_or(std::string());
                if (!guideBytes.empty())
                    return;
            }
        }
    }
    if (folding.Folds() && !find.isEmpty())
        FindCandidates(folding.Fold(find));
}

void MatchSieve::FindCandidates(const QString &foldedFind)
{
    // The characters of the folded find text, those that the fewest codes
    // fold into first: the rarest decides most cells alone.
    const std::vector<FoldedCode> &codes = foldedCodes(folding);
    std::vector<std::pair<std::size_t, char16_t>> chars;
    for (const QChar c : std::as_const(foldedFind)) {
        const auto known = [c](const std::pair<std::size_t, char16_t> &seen) { return seen.second == c.unicode(); };
        if (c.isSurrogate() || c == QChar::ReplacementCharacter || std::any_of(chars.begin(), chars.end(), known))
            continue;
        std::size_t count = 0;
        for (const FoldedCode &code : codes)
            count += std::count(std::begin(code.folded), std::end(code.folded), c.unicode()) > 0 ? 1 : 0;
        chars.emplace_back(count, c.unicode());
    }
    if (chars.empty())
        return;
    std::stable_sort(chars.begin(), chars.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    chars.resize(std::min<std::size_t>(chars.size(), 8));
    candidates = true;
    candidatePairs.assign(1 << 16, 0);
    // The trails of bit 0's pairs by their lead, and its single bytes.
    std::array<std::vector<unsigned char>, 256> trails;
    std::array<bool, 256> singles {};
    for (std::size_t bit = 0; bit < chars.size(); ++bit) {
        const std::uint8_t mask = std::uint8_t(1u << bit);
        allCandidates |= mask;
        for (const FoldedCode &code : codes) {
            if (std::find(std::begin(code.folded), std::end(code.folded), chars[bit].second) == std::end(code.folded))
                continue;
            if (code.code < 0x100)
                candidateBytes[code.code] |= mask;
            else
                candidatePairs[code.code] |= mask;
            if (bit == 0 && code.code < 0x100)
                singles[code.code] = true;
            else if (bit == 0)
                trails[code.code >> 8].push_back(static_cast<unsigned char>(code.code & 0xFF));
        }
    }
    // A lead byte alone stands in most Japanese text (0x83 for every
    // katakana): its trail is looked for with it where it has only one.
    startCount = 0;
    for (std::size_t byte = 0; byte < 256; ++byte) {
        if (!singles[byte] && trails[byte].empty())
            continue;
        if (startCount == int(starts.size())) {
            startCount = -1; // too many: looked up byte by byte
            break;
        }
        Start &start = starts[std::size_t(startCount++)];
        start.pair = !singles[byte] && trails[byte].size() == 1;
        std::fill(std::begin(start.leads), std::end(start.leads), static_cast<unsigned char>(byte));
        std::fill(std::begin(start.trails), std::end(start.trails), start.pair ? trails[byte][0] : 0);
    }
}

std::uint8_t MatchSieve::CandidatesAt(std::string_view bytes, std::size_t i) const
{
    // At every byte, not only where a character starts: a trail byte taken
    // for a character only costs a cell decoded for nothing, while a
    // character passed over would be a match missed.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::uint8_t pair = i + 1 < bytes.size() ? candidatePairs[std::size_t(p[i]) << 8 | p[i + 1]] : 0;
    return std::uint8_t(candidateBytes[p[i]] | pair);
}

bool MatchSieve::HasCandidate(std::string_view bytes) const
{
    std::uint8_t found = 0;
    for (std::size_t i = 0; i < bytes.size() && found != allCandidates; ++i)
        found |= CandidatesAt(bytes, i);
    return found == allCandidates;
}

int MatchSieve::RarestPlaces(std::string_view bytes, std::array<std::size_t, MaxPlaces> &places) const
{
    int count = 0;
    // False once there are too many to list.
    const auto add = [&](std::size_t i) {
        if (!(CandidatesAt(bytes, i) & 1))
            return true;
        if (count == int(MaxPlaces))
            return false;
        places[std::size_t(count++)] = i;
        return true;
    };
    const std::size_t size = bytes.size();
    std::size_t i = 0;
#ifdef QNVELTOR_SSE2
    if (startCount >= 0 && size >= 17) {
        // Where one of the few codes the rarest starts with may stand, 16
        // bytes at a time, with the byte after each; most blocks hold none.
        // The last block ends at the last byte but one, overlapping the one
        // before it: the places looked at already are masked off.
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const auto hitsAt = [&](std::size_t at) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at + 1));
            __m128i hit = _mm_setzero_si128();
            for (int k = 0; k < startCount; ++k) {
                const Start &start = starts[std::size_t(k)];
                __m128i found = _mm_cmpeq_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i *>(start.leads)));
                if (start.pair) {
                    const __m128i trail = _mm_load_si128(reinterpret_cast<const __m128i *>(start.trails));
                    found = _mm_and_si128(found, _mm_cmpeq_epi8(next, trail));
                }
                hit = _mm_or_si128(hit, found);
            }
            return unsigned(_mm_movemask_epi8(hit));
        };
        const auto addAll = [&](std::size_t at, unsigned mask) {
            for (; mask; mask &= mask - 1) {
                if (!add(at + unsigned(std::countr_zero(mask))))
                    return false;
            }
            return true;
        };
        for (; i + 17 <= size; i += 16) {
            if (!addAll(i, hitsAt(i)))
                return -1;
        }
        if (i < size - 1) {
            const std::size_t last = size - 17;
            if (!addAll(last, hitsAt(last) & (~0u << (i - last))))
                return -1;
        }
        // The last byte has no trail after it: a single byte alone.
        i = size - 1;
    }
#endif
    for (; i < size; ++i) {
        if (!add(i))
            return -1;
    }
    return count;
}

std::uint32_t MatchSieve::CellsToRead(const ReportRow &row, int left, int right,
                                      std::string_view (&cells)[ReportRow::CellCount]) const
{
    const std::string_view bytes = row.Bytes();
    std::array<std::size_t, MaxPlaces> places;
    int count = -1;
    if (candidates) {
        // Only the cells where the rarest character may stand.
        count = RarestPlaces(bytes, places);
        if (count == 0)
            return 0;
    } else if (!MayHold(bytes)) {
        return 0;
    }
    row.Cells(cells);
    std::uint32_t fields = 0;
    for (int field = left; field <= right; ++field) {
        const std::string_view cell = cells[field];
        if (cell.empty())
            continue;
        if (count > 0) {
            const auto from = std::size_t(cell.data() - bytes.data());
            const auto within = [&](std::size_t place) { return place >= from && place - from < cell.size(); };
            if (std::none_of(places.begin(), places.begin() + count, within))
                continue;
        }
        if (MayHold(cell))
            fields |= 1u << field;
    }
    return fields;
}

bool MatchSieve::MayHold(std::string_view bytes) const
{
    // Outside ASCII the find text's bytes are no guide: a character may be
    // written two ways in code page 932 (0xED40 and 0xFA5C are one kanji),
    // and with widths folded a full-width letter stands for an ASCII one.
    // One of its characters may be (above). An ASCII character is read only
    // from its own byte, and no other character code page 932 holds folds
    // to an ASCII letter.
    if (candidates)
        return HasCandidate(bytes);
    if (!asciiFind)
        return guideBytes.empty() || bytes.find(guideBytes) != std::string_view::npos;
    if (folding.FoldWidth())
        return true;
    if (folding.MatchCase())
        return bytes.find(findBytes) != std::string_view::npos;
    return std::search(bytes.begin(), bytes.end(), findBytes.begin(), findBytes.end(),
                       [](char a, char b) { return lowerAscii(a) == b; })
            != bytes.end();
}
