#pragma once

#include "qnVelTorFile.h"

#include <QString>

#include <cstdint>
#include <vector>

// Where a file that was read differs in its form from a report file as a
// save writes it (lines of 19 TAB-separated fields, each ended by CR LF, and
// nothing after the last), and what else about its form needs a word. The
// check reports every one; the window's question before a save names those
// a save changes. Both take them from FormatProblems(), so what the check
// calls a problem of the form is what a save would change.
struct FormatProblem
{
    enum class Kind {
        LooksNotReport, // CSV, UTF-8 or UTF-16: ReadFacts::looks says which
        LfOnlyLineEnds, // every line end is an LF alone
        MixedLineEnds, // some line ends are an LF alone, the others CR LF
        LoneCr, // CRs that no LF follows, which the read dropped
        NoFinalLineEnd,
        BlankLines,
        ShortLines, // fewer than 19 fields
        EmptyExtraFields, // more than 19 fields, those past the 19th empty
        LongLines, // a value past the 19th field
        OddBytes, // NUL or bytes that are not Shift-JIS
        BytesAfterEofMark,
        EofMark, // a 0x1A with nothing after it
    };

    Kind kind;
    // Lines; bytes for BytesAfterEofMark; 1 for the others of the whole file.
    std::uint64_t count = 0;
    // The first such line: the last line for NoFinalLineEnd; 0 for
    // LooksNotReport, BytesAfterEofMark and EofMark, which are the file's.
    std::uint64_t first = 0;

    // A save of the lines as they were read writes the file otherwise:
    // every kind but LooksNotReport and OddBytes, whose bytes it keeps.
    bool ChangedBySave() const;
    // What the file held is lost by a save: LongLines, BytesAfterEofMark,
    // LoneCr.
    bool LostBySave() const;

    bool operator==(const FormatProblem &) const = default;
};

// The problems of the form the facts show, in the order of the kinds.
std::vector<FormatProblem> FormatProblems(const ReadFacts &facts);

// The problem in a sentence, as the check prints it after "FILE:FIRST: "
// and the window names it; `looks` says what LooksNotReport looks like.
QString FormatProblemText(const FormatProblem &problem, ReportSniffer::Looks looks);
