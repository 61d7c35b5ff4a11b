#include "ReportReplace.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The characters code page 932 writes more than one way (NEC's row 13 and
// the IBM extensions twice over, a few symbols of JIS X 0208 again among
// them): found by reading every double-byte code once.
const std::unordered_set<char16_t> &writtenTwoWays()
{
    static const std::unordered_set<char16_t> twice = [] {
        std::unordered_map<char16_t, int> seen;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead >= 0xA0 && lead <= 0xDF)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char code[2] = {char(lead), char(trail)};
                const QString text = ShiftJis::ToText(std::string_view(code, 2));
                if (text.size() == 1 && text[0] != QChar::ReplacementCharacter)
                    ++seen[text[0].unicode()];
            }
        }
        std::unordered_set<char16_t> result;
        for (const auto &[character, codes] : seen) {
            if (codes > 1)
                result.insert(character);
        }
        return result;
    }();
    return twice;
}

// Whether a cell can match `c` only where it holds c's own bytes: a
// character written one way only, and none other that the folding makes
// the same (another case; a full-width or half-width form, a kana that
// takes a sound mark).
bool standsForItself(QChar c, const TextFolding &folding)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        const bool letter = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
        const bool digit = u >= '0' && u <= '9';
        return (!letter || (folding.MatchCase() && !folding.FoldWidth())) && (!digit || !folding.FoldWidth());
    }
    if (c.isSurrogate() || u == QChar::ReplacementCharacter || writtenTwoWays().count(u))
        return false;
    if (!folding.MatchCase() && (c.toLower() != c || c.toUpper() != c || c.toCaseFolded() != c))
        return false;
    return !folding.FoldWidth() || !((u >= 0x3000 && u <= 0x30FF) || (u >= 0xFF00 && u <= 0xFFEF));
}

} // namespace

