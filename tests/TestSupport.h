#pragma once

// Helpers for files and bytes that several test files need.

#include "ReportLineSplitter.h"
#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <string_view>

namespace TestSupport {

inline QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

// The text in code page 932, or a marker that cannot be mistaken for it.
inline QByteArray sjis(const QString &text)
{
    const std::optional<std::string> encoded = ShiftJis::FromText(text);
    return encoded ? bytes(*encoded) : QByteArray("<not code page 932>");
}

// The files in `folder`, hidden ones too, but for the lock records that
// tell other copies of the editor which report is open here.
inline QStringList filesIn(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    files.removeIf([](const QString &name) { return name.endsWith(QLatin1String(".qnveltor-lock")); });
    return files;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

// The text as UTF-16 with its byte-order mark, as a spreadsheet saves
// "Unicode text".
inline QByteArray utf16(const QString &text, bool bigEndian = false)
{
    QByteArray bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// A report file line of the given leading fields, the rest empty.
inline QByteArray fileLine(QByteArrayList fields)
{
    while (fields.size() < qsizetype(FieldCount))
        fields << QByteArray();
    return fields.join('\t') + "\r\n";
}

// The same from text given as "1||Q" (fields between bars), in Shift-JIS.
inline QByteArray fileLine(const QString &leading)
{
    QByteArrayList fields;
    for (const QString &field : leading.split(u'|'))
        fields << sjis(field);
    return fileLine(fields);
}

// What the splitting of a file into lines noticed, in one line to compare:
// "lines N" and each count that is not 0 with its first line (N@FIRST).
inline QString lineFactsText(const LineFacts &facts)
{
    QStringList parts {QStringLiteral("lines %1").arg(facts.lines)};
    const auto count = [&parts](const char *name, std::uint64_t lines, std::uint64_t first) {
        if (lines || first)
            parts << QStringLiteral("%1 %2@%3").arg(QLatin1String(name)).arg(lines).arg(first);
    };
    count("long", facts.longLines, facts.firstLongLine);
    count("emptyExtra", facts.emptyExtraLines, facts.firstEmptyExtraLine);
    count("short", facts.shortLines, facts.firstShortLine);
    count("blank", facts.blankLines, facts.firstBlankLine);
    count("lfOnly", facts.lfOnlyLines, facts.firstLfOnlyLine);
    count("loneCr", facts.loneCrLines, facts.firstLoneCrLine);
    count("odd", facts.oddLines, facts.firstOddLine);
    if (facts.unendedLastLine)
        parts << QStringLiteral("unended %1").arg(facts.unendedLastLine);
    if (facts.eofMark)
        parts << QStringLiteral("0x1A");
    return parts.join(QStringLiteral("; "));
}

} // namespace TestSupport
