#pragma once

#include "qnVelTorDataAttribute.h"

#include <cstdint>
#include <string_view>

// The rules the fields' hints give that the field table does not enforce:
// values a report hardly ever holds, worth a note but never an error (a
// licensee may know better). One kind per rule; the numbers are kept, so a
// list of notes may be grouped or saved by kind.
enum class NoteKind : std::uint8_t {
    None = 0,
    KeyCodeNotNumber = 1, // field 0: digits
    KeyCodeRepeated = 2, // field 0: a number seen on an earlier line
    ContentCategory = 3, // field 1: empty or Q
    ContentSubNumber = 4, // field 2: three digits
    MedleyCategory = 5, // field 3: empty or M
    MedleySubNumber = 6, // field 4: three digits
    CollectCodeFilled = 7, // field 5: empty
    WorkCodeNotNumber = 8, // field 6: digits or empty, no '-'
    InformationFeeNotNumber = 9, // field 14: digits
    IvtCategory = 10, // field 15: I, V or T
    LyricsCategory = 11, // field 16: 1, 2 or 3
    IlCategoryFilled = 12, // field 17: empty
    RequestCountNotNumber = 13, // field 18: digits
    EmptyLine = 14, // every field of the line is empty
};

// The table of the notes' rules, one row per kind, beside the field table.
// Texts are Shift-JIS (code page 932) bytes, as the field table's.
class qnVelTorDataNotes
{
public:
    // Kinds run from 1 to this.
    static constexpr std::uint8_t LastKind = static_cast<std::uint8_t>(NoteKind::EmptyLine);
    // A note on the whole line has this for its field.
    static constexpr std::uint32_t WholeLine = FieldCount;

    // The note the value of a cell earns on its own (each field has at most
    // one such rule), or None. A value the field table finds invalid earns
    // none: its error says enough. Whether a key code came before is a
    // matter of the report: qnVelTorLineNotes.
    static NoteKind CellNote(std::uint32_t field, std::string_view value);
    // True when every one of the 19 fields is empty.
    static bool IsEmptyLine(const std::string_view *fields);

    // The field a kind's notes stand on, WholeLine for EmptyLine.
    static std::uint32_t Field(NoteKind kind);
    // The note's text; empty for None.
    static std::string_view Message(NoteKind kind);
};
