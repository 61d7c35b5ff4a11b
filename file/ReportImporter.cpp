#include "ReportImporter.h"

#include "CsvPartsReader.h"
#include "ShiftJis.h"
#include "SpreadsheetCell.h"

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <string_view>
#include <vector>

namespace {

constexpr char16_t EofCharacter = 0x1A;
constexpr char16_t Geta = 0x3013; // 〓, the customary mark of a character that could not be set
constexpr std::string_view GetaBytes = "\x81\xAC";

// Lines handed over at once, as the report reader does.
constexpr std::size_t BatchLines = 4096;

// A cell's text: the string of ="…" form, or the cell as it stands.
std::optional<QString> TextOfForm(QStringView cell)
{
    // Most cells are not in the form: no copy for them.
    return cell.startsWith(u"=\"") ? SpreadsheetCell::FromTextForm(cell) : std::nullopt;
}

} // namespace

ReportImporter::ReportImporter(QStringView text, QChar separator)
    : text(text), reader(text, separator, DelimitedTextReader::Breaks::AsSpace)
{
    facts.separator = separator;
}

bool ReportImporter::NextLine(std::string (&cells)[FieldCount])
{
    for (;;) {
        const qsizetype start = reader.Position();
        if (!reader.NextRow())
            return false;
        // A row that starts with its line break; "" before it would be a
        // cell, if an empty one.
        if (text[start] == u'\r' || text[start] == u'\n') {
            ++facts.blankLines;
            continue;
        }
        const bool first = std::exchange(firstRow, false);
        if (first && IsHeader()) {
            facts.headerSkipped = true;
            continue;
        }
        break;
    }
    const std::uint64_t line = ++facts.lines;
    if (const auto flattened = std::uint64_t(reader.FlattenedCells()); flattened > facts.flattenedCells) {
        if (!facts.flattenedCells)
            facts.firstFlattenedLine = line;
        facts.flattenedCells = flattened;
    }
    if (const auto unclosed = std::uint64_t(reader.UnclosedQuotes()); unclosed > facts.unclosedQuotes) {
        if (!facts.unclosedQuotes)
            facts.firstUnclosedQuoteLine = line;
        facts.unclosedQuotes = unclosed;
    }
    const QList<QStringView> &row = reader.Cells();
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        if (field >= std::uint32_t(row.size())) {
            cells[field].clear();
            continue;
        }
        const std::optional<QString> form = TextOfForm(row[field]);
        bool substituted = false;
        cells[field] = CellBytes(form ? QStringView(*form) : row[field], &substituted);
        if (substituted && !facts.substitutedCells++)
            facts.firstSubstitutedLine = line;
    }
    if (std::any_of(row.begin() + std::min<qsizetype>(row.size(), FieldCount), row.end(),
                    [](QStringView cell) { return !cell.isEmpty(); })
        && !facts.longLines++) {
        facts.firstLongLine = line;
    }
    return true;
}

bool ReportImporter::IsHeader() const
{
    const QList<QStringView> &row = reader.Cells();
    const QStringList &names = SpreadsheetCell::FieldNames();
    if (row.size() < qsizetype(FieldCount))
        return false;
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        const std::optional<QString> form = TextOfForm(row[field]);
        if ((form ? QStringView(*form) : row[field]) != names[field])
            return false;
    }
    return std::all_of(row.begin() + FieldCount, row.end(), [](QStringView cell) { return cell.isEmpty(); });
}

std::string ReportImporter::CellBytes(QStringView text, bool *substituted)
{
    if (substituted)
        *substituted = false;
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80 && c != EofCharacter; })) {
        std::string bytes(std::size_t(text.size()), '\0');
        std::transform(text.begin(), text.end(), bytes.begin(), [](QChar c) { return char(c.unicode()); });
        return bytes;
    }
    QString value = text.toString();
    // 0x1A has a code but would end the report file where it stands.
    const qsizetype marks = value.count(QChar(EofCharacter));
    value.replace(QChar(EofCharacter), QChar(Geta));
    qsizetype replaced = 0;
    std::string bytes = ShiftJis::FromTextReplacing(ShiftJis::MapLookAlikes(std::move(value)), GetaBytes, &replaced);
    if (substituted)
        *substituted = marks + replaced > 0;
    return bytes;
}

bool ImportBytes(QByteArray bytes, const TakeLines &take, const std::function<bool(double)> &parsed,
                 std::uint64_t maxLines, ReadFailure &why, ImportFacts &facts)
{
    why = ReadFailure::None;
    TextEncoding::Decoded decoded = TextEncoding::Decode(bytes);
    bytes = QByteArray();
    // Text files of old systems end with 0x1A; anywhere else it is a
    // character the report cannot hold.
    if (decoded.text.endsWith(QChar(EofCharacter)))
        decoded.text.chop(1);
    ReportImporter importer(decoded.text, DelimitedTextReader::GuessSeparator(decoded.text));
    const auto report = [&] {
        facts = importer.Facts();
        facts.encoding = decoded.encoding;
        facts.badBytes = decoded.badBytes;
    };

    struct Line
    {
        std::string cells[FieldCount];
    };
    // Kept from batch to batch: the strings keep their capacity.
    std::vector<Line> lines(BatchLines);
    const std::unique_ptr<std::string_view[]> views(new std::string_view[BatchLines * FieldCount]);
    std::string packed;
    std::size_t filled = 0;
    const auto handOver = [&] {
        // Each line's cells one after another, as a report's lines come.
        packed.clear();
        for (std::size_t line = 0; line < filled; ++line) {
            for (std::uint32_t field = 0; field < FieldCount; ++field)
                packed += lines[line].cells[field];
        }
        const char *at = packed.data();
        for (std::size_t line = 0; line < filled; ++line) {
            for (std::uint32_t field = 0; field < FieldCount; ++field) {
                const std::size_t size = lines[line].cells[field].size();
                views[line * FieldCount + field] = std::string_view(at, size);
                at += size;
            }
        }
        if (filled && take)
            take(views.get(), filled);
        filled = 0;
    };
    while (importer.NextLine(lines[filled].cells)) {
        if (importer.Facts().lines > maxLines) {
            why = ReadFailure::TooManyLines;
            report();
            return false;
        }
        if (++filled < BatchLines)
            continue;
        handOver();
        if (parsed && !parsed(double(importer.Position()) / double(decoded.text.size()))) {
            why = ReadFailure::Cancelled;
            report();
            return false;
        }
    }
    handOver();
    report();
    return true;
}

bool ImportReportLines(const QString &path, const TakeLines &take, const ReadProgress &progress,
                       ReadFailure *failure, ImportFacts *facts)
{
    CsvPartsReader reader({take});
    const bool read = reader.Read(path, progress);
    if (failure)
        *failure = reader.Failure();
    if (facts)
        *facts = reader.Facts();
    return read;
}
