#pragma once

#include <QByteArrayView>

// What a file opened as a report looks like, from its first bytes, so that
// the window can offer to import one that is no report instead of showing
// it garbled.
namespace ReportSniffer {

// The bytes looked at: the first chunk of any read holds them.
inline constexpr qsizetype HeadSize = 64 * 1024;

enum class Looks {
    Report, // TAB-separated Shift-JIS, or anything not below (empty, ASCII, binary)
    CommaSeparated, // no line of the head holds a TAB, some hold commas
    Utf8, // valid UTF-8 with multi-byte characters, not plausible Shift-JIS
    Utf8Bom, // starts with EF BB BF
    Utf16Bom, // starts with FF FE or FE FF: a spreadsheet's "Unicode text"
};

// Looks at the first HeadSize bytes of `head` (more are ignored). `whole`:
// the bytes are the whole file; otherwise a line or character the end cuts
// is left out. A byte-order mark decides first, then UTF-8
// (TextEncoding::LooksUtf8), then commas.
Looks Sniff(QByteArrayView head, bool whole);

} // namespace ReportSniffer
