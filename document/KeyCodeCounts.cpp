#include "KeyCodeCounts.h"

#include <algorithm>

namespace {

// The bit map grows to hold a number only while it stays within this many
// words per number held, plus a start: 1, 2, 3 … take a bit each, and a
// stray 9999999999 goes to the hash map instead of a gigabit map.
constexpr std::uint64_t WordsPerNumber = 4;
constexpr std::uint64_t StartWords = 4096;
// 2^64 - 1 has 20 digits; every number of 19 fits.
constexpr std::size_t MaxDigits = 19;

} // namespace

KeyCodeCounts::Key KeyCodeCounts::KeyOf(std::string_view digits)
{
    digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
    Key key;
    if (digits.size() > MaxDigits) {
        key.digits.assign(digits.data(), digits.size());
        return key;
    }
    for (const char c : digits)
        key.number = key.number * 10 + std::uint64_t(c - '0');
    return key;
}

void KeyCodeCounts::Clear(std::uint64_t newBase)
{
    base = newBase / 64 * 64;
    std::vector<std::uint64_t>().swap(dense);
    counted = {};
    huge = {};
    distinct = 0;
}

bool KeyCodeCounts::Reach(std::uint64_t number)
{
    if (number < base)
        return false;
    const std::uint64_t word = (number - base) / 64;
    if (word < dense.size())
        return true;
    if (word >= StartWords + WordsPerNumber * distinct)
        return false;
    dense.resize(std::max<std::size_t>(std::size_t(word) + 1, dense.size() * 2));
    return true;
}

std::uint32_t KeyCodeCounts::Add(const Key &key)
{
    if (!key.digits.empty()) {
        const std::uint32_t before = huge[key.digits]++;
        distinct += before == 0 ? 1 : 0;
        return before;
    }
    const std::uint64_t n = key.number;
    if (const auto it = counted.find(n); it != counted.end())
        return it->second++;
    const std::uint64_t bit = std::uint64_t(1) << ((n - base) % 64);
    if (InDense(n) && (dense[(n - base) / 64] & bit)) {
        // The map may throw; the bit goes only once the entry is there.
        counted.emplace(n, 2);
        dense[(n - base) / 64] &= ~bit;
        return 1;
    }
    ++distinct;
    try {
        if (Reach(n))
            dense[(n - base) / 64] |= bit;
        else
            counted.emplace(n, 1);
    } catch (...) {
        --distinct;
        throw;
    }
    return 0;
}

std::uint32_t KeyCodeCounts::Remove(const Key &key)
{
    if (!key.digits.empty()) {
        const auto it = huge.find(key.digits);
        if (it == huge.end())
            return 0;
        if (--it->second > 0)
            return it->second;
        huge.erase(it);
        --distinct;
        return 0;
    }
    const std::uint64_t n = key.number;
    if (const auto it = counted.find(n); it != counted.end()) {
        const std::uint32_t after = --it->second;
        if (after == 0) {
            counted.erase(it);
            --distinct;
        } else if (after == 1 && InDense(n)) {
            counted.erase(it);
            dense[(n - base) / 64] |= std::uint64_t(1) << ((n - base) % 64);
        }
        return after;
    }
    if (InDense(n)) {
        std::uint64_t &word = dense[(n - base) / 64];
        const std::uint64_t bit = std::uint64_t(1) << ((n - base) % 64);
        if (word & bit) {
            word &= ~bit;
            --distinct;
        }
    }
    return 0;
}

std::uint32_t KeyCodeCounts::Count(const Key &key) const
{
    if (!key.digits.empty()) {
        const auto it = huge.find(key.digits);
        return it == huge.end() ? 0 : it->second;
    }
    const std::uint64_t n = key.number;
    if (const auto it = counted.find(n); it != counted.end())
        return it->second;
    return InDense(n) && (dense[(n - base) / 64] >> ((n - base) % 64) & 1) ? 1 : 0;
}

std::size_t KeyCodeCounts::MemoryBytes() const
{
    // A node of a hash map: its value, a link and the hash, and the bucket.
    constexpr std::size_t NodeBytes = 32;
    std::size_t bytes = dense.capacity() * sizeof(std::uint64_t);
    bytes += counted.size() * NodeBytes + counted.bucket_count() * sizeof(void *);
    bytes += huge.size() * (NodeBytes + sizeof(std::string)) + huge.bucket_count() * sizeof(void *);
    return bytes;
}
