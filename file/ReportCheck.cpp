#include "ReportCheck.h"

#include "CheckOutput.h"
#include "ShiftJis.h"
#include "qnVelTorData.h"
#include "qnVelTorFile.h"
#include "qnVelTorFileName.h"
#include "qnVelTorHeaderRules.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The reader says only that the file could not be opened; the user needs to
// know why. The path is looked at again for the reason alone, without
// opening it: opening a device can do something.
QString CannotOpenReason(const QString &path)
{
    const QString notFound = QStringLiteral("ファイルが見つかりません。");
    const QString noRight = QStringLiteral("ファイルを読む権限がありません。");
    const QString other = QStringLiteral("ファイルを開けません。");
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        if (errno == EACCES)
            return noRight; // a folder on the way may not be entered
        return errno == ENOENT || errno == ENOTDIR ? notFound : other;
    }
    if (::access(name.constData(), R_OK) != 0 && errno == EACCES)
        return noRight;
    return other;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return notFound;
    return info.isReadable() ? other : noRight;
#endif
}

QString ReadFailureReason(ReadFailure failure, const QString &path)
{
    switch (failure) {
    case ReadFailure::None:
    case ReadFailure::Cancelled:
        break;
    case ReadFailure::NotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case ReadFailure::NoPermission:
        return QStringLiteral("ファイルを読む権限がありません。");
    case ReadFailure::CannotOpen:
        return CannotOpenReason(path);
    case ReadFailure::NotRegularFile:
        return QStringLiteral("通常のファイルではありません（フォルダー、パイプ、デバイスなど）。");
    case ReadFailure::ReadError:
        return QStringLiteral("読み込み中にエラーが起きました。検査は途中までです。");
    case ReadFailure::OutOfMemory:
        return QStringLiteral("メモリが足りません。");
    case ReadFailure::TooManyLines:
        return QStringLiteral("行が%1行を超えています。検査は途中までです。").arg(qnVelTorData::MaxRecords);
    }
    return QStringLiteral("ファイルを読み込めません。");
}

} // namespace

ReportCheck::ReportCheck(CheckOutput &output)
    : output(output), attributes(*qnVelTorDataAttribute::Instance())
{
    for (std::uint32_t field = 0; field < FieldCount; ++field)
        fieldNames[field] = output.Encode(ShiftJis::ToText(attributes.At(field)->name) + QStringLiteral(": "));
}

ReportCheck::Verdict ReportCheck::CheckFile(const QString &path)
{
    counts = {};
    shownPath = path;
    prefix = output.Encode(path) + ':';

    ReadFailure failure = ReadFailure::None;
    ReadFacts facts;
    const bool read = ReadReportLines(
            path, [this](const std::string_view *fields, std::size_t lines) { CheckLines(fields, lines); },
            // Nobody would see the rest.
            [this](std::uint64_t, std::uint64_t) { return !output.Failed(); }, &failure, &facts);
    if (!read) {
        if (failure != ReadFailure::Cancelled)
            WriteLine(QStringLiteral("読み込めません: ") + ReadFailureReason(failure, path));
        return Verdict::Unreadable;
    }

    // The header values as Open reads them from the name.
    qnVelTorData names;
    names.SetFileBaseName(FileBaseNameOfPath(path));
    CheckHeader(QStringLiteral("許諾番号"), names.GetSyoudakuBangou(), ValidateSyoudakuBangou);
    CheckHeader(QStringLiteral("報告年月"), names.GetHoukokuNengappi(), ValidateHoukokuNengappi);

    if (facts.longLines) {
        WriteFormatProblem(facts.firstLongLine, QStringLiteral("項目が19個より多い行が%1行あります（最初は%2行目）。")
                                                        .arg(facts.longLines)
                                                        .arg(facts.firstLongLine));
    }
    if (facts.oddLines) {
        WriteFormatProblem(facts.firstOddLine,
                           QStringLiteral("NULバイトまたはShift_JISでないバイトを含む行が%1行あります（最初は%2行目）。")
                                   .arg(facts.oddLines)
                                   .arg(facts.firstOddLine));
    }

    WriteLine(QStringLiteral("%1行、エラーのセル%2個（%3行）、ファイル名の問題%4件、形式の問題%5件")
                      .arg(counts.lines)
                      .arg(counts.invalidCells)
                      .arg(counts.invalidLines)
                      .arg(counts.headerProblems)
                      .arg(counts.formatProblems));
    const bool clean = counts.invalidCells == 0 && counts.headerProblems == 0 && counts.formatProblems == 0;
    return clean ? Verdict::Clean : Verdict::Problems;
}

void ReportCheck::CheckLines(const std::string_view *fields, std::size_t lines)
{
    for (std::size_t line = 0; line < lines; ++line, fields += FieldCount) {
        ++counts.lines;
        const std::uint64_t cellsBefore = counts.invalidCells;
        // The verdict alone is cheap enough for every cell; the message is
        // made only for the few that need it.
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (!attributes.IsValid(field, fields[field]))
                WriteInvalidCell(field, fields[field]);
        }
        if (counts.invalidCells != cellsBefore)
            ++counts.invalidLines;
    }
}

void ReportCheck::WriteInvalidCell(std::uint32_t field, std::string_view value)
{
    ++counts.invalidCells;
    message.clear();
    attributes.Validate(field, value, message);
    if (message != lastMessage[field]) {
        lastMessage[field] = message;
        lastEncoded[field] = output.Encode(ShiftJis::ToText(message)) + '\n';
    }
    char number[24];
    const auto end = std::to_chars(number, number + sizeof number, counts.lines).ptr;
    output.Append(prefix);
    output.Append(std::string_view(number, std::size_t(end - number)));
    output.Append(std::string_view(":"));
    output.Append(fieldNames[field]);
    output.Append(lastEncoded[field]);
}

void ReportCheck::CheckHeader(const QString &label, const std::string &value,
                              bool (*validate)(std::string_view, std::string &))
{
    message.clear();
    if (validate(value, message))
        return;
    ++counts.headerProblems;
    WriteLine(QStringLiteral("%1「%2」: %3").arg(label, ShiftJis::ToText(value), ShiftJis::ToText(message)));
}

void ReportCheck::WriteFormatProblem(std::uint64_t first, const QString &text)
{
    ++counts.formatProblems;
    // The first such line stands where a cell's line number does, for
    // editors and tools that jump to FILE:LINE.
    output.Append(prefix);
    output.AppendLine(QString::number(first) + QStringLiteral(": ") + text);
}

void ReportCheck::WriteLine(const QString &text)
{
    output.Append(prefix);
    output.AppendLine(QLatin1Char(' ') + text);
}
