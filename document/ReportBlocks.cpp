#include "ReportBlocks.h"

#include "CellChanges.h"
#include "DelimitedText.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <climits>
#include <new>
#include <optional>
#include <string>

namespace {

// Rows a paste or import reads between two calls of its progress: a look
// at the clock each, and no more.
constexpr int ProgressRows = 4096;

// A pasted cell's bytes, as typing stores a text: look-alikes mapped, 0x1A
// (which the file format cannot carry) left out; nothing when a character
// has no code page 932 form.
std::optional<std::string> pastedBytes(QStringView cell)
{
    // Most cells are codes, numbers and flags: no text is built for them.
    if (std::all_of(cell.begin(), cell.end(), [](QChar c) { return c.unicode() < 0x80 && c.unicode() != 0x1A; })) {
        std::string bytes(std::size_t(cell.size()), '\0');
        std::transform(cell.begin(), cell.end(), bytes.begin(), [](QChar c) { return char(c.unicode()); });
        return bytes;
    }
    QString value = cell.toString();
    value.remove(QChar(0x1A));
    return ShiftJis::FromText(ShiftJis::MapLookAlikes(std::move(value)));
}

// An upper bound of the rows in spreadsheet text: every row but the last
// ends with a line break (CR LF, CR or LF), and a break inside a cell only
// makes the bound larger.
std::size_t rowsAtMost(QStringView text)
{
    std::size_t breaks = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n' || (c == u'\r' && (i + 1 == size || text[i + 1] != u'\n')))
            ++breaks;
    }
    return breaks + 1;
}

} // namespace

QString ReportBlocks::Text(const Block &block, bool *outOfMemory) const
{
    if (outOfMemory)
        *outOfMemory = false;
    const int left = std::max(block.left, 0);
    const int right = std::min(block.right, int(FieldCount) - 1);
    try {
        QString text;
        for (int line = block.top; line <= block.bottom; ++line) {
            if (line > block.top)
                text += QStringLiteral("\r\n");
            std::string_view cells[ReportRow::CellCount];
            document.Line(line).Cells(cells);
            for (int field = left; field <= right; ++field) {
                if (field > left)
                    text += u'\t';
                // A cell can hold no TAB or line break, but one that starts
                // with a quote would lose its quotes to a paste, here or in a
                // spreadsheet, unless it is quoted itself.
                const QString cell = ShiftJis::ToText(cells[field]);
                if (cell.startsWith(u'"'))
                    text += u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"';
                else
                    text += cell;
            }
        }
        return text;
    } catch (const std::bad_alloc &) {
        if (outOfMemory)
            *outOfMemory = true;
        return {};
    }
}

EditResult ReportBlocks::Clear(const Block &block)
{
    const int left = std::max(block.left, 0);
    const int right = std::min(block.right, int(FieldCount) - 1);
    try {
        CellChanges changes(document.Content());
        for (int line = std::max(block.top, 0); line <= std::min(block.bottom, document.LineCount() - 1); ++line) {
            for (int field = left; field <= right; ++field)
                changes.Set(line, field, {});
        }
        return document.ChangeCells(std::move(changes), tr("クリア"));
    } catch (const std::bad_alloc &) {
        return EditResult::OutOfMemory;
    }
}

ReportBlocks::PasteResult ReportBlocks::Paste(int line, int field, const QString &text, const ReadProgress &progress)
{
    PasteResult result;
    if (line < 0 || line > document.LineCount() || field < 0 || field >= int(FieldCount) || text.isEmpty())
        return result;
    result.block = {line, field, line, field};
    try {
        // Row by row: only the changed cells are kept, as compact rows, and
        // never a list of the text's lines.
        DelimitedTextReader reader(text, u'\t', DelimitedTextReader::Breaks::AsSpace);
        CellChanges changes(document.Content());
        changes.Reserve(std::min<std::size_t>(rowsAtMost(text), std::size_t(INT_MAX - line)));
        const qnVelTorDataAttribute &attributes = document.Attributes();
        for (int target = line; reader.NextRow(); ++target) {
            if (target == INT_MAX) {
                result.outOfMemory = true; // no report holds that many lines
                return result;
            }
            const QList<QStringView> &texts = reader.Cells();
            std::string_view current[ReportRow::CellCount];
            document.Line(target).Cells(current);
            bool changed = false;
            for (qsizetype j = 0; j < texts.size(); ++j) {
                const int column = field + int(j);
                if (column >= int(FieldCount)) {
                    // Right of the last field lies no field.
                    result.outside += int(texts.size() - j);
                    break;
                }
                const std::optional<std::string> bytes = pastedBytes(texts[j]);
                if (!bytes) {
                    ++result.refused;
                    continue;
                }
                ++result.pasted;
                if (!attributes.IsValid(unsigned(column), *bytes))
                    ++result.invalid;
                if (current[column] == *bytes)
                    continue;
                changes.Set(target, column, *bytes);
                changed = true;
                result.block.right = std::max(result.block.right, column);
            }
            if (changed)
                result.block.bottom = target;
            if (progress && (target - line) % ProgressRows == ProgressRows - 1
                && !progress(std::uint64_t(reader.Position()), std::uint64_t(text.size()))) {
                result.cancelled = true;
                return result;
            }
        }
        result.flattened = int(reader.FlattenedCells());
        // The last word before the step is made, which takes a while too.
        if (progress && !progress(std::uint64_t(text.size()), std::uint64_t(text.size()))) {
            result.cancelled = true;
            return result;
        }
        if (changes.ChangedCells() == 0)
            return result;
        if (document.ChangeCells(std::move(changes), tr("貼り付け")) != EditResult::Done) {
            result.outOfMemory = true;
            return result;
        }
        result.changed = true;
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}
