#pragma once

#include "qnVelTorDataAttribute.h"
#include "qnVelTorDataNotes.h"
#include "qnVelTorLineNotes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

class CheckOutput;
struct FormatProblem;
struct ReadFacts;

// Checks report files as they are read, without keeping their lines, and
// writes one line per problem to an output:
//
//   FILE:LINE:FIELD: message               a cell that breaks its field's rule
//   FILE:LINE:FIELD: 注意: message          with notes: a cell against a hint
//   FILE:LINE: 注意: message                with notes: the line as a whole
//   FILE: 許諾番号「VALUE」: message        a header value from the file's name
//   FILE: 報告年月「VALUE」: message
//   FILE: …のファイルのようです…             what the file looks like instead
//   FILE:FIRST: 改行が…, 項目が…             the form of the lines, each kind
//                                         with its count and first line
//   FILE: ファイル終端記号（0x1A）…          the input's end
//   FILE: N行、エラーのセルN個（N行）、ファイル名の問題N件、形式の問題N件[、注意N件]
//   FILE: 読み込めません: reason             instead of the summary
//
// FILE is the path as given, LINE counts from 1, FIELD is the field's name.
// Control characters and backslashes of the path and of the header values
// are escaped, so that every problem is one line. The cell lines go out as
// they are found; the rest follow the last line.
class ReportCheck
{
public:
    // Notes: nothing wrong but notes.
    enum class Verdict { Clean, Notes, Problems, Unreadable };

    // What the last CheckFile() counted.
    struct Counts
    {
        std::uint64_t lines = 0;
        std::uint64_t invalidCells = 0;
        std::uint64_t invalidLines = 0; // lines with at least one invalid cell
        std::uint64_t headerProblems = 0; // 0 to 2
        std::uint64_t formatProblems = 0; // one per kind of FormatProblem
        std::uint64_t notes = 0;
    };

    // `output` is not owned. With `notes`, the hints' rules are checked too
    // (qnVelTorDataNotes).
    explicit ReportCheck(CheckOutput &output, bool notes = false);

    // Reads and checks the report at `path`, writing its lines. A failed
    // output stops the read.
    Verdict CheckFile(const QString &path);
    const Counts &LastCounts() const { return counts; }

private:
    void CheckLines(const std::string_view *fields, std::size_t lines);
    void WriteLineNumber(std::uint32_t field);
    void WriteInvalidCell(std::uint32_t field, std::string_view value);
    void WriteNote(const qnVelTorLineNotes::Note &note);
    void CheckHeader(const QString &label, const std::string &value,
                     bool (*validate)(std::string_view, std::string &));
    void WriteFormatProblem(const FormatProblem &problem, const ReadFacts &facts);
    void WriteLine(const QString &text);

    CheckOutput &output;
    const qnVelTorDataAttribute &attributes;
    const bool notes;
    // Fields are handed over cut to this many bytes: one more than any
    // field holds, so that the verdicts stay those of the whole field.
    std::size_t cellLimit = 0;
    // The field names in the output's encoding, each with ": " after it.
    std::array<QByteArray, FieldCount> fieldNames;
    // The message last written for each field in the output's encoding: the
    // messages of a field are few, and are encoded once each time they
    // change.
    std::array<std::string, FieldCount> lastMessage;
    std::array<QByteArray, FieldCount> lastEncoded;
    // "注意: " and each kind's text, in the output's encoding.
    QByteArray noteLabel;
    std::array<QByteArray, qnVelTorDataNotes::LastKind + 1> noteTexts;
    qnVelTorLineNotes lineNotes;
    std::string message;
    QByteArray prefix; // the path as given, escaped, in the output's encoding, and ':'
    Counts counts;
};
