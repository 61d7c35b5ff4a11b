#pragma once

#include "CellChanges.h"
#include "MatchSieve.h"
#include "TextFolding.h"
#include "qnVelTorFile.h"

#include <QCoreApplication>
#include <QString>

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ReportDocument;

// Find and replace in the cells' text as the user sees it (decoded from
// Shift-JIS). Only a cell holding a match is rewritten, so every other cell
// keeps its bytes. A cell whose new text would be longer than its field
// takes, or would hold a character code page 932 lacks (also one that
// stands for bytes of the file that are not Shift-JIS), is left as it is
// and its matches are counted as left out.
class ReportReplace
{
    Q_DECLARE_TR_FUNCTIONS(ReportReplace)

public:
    // The lines and fields looked through, both ends included.
    struct Scope
    {
        int top = 0;
        int bottom = INT_MAX;
        int left = 0;
        int right = INT_MAX;
    };

    // One occurrence: characters [start, start + length) of the cell's text.
    struct Match
    {
        int line = -1;
        int field = -1;
        qsizetype start = 0;
        qsizetype length = 0;
        bool Found() const { return line >= 0; }
    };

    struct [[nodiscard]] Result
    {
        std::uint64_t replaced = 0;    // occurrences
        std::uint64_t tooLong = 0;     // occurrences left out
        std::uint64_t unstorable = 0;  // occurrences left out
        std::uint64_t madeInvalid = 0; // cells valid before, invalid after
        bool outOfMemory = false;      // the report is then as it was
        bool cancelled = false;        // by the progress; the report is as it was
    };

    // `document` is not owned. The replacement's look-alikes become the
    // characters code page 932 holds, and the characters no cell can carry
    // (TAB, CR, LF, 0x1A) are dropped from it.
    ReportReplace(ReportDocument &document, const QString &find, const QString &replacement, const TextFolding &folding,
                  const Scope &scope);

    // Every occurrence in the scope, as one step, looked for on both cores.
    // `progress` hears now and then how far it has got; false from it stops
    // the replace, and the report and its history stay as they were.
    Result ReplaceAll(const ReadProgress &progress = {});

    // The first occurrence in the scope at or after character `start` of
    // the cell (line, field), then in the cells after it line by line,
    // wrapping once at the scope's end; none for an empty find text.
    Match FindFrom(int line, int field, qsizetype start = 0) const;
    // Whether the cell still holds `match` where it was found.
    bool Holds(const Match &match) const;
    // Replaces `match`, held where it was found, as one step; then `match`
    // becomes the next occurrence after it (or none).
    Result ReplaceOne(Match &match);

    // The cell's text with the match in 【】, for the user to see it.
    QString MarkedText(const Match &match) const;

private:
    // What one thread of ReplaceAll found in its lines.
    struct Part
    {
        explicit Part(const ReportContent &content) : changes(content) {}
        CellChanges changes;
        Result result;
        std::atomic<std::uint64_t> lines {0}; // looked through so far
    };
    // Looks through lines top..bottom into `part`, until `stop`.
    void ReplaceIn(int top, int bottom, Part &part, const std::atomic<bool> &stop) const;
    // The first occurrence in the cell's text at or after `from`, or -1.
    qsizetype FindInCell(const QString &text, qsizetype from, qsizetype &length) const;
    // The same in a text folded already, `origins` telling where each of
    // its characters came from.
    qsizetype FindFolded(const QString &folded, const std::vector<qsizetype> &origins, qsizetype from,
                         qsizetype &length) const;
    // Every occurrence in the cell's text, one after another, as (start,
    // length) in characters: the text is folded once, not once for each.
    void FindAllInCell(const QString &text, std::vector<std::pair<qsizetype, qsizetype>> &found) const;
    // The cell's new text as bytes, or why it cannot be stored; `count`
    // occurrences are counted in `result`.
    bool Store(int field, const QString &text, std::uint64_t count, std::string &bytes, Result &result) const;
    bool InScope(int line, int field) const;
    // The first occurrence from character `start` of (line, field) up to
    // (lastLine, lastField), in the scope's fields.
    Match Scan(int line, int field, qsizetype start, int lastLine, int lastField) const;

    ReportDocument &document; // not owned
    QString find;
    QString foldedFind;
    QString replacement;
    TextFolding folding;
    Scope scope;
    // Which cells are worth decoding.
    MatchSieve sieve;
};
