#pragma once

#include "ReportRow.h"
#include "TextFolding.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which cells may hold a find text, told from their Shift-JIS bytes without
// decoding them: a replace over a million lines decodes only the few cells
// that pass. A cell that passes may still hold no match; one that fails
// holds none, however the text is folded.
class MatchSieve
{
public:
    MatchSieve(const QString &find, const TextFolding &folding);

    // False only when `bytes` cannot hold the find text.
    bool MayHold(std::string_view bytes) const;
    // The fields left..right whose cells may hold the find text, as a bit
    // per field, the line's cells read into `cells` when there are any: the
    // line's whole block is looked at first, as most lines hold no match.
    std::uint32_t CellsToRead(const ReportRow &row, int left, int right,
                              std::string_view (&cells)[ReportRow::CellCount]) const;

private:
    static constexpr std::size_t MaxPlaces = 8;

    // From the characters of the find text as folded.
    void FindCandidates(const QString &foldedFind);
    // The bits of the characters whose code may start at byte `i`.
    std::uint8_t CandidatesAt(std::string_view bytes, std::size_t i) const;
    // Whether every character looked for may be there.
    bool HasCandidate(std::string_view bytes) const;
    // Where a code of the rarest character may start, at most MaxPlaces of
    // them, in order; how many, or -1 when there are more.
    int RarestPlaces(std::string_view bytes, std::array<std::size_t, MaxPlaces> &places) const;

    TextFolding folding;
    // A find text of ASCII alone can only be where its bytes are, unless
    // full-width forms count too.
    bool asciiFind = false;
    std::string findBytes;
    // Else the bytes of one of its characters that every match holds, or
    // nothing when there is none.
    std::string guideBytes;
    // Else, when the text is folded, for each of a few characters of the
    // folded find text the codes of every character that folds into it
    // (alone, or with a sound mark after it), as a bit per character: a
    // cell lacking any of them holds no match. Single bytes by their byte,
    // pairs by lead * 256 + trail; bit 0 is the character with the fewest.
    bool candidates = false;
    std::uint8_t allCandidates = 0;
    std::array<std::uint8_t, 256> candidateBytes {};
    std::vector<std::uint8_t> candidatePairs;
    // Where a code of bit 0 may start, when such places are of few kinds:
    // looked for 16 bytes at a time. A byte, or a lead byte whose trail
    // must follow (a pair that is the only code of bit 0 with that lead),
    // each repeated 16 times to be compared at once.
    struct Start
    {
        alignas(16) unsigned char leads[16] {};
        alignas(16) unsigned char trails[16] {};
        bool pair = false;
    };
    std::array<Start, 4> starts {};
    int startCount = 0;
};
