#include "CsvPartImporter.h"

#include "InputFile.h"
#include "ShiftJis.h"
#include "SpreadsheetCell.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace {

constexpr char16_t EofCharacter = 0x1A;
constexpr char16_t Geta = 0x3013; // 〓, the customary mark of a character that could not be set
constexpr std::string_view GetaBytes = "\x81\xAC";

// Lines handed over at once, as the report reader does.
constexpr std::size_t BatchLines = 4096;

bool IsHighSurrogate(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

// What a character of a cell becomes in the report (ReportImporter::
// CellBytes), found the first time it is met, by any thread: its bytes (the
// first in the low byte), how many, and whether it was replaced by 〓, as
// 0x1A and a character without a code are. Look-alikes are mapped.
constexpr std::uint32_t Known = 1u << 31;
constexpr std::uint32_t Replaced = 1u << 30;
std::array<std::atomic<std::uint32_t>, 0x10000> reportCodes;

std::uint32_t ReportCode(char16_t unit)
{
    std::atomic<std::uint32_t> &entry = reportCodes[unit];
    std::uint32_t known = entry.load(std::memory_order_relaxed);
    if (known == 0) {
        char16_t character = unit;
        known = Known;
        // 0x1A has a code but would end the report file where it stands.
        if (character == EofCharacter) {
            character = Geta;
            known |= Replaced;
        }
        char code[2] = {};
        int length = ShiftJis::EncodeCharacter(ShiftJis::MapLookAlike(character), code);
        if (length == 0) {
            std::copy(GetaBytes.begin(), GetaBytes.end(), code);
            length = 2;
            known |= Replaced;
        }
        known |= std::uint32_t(length) << 16 | std::uint32_t(static_cast<unsigned char>(code[1])) << 8
                | static_cast<unsigned char>(code[0]);
        entry.store(known, std::memory_order_relaxed);
    }
    return known;
}

} // namespace

CsvPartImporter::CsvPartImporter(TakeLines take, TextEncoding::Encoding encoding, char separator, bool first)
    : take(std::move(take)), encoding(encoding), rows(separator), firstRow(first)
{
    facts.encoding = encoding;
    facts.separator = QChar(char16_t(separator));
}

bool CsvPartImporter::AtCleanRowStart() const
{
    return !firstRow && rows.FlattenedCells() == facts.flattenedCells && rows.UnclosedQuotes() == facts.unclosedQuotes;
}

CsvPartImporter::End CsvPartImporter::Read(InputFile &file, std::uint64_t begin,
                                           const std::function<bool(std::uint64_t)> &afterChunk)
{
    std::vector<char> buffer(std::max<std::size_t>(chunkSize, 2));
    std::size_t filled = 0;
    std::size_t position = 0;
    std::uint64_t at = begin; // where the buffer starts in the file
    bool atEnd = false;
    for (;;) {
        CsvByteRows::Step step;
        while ((step = rows.Next(buffer.data(), filled, position, atEnd)) == CsvByteRows::Step::Row) {
            if (!TakeRow()) {
                failure = ReadFailure::TooManyLines;
                return End::Failed;
            }
            if (sizes.size() == BatchLines * FieldCount)
                HandOver();
            if (at + position >= watch && atRowEnd && atRowEnd(at + position)) {
                HandOver();
                return End::Stopped;
            }
        }
        if (step == CsvByteRows::Step::End) {
            HandOver();
            return End::TextEnd;
        }
        // The row not yet whole moves to the front; one that fills half
        // the buffer gets a larger one, so that it is read again only a
        // few times however long it is.
        std::memmove(buffer.data(), buffer.data() + position, filled - position);
        at += position;
        filled -= position;
        position = 0;
        if (filled > buffer.size() / 2)
            buffer.resize(buffer.size() * 2);
        const qint64 got = file.ReadAt(buffer.data() + filled, qint64(buffer.size() - filled), qint64(at + filled));
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return End::Failed;
        }
        if (got == 0) {
            atEnd = true;
            // Text files of old systems end with 0x1A; anywhere else it is
            // a character the report cannot hold.
            if (filled > 0 && buffer[filled - 1] == char(EofCharacter))
                --filled;
        }
        filled += std::size_t(got);
        if (afterChunk && !afterChunk(at + filled - begin))
            return End::Cancelled;
    }
}

bool CsvPartImporter::TakeRow()
{
    // A row that starts with its line break; "" before it would be a cell,
    // if an empty one.
    if (rows.Blank()) {
        ++facts.blankLines;
        return true;
    }
    if (std::exchange(firstRow, false) && IsHeader()) {
        facts.headerSkipped = true;
        return true;
    }
    const std::uint64_t line = ++facts.lines;
    if (line > maxLines)
        return false;
    if (rows.FlattenedCells() > facts.flattenedCells) {
        if (!facts.flattenedCells)
            facts.firstFlattenedLine = line;
        facts.flattenedCells = rows.FlattenedCells();
    }
    if (rows.UnclosedQuotes() > facts.unclosedQuotes) {
        if (!facts.unclosedQuotes)
            facts.firstUnclosedQuoteLine = line;
        facts.unclosedQuotes = rows.UnclosedQuotes();
    }
    const std::vector<std::string_view> &cells = rows.Cells();
    const std::vector<std::size_t> &joins = rows.Joins();
    const std::uint64_t converted = rows.ConvertedCells();
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        const std::size_t start = made.size();
        bool substituted = false;
        if (field >= cells.size()) {
        } else if (joins[field]) [[unlikely]] {
            // Of two pieces: as the text is read, a cell at a time.
            const QString text = CellText(cells[field], joins[field]);
            const std::optional<QString> form =
                    text.startsWith(u"=\"") ? SpreadsheetCell::FromTextForm(text) : std::nullopt;
            made += ReportImporter::CellBytes(form ? QStringView(*form) : QStringView(text), &substituted);
        } else if (const std::string_view cell = TextOfForm(cells[field]); !(converted >> field & 1)) {
            // A cell of ASCII is its own report bytes.
            made += cell;
        } else {
            substituted = Convert(cell);
        }
        if (substituted && !facts.substitutedCells++)
            facts.firstSubstitutedLine = line;
        sizes.push_back(made.size() - start);
    }
    // Cells past the 19th are dropped; their bad bytes still count.
    bool filledPast = false;
    for (std::size_t field = FieldCount; field < cells.size(); ++field) {
        filledPast = filledPast || !cells[field].empty();
        if (converted >> std::min<std::size_t>(field, 63) & 1)
            CellText(cells[field], joins[field]);
    }
    if (filledPast && !facts.longLines++)
        facts.firstLongLine = line;
    return true;
}

