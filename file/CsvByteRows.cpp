#include "CsvByteRows.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char Quote = '"';

// The kinds of byte, as bits.
constexpr unsigned char Ends = 1; // the separator, CR or LF
constexpr unsigned char Tab = 2; // TAB, when it is not the separator
constexpr unsigned char Converts = 4; // 0x80 and above, and 0x1A
constexpr unsigned char Breaks = 8; // TAB, CR or LF, inside quotes

} // namespace

CsvByteRows::CsvByteRows(char separator) : separator(separator)
{
    for (unsigned c = 0; c < 256; ++c) {
        unsigned char kind = 0;
        if (c == static_cast<unsigned char>(separator) || c == '\r' || c == '\n')
            kind |= Ends;
        if (c == '\t' && separator != '\t')
            kind |= Tab;
        if (c >= 0x80 || c == 0x1A)
            kind |= Converts;
        if (c == '\t' || c == '\r' || c == '\n')
            kind |= Breaks;
        kinds[c] = kind;
    }
}

CsvByteRows::Step CsvByteRows::Next(const char *bytes, std::size_t count, std::size_t &at, bool end)
{
    data = bytes;
    size = count;
    position = at;
    atEnd = end;
    // Sizes set to 0 keep the capacity: the next row reuses it.
    spans.clear();
    scratch.clear();
    cells.clear();
    joins.clear();
    if (position >= size)
        return atEnd ? Step::End : Step::More;
    rowFlattened = 0;
    rowUnclosed = 0;
    blank = data[position] == '\r' || data[position] == '\n';
    Cell read;
    while ((read = ReadCell()) == Cell::Separator) { }
    if (read == Cell::More)
        return Step::More;
    converted = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Span &span = spans[i];
        cells.emplace_back(span.own ? scratch.data() + span.start : data + span.start, span.size);
        joins.push_back(span.join);
        if (span.convert)
            converted |= std::uint64_t(1) << (i < 63 ? i : 63);
    }
    flattenedCells += rowFlattened;
    unclosedQuotes += rowUnclosed;
    at = position;
    return Step::Row;
}

CsvByteRows::Cell CsvByteRows::ReadCell()
{
    const std::size_t start = position;
    std::size_t end = 0;
    bool done = false;
    if (start < size && data[start] == Quote) {
        // The closing quote is the first one that is not doubled.
        for (std::size_t from = start + 1;;) {
            const void *found = std::memchr(data + from, Quote, size - from);
            if (!found) {
                if (!atEnd)
                    return Cell::More;
                break;
            }
            // A quote last in the bytes given closes nothing yet: the end
            // of its cell lies past them (More below).
            const std::size_t quote = std::size_t(static_cast<const char *>(found) - data);
            if (quote + 1 < size && data[quote + 1] == Quote) {
                from = quote + 2;
                continue;
            }
            unsigned strayKinds = 0;
            end = FindCellEnd(quote + 1, strayKinds);
            if (end == size && !atEnd)
                return Cell::More;
            AddQuoted(start + 1, quote, end, strayKinds);
            done = true;
            break;
        }
        // Never closed: read as unquoted from the quote on.
        if (!done)
            ++rowUnclosed;
    }
    if (!done) {
        unsigned cellKinds = 0;
        end = FindCellEnd(start, cellKinds);
        if (end == size && !atEnd)
            return Cell::More;
        AddCell(start, end, cellKinds);
    }
    position = end;
    if (end == size)
        return Cell::RowEnd;
    const char c = data[end];
    ++position;
    if (c == separator)
        return Cell::Separator;
    if (c == '\r') {
        if (position == size && !atEnd)
            return Cell::More;
        if (position < size && data[position] == '\n')
            ++position;
    }
    return Cell::RowEnd;
}

std::size_t CsvByteRows::FindCellEnd(std::size_t from, unsigned &found) const
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    // Every byte that ends a cell or is not its own text but those of 0x80
    // and above lies below `below`: eight bytes with none of those are
    // passed at once, as long Japanese cells are.
    const std::uint64_t below = ones * (separator == '\t' ? 0x1B : std::max(0x1B, separator + 1));
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    unsigned seen = 0;
    for (;;) {
        if (size - from >= 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes + from, sizeof word);
            if (((word - below) & ~word & highs) == 0) {
                if (word & highs)
                    seen |= Converts;
                from += 8;
                continue;
            }
        }
        // The next eight bytes or so one at a time.
        for (const std::size_t stop = std::min(size, from + 8); from < stop; ++from) {
            const unsigned kind = kinds[bytes[from]];
            if (kind & Ends) {
                found = seen;
                return from;
            }
            seen |= kind;
        }
        if (from == size) {
            found = seen;
            return from;
        }
    }
}

void CsvByteRows::AddCell(std::size_t start, std::size_t end, unsigned cellKinds)
{
    const bool convert = cellKinds & Converts;
    // Only a TAB can stand in an unquoted cell, and only in one that a TAB
    // does not end.
    if (cellKinds & Tab) {
        const std::size_t from = scratch.size();
        AppendPlain(std::string_view(data + start, end - start));
        ++rowFlattened;
        spans.push_back({from, scratch.size() - from, true, convert});
        return;
    }
    spans.push_back({start, end - start, false, convert});
}

void CsvByteRows::AddQuoted(std::size_t quoted, std::size_t quote, std::size_t end, unsigned strayKinds)
{
    // What the quoted part holds.
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    bool ends = false;
    bool doubled = false;
    unsigned seen = 0;
    for (std::size_t i = quoted; i < quote; ++i) {
        const unsigned kind = kinds[bytes[i]];
        ends = ends || (kind & Ends);
        doubled = doubled || bytes[i] == Quote;
        seen |= kind;
    }
    const bool convert = (seen | strayKinds) & Converts;
    const std::size_t straySize = end - quote - 1;
    if (straySize > 0 && !ends) {
        // The quotes were typed, not quoting.
        AddCell(quoted - 1, end, seen | strayKinds);
        return;
    }
    const bool breaks = (seen & Breaks) || (strayKinds & Tab);
    if (!doubled && !breaks && straySize == 0) {
        spans.push_back({quoted, quote - quoted, false, convert});
        return;
    }
    const std::size_t from = scratch.size();
    scratch.reserve(from + (quote - quoted) + straySize);
    bool replaced = false;
    for (std::size_t i = quoted; i < quote; ++i) {
        const char c = data[i];
        if (c == Quote) {
            ++i; // the second of a doubled quote: a closing one never gets here
            scratch += c;
        } else if (c == '\t' || c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < quote && data[i + 1] == '\n')
                ++i;
            scratch += ' ';
            replaced = true;
        } else {
            scratch += c;
        }
    }
    const std::size_t join = straySize > 0 && quote > quoted && static_cast<unsigned char>(data[quote - 1]) >= 0x80
            ? scratch.size() - from
            : 0;
    replaced = AppendPlain(std::string_view(data + quote + 1, straySize)) || replaced;
    if (replaced)
        ++rowFlattened;
    spans.push_back({from, scratch.size() - from, true, convert, join});
}

bool CsvByteRows::AppendPlain(std::string_view piece)
{
    // CR and LF never stand outside quotes.
    bool replaced = false;
    for (const char c : piece) {
        if (c == '\t') {
            scratch += ' ';
            replaced = true;
        } else {
            scratch += c;
        }
    }
    return replaced;
}
