#include "CsvCellWriter.h"

#include "ReportImporter.h"
#include "ShiftJis.h"
#include "SpreadsheetCell.h"
#include "qnVelTorFile.h"

#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

namespace {

void AppendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3F));
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool NeedsQuotes(char16_t u)
{
    return u == u',' || u == u'"' || u == u'\r' || u == u'\n' || u == u'\t';
}

// What AppendText needs to know of each code of a cell, found once per
// code, by any thread: its text in UTF-8 (up to six bytes, the first in the
// low byte), how many UTF-16 units that text has, and flags. A code whose
// text is not one or two units of the Basic Multilingual Plane, or holds a
// quote beside another unit, is Slow: its cell is decoded whole.
constexpr int LengthShift = 48; // 3 bits
constexpr int UnitsShift = 51; // 2 bits
constexpr std::uint64_t Digit = std::uint64_t(1) << 53;
constexpr std::uint64_t Formula = std::uint64_t(1) << 54; // its first unit starts a formula
constexpr std::uint64_t Quoting = std::uint64_t(1) << 55; // the cell is to be quoted
constexpr std::uint64_t Quote = std::uint64_t(1) << 56; // the code is a quote
constexpr std::uint64_t Slow = std::uint64_t(1) << 57;
constexpr std::uint64_t Changes = std::uint64_t(1) << 58; // does not read back as itself
constexpr std::uint64_t Known = std::uint64_t(1) << 63;

std::array<std::atomic<std::uint64_t>, 0x10000> pairCodes;
std::array<std::atomic<std::uint64_t>, 0x100> byteCodes;

std::uint64_t Describe(std::string_view code)
{
    const std::u16string text = ShiftJis::Decode(code);
    std::uint64_t entry = Known;
    // What the import makes of its character (look-alikes mapped, 0x1A and
    // characters without a code as 〓, bad bytes as 〓).
    const QString qtext = QString::fromStdU16String(text);
    if (ReportImporter::CellBytes(qtext) != code)
        entry |= Changes;
    const bool surrogate = std::any_of(text.begin(), text.end(), [](char16_t u) { return QChar::isSurrogate(u); });
    const bool quote = std::find(text.begin(), text.end(), u'"') != text.end();
    if (text.empty() || text.size() > 2 || surrogate || (quote && text.size() > 1))
        return entry | Slow;
    std::string utf8;
    for (const char16_t u : text) {
        AppendUtf8(utf8, u);
        if (SpreadsheetCell::IsDigit(u))
            entry |= Digit;
        if (NeedsQuotes(u))
            entry |= Quoting;
    }
    if (SpreadsheetCell::StartsFormula(text.front()))
        entry |= Formula;
    if (quote)
        entry |= Quote;
    for (std::size_t i = 0; i < utf8.size(); ++i)
        entry |= std::uint64_t(static_cast<unsigned char>(utf8[i])) << (8 * i);
    return entry | std::uint64_t(utf8.size()) << LengthShift | std::uint64_t(text.size()) << UnitsShift;
}

std::uint64_t CodeEntry(std::atomic<std::uint64_t> &slot, std::string_view code)
{
    std::uint64_t entry = slot.load(std::memory_order_relaxed);
    if (entry == 0) {
        entry = Describe(code);
        slot.store(entry, std::memory_order_relaxed);
    }
    return entry;
}

// The same flags for ASCII, whose text is itself.
constexpr auto asciiFlags = [] {
    std::array<std::uint64_t, 0x80> flags {};
    for (char16_t c = 0; c < 0x80; ++c) {
        if (c >= u'0' && c <= u'9')
            flags[c] |= Digit;
        if (c == u'=' || c == u'+' || c == u'-' || c == u'@')
            flags[c] |= Formula;
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n' || c == u'\t')
            flags[c] |= Quoting;
        if (c == u'"')
            flags[c] |= Quote;
    }
    return flags;
}();

// How a cell is framed: a cell in ="…" form stands bare when its text
// needs no quoting (="000", the form spreadsheets know best), and is quoted
// as a whole otherwise ("=""1,000"""). `textQuote` quotes stand for one
// quote of the cell's text.
struct CellFrame
{
    bool form;
    bool quoted;
    std::size_t formQuote = quoted ? 2 : 1; // for one quote of the formula's string
    std::size_t textQuote = formQuote * (form ? 2 : 1);

    void Open(std::string &out) const
    {
        if (quoted)
            out += '"';
        if (form) {
            out += '=';
            out.append(formQuote, '"');
        }
    }
    void Close(std::string &out) const
    {
        if (form)
            out.append(formQuote, '"');
        if (quoted)
            out += '"';
    }
};

} // namespace

