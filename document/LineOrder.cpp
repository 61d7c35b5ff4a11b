#include "LineOrder.h"

#include "ReportDocument.h"
#include "StepProgress.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

bool allDigits(std::string_view value)
{
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// A key value as the sort reads it: where its bytes are, and what Compare
// would find out about it again at every comparison.
struct Value
{
    const char *data;
    std::uint32_t size;
    // The leading zeros of a value of digits only, else NotNumber.
    std::uint32_t zeros;
    static constexpr std::uint32_t NotNumber = ~std::uint32_t(0);

    std::string_view View() const { return {data, size}; }
    bool Number() const { return zeros != NotNumber; }
};

Value valueOf(std::string_view text)
{
    Value value {text.data(), std::uint32_t(text.size()), Value::NotNumber};
    if (allDigits(text))
        value.zeros = std::uint32_t(std::min(text.find_first_not_of('0'), text.size()));
    return value;
}

// The first 8 bytes, the first one highest; missing bytes count as 0. Two
// values whose words differ compare as their words, byte by byte.
std::uint64_t wordOf(const char *data, std::size_t size)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, data, std::min<std::size_t>(size, 8));
    std::uint64_t word = 0;
    for (unsigned char byte : bytes)
        word = word << 8 | byte;
    return word;
}

// Compare() for values read before.
int compareValues(const Value &a, const Value &b)
{
    // Empty values first, then numbers, then every other value: compared by
    // their bytes, a mix such as 9, 10 and 1a would have no order (10 < 1a
    // < 9 < 10), and a sort could put them anywhere.
    const auto rank = [](const Value &value) { return value.size == 0 ? 0 : value.Number() ? 1 : 2; };
    if (rank(a) != rank(b))
        return rank(a) < rank(b) ? -1 : 1;
    if (a.Number()) {
        const std::string_view x = a.View().substr(a.zeros);
        const std::string_view y = b.View().substr(b.zeros);
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int byDigits = x.compare(y))
            return sign(byDigits);
    }
    return sign(a.View().compare(b.View()));
}

// How the words of a key's values compare: as ranks (exactly), as numbers
// or as bytes (equal words then need the values themselves), or, where
// numbers and other values mix, as bytes unless one is a number.
enum class Mode : std::uint8_t { Ranked, Numbers, Bytes, Mixed };

// One line as the sort moves it: its place, and words of its first two keys
// that settle most comparisons without looking at the values, whose bytes
// lie all over the report: the first key's first 24 bytes (titles share
// their first words), or its rank or number, and the second key's word.
struct Entry
{
    static constexpr std::size_t FirstWords = 3;
    std::uint64_t words[FirstWords + 1];
    std::uint32_t line;
    std::uint32_t sizes[2]; // of the first two keys' values
    std::uint8_t numbers; // bit k: the value of key k is a number
};

std::uint64_t numberWord(const Value &value)
{
    const std::size_t digits = value.size - value.zeros;
    // Numbers too long to count here all get one word: Compare tells them apart.
    if (digits >= 255)
        return std::uint64_t(255) << 56;
    return std::uint64_t(digits) << 56 | wordOf(value.data + value.zeros, digits) >> 8;
}

// The values of key `k` as ranks, when they are few (titles, names, codes
// repeat from line to line): equal values get one rank, and ranks compare
// as the values do, so that lines of equal titles are compared by a number,
// not by their bytes, and ties are seen at once. False when the values are
// too many different ones for it to pay.
bool rankValues(const std::vector<Value> &values, std::size_t width, std::size_t k, std::vector<std::uint32_t> &ranks)
{
    const std::size_t count = values.size() / width;
    // The first lines tell whether the values repeat at all.
    constexpr std::size_t Sample = 4096;
    const std::size_t most = count / 8 + 64;
    std::unordered_map<std::string_view, std::uint32_t> ids;
    std::vector<Value> distinct;
    ranks.resize(count);
    for (std::size_t line = 0; line < count; ++line) {
        if (line == Sample && distinct.size() > Sample / 4) {
            ranks = {};
            return false;
        }
        const Value &value = values[line * width + k];
        const auto [at, added] = ids.try_emplace(value.View(), std::uint32_t(distinct.size()));
        if (added) {
            if (distinct.size() == most) {
                ranks = {};
                return false;
            }
            distinct.push_back(value);
        }
        ranks[line] = at->second;
    }
    std::vector<std::uint32_t> sorted(distinct.size());
    std::iota(sorted.begin(), sorted.end(), 0u);
    std::stable_sort(sorted.begin(), sorted.end(), [&distinct](std::uint32_t a, std::uint32_t b) {
        return compareValues(distinct[a], distinct[b]) < 0;
    });
    std::vector<std::uint32_t> rankOf(distinct.size());
    // Values that compare equal share a rank; only equal bytes do.
    for (std::size_t i = 0; i < sorted.size(); ++i)
        rankOf[sorted[i]] = std::uint32_t(i);
    for (std::uint32_t &rank : ranks)
        rank = rankOf[rank];
    return true;
}

} // namespace

int LineOrder::Compare(std::string_view a, std::string_view b)
{
    return compareValues(valueOf(a), valueOf(b));
}

