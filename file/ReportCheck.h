#pragma once

#include "qnVelTorDataAttribute.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

class CheckOutput;

// Checks report files as they are read, without keeping their lines, and
// writes one line per problem to an output:
//
//   FILE:LINE:FIELD: message               a cell that breaks its field's rule
//   FILE: 許諾番号「VALUE」: message        a header value from the file's name
//   FILE: 報告年月「VALUE」: message
//   FILE:FIRST: 項目が19個より多い行が…      lines the format cannot hold, with
//   FILE:FIRST: NULバイトまたは…            the first such line
//   FILE: N行、エラーのセルN個（N行）、ファイル名の問題N件、形式の問題N件
//   FILE: 読み込めません: reason             instead of the summary
//
// FILE is the path as given, LINE counts from 1, FIELD is the field's name.
// The cell lines go out as they are found; the rest follow the last line.
class ReportCheck
{
public:
    enum class Verdict { Clean, Problems, Unreadable };

    // What the last CheckFile() counted.
    struct Counts
    {
        std::uint64_t lines = 0;
        std::uint64_t invalidCells = 0;
        std::uint64_t invalidLines = 0; // lines with at least one invalid cell
        std::uint64_t headerProblems = 0; // 0 to 2
        std::uint64_t formatProblems = 0; // 0 to 2: long lines, bytes that are not Shift-JIS
    };

    // `output` is not owned.
    explicit ReportCheck(CheckOutput &output);

    // Reads and checks the report at `path`, writing its lines. A failed
    // output stops the read.
    Verdict CheckFile(const QString &path);
    const Counts &LastCounts() const { return counts; }

private:
    void CheckLines(const std::string_view *fields, std::size_t lines);
    void WriteInvalidCell(std::uint32_t field, std::string_view value);
    void CheckHeader(const QString &label, const std::string &value,
                     bool (*validate)(std::string_view, std::string &));
    void WriteFormatProblem(std::uint64_t first, const QString &text);
    void WriteLine(const QString &text);

    CheckOutput &output;
    const qnVelTorDataAttribute &attributes;
    // The field names in the output's encoding, each with ": " after it.
    std::array<QByteArray, FieldCount> fieldNames;
    // The message last written for each field in the output's encoding: the
    // messages of a field are few, and are encoded once each time they
    // change.
    std::array<std::string, FieldCount> lastMessage;
    std::array<QByteArray, FieldCount> lastEncoded;
    std::string message;
    QString shownPath;
    QByteArray prefix; // the path as given, in the output's encoding, and ':'
    Counts counts;
};