void CsvCellWriter::AppendText(std::string &out, QStringView text)
{
    const CellFrame frame {SpreadsheetCell::NeedsTextForm(text),
                           std::any_of(text.begin(), text.end(), [](QChar c) { return NeedsQuotes(c.unicode()); })};
    frame.Open(out);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80 && u != u'"') {
            out += char(u);
        } else if (u == u'"') {
            out.append(frame.textQuote, '"');
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, text[++i].unicode()));
        } else {
            // A lone surrogate has no UTF-8 form; Shift-JIS text never has one.
            AppendUtf8(out, QChar::isSurrogate(u) ? U'\uFFFD' : char32_t(u));
        }
    }
    frame.Close(out);
}

bool CsvCellWriter::AppendBytes(std::string &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t size = bytes.size();
    if (size == 0)
        return false;
    // The ASCII the cell starts with, most often all of it, is its own
    // text, and changes only by a byte no saved report holds.
    std::uint64_t seen = 0;
    bool control = false;
    std::size_t i = 0;
    for (; i < size && p[i] < 0x80; ++i) {
        seen |= asciiFlags[p[i]];
        control = control || p[i] < 0x20;
    }
    std::uint64_t first = p[0] < 0x80 ? asciiFlags[p[0]] : 0; // the flags of the first code
    std::size_t units = i;
    bool changed = false;
    std::string_view text = bytes; // in UTF-8
    if (i == size) {
        changed = control && !IsStorableValue(bytes);
    } else {
        // The rest a code at a time: a code's bytes read back as themselves
        // or not whatever the cell holds beside them.
        changed = control && std::find(p, p + i, 0x1A) != p + i;
        utf8.assign(bytes.data(), i);
        while (i < size) {
            const bool atStart = i == 0;
            std::uint64_t entry;
            if (p[i] < 0x80) {
                entry = asciiFlags[p[i]];
                utf8 += char(p[i]);
                ++units;
                changed = changed || p[i] == 0x1A;
                ++i;
            } else {
                const bool pair = ShiftJis::IsLeadByte(p[i]) && i + 1 < size && ShiftJis::IsTrailByte(p[i + 1]);
                entry = pair ? CodeEntry(pairCodes[std::size_t(p[i]) << 8 | p[i + 1]], bytes.substr(i, 2))
                             : CodeEntry(byteCodes[p[i]], bytes.substr(i, 1));
                if (entry & Slow)
                    return AppendDecoded(out, bytes);
                const char code[6] = {char(entry), char(entry >> 8), char(entry >> 16),
                                      char(entry >> 24), char(entry >> 32), char(entry >> 40)};
                utf8.append(code, entry >> LengthShift & 7);
                units += std::size_t(entry >> UnitsShift & 3);
                changed = changed || (entry & Changes);
                i += pair ? 2 : 1;
            }
            if (atStart)
                first = entry;
            seen |= entry;
        }
        text = utf8;
    }
    // SpreadsheetCell::NeedsTextForm; past the length a formula takes, the
    // form depends on the whole text.
    const bool form = (first & Formula) || (seen & Digit);
    if (form && units > std::size_t(SpreadsheetCell::MaxFormulaText))
        return AppendDecoded(out, bytes);
    const CellFrame frame {form, (seen & Quoting) != 0};
    frame.Open(out);
    if (seen & Quote) {
        for (const char c : text) {
            if (c == '"')
                out.append(frame.textQuote, '"');
            else
                out += c;
        }
    } else {
        out += text;
    }
    frame.Close(out);
    return changed;
}

bool CsvCellWriter::AppendDecoded(std::string &out, std::string_view bytes)
{
    text.resize(ShiftJis::DecodeCapacity(bytes.size()));
    const char16_t *end = ShiftJis::DecodeInto(bytes, text.data());
    AppendText(out, QStringView(text.data(), end - text.data()));
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (std::all_of(p, p + bytes.size(), [](unsigned char c) { return c < 0x80; }))
        return !IsStorableValue(bytes);
    // Whether each code reads back as itself.
    for (std::size_t i = 0; i < bytes.size();) {
        if (p[i] < 0x80) {
            if (p[i] == 0x1A)
                return true;
            ++i;
            continue;
        }
        const bool pair = ShiftJis::IsLeadByte(p[i]) && i + 1 < bytes.size() && ShiftJis::IsTrailByte(p[i + 1]);
        const std::uint64_t entry = pair ? CodeEntry(pairCodes[std::size_t(p[i]) << 8 | p[i + 1]], bytes.substr(i, 2))
                                         : CodeEntry(byteCodes[p[i]], bytes.substr(i, 1));
        if (entry & Changes)
            return true;
        i += pair ? 2 : 1;
    }
    return false;
}
