#include "LineOrder.h"

#include "ReportDocument.h"
#include "StepProgress.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

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
    if (a.Number() && b.Number()) {
        const std::string_view x = a.View().substr(a.zeros);
        const std::string_view y = b.View().substr(b.zeros);
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int byDigits = x.compare(y))
            return sign(byDigits);
    }
    return sign(a.View().compare(b.View()));
}

// One line as the sort moves it: its place, and words of its first key that
// settle most comparisons without looking at the bytes.
struct Entry
{
    std::uint64_t bytes; // the first key's first 8 bytes
    std::uint64_t number; // of a number: its length without zeros, then its first digits
    std::uint32_t line;
    bool isNumber;
};

std::uint64_t numberWord(const Value &value)
{
    const std::size_t digits = value.size - value.zeros;
    return std::uint64_t(std::min<std::size_t>(digits, 255)) << 56 | wordOf(value.data + value.zeros, digits) >> 8;
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
    std::vector<Entry> entries(count);
    for (std::size_t line = 0; line < count; ++line) {
        std::string_view cells[ReportRow::CellCount];
        document.Line(int(line)).Cells(cells);
        for (std::size_t k = 0; k < width; ++k)
            values[line * width + k] = valueOf(cells[used[k].field]);
        const Value &first = values[line * width];
        entries[line] = {wordOf(first.data, first.size), first.Number() ? numberWord(first) : 0,
                         std::uint32_t(line), first.Number()};
        told.Line(line, count);
    }
    const bool firstDescending = used.front().descending;
    const auto before = [&](const Entry &a, const Entry &b) {
        // Most lines are told apart by the words of their first key.
        const bool numbers = a.isNumber && b.isNumber;
        const std::uint64_t x = numbers ? a.number : a.bytes;
        const std::uint64_t y = numbers ? b.number : b.bytes;
        if (x != y)
            return firstDescending ? x > y : x < y;
        for (std::size_t k = 0; k < width; ++k) {
            const int c = compareValues(values[a.line * width + k], values[b.line * width + k]);
            if (c != 0)
                return used[k].descending ? c > 0 : c < 0;
        }
        return false;
    };
    told.Tell(count, count);
    // Both halves at once, each on a core, then merged: the merge takes
    // from the first half when keys are equal, so equal lines keep their
    // order.
    const auto middle = entries.begin() + std::ptrdiff_t(count / 2);
    if (count >= 4096) {
        std::thread second([&] { std::stable_sort(middle, entries.end(), before); });
        try {
            std::stable_sort(entries.begin(), middle, before);
        } catch (...) {
            second.join();
            throw;
        }
        second.join();
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
