#include "RecoverySnapshot.h"

#include "ReportDocument.h"
#include "ReportFile.h"

#include <QDateTime>

RecoverySnapshot::RecoverySnapshot(const ReportDocument &document, const ReportFile &file)
{
    const int count = document.LineCount();
    rows.reserve(std::size_t(count));
    for (int line = 0; line < count; ++line)
        rows.push_back(document.Line(line).Alias());
    facts.reportPath = file.Path();
    facts.identity = file.Identity();
    facts.format = file.PendingFormat();
    facts.copiedMs = QDateTime::currentMSecsSinceEpoch();
    const ReportDocument::Headers headers = document.HeaderValues();
    for (std::size_t box = 0; box < headers.size(); ++box)
        facts.headers[box] = headers[box];
    facts.lines = std::uint64_t(count);
}

WriteFailure RecoverySnapshot::Write(const QString &path, const std::function<bool()> &keepGoing) const
{
    return WriteRecoveryFile(path, facts, [this](std::uint32_t line, std::string_view (&fields)[FieldCount]) {
        rows[line].Cells(fields);
    }, keepGoing);
}
