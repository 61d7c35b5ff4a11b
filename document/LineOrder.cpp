#include "LineOrder.h"

#include "ReportDocument.h"

#include <algorithm>
#include <numeric>

namespace {

bool allDigits(std::string_view value)
{
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

int LineOrder::Compare(std::string_view a, std::string_view b)
{
    if (allDigits(a) && allDigits(b)) {
        // Numbers of any length: without their leading zeros the longer is
        // the larger, and equal lengths compare digit by digit.
        const std::string_view x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
        const std::string_view y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int byDigits = x.compare(y))
            return sign(byDigits);
    }
    // char_traits<char> compares as unsigned char: a lead byte sorts after ASCII.
    return sign(a.compare(b));
}

std::vector<std::uint32_t> LineOrder::Sorted(const ReportDocument &document, const std::vector<Key> &keys)
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
    // The key cells read once per line; a row's cells are found by walking
    // its block, too slow for every comparison.
    const std::size_t width = used.size();
    std::vector<std::string_view> values(count * width);
    for (std::size_t line = 0; line < count; ++line) {
        std::string_view cells[ReportRow::CellCount];
        document.Line(int(line)).Cells(cells);
        for (std::size_t k = 0; k < width; ++k)
            values[line * width + k] = cells[used[k].field];
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t k = 0; k < width; ++k) {
            const int c = Compare(values[a * width + k], values[b * width + k]);
            if (c != 0)
                return used[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    return order;
}
