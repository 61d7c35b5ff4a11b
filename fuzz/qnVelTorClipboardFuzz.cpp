// libFuzzer target for the line clipboard's payload parser. Any byte string
// may arrive in the private format, from another copy of the editor or from
// a program that only borrowed the format's name; for all of them:
//  - the parser gives what a plain reading of the format's rules gives:
//    the text ends at the first NUL, lines end at CR LF, a lone CR or a lone
//    LF, a break at the very end opens no further line, line k fills cell k,
//    lines past the 20th are dropped, and TAB and 0x1A are dropped;
//  - always exactly 20 cells, none holding a byte a report file cannot carry;
//  - the cells, put into a payload and parsed again, come back unchanged.

#include "FuzzCheck.h"
#include "qnVelTorClipboard.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Cells = std::vector<std::string>;

// The rules, one byte at a time and with nothing clever in it.
Cells Expected(std::string_view payload)
{
    Cells cells(qnVelTorClipboard::CellCount);
    std::size_t line = 0;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        const char c = payload[i];
        if (c == '\0')
            break;
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < payload.size() && payload[i + 1] == '\n')
                ++i;
            ++line;
            continue;
        }
        if (line < cells.size() && c != '\t' && c != '\x1A')
            cells[line] += c;
    }
    return cells;
}

bool Storable(const std::string &cell)
{
    return cell.find_first_of(std::string_view("\t\r\n\x1A\0", 5)) == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(bytes), size);

    const Cells cells = qnVelTorClipboard::ParsePayload(input);
    Check(cells.size() == qnVelTorClipboard::CellCount, "not exactly 20 cells");
    Check(cells == Expected(input), "the cells are not what the format's rules give");
    std::size_t total = 0;
    for (const std::string &cell : cells) {
        Check(Storable(cell), "a cell holds TAB, CR, LF, 0x1A or NUL");
        total += cell.size();
    }
    Check(total <= size, "the cells hold more bytes than the payload");

    const std::string payload = qnVelTorClipboard::MakePayload(cells);
    Check(payload.size() == total + 2 * qnVelTorClipboard::CellCount, "the payload is not the cells and 20 CR LF");
    Check(qnVelTorClipboard::ParsePayload(payload) == cells, "cells changed on the way through a payload");
    return 0;
}
