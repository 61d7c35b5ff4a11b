#pragma once

// Helpers that read a report's state as whole strings, for tests of the
// document and of the window that shows it.

#include "CellTyping.h"
#include "ReportBlocks.h"
#include "ReportDocument.h"
#include "ReportFile.h"
#include "TestSupport.h"
#include "qnVelTorDataAttribute.h"

#include <QStringList>
#include <QTest>
#include <QTemporaryDir>

namespace TestSupport {

// A line's fields between bars, "1||Q", trailing empty fields left out.
inline QString lineText(const ReportDocument &document, int line)
{
    QStringList cells;
    for (int field = 0; field < int(FieldCount); ++field)
        cells << ShiftJis::ToText(document.Cell(line, field));
    while (!cells.isEmpty() && cells.last().isEmpty())
        cells.removeLast();
    return cells.join(u'|');
}

inline QStringList lineTexts(const ReportDocument &document)
{
    QStringList lines;
    for (int line = 0; line < document.LineCount(); ++line)
        lines << lineText(document, line);
    return lines;
}

// A field's cells from the first line to the last, e.g. the key codes.
inline QStringList fieldTexts(const ReportDocument &document, int field)
{
    QStringList texts;
    for (int line = 0; line < document.LineCount(); ++line)
        texts << ShiftJis::ToText(document.Cell(line, field));
    return texts;
}

// Every line with its invalid fields, e.g. "1|QQ [1]".
inline QStringList linesWithErrors(const ReportDocument &document)
{
    QStringList lines;
    for (int line = 0; line < document.LineCount(); ++line) {
        QStringList errors;
        for (int field = 0; field < int(FieldCount); ++field) {
            if (document.Verdicts().IsError(unsigned(line), unsigned(field)))
                errors << QString::number(field);
        }
        lines << lineText(document, line) + (errors.isEmpty() ? QString() : " [" + errors.join(u',') + "]");
    }
    return lines;
}

// Empty when the verdicts have a row per line, every verdict and message is
// the one the cell's text deserves and the counts agree with them;
// otherwise the first mismatch.
inline QString verdictMismatch(const ReportDocument &document)
{
    const qnVelTor::GridAttr &attrs = document.Verdicts();
    const int lines = document.LineCount();
    if (int(attrs.RowCount()) != lines)
        return QStringLiteral("verdict rows %1, lines %2").arg(attrs.RowCount()).arg(lines);
    std::uint64_t cells = 0;
    unsigned errorLines = 0;
    for (int line = 0; line < lines; ++line) {
        bool lineHasError = false;
        std::string_view texts[ReportRow::CellCount];
        document.Line(line).Cells(texts);
        for (int field = 0; field < int(FieldCount); ++field) {
            std::string message;
            const bool valid = document.Attributes().Validate(unsigned(field), texts[field], message);
            if (attrs.IsError(unsigned(line), unsigned(field)) == valid
                || attrs.GetErrorMessage(unsigned(line), unsigned(field)) != message) {
                return QStringLiteral("line %1 field %2: \"%3\" marked %4")
                        .arg(line)
                        .arg(field)
                        .arg(ShiftJis::ToText(document.Cell(line, field)))
                        .arg(valid ? QStringLiteral("invalid") : QStringLiteral("valid"));
            }
            cells += valid ? 0 : 1;
            lineHasError = lineHasError || !valid;
        }
        errorLines += lineHasError ? 1 : 0;
    }
    if (attrs.ErrorCellCount() != cells || attrs.ErrorRowCount() != errorLines)
        return QStringLiteral("counts %1 (%2 lines), cells give %3 (%4 lines)")
                .arg(attrs.ErrorCellCount())
                .arg(attrs.ErrorRowCount())
                .arg(cells)
                .arg(errorLines);
    return {};
}

// A report file of these lines, each as fileLine() takes it.
inline QByteArray fileLines(const QStringList &lines)
{
    QByteArray content;
    for (const QString &line : lines)
        content += fileLine(line);
    return content;
}

// A line of usual values, as lineText() writes lines, with the changes given
// as "field=value".
inline QString usualLine(const QString &key, const QStringList &changes = {})
{
    QStringList fields = {key, "", "000", "", "000", "", "12345678", "title", "", "", "", "", "", "", "0", "V",
                          "1", "", "0"};
    for (const QString &change : changes) {
        const qsizetype eq = change.indexOf(u'=');
        fields[change.left(eq).toInt()] = change.mid(eq + 1);
    }
    return fields.join(u'|');
}

// Loads `content` into `file` from a file named `name` in `folder`;
// false (with the reason logged) when that failed.
inline bool loadReport(ReportFile &file, const QTemporaryDir &folder, const QByteArray &content,
                       const QString &name = QStringLiteral("1234567890202404TEST.dat"))
{
    const QString path = folder.filePath(name);
    if (!writeFile(path, content))
        return false;
    const ReportFile::LoadResult result = file.Load(path);
    if (!result.Ok())
        qWarning("load of %s failed: %d", qPrintable(path), int(result.failure));
    return result.Ok();
}

// The same for a report whose file the test does not look at.
inline bool loadReport(ReportDocument &document, const QTemporaryDir &folder, const QByteArray &content,
                       const QString &name = QStringLiteral("1234567890202404TEST.dat"))
{
    ReportFile file(document);
    return loadReport(file, folder, content, name);
}

// What the cell editor reports while a text is typed, at its commit and
// when it closes.
inline void typeCell(ReportDocument &document, int line, int field, const QString &text)
{
    document.Typing().Type(line, field, text);
    QCOMPARE(document.Typing().Commit(line, field, text), EditResult::Done);
    document.Typing().End();
}

} // namespace TestSupport
