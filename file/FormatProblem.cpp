#include "FormatProblem.h"

#include <QCoreApplication>

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

QString FormatProblemText(const FormatProblem &problem, ReportSniffer::Looks looks)
{
    using Kind = FormatProblem::Kind;
    switch (problem.kind) {
    case Kind::LooksNotReport:
        switch (looks) {
        case ReportSniffer::Looks::CommaSeparated:
            return QCoreApplication::translate("ReportCheck",
                                               "カンマ区切り（CSV）のファイルのようです。報告ファイルはタブ区切りです。");
        case ReportSniffer::Looks::Utf8:
        case ReportSniffer::Looks::Utf8Bom:
            return QCoreApplication::translate("ReportCheck",
                                               "文字コードがUTF-8のファイルのようです。報告ファイルはShift_JISです。");
        case ReportSniffer::Looks::Utf16Bom:
            return QCoreApplication::translate("ReportCheck",
                                               "文字コードがUTF-16のファイルのようです。報告ファイルはShift_JISです。");
        case ReportSniffer::Looks::Report:
            break;
        }
        break;
    case Kind::LfOnlyLineEnds:
        return QCoreApplication::translate("ReportCheck", "改行がすべてLFだけで、CR LFではありません（%1行）。")
                .arg(problem.count);
    case Kind::MixedLineEnds:
        return QCoreApplication::translate("ReportCheck",
                                           "改行がCR LFの行とLFだけの行が混ざっています。"
                                           "LFだけの行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::LoneCr:
        return QCoreApplication::translate("ReportCheck", "後ろにLFのないCRを含む行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::NoFinalLineEnd:
        return QCoreApplication::translate("ReportCheck", "最後の行（%1行目）の終わりに改行（CR LF）がありません。")
                .arg(problem.first);
    case Kind::BlankLines:
        return QCoreApplication::translate("ReportCheck", "空行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::ShortLines:
        return QCoreApplication::translate("ReportCheck", "項目が19個より少ない行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::EmptyExtraFields:
        return QCoreApplication::translate("ReportCheck",
                                           "19個目の項目の後ろに余分なタブだけがある行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::LongLines:
        return QCoreApplication::translate("ReportCheck", "項目が19個より多い行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::OddBytes:
        return QCoreApplication::translate("ReportCheck",
                                           "NULバイトまたはShift_JISでないバイトを含む行が%1行あります（最初は%2行目）。")
                .arg(problem.count)
                .arg(problem.first);
    case Kind::BytesAfterEofMark:
        return QCoreApplication::translate("ReportCheck", "ファイル終端記号（0x1A）より後に%1バイトあります。")
                .arg(problem.count);
    case Kind::EofMark:
        return QCoreApplication::translate("ReportCheck", "最後にファイル終端記号（0x1A）があります。");
    }
    return QString();
}
