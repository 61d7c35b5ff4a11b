#include "ReportContent.h"

#include "qnVelTorDataAttribute.h"

static_assert(ReportContent::VerdictWidth == FieldCount + 1, "a verdict column per field and the row handle");

ReportContent::ReportContent(QObject *parent)
    : QObject(parent), attributes(*qnVelTorDataAttribute::Instance()), verdicts(VerdictWidth)
{
}

std::string_view ReportContent::Cell(int line, int field) const
{
    if (line < 0 || line >= LineCount())
        return {};
    return lines[std::size_t(line)].Cell(static_cast<unsigned>(field));
}

const ReportRow &ReportContent::Line(int line) const
{
    static const ReportRow empty;
    if (line < 0 || line >= LineCount())
        return empty;
    return lines[std::size_t(line)];
}
