#include "ReportReplace.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "StepProgress.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
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

// Lines a thread of ReplaceAll looks through between two looks at `stop`.
constexpr int StopCheckLines = 1024;

} // namespace

ReportReplace::ReportReplace(ReportDocument &document, const QString &find, const QString &replacement,
                             const TextFolding &folding, const Scope &scope)
    : document(document), find(find), replacement(ShiftJis::MapLookAlikes(replacement)), folding(folding),
      scope(scope)
{
    for (char16_t control : {u'\t', u'\r', u'\n', char16_t(0x1A)})
        this->replacement.remove(QChar(control));
    foldedFind = folding.Fold(find);
    this->scope.top = std::max(scope.top, 0);
    this->scope.left = std::max(scope.left, 0);
    this->scope.bottom = std::min(scope.bottom, document.LineCount() - 1);
    this->scope.right = std::min(scope.right, int(FieldCount) - 1);
    asciiFind = std::all_of(find.begin(), find.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (asciiFind) {
        findBytes = find.toStdString();
        if (folding.Folds())
            std::transform(findBytes.begin(), findBytes.end(), findBytes.begin(), lowerAscii);
        if (folding.FoldWidth() && !find.isEmpty())
            FindCandidates();
        return;
    }
    // Without folding, a text whose every character only its own bytes can
    // stand for is found only where all its bytes are.
    if (!folding.Folds() && std::all_of(find.begin(), find.end(), [this](QChar c) { return standsForItself(c, this->folding); })) {
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
        FindCandidates();
}

void ReportReplace::FindCandidates()
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

std::uint8_t ReportReplace::CandidatesAt(std::string_view bytes, std::size_t i) const
{
    // At every byte, not only where a character starts: a trail byte taken
    // for a character only costs a cell decoded for nothing, while a
    // character passed over would be a match missed.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    return std::uint8_t(candidateBytes[p[i]] | (i + 1 < bytes.size() ? candidatePairs[std::size_t(p[i]) << 8 | p[i + 1]] : 0));
}

bool ReportReplace::HasCandidate(std::string_view bytes) const
{
    std::uint8_t found = 0;
    for (std::size_t i = 0; i < bytes.size() && found != allCandidates; ++i)
        found |= CandidatesAt(bytes, i);
    return found == allCandidates;
}

int ReportReplace::RarestPlaces(std::string_view bytes, std::array<std::size_t, MaxPlaces> &places) const
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

std::uint32_t ReportReplace::CellsToRead(const ReportRow &row, std::string_view (&cells)[ReportRow::CellCount]) const
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
    for (int field = scope.left; field <= scope.right; ++field) {
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

bool ReportReplace::InScope(int line, int field) const
{
    return line >= scope.top && line <= scope.bottom && field >= scope.left && field <= scope.right;
}

bool ReportReplace::MayHold(std::string_view bytes) const
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

qsizetype ReportReplace::FindInCell(const QString &text, qsizetype from, qsizetype &length) const
{
    if (!folding.Folds()) {
        const qsizetype at = text.indexOf(find, from);
        length = find.size();
        return at;
    }
    std::vector<qsizetype> origins;
    const QString folded = folding.Fold(text, &origins);
    const auto first = std::lower_bound(origins.begin(), origins.end(), from);
    const qsizetype at = folded.indexOf(foldedFind, qsizetype(first - origins.begin()));
    if (at < 0)
        return -1;
    length = origins[std::size_t(at + foldedFind.size())] - origins[std::size_t(at)];
    return origins[std::size_t(at)];
}

void ReportReplace::FindAllInCell(const QString &text, std::vector<std::pair<qsizetype, qsizetype>> &found) const
{
    found.clear();
    if (!folding.Folds()) {
        for (qsizetype at = text.indexOf(find); at >= 0; at = text.indexOf(find, at + find.size()))
            found.emplace_back(at, find.size());
        return;
    }
    if (foldedFind.isEmpty())
        return;
    // As FindInCell from the end of each occurrence, the text folded once.
    std::vector<qsizetype> origins;
    const QString folded = folding.Fold(text, &origins);
    for (qsizetype at = folded.indexOf(foldedFind); at >= 0;) {
        const qsizetype start = origins[std::size_t(at)];
        const qsizetype end = origins[std::size_t(at + foldedFind.size())];
        found.emplace_back(start, end - start);
        const auto next = std::lower_bound(origins.begin(), origins.end(), end);
        at = folded.indexOf(foldedFind, qsizetype(next - origins.begin()));
    }
}

bool ReportReplace::Store(int field, const QString &text, std::uint64_t count, std::string &bytes,
                          Result &result) const
{
    std::optional<std::string> encoded = ShiftJis::FromText(text);
    if (!encoded) {
        result.unstorable += count;
        return false;
    }
    if (encoded->size() > document.Attributes().MaxLength(unsigned(field))) {
        result.tooLong += count;
        return false;
    }
    bytes = std::move(*encoded);
    return true;
}

void ReportReplace::ReplaceIn(int top, int bottom, Part &part, const std::atomic<bool> &stop) const
{
    const qnVelTorDataAttribute &attributes = document.Attributes();
    Result &result = part.result;
    std::string bytes;
    std::vector<std::pair<qsizetype, qsizetype>> found;
    for (int line = top; line <= bottom; ++line) {
        if ((line - top) % StopCheckLines == StopCheckLines - 1) {
            part.lines.store(std::uint64_t(line - top), std::memory_order_relaxed);
            if (stop.load(std::memory_order_relaxed))
                return;
        }
        std::string_view cells[ReportRow::CellCount];
        for (std::uint32_t fields = CellsToRead(document.Line(line), cells); fields; fields &= fields - 1) {
            const int field = std::countr_zero(fields);
            const QString text = ShiftJis::ToText(cells[field]);
            FindAllInCell(text, found);
            if (found.empty())
                continue;
            const std::uint64_t count = found.size();
            QString replaced;
            qsizetype done = 0;
            for (const auto &[at, length] : found) {
                replaced += QStringView(text).mid(done, at - done);
                replaced += replacement;
                done = at + length;
            }
            replaced += QStringView(text).mid(done);
            if (!Store(field, replaced, count, bytes, result))
                continue;
            result.replaced += count;
            if (attributes.IsValid(unsigned(field), cells[field]) && !attributes.IsValid(unsigned(field), bytes))
                ++result.madeInvalid;
            part.changes.Set(line, field, bytes);
        }
    }
    part.lines.store(std::uint64_t(bottom - top + 1), std::memory_order_relaxed);
}

ReportReplace::Result ReportReplace::ReplaceAll(const ReadProgress &progress)
{
    Result result;
    if (find.isEmpty())
        return result;
    try {
        StepProgress told(&progress);
        told.Part(0, 2);
        // Two halves of the lines at once, each on a core; the main thread
        // tells the progress meanwhile. A small scope is looked through at
        // once.
        const int lines = std::max(scope.bottom - scope.top + 1, 0);
        const int middle = lines >= 4096 ? scope.top + lines / 2 : scope.bottom + 1;
        Part first(document.Content());
        Part second(document.Content());
        std::atomic<bool> stop {false};
        std::mutex mutex;
        std::condition_variable finished;
        bool secondDone = false;
        std::optional<std::thread> worker;
        std::exception_ptr failure;
        if (middle <= scope.bottom) {
            try {
                worker.emplace([&] {
                    try {
                        ReplaceIn(middle, scope.bottom, second, stop);
                    } catch (...) {
                        failure = std::current_exception();
                    }
                    const std::lock_guard<std::mutex> lock(mutex);
                    secondDone = true;
                    finished.notify_one();
                });
            } catch (const std::system_error &) {
                // No thread to be had: this one does both halves.
                ReplaceIn(middle, scope.bottom, second, stop);
                secondDone = true;
            }
        } else {
            secondDone = true;
        }
        const auto joinWorker = [&] {
            if (worker && worker->joinable())
                worker->join();
        };
        try {
            // The first half in steps, telling the progress between them.
            constexpr int Step = int(StepProgress::Lines);
            for (int from = scope.top; from < middle; from += Step) {
                ReplaceIn(from, std::min(middle - 1, from + Step - 1), first, stop);
                const std::uint64_t done = std::uint64_t(std::min(middle, from + Step) - scope.top)
                        + second.lines.load(std::memory_order_relaxed);
                told.Tell(done, std::uint64_t(lines));
            }
            // Then the other half, the progress told as it passes each
            // step: as often whatever the threads' pace.
            const std::uint64_t secondLines = std::uint64_t(scope.bottom - middle + 1);
            std::unique_lock<std::mutex> lock(mutex);
            for (std::uint64_t reached = Step; reached < secondLines + Step; reached += Step) {
                while (!secondDone && second.lines.load(std::memory_order_relaxed) < std::min(reached, secondLines))
                    finished.wait_for(lock, std::chrono::milliseconds(20));
                lock.unlock();
                told.Tell(std::uint64_t(middle - scope.top) + std::min(reached, secondLines), std::uint64_t(lines));
                lock.lock();
            }
            while (!secondDone)
                finished.wait(lock);
        } catch (...) {
            stop = true;
            joinWorker();
            throw;
        }
        joinWorker();
        if (failure)
            std::rethrow_exception(failure);
        for (const Part *part : {&first, &second}) {
            result.replaced += part->result.replaced;
            result.tooLong += part->result.tooLong;
            result.unstorable += part->result.unstorable;
            result.madeInvalid += part->result.madeInvalid;
        }
        first.changes.Append(std::move(second.changes));
        const EditResult done = document.ChangeCells(std::move(first.changes), tr("置換"), StepProgress::Share(progress, 1, 2));
        if (done != EditResult::Done) {
            result = {};
            result.outOfMemory = done == EditResult::OutOfMemory;
            result.cancelled = done == EditResult::Cancelled;
        }
    } catch (const std::bad_alloc &) {
        result = {};
        result.outOfMemory = true;
    } catch (const StepCancelled &) {
        result = {};
        result.cancelled = true;
    }
    return result;
}

ReportReplace::Match ReportReplace::Scan(int line, int field, qsizetype start, int lastLine, int lastField) const
{
    for (; line <= lastLine; ++line, field = scope.left, start = 0) {
        std::string_view cells[ReportRow::CellCount];
        const std::uint32_t fields = CellsToRead(document.Line(line), cells);
        const int last = line == lastLine ? lastField : scope.right;
        for (; fields && field <= last; ++field, start = 0) {
            if (!(fields & (1u << field)))
                continue;
            qsizetype length = 0;
            const qsizetype at = FindInCell(ShiftJis::ToText(cells[field]), start, length);
            if (at >= 0)
                return {line, field, at, length};
        }
    }
    return {};
}

ReportReplace::Match ReportReplace::FindFrom(int line, int field, qsizetype start) const
{
    if (find.isEmpty() || scope.top > scope.bottom || scope.left > scope.right)
        return {};
    // A start outside the scope starts at the next cell inside it.
    if (line < scope.top || line > scope.bottom) {
        line = scope.top;
        field = scope.left;
        start = 0;
    } else if (field < scope.left) {
        field = scope.left;
        start = 0;
    } else if (field > scope.right) {
        field = scope.left;
        start = 0;
        line = line == scope.bottom ? scope.top : line + 1;
    }
    const Match match = Scan(line, field, start, scope.bottom, scope.right);
    if (match.Found())
        return match;
    // Wrapped: from the scope's start up to the start cell, which is looked
    // through again from its beginning for a match before `start`.
    return Scan(scope.top, scope.left, 0, line, field);
}

bool ReportReplace::Holds(const Match &match) const
{
    if (!match.Found() || !InScope(match.line, match.field) || find.isEmpty())
        return false;
    qsizetype length = 0;
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return FindInCell(text, match.start, length) == match.start && length == match.length;
}

ReportReplace::Result ReportReplace::ReplaceOne(Match &match)
{
    Result result;
    if (!Holds(match)) {
        match = {};
        return result;
    }
    qsizetype next = match.start + match.length;
    try {
        const std::string_view before = document.Cell(match.line, match.field);
        QString text = ShiftJis::ToText(before);
        text.replace(match.start, match.length, replacement);
        std::string bytes;
        if (Store(match.field, text, 1, bytes, result)) {
            const qnVelTorDataAttribute &attributes = document.Attributes();
            const bool wasValid = attributes.IsValid(unsigned(match.field), before);
            CellChanges changes(document.Content());
            changes.Set(match.line, match.field, bytes);
            if (document.ChangeCells(std::move(changes), tr("置換")) != EditResult::Done) {
                result.outOfMemory = true;
                return result;
            }
            result.replaced = 1;
            result.madeInvalid = wasValid && !attributes.IsValid(unsigned(match.field), bytes) ? 1 : 0;
            next = match.start + replacement.size();
        }
        match = FindFrom(match.line, match.field, next);
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

QString ReportReplace::MarkedText(const Match &match) const
{
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return text.left(match.start) + tr("【") + text.mid(match.start, match.length) + tr("】")
            + text.mid(match.start + match.length);
}
