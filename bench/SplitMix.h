#pragma once

#include <cstdint>
#include <vector>

// splitmix64: tiny, fast and the same sequence on every platform, unlike the
// distributions of <random>. Shared by the benchmarks and the fuzz target,
// whose synthetic data must come out the same on every run.
class SplitMix
{
public:
    explicit SplitMix(std::uint64_t seed) : state(seed) { }

    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
    // True with a chance of one in n.
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }
    // True for `percent` out of 100.
    bool Percent(std::uint32_t percent) { return Below(100) < percent; }

    template<typename T>
    const T &Pick(const std::vector<T> &pool)
    {
        return pool[Below(static_cast<std::uint32_t>(pool.size()))];
    }

private:
    std::uint64_t state;
};