std::vector<std::uint32_t> LineOrder::Sorted(const ReportDocument &document, const std::vector<Key> &keys,
                                             const ReadProgress &progress)
{
    const std::size_t count = std::size_t(document.LineCount());
    std::vector<Key> used;
    for (const Key &key : keys) {
        if (key.field >= 0 && key.field < int(ReportRow::CellCount))
            used.push_back(key);
    }
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    if (used.empty())
        return order;
    StepProgress told(&progress);
    told.Part(0, 2);
    // The key cells read once per line into one flat list; a row's cells
    // are found by walking its block, too slow for every comparison.
    const std::size_t width = used.size();
    std::vector<Value> values(count * width);
    for (std::size_t line = 0; line < count; ++line) {
        std::string_view cells[ReportRow::CellCount];
        document.Line(int(line)).Cells(cells);
        for (std::size_t k = 0; k < width; ++k)
            values[line * width + k] = valueOf(cells[used[k].field]);
        told.Line(line, count);
    }
    // Keys of few values (titles, names) are compared by their ranks.
    std::vector<std::vector<std::uint32_t>> ranks(width);
    std::vector<Mode> modes(width, Mode::Ranked);
    for (std::size_t k = 0; k < width; ++k) {
        if (rankValues(values, width, k, ranks[k]))
            continue;
        bool numbers = false;
        bool others = false;
        for (std::size_t line = 0; line < count; ++line)
            (values[line * width + k].Number() ? numbers : others) = true;
        modes[k] = !others ? Mode::Numbers : !numbers ? Mode::Bytes : Mode::Mixed;
    }
    told.Tell(count, count);
    const std::size_t inline_ = std::min<std::size_t>(width, 2);
    std::vector<Entry> entries(count);
    for (std::size_t line = 0; line < count; ++line) {
        Entry &entry = entries[line];
        entry = {};
        entry.line = std::uint32_t(line);
        for (std::size_t k = 0; k < inline_; ++k) {
            const Value &value = values[line * width + k];
            std::uint64_t *words = entry.words + (k == 0 ? 0 : Entry::FirstWords);
            entry.numbers |= value.Number() ? std::uint8_t(1u << k) : 0;
            entry.sizes[k] = value.size;
            if (modes[k] == Mode::Ranked) {
                words[0] = ranks[k][line];
            } else if (modes[k] == Mode::Numbers) {
                words[0] = numberWord(value);
            } else {
                const std::size_t count = k == 0 ? Entry::FirstWords : 1;
                for (std::size_t w = 0; w < count && 8 * w < value.size; ++w)
                    words[w] = wordOf(value.data + 8 * w, value.size - 8 * w);
            }
        }
    }
    const auto compareKey = [&](std::size_t k, const Entry &a, const Entry &b) {
        const Value &x = values[a.line * width + k];
        const Value &y = values[b.line * width + k];
        if (k >= inline_)
            return ranks[k].empty() ? compareValues(x, y)
                                    : ranks[k][a.line] == ranks[k][b.line] ? 0
                                    : ranks[k][a.line] < ranks[k][b.line] ? -1 : 1;
        const std::uint64_t *p = a.words + (k == 0 ? 0 : Entry::FirstWords);
        const std::uint64_t *q = b.words + (k == 0 ? 0 : Entry::FirstWords);
        if (modes[k] == Mode::Ranked)
            return p[0] == q[0] ? 0 : p[0] < q[0] ? -1 : 1;
        // Mixed: a number comes first, and two numbers compare as numbers,
        // which the bytes do not tell.
        if (modes[k] == Mode::Mixed && ((a.numbers | b.numbers) & (1u << k)))
            return compareValues(x, y);
        const std::size_t words = k == 0 && modes[k] != Mode::Numbers ? Entry::FirstWords : 1;
        for (std::size_t w = 0; w < words; ++w) {
            if (p[w] != q[w])
                return p[w] < q[w] ? -1 : 1;
        }
        // Equal words of values the words hold whole: equal bytes up to the
        // shorter one's end, where the shorter comes first; numbers of
        // equal digits and length are the same bytes.
        const std::size_t whole = modes[k] == Mode::Numbers ? 7 : 8 * words;
        const std::uint32_t m = a.sizes[k];
        const std::uint32_t n = b.sizes[k];
        if (modes[k] == Mode::Numbers) {
            if (m == n && m - x.zeros <= whole)
                return 0;
        } else if (m <= whole && n <= whole) {
            return m == n ? 0 : m < n ? -1 : 1;
        }
        return compareValues(x, y);
    };
    const auto before = [&](const Entry &a, const Entry &b) {
        for (std::size_t k = 0; k < width; ++k) {
            const int c = compareKey(k, a, b);
            if (c != 0)
                return used[k].descending ? c > 0 : c < 0;
        }
        return false;
    };
    // Both halves at once, each on a core, then merged: the merge takes
    // from the first half when keys are equal, so equal lines keep their
    // order.
    const auto middle = entries.begin() + std::ptrdiff_t(count / 2);
    std::optional<std::thread> second;
    if (count >= 4096) {
        try {
            second.emplace([&] { std::stable_sort(middle, entries.end(), before); });
        } catch (const std::system_error &) {
            // No thread to be had: this one sorts both halves.
        }
    }
    if (second) {
        std::stable_sort(entries.begin(), middle, before);
        second->join();
    } else {
        std::stable_sort(entries.begin(), middle, before);
        std::stable_sort(middle, entries.end(), before);
    }
    told.Part(1, 2);
    told.Tell(0, 1);
    std::inplace_merge(entries.begin(), middle, entries.end(), before);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].line;
    told.Tell(1, 1);
    return order;
}
