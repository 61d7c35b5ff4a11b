#include "CellText.h"

#include <QCoreApplication>

#include "ShiftJis.h"

#include <QLocale>

namespace CellText {

QString Shown(std::string_view bytes)
{
    if (!IsLong(bytes))
        return ShiftJis::ToText(bytes);
    // Walk whole characters so that the cut never splits a double-byte one.
    std::size_t end = 0;
    while (end < ShownBytes) {
        const bool pair = end + 1 < bytes.size() && ShiftJis::IsLeadByte(static_cast<unsigned char>(bytes[end]))
                && ShiftJis::IsTrailByte(static_cast<unsigned char>(bytes[end + 1]));
        const std::size_t next = end + (pair ? 2 : 1);
        if (next > ShownBytes)
            break;
        end = next;
    }
    return ShiftJis::ToText(bytes.substr(0, end));
}

bool EditLeaves(std::string_view bytes, const QString &text)
{
    const QString shown = Shown(bytes);
    if (text == shown)
        return true;
    if (!IsLong(bytes))
        return false;
    qsizetype end = shown.size();
    while (end > 0 && shown.at(end - 1) == u' ')
        --end;
    return text.size() == end && QStringView(shown).left(end) == text;
}

std::string ToBytes(const QString &text)
{
    QString storable = text;
    storable.remove(QChar::ReplacementCharacter);
    for (char16_t control : {u'\t', u'\r', u'\n', char16_t(0x1A)})
        storable.remove(QChar(control));
    // Text that came through the editor holds only storable characters;
    // anything else is dropped, never stored as a substitute.
    return ShiftJis::FromTextReplacing(storable, {});
}

QString LongNote(std::string_view bytes)
{
    if (!IsLong(bytes))
        return {};
    return QCoreApplication::translate("CellText", "このセルは%1バイトあります。先頭の%2バイトまでを表示しています。")
            .arg(QLocale(QLocale::Japanese).toString(qulonglong(bytes.size())))
            .arg(ShownBytes);
}

} // namespace CellText
