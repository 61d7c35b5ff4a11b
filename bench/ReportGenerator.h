#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "SplitMix.h"

struct ReportPools;

// The synthetic report the benchmarks measure: shaped like a real one
// (serial numbers, work codes, Japanese titles and names, many empty fields,
// a few invalid cells) and generated from a fixed seed, so that every run
// measures the same bytes.
class ReportGenerator
{
public:
    ReportGenerator();
    ~ReportGenerator();

    // Appends the next line, its CR LF included.
    void AppendLine(std::string &out);

    // The first `lines` lines in one string.
    static std::string Generate(std::uint64_t lines);
    // The same written to `path` a few megabytes at a time, so that a report
    // larger than memory can be made; its size in `bytes`.
    static bool WriteFile(const std::string &path, std::uint64_t lines, std::uint64_t *bytes);

private:
    std::unique_ptr<const ReportPools> pools;
    SplitMix random;
    std::uint64_t serial = 0;
};
