#include "ReportSniffer.h"

#include "TextEncoding.h"

#include <algorithm>

namespace ReportSniffer {

Looks Sniff(QByteArrayView head, bool whole)
{
    if (head.size() > HeadSize) {
        head = head.first(HeadSize);
        whole = false;
    }
    TextEncoding::Encoding encoding;
    if (TextEncoding::HasByteOrderMark(head, &encoding))
        return encoding == TextEncoding::Encoding::Utf8Bom ? Looks::Utf8Bom : Looks::Utf16Bom;
    // Up to the last line break, which neither encoding has within a
    // character; with none, the end may cut one.
    QByteArrayView lines = head;
    bool cut = false;
    if (!whole) {
        const qsizetype lastBreak = std::max(head.lastIndexOf('\n'), head.lastIndexOf('\r'));
        if (lastBreak >= 0)
            lines = head.first(lastBreak + 1);
        else
            cut = true;
    }
    if (TextEncoding::LooksUtf8(lines, cut))
        return Looks::Utf8;
    if (!head.contains('\t') && head.contains(','))
        return Looks::CommaSeparated;
    return Looks::Report;
}

} // namespace ReportSniffer