ReportReplace::ReportReplace(ReportDocument &document, const QString &find, const QString &replacement,
                             const TextFolding &folding, const Scope &scope)
    : document(document), find(find), replacement(ShiftJis::MapLookAlikes(replacement)), folding(folding),
      scope(scope)
{
    for (char16_t control : {u'\t', u'\r', u'\n', char16_t(0x1A)})
        this->replacement.remove(QChar(control));
    foldedFind = folding.Fold(find);
    this->scope.top = std::max(scope.top, 0);
    this->scope.left = std::max(scope.left, 0);
    this->scope.bottom = std::min(scope.bottom, document.LineCount() - 1);
    this->scope.right = std::min(scope.right, int(FieldCount) - 1);
    asciiFind = std::all_of(find.begin(), find.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (asciiFind) {
        findBytes = find.toStdString();
        if (folding.Folds())
            std::transform(findBytes.begin(), findBytes.end(), findBytes.begin(), lowerAscii);
        return;
    }
    // A character outside ASCII that only its own bytes can stand for: a
    // cell without them holds no match. Kanji are best, being rare.
    for (const bool ascii : {false, true}) {
        for (const QChar c : find) {
            if ((c.unicode() < 0x80) == ascii && standsForItself(c, folding)) {
                guideBytes = ShiftJis::FromText(QString(c)).value_or(std::string());
                if (!guideBytes.empty())
                    return;
            }
        }
    }
}

bool ReportReplace::InScope(int line, int field) const
{
    return line >= scope.top && line <= scope.bottom && field >= scope.left && field <= scope.right;
}

bool ReportReplace::MayHold(std::string_view bytes) const
{
    // Outside ASCII the find text's bytes are no guide: a character may be
    // written two ways in code page 932 (0xED40 and 0xFA5C are one kanji),
    // and with widths folded a full-width letter stands for an ASCII one.
    // One of its characters may be (above). An ASCII character is read only
    // from its own byte, and no other character code page 932 holds folds
    // to an ASCII letter.
    if (!asciiFind)
        return guideBytes.empty() || bytes.find(guideBytes) != std::string_view::npos;
    if (folding.FoldWidth())
        return true;
    if (folding.MatchCase())
        return bytes.find(findBytes) != std::string_view::npos;
    return std::search(bytes.begin(), bytes.end(), findBytes.begin(), findBytes.end(),
                       [](char a, char b) { return lowerAscii(a) == b; })
            != bytes.end();
}

qsizetype ReportReplace::FindInCell(const QString &text, qsizetype from, qsizetype &length) const
{
    if (!folding.Folds()) {
        const qsizetype at = text.indexOf(find, from);
        length = find.size();
        return at;
    }
    std::vector<qsizetype> origins;
    const QString folded = folding.Fold(text, &origins);
    const auto first = std::lower_bound(origins.begin(), origins.end(), from);
    const qsizetype at = folded.indexOf(foldedFind, qsizetype(first - origins.begin()));
    if (at < 0)
        return -1;
    length = origins[std::size_t(at + foldedFind.size())] - origins[std::size_t(at)];
    return origins[std::size_t(at)];
}

bool ReportReplace::Store(int field, const QString &text, std::uint64_t count, std::string &bytes,
                          Result &result) const
{
    std::optional<std::string> encoded = ShiftJis::FromText(text);
    if (!encoded) {
        result.unstorable += count;
        return false;
    }
    if (encoded->size() > document.Attributes().MaxLength(unsigned(field))) {
        result.tooLong += count;
        return false;
    }
    bytes = std::move(*encoded);
    return true;
}

ReportReplace::Result ReportReplace::ReplaceAll()
{
    Result result;
    if (find.isEmpty())
        return result;
    try {
        CellChanges changes(document.Content());
        const qnVelTorDataAttribute &attributes = document.Attributes();
        std::string bytes;
        for (int line = scope.top; line <= scope.bottom; ++line) {
            // The line's whole block first: most lines hold no match.
            if (!MayHold(document.Line(line).Bytes()))
                continue;
            std::string_view cells[ReportRow::CellCount];
            document.Line(line).Cells(cells);
            for (int field = scope.left; field <= scope.right; ++field) {
                if (cells[field].empty() || !MayHold(cells[field]))
                    continue;
                const QString text = ShiftJis::ToText(cells[field]);
                QString replaced;
                std::uint64_t count = 0;
                qsizetype done = 0;
                qsizetype length = 0;
                // A match is never empty: the find text is not.
                for (qsizetype at = FindInCell(text, 0, length); at >= 0; at = FindInCell(text, done, length)) {
                    replaced += QStringView(text).mid(done, at - done);
                    replaced += replacement;
                    done = at + length;
                    ++count;
                }
                if (count == 0)
                    continue;
                replaced += QStringView(text).mid(done);
                if (!Store(field, replaced, count, bytes, result))
                    continue;
                result.replaced += count;
                if (attributes.IsValid(unsigned(field), cells[field]) && !attributes.IsValid(unsigned(field), bytes))
                    ++result.madeInvalid;
                changes.Set(line, field, bytes);
            }
        }
        if (document.ChangeCells(std::move(changes), tr("置換")) != EditResult::Done)
            result = {0, 0, 0, 0, true};
    } catch (const std::bad_alloc &) {
        result = {0, 0, 0, 0, true};
    }
    return result;
}

ReportReplace::Match ReportReplace::Scan(int line, int field, qsizetype start, int lastLine, int lastField) const
{
    for (; line <= lastLine; ++line, field = scope.left, start = 0) {
        const ReportRow &row = document.Line(line);
        // The line's whole block first: most lines hold no match.
        if (!MayHold(row.Bytes()))
            continue;
        std::string_view cells[ReportRow::CellCount];
        row.Cells(cells);
        const int last = line == lastLine ? lastField : scope.right;
        for (; field <= last; ++field, start = 0) {
            if (cells[field].empty() || !MayHold(cells[field]))
                continue;
            qsizetype length = 0;
            const qsizetype at = FindInCell(ShiftJis::ToText(cells[field]), start, length);
            if (at >= 0)
                return {line, field, at, length};
        }
    }
    return {};
}

ReportReplace::Match ReportReplace::FindFrom(int line, int field, qsizetype start) const
{
    if (find.isEmpty() || scope.top > scope.bottom || scope.left > scope.right)
        return {};
    // A start outside the scope starts at the next cell inside it.
    if (line < scope.top || line > scope.bottom) {
        line = scope.top;
        field = scope.left;
        start = 0;
    } else if (field < scope.left) {
        field = scope.left;
        start = 0;
    } else if (field > scope.right) {
        field = scope.left;
        start = 0;
        line = line == scope.bottom ? scope.top : line + 1;
    }
    const Match match = Scan(line, field, start, scope.bottom, scope.right);
    if (match.Found())
        return match;
    // Wrapped: from the scope's start up to the start cell, which is looked
    // through again from its beginning for a match before `start`.
    return Scan(scope.top, scope.left, 0, line, field);
}

bool ReportReplace::Holds(const Match &match) const
{
    if (!match.Found() || !InScope(match.line, match.field) || find.isEmpty())
        return false;
    qsizetype length = 0;
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return FindInCell(text, match.start, length) == match.start && length == match.length;
}

ReportReplace::Result ReportReplace::ReplaceOne(Match &match)
{
    Result result;
    if (!Holds(match)) {
        match = {};
        return result;
    }
    qsizetype next = match.start + match.length;
    try {
        const std::string_view before = document.Cell(match.line, match.field);
        QString text = ShiftJis::ToText(before);
        text.replace(match.start, match.length, replacement);
        std::string bytes;
        if (Store(match.field, text, 1, bytes, result)) {
            const qnVelTorDataAttribute &attributes = document.Attributes();
            const bool wasValid = attributes.IsValid(unsigned(match.field), before);
            CellChanges changes(document.Content());
            changes.Set(match.line, match.field, bytes);
            if (document.ChangeCells(std::move(changes), tr("置換")) != EditResult::Done) {
                result.outOfMemory = true;
                return result;
            }
            result.replaced = 1;
            result.madeInvalid = wasValid && !attributes.IsValid(unsigned(match.field), bytes) ? 1 : 0;
            next = match.start + replacement.size();
        }
        match = FindFrom(match.line, match.field, next);
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

QString ReportReplace::MarkedText(const Match &match) const
{
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return text.left(match.start) + tr("【") + text.mid(match.start, match.length) + tr("】")
            + text.mid(match.start + match.length);
}
