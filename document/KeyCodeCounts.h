#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// How many lines of a report hold each interface key code that is a number,
// so that an edit tells at once whether a number it adds or takes away
// stands on other lines too. Numbers are compared as numbers: "007" is 7.
//
// A report of a million lines numbered 1 to a million holds each number
// once, and must not pay a map entry for each: a number held once costs a
// bit in a map of the numbers from a base up, while the numbers stay near
// each other (a few words per number held). Only numbers held more than
// once, which the report shows notes for, and strays far from the others
// take an entry of a hash map.
class KeyCodeCounts
{
public:
    // The number in `digits` (ASCII digits only, at least one), as a key.
    struct Key
    {
        std::uint64_t number = 0;
        // More digits than 64 bits hold, leading zeros left out; empty else.
        std::string digits;
        bool operator==(const Key &other) const = default;
    };
    static Key KeyOf(std::string_view digits);

    // Forgets every number; the numbers to come start near `base`.
    void Clear(std::uint64_t base = 0);
    // Counts one more line holding the key; returns the count before.
    std::uint32_t Add(const Key &key);
    // Counts one line fewer (none below 0); returns the count after.
    std::uint32_t Remove(const Key &key);
    std::uint32_t Count(const Key &key) const;

    // Numbers held by at least one line.
    std::uint64_t Distinct() const { return distinct; }
    // About what the counts take in memory.
    std::size_t MemoryBytes() const;

private:
    bool InDense(std::uint64_t number) const
    {
        return number >= base && (number - base) / 64 < dense.size();
    }
    // Grows the bit map to hold `number` when that keeps to a few words per
    // number held; false when it stays outside.
    bool Reach(std::uint64_t number);

    std::uint64_t base = 0; // a multiple of 64
    // Bit n - base: the number n is held by exactly one line, and is in no
    // map below.
    std::vector<std::uint64_t> dense;
    // Numbers held more than once, and those held once outside the bits.
    std::unordered_map<std::uint64_t, std::uint32_t> counted;
    std::unordered_map<std::string, std::uint32_t> huge;
    std::uint64_t distinct = 0;
};

// Key codes gathered, such as the numbers whose lines are to be looked at
// again.
class KeyCodeSet
{
public:
    void Insert(const KeyCodeCounts::Key &key)
    {
        if (key.digits.empty())
            numbers.insert(key.number);
        else
            huge.insert(key.digits);
    }
    // True when the key was not in the set yet.
    bool Add(const KeyCodeCounts::Key &key)
    {
        return key.digits.empty() ? numbers.insert(key.number).second : huge.insert(key.digits).second;
    }
    bool Contains(const KeyCodeCounts::Key &key) const
    {
        return key.digits.empty() ? numbers.count(key.number) != 0 : huge.count(key.digits) != 0;
    }
    bool Empty() const { return numbers.empty() && huge.empty(); }

private:
    std::unordered_set<std::uint64_t> numbers;
    std::unordered_set<std::string> huge;
};