bool CsvPartImporter::IsHeader()
{
    const std::vector<std::string_view> &cells = rows.Cells();
    const QStringList &names = SpreadsheetCell::FieldNames();
    if (cells.size() < FieldCount)
        return false;
    // Decoded as they are, bad bytes and all: a cell with one is no name,
    // and the row is read again as a line, which counts them.
    const qsizetype badBytes = facts.badBytes;
    bool header = true;
    for (std::uint32_t field = 0; field < FieldCount && header; ++field) {
        const QString text = CellText(cells[field], rows.Joins()[field]);
        const std::optional<QString> form =
                text.startsWith(u"=\"") ? SpreadsheetCell::FromTextForm(text) : std::nullopt;
        header = (form ? *form : text) == names[field];
    }
    facts.badBytes = badBytes;
    return header
            && std::all_of(cells.begin() + FieldCount, cells.end(), [](std::string_view cell) { return cell.empty(); });
}

QString CsvPartImporter::CellText(std::string_view cell, std::size_t join)
{
    QString text;
    for (const std::string_view piece : {cell.substr(0, join ? join : cell.size()), cell.substr(join ? join : cell.size())}) {
        const std::u16string_view decoded = Decode(piece);
        text.append(QStringView(decoded.data(), qsizetype(decoded.size())));
    }
    return text;
}

void CsvPartImporter::HandOver()
{
    const std::size_t count = sizes.size() / FieldCount;
    if (count == 0)
        return;
    views.resize(sizes.size());
    const char *at = made.data();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        views[i] = std::string_view(at, sizes[i]);
        at += sizes[i];
    }
    sizes.clear();
    if (take)
        take(views.data(), count);
    made.clear();
}

std::string_view CsvPartImporter::TextOfForm(std::string_view cell)
{
    // SpreadsheetCell::FromTextForm on the bytes: ="…" with every quote
    // within doubled. Most cells are not in the form: no copy for them.
    if (cell.size() < 3 || cell[0] != '=' || cell[1] != '"' || cell.back() != '"')
        return cell;
    const std::string_view inner = cell.substr(2, cell.size() - 3);
    if (inner.find('"') == std::string_view::npos)
        return inner;
    form.clear();
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '"') {
            // ="a"&"b" is a formula of two strings, not this form.
            if (i + 1 == inner.size() || inner[i + 1] != '"')
                return cell;
            ++i;
        }
        form += inner[i];
    }
    return form;
}

std::u16string_view CsvPartImporter::Decode(std::string_view bytes)
{
    if (encoding == TextEncoding::Encoding::ShiftJis) {
        text.resize(ShiftJis::DecodeCapacity(bytes.size()));
        const char16_t *end = ShiftJis::DecodeInto(bytes, text.data());
        // Shift-JIS has no U+FFFD of its own: each one stands for a bad byte.
        const std::u16string_view decoded(text.data(), std::size_t(end - text.data()));
        facts.badBytes += qsizetype(std::count(decoded.begin(), decoded.end(), u'\uFFFD'));
        return decoded;
    }
    text.resize(bytes.size());
    const qsizetype units = TextEncoding::DecodeUtf8Into(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                                         text.data(), facts.badBytes);
    return std::u16string_view(text.data(), std::size_t(units));
}

bool CsvPartImporter::Convert(std::string_view bytes)
{
    // ReportImporter::CellBytes a character at a time, with no string made
    // on the way; a bad byte's U+FFFD and a surrogate pair become 〓.
    bool substituted = false;
    const auto append = [&](char16_t unit) {
        if (unit < 0x80 && unit != EofCharacter) {
            made += char(unit);
            return;
        }
        const std::uint32_t code = ReportCode(unit);
        const char bytes[2] = {char(code & 0xFF), char(code >> 8 & 0xFF)};
        made.append(bytes, code >> 16 & 3);
        substituted = substituted || (code & Replaced);
    };
    if (encoding != TextEncoding::Encoding::ShiftJis) {
        // Straight from the UTF-8, as TextEncoding::Decode reads it.
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const auto *const end = p + bytes.size();
        while (p < end) {
            char32_t character = 0;
            const int length = TextEncoding::ReadUtf8(p, end, character);
            if (length <= 0) {
                ++facts.badBytes;
                append(u'\uFFFD');
                ++p;
            } else if (character >= 0x10000) {
                made += GetaBytes;
                substituted = true;
                p += length;
            } else {
                append(char16_t(character));
                p += length;
            }
        }
        return substituted;
    }
    const std::u16string_view decoded = Decode(bytes);
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (IsHighSurrogate(decoded[i]) && i + 1 < decoded.size()) {
            made += GetaBytes;
            substituted = true;
            ++i;
        } else {
            append(decoded[i]);
        }
    }
    return substituted;
}
