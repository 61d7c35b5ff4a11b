#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whole report lines on the system clipboard, in a private format that only
// other running copies of the editor understand. A grid row is the texts of
// its 20 cells (Shift-JIS bytes), column 0 first.
//
// Qt hands the format name to the platform unchanged: on X11 it is the
// selection target atom, on Windows the name of a registered clipboard
// format, so every copy of the program finds the same format.
//
// Needs a QGuiApplication. Failures are silent: false, nothing else.
class qnVelTorClipboard
{
public:
    static constexpr const char *FormatName = "qnVelTor-Record";
    static constexpr unsigned CellCount = 20;

    // Virtual so that tests can stand in a clipboard that refuses.
    virtual ~qnVelTorClipboard() = default;

    // Puts the row on the clipboard, replacing whatever was there (plain
    // text included). A row of other than 20 cells is cut or padded.
    virtual bool PutRecord(const std::vector<std::string> &cells) const;
    virtual bool HasRecord() const;
    // Replaces `cells` by the 20 cells of the line on the clipboard; false,
    // with `cells` untouched, when the clipboard holds no line.
    virtual bool GetRecord(std::vector<std::string> &cells) const;

    // Each of the 20 cells followed by CR LF; no header, no NUL.
    static std::string MakePayload(const std::vector<std::string> &cells);
    // Always exactly 20 cells; see the source for how foreign data is read.
    static std::vector<std::string> ParsePayload(std::string_view payload);
};
