#include "ReportFileName.h"

#include "ShiftJis.h"
#include "qnVelTorData.h"
#include "qnVelTorFileName.h"

#include <QFileInfo>

#include <array>

namespace {

const QString ReportSuffix = QStringLiteral("dat");

// Which of the three values joined in `baseName` (the first two `first` and
// `second` bytes long) hold a character no file name can hold. Looked for in
// the joined name: a value cut out of a name inside a double-byte character
// may begin with its second byte, which alone reads as a backslash.
std::array<bool, 3> valuesUnfitForFileName(std::string_view baseName, std::size_t first, std::size_t second)
{
    std::array<bool, 3> unfit{};
    for (std::size_t i = 0; i < baseName.size(); ++i) {
        const auto c = static_cast<unsigned char>(baseName[i]);
        if (ShiftJis::IsLeadByte(c) && i + 1 < baseName.size()
            && ShiftJis::IsTrailByte(static_cast<unsigned char>(baseName[i + 1]))) {
            ++i;
            continue;
        }
        if (c < 0x80 && !CanStandInFileName(QChar(char16_t(c))))
            unfit[i < first ? 0 : i < first + second ? 1 : 2] = true;
    }
    return unfit;
}

} // namespace

std::string ReportFileName::BaseName(const Headers &headers)
{
    return qnVelTorData::MakeFileBaseName(headers[ReportDocument::SyoudakuBangou],
                                          headers[ReportDocument::HoukokuNengappi],
                                          headers[ReportDocument::NiniMoziretsu]);
}

ReportFileName::Headers ReportFileName::HeadersOf(const std::string &baseName)
{
    qnVelTorData names;
    names.SetFileBaseName(baseName);
    return {names.GetSyoudakuBangou(), names.GetHoukokuNengappi(), names.GetNiniMoziretsu()};
}

ReportFileName::Headers ReportFileName::HeadersOfPath(const QString &path)
{
    return HeadersOf(FileBaseNameOfPath(path));
}

QString ReportFileName::Suggested(const std::string &baseName, const QString &currentPath)
{
    const QString name = ShiftJis::ToText(baseName);
    if (name.isEmpty())
        return {};
    const QString suffix = QFileInfo(currentPath).suffix();
    if (currentPath.isEmpty() || suffix.isEmpty())
        return name + u'.' + ReportSuffix; // a report never saved
    return name.contains(u'.') ? name : name + u'.' + suffix;
}

QString ReportFileName::SuggestedExport(const std::string &baseName)
{
    const QString name = ShiftJis::ToText(baseName);
    return name.isEmpty() ? QString() : name + QStringLiteral(".csv");
}

std::vector<ReportFileName::HeaderDrift> ReportFileName::Drifts(const Headers &headers)
{
    const std::string baseName = BaseName(headers);
    if (baseName.empty())
        return {};
    // The name as the dialog proposes it, read back as Open reads it: a
    // base name with a dot of its own keeps that dot as its extension.
    QString proposed = ShiftJis::ToText(baseName);
    if (!proposed.contains(u'.'))
        proposed += u'.' + ReportSuffix;
    const Headers readBack = HeadersOfPath(proposed);
    const std::array<bool, 3> unfit = valuesUnfitForFileName(baseName, headers[ReportDocument::SyoudakuBangou].size(),
                                                             headers[ReportDocument::HoukokuNengappi].size());
    std::vector<HeaderDrift> drifts;
    for (int box = 0; box < ReportDocument::HeaderCount; ++box) {
        const auto i = std::size_t(box);
        if (unfit[i] || readBack[i] != headers[i])
            drifts.push_back({HeaderBox(box), unfit[i], readBack[i]});
    }
    return drifts;
}
