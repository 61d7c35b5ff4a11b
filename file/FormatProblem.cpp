#include "FormatProblem.h"

bool FormatProblem::ChangedBySave() const
{
    return kind != Kind::LooksNotReport && kind != Kind::OddBytes;
}

bool FormatProblem::LostBySave() const
{
    return kind == Kind::LongLines || kind == Kind::BytesAfterEofMark;
}

std::vector<FormatProblem> FormatProblems(const ReadFacts &facts)
{
    using Kind = FormatProblem::Kind;
    std::vector<FormatProblem> problems;
    const auto add = [&problems](Kind kind, std::uint64_t count, std::uint64_t first) {
        if (count)
            problems.push_back({kind, count, first});
    };
    add(Kind::LooksNotReport, facts.looks != ReportSniffer::Looks::Report ? 1 : 0, 0);
    // Every line has an end but an unended last one.
    const std::uint64_t ended = facts.lines - (facts.unendedLastLine ? 1 : 0);
    add(facts.lfOnlyLines == ended ? Kind::LfOnlyLineEnds : Kind::MixedLineEnds, facts.lfOnlyLines,
        facts.firstLfOnlyLine);
    add(Kind::LoneCr, facts.loneCrLines, facts.firstLoneCrLine);
    add(Kind::NoFinalLineEnd, facts.unendedLastLine ? 1 : 0, facts.unendedLastLine);
    add(Kind::BlankLines, facts.blankLines, facts.firstBlankLine);
    add(Kind::ShortLines, facts.shortLines, facts.firstShortLine);
    add(Kind::EmptyExtraFields, facts.emptyExtraLines, facts.firstEmptyExtraLine);
    add(Kind::LongLines, facts.longLines, facts.firstLongLine);
    add(Kind::OddBytes, facts.oddLines, facts.firstOddLine);
    add(Kind::BytesAfterEofMark, facts.bytesAfterEofMark, 0);
    add(Kind::EofMark, facts.eofMark && !facts.bytesAfterEofMark ? 1 : 0, 0);
    return problems;
}
