#include "DelimitedText.h"

#include <algorithm>

namespace {

constexpr char16_t Quote = u'"';

bool HoldsBreak(QStringView piece)
{
    return std::any_of(piece.begin(), piece.end(), [](QChar c) { return c == u'\t' || c == u'\r' || c == u'\n'; });
}

} // namespace

DelimitedTextReader::DelimitedTextReader(QStringView text, QChar separator, Breaks breaks)
    : text(text), separator(separator.unicode()), flatten(breaks == Breaks::AsSpace)
{
}

bool DelimitedTextReader::NextRow()
{
    // Sizes set to 0 keep the capacity: the next row reuses it.
    cells.resize(0);
    spans.clear();
    scratch.resize(0);
    if (position >= text.size())
        return false;
    ++rows;
    while (ReadCell()) { }
    cells.reserve(qsizetype(spans.size()));
    for (const Span &span : spans)
        cells.append(span.own ? QStringView(scratch).sliced(span.start, span.size) : text.sliced(span.start, span.size));
    return true;
}

bool DelimitedTextReader::ReadCell()
{
    const qsizetype size = text.size();
    const qsizetype start = position;
    qsizetype end = -1;
    if (start < size && text[start] == Quote) {
        // The closing quote is the first one that is not doubled.
        for (qsizetype from = start + 1;;) {
            const qsizetype quote = text.indexOf(QChar(Quote), from);
            if (quote < 0)
                break;
            if (quote + 1 < size && text[quote + 1] == Quote) {
                from = quote + 2;
                continue;
            }
            end = FindCellEnd(quote + 1);
            AddQuoted(text.sliced(start + 1, quote - start - 1), text.sliced(quote + 1, end - quote - 1));
            break;
        }
        // Never closed. A later cell's opening quote always finds its close
        // (every quote after this one came in pairs), so the search to the
        // end of the text happens once at most.
        if (end < 0 && !unclosedQuotes++)
            firstUnclosedQuoteRow = rows;
    }
    if (end < 0) {
        end = FindCellEnd(start);
        AddCell(start, end);
    }
    position = end;
    if (end == size)
        return false;
    const QChar c = text[end];
    ++position;
    if (c == separator)
        return true;
    if (c == u'\r' && position < size && text[position] == u'\n')
        ++position;
    return false;
}

qsizetype DelimitedTextReader::FindCellEnd(qsizetype from) const
{
    const qsizetype size = text.size();
    const QChar *const data = text.data();
    while (from < size) {
        const char16_t c = data[from].unicode();
        if (c == separator || c == u'\r' || c == u'\n')
            break;
        ++from;
    }
    return from;
}

void DelimitedTextReader::AddCell(qsizetype start, qsizetype end)
{
    const QStringView piece = text.sliced(start, end - start);
    // Only a TAB can stand in an unquoted cell, and only in one that a TAB
    // does not end.
    if (flatten && separator != u'\t' && piece.contains(u'\t')) {
        const qsizetype from = scratch.size();
        AppendPlain(piece);
        ++flattenedCells;
        spans.push_back({from, scratch.size() - from, true});
        return;
    }
    spans.push_back({start, end - start, false});
}

void DelimitedTextReader::AddQuoted(QStringView quoted, QStringView stray)
{
    const qsizetype start = quoted.data() - 1 - text.data();
    if (!stray.isEmpty() && !quoted.contains(QChar(separator)) && !quoted.contains(u'\r') && !quoted.contains(u'\n')) {
        AddCell(start, start + quoted.size() + 2 + stray.size());
        return;
    }
    const bool doubled = quoted.contains(QChar(Quote));
    const bool breaks = flatten && (HoldsBreak(quoted) || HoldsBreak(stray));
    if (!doubled && !breaks && stray.isEmpty()) {
        spans.push_back({start + 1, quoted.size(), false});
        return;
    }
    const qsizetype from = scratch.size();
    scratch.reserve(from + quoted.size() + stray.size());
    bool replaced = false;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        const QChar c = quoted[i];
        if (c == Quote) {
            ++i; // the second of a doubled quote: a closing one never gets here
            scratch.append(c);
        } else if (flatten && (c == u'\t' || c == u'\r' || c == u'\n')) {
            if (c == u'\r' && i + 1 < quoted.size() && quoted[i + 1] == u'\n')
                ++i;
            scratch.append(u' ');
            replaced = true;
        } else {
            scratch.append(c);
        }
    }
    replaced = AppendPlain(stray) || replaced;
    if (replaced)
        ++flattenedCells;
    spans.push_back({from, scratch.size() - from, true});
}

bool DelimitedTextReader::AppendPlain(QStringView piece)
{
    // CR and LF never stand outside quotes.
    if (!flatten) {
        scratch.append(piece);
        return false;
    }
    bool replaced = false;
    for (const QChar c : piece) {
        if (c == u'\t') {
            scratch.append(u' ');
            replaced = true;
        } else {
            scratch.append(c);
        }
    }
    return replaced;
}

QChar DelimitedTextReader::GuessSeparator(QStringView text)
{
    const bool cut = text.size() > 65536;
    DelimitedTextReader reader(cut ? text.first(65536) : text, u'\t');
    while (reader.NextRow()) {
        // A quoted cell that the cut leaves open reads as unquoted, and a
        // TAB within it means nothing.
        if (reader.Cells().size() > 1 && !(cut && reader.UnclosedQuotes()))
            return u'\t';
    }
    return u',';
}
