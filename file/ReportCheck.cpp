#include "ReportCheck.h"

#include "CheckOutput.h"
#include "FormatProblem.h"
#include "LinePartsReader.h"
#include "ShiftJis.h"
#include "qnVelTorData.h"
#include "qnVelTorFile.h"
#include "qnVelTorFileName.h"
#include "qnVelTorHeaderRules.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
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
    const QString notFound = QCoreApplication::translate("ReportCheck", "ファイルが見つかりません。");
    const QString noRight = QCoreApplication::translate("ReportCheck", "ファイルを読む権限がありません。");
    const QString other = QCoreApplication::translate("ReportCheck", "ファイルを開けません。");
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
        return QCoreApplication::translate("ReportCheck", "ファイルが見つかりません。");
    case ReadFailure::NoPermission:
        return QCoreApplication::translate("ReportCheck", "ファイルを読む権限がありません。");
    case ReadFailure::CannotOpen:
        return CannotOpenReason(path);
    case ReadFailure::NotRegularFile:
        return QCoreApplication::translate("ReportCheck",
                                           "通常のファイルではありません（フォルダー、パイプ、デバイスなど）。");
    case ReadFailure::ReadError:
        return QCoreApplication::translate("ReportCheck",
                                           "読み込み中にエラーが起きました。検査は途中までです。");
    case ReadFailure::OutOfMemory:
        return QCoreApplication::translate("ReportCheck", "メモリが足りません。");
    case ReadFailure::TooManyLines:
        return QCoreApplication::translate("ReportCheck", "行が%1行を超えています。検査は途中までです。")
                .arg(qnVelTorData::MaxRecords);
    }
    return QCoreApplication::translate("ReportCheck", "ファイルを読み込めません。");
}

} // namespace

ReportCheck::ReportCheck(CheckOutput &output, bool notes)
    : output(output), attributes(*qnVelTorDataAttribute::Instance()), notes(notes)
{
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        fieldNames[field] = output.Encode(ShiftJis::ToText(attributes.At(field)->name) + QStringLiteral(": "));
        cellLimit = std::max<std::size_t>(cellLimit, attributes.MaxLength(field) + 1);
    }
    noteLabel = output.Encode(QCoreApplication::translate("ReportCheck", "注意: "));
    for (std::uint8_t kind = 1; kind <= qnVelTorDataNotes::LastKind; ++kind)
        noteTexts[kind] = output.Encode(ShiftJis::ToText(qnVelTorDataNotes::Message(NoteKind(kind)))) + '\n';
}

ReportCheck::Verdict ReportCheck::CheckFile(const QString &path)
{
    counts = {};
    lineNotes = qnVelTorLineNotes();
    prefix = output.Encode(CheckOutput::Escaped(path)) + ':';

    // One part, on this thread, with the fields cut: a line of gigabytes
    // costs no more than a short one.
    LinePartsReader reader({[this](const std::string_view *fields, std::size_t lines) { CheckLines(fields, lines); }});
    reader.cellLimit = cellLimit;
    // Nobody would see the rest.
    const bool read = reader.Read(path, [this](std::uint64_t, std::uint64_t) { return !output.Failed(); });
    const ReadFailure failure = reader.Failure();
    const ReadFacts &facts = reader.Facts();
    if (!read) {
        if (failure != ReadFailure::Cancelled) {
            WriteLine(QCoreApplication::translate("ReportCheck", "読み込めません: ")
                      + ReadFailureReason(failure, path));
        }
        return Verdict::Unreadable;
    }

    // The header values as Open reads them from the name.
    qnVelTorData names;
    names.SetFileBaseName(FileBaseNameOfPath(path));
    CheckHeader(QCoreApplication::translate("ReportCheck", "許諾番号"), names.GetSyoudakuBangou(),
                ValidateSyoudakuBangou);
    CheckHeader(QCoreApplication::translate("ReportCheck", "報告年月"), names.GetHoukokuNengappi(),
                ValidateHoukokuNengappi);

    for (const FormatProblem &problem : FormatProblems(facts))
        WriteFormatProblem(problem, facts);

    QString summary = QCoreApplication::translate("ReportCheck",
                                                  "%1行、エラーのセル%2個（%3行）、ファイル名の問題%4件、形式の問題%5件")
                              .arg(counts.lines)
                              .arg(counts.invalidCells)
                              .arg(counts.invalidLines)
                              .arg(counts.headerProblems)
                              .arg(counts.formatProblems);
    if (notes)
        summary += QCoreApplication::translate("ReportCheck", "、注意%1件").arg(counts.notes);
    WriteLine(summary);
    if (counts.invalidCells || counts.headerProblems || counts.formatProblems)
        return Verdict::Problems;
    return counts.notes ? Verdict::Notes : Verdict::Clean;
}

void ReportCheck::CheckLines(const std::string_view *fields, std::size_t lines)
{
    qnVelTorLineNotes::Note found[qnVelTorLineNotes::MaxNotes];
    for (std::size_t line = 0; line < lines; ++line, fields += FieldCount) {
        ++counts.lines;
        const std::uint64_t cellsBefore = counts.invalidCells;
        // In field order, whatever a cell earns: an invalid cell earns no
        // note, so the two never meet.
        const std::size_t noted = notes ? lineNotes.Check(fields, found) : 0;
        std::size_t next = 0;
        // The verdict alone is cheap enough for every cell; the message is
        // made only for the few that need it.
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (!attributes.IsValid(field, fields[field]))
                WriteInvalidCell(field, fields[field]);
            else if (next < noted && found[next].field == field)
                WriteNote(found[next++]);
        }
        for (; next < noted; ++next)
            WriteNote(found[next]);
        if (counts.invalidCells != cellsBefore)
            ++counts.invalidLines;
    }
}

void ReportCheck::WriteLineNumber(std::uint32_t field)
{
    char number[24];
    const auto end = std::to_chars(number, number + sizeof number, counts.lines).ptr;
    output.Append(prefix);
    output.Append(std::string_view(number, std::size_t(end - number)));
    output.Append(std::string_view(":"));
    if (field < FieldCount)
        output.Append(fieldNames[field]);
    else
        output.Append(std::string_view(" "));
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
    WriteLineNumber(field);
    output.Append(lastEncoded[field]);
}

void ReportCheck::WriteNote(const qnVelTorLineNotes::Note &note)
{
    ++counts.notes;
    WriteLineNumber(note.field);
    output.Append(noteLabel);
    output.Append(noteTexts[std::size_t(note.kind)]);
}

void ReportCheck::CheckHeader(const QString &label, const std::string &value,
                              bool (*validate)(std::string_view, std::string &))
{
    message.clear();
    if (validate(value, message))
        return;
    ++counts.headerProblems;
    // The value comes from the file's name, which may hold anything.
    WriteLine(QCoreApplication::translate("ReportCheck", "%1「%2」: %3")
                      .arg(label, CheckOutput::Escaped(ShiftJis::ToText(value)), ShiftJis::ToText(message)));
}

void ReportCheck::WriteFormatProblem(const FormatProblem &problem, const ReadFacts &facts)
{
    ++counts.formatProblems;
    const QString text = FormatProblemText(problem, facts.looks);
    if (!problem.first) {
        WriteLine(text);
        return;
    }
    // The first such line stands where a cell's line number does, for
    // editors and tools that jump to FILE:LINE.
    output.Append(prefix);
    output.AppendLine(QString::number(problem.first) + QStringLiteral(": ") + text);
}

void ReportCheck::WriteLine(const QString &text)
{
    output.Append(prefix);
    output.AppendLine(QLatin1Char(' ') + text);
}
