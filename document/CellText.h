#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

// How a cell's Shift-JIS bytes are shown and edited as text, and how an
// edited text becomes bytes again.
namespace CellText {

// No field holds more than 100 bytes, yet a broken file may put megabytes
// into one cell, and shaping such a text freezes every redraw. A cell is
// shown, measured and edited only up to this many bytes.
inline constexpr std::size_t ShownBytes = 512;

inline bool IsLong(std::string_view bytes)
{
    return bytes.size() > ShownBytes;
}

// The text shown and edited for a cell: the whole cell, or its first
// ShownBytes bytes cut at a character boundary. An editor handing this text
// back unchanged leaves the cell's bytes as they are.
QString Shown(std::string_view bytes);

// True when an editor that handed back `text` left the cell as it was. The
// editor drops trailing spaces; for a long cell that alone must not count as
// an edit, which would keep only the start of the cell.
bool EditLeaves(std::string_view bytes, const QString &text);

// The bytes an edited text is stored as. The editor lets in only characters
// code page 932 holds; the U+FFFD that stand for bytes of a loaded cell that
// were not Shift-JIS cannot be turned back into those bytes and are dropped,
// and so are the control bytes the file format cannot carry in a value.
std::string ToBytes(const QString &text);

// Says how long a cell is when only its start is shown; else empty.
QString LongNote(std::string_view bytes);

} // namespace CellText
