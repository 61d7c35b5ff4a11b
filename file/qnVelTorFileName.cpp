#include "qnVelTorFileName.h"

#include "ShiftJis.h"

#include <QDir>

std::string FileBaseNameOfPath(std::string_view sjisPath)
{
    std::size_t nameStart = 0;
    for (std::size_t i = 0; i < sjisPath.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(sjisPath[i]);
        if (ShiftJis::IsLeadByte(c) && i + 1 < sjisPath.size()) {
            ++i; // the trail byte may be 0x5C ('\') and is no separator
            continue;
        }
        if (c == '\\' || c == '/' || c == ':')
            nameStart = i + 1;
    }
    std::string_view name = sjisPath.substr(nameStart);
    // '.' is never the trail byte of a double-byte character (those are
    // 0x40 and above), so a plain byte search is safe.
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

std::string FileBaseNameOfPath(const QString &path)
{
    const QString normalized = QDir::fromNativeSeparators(path);
    const QString name = normalized.mid(normalized.lastIndexOf(QLatin1Char('/')) + 1);
    // A name holding a character that code page 932 lacks still gives a
    // base name: that character alone becomes '_'.
    const std::string bytes = ShiftJis::FromTextReplacing(name, "_");
    return FileBaseNameOfPath(std::string_view(bytes));
}

bool CanStandInFileName(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F)
        return false;
    return !QStringView(u"/\\:*?\"<>|").contains(c);
}
