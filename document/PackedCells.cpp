#include "PackedCells.h"

#include <bit>

namespace {

void putVarint(std::string &out, std::uint64_t value)
{
    while (value >= 0x80) {
        out += char(value | 0x80);
        value >>= 7;
    }
    out += char(value);
}

std::uint64_t getVarint(const char *&p)
{
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto c = static_cast<unsigned char>(*p++);
        value |= std::uint64_t(c & 0x7F) << shift;
        if (!(c & 0x80))
            return value;
    }
}

} // namespace

void PackedCells::AddLine(int line, std::uint32_t fields, bool kept)
{
    putVarint(data, std::uint64_t(line - lastLine - 1));
    putVarint(data, std::uint64_t(fields) << 1 | (kept ? 1 : 0));
    lastLine = line;
    ++lines;
}

void PackedCells::AddCell(std::string_view bytes)
{
    putVarint(data, bytes.size());
    data.append(bytes.data(), bytes.size());
}

bool PackedCells::Reader::NextLine()
{
    if (p >= end)
        return false;
    line += int(getVarint(p)) + 1;
    const std::uint64_t mask = getVarint(p);
    fields = std::uint32_t(mask >> 1);
    kept = mask & 1;
    return true;
}

std::string_view PackedCells::Reader::NextCell()
{
    const auto size = std::size_t(getVarint(p));
    const std::string_view cell(p, size);
    p += size;
    return cell;
}

void PackedCells::Reader::Cells(std::string_view *cells)
{
    for (std::uint32_t rest = fields; rest; rest &= rest - 1)
        cells[std::countr_zero(rest)] = NextCell();
}

void PackedCells::Reader::SkipCells()
{
    if (kept)
        return;
    for (int count = std::popcount(fields); count > 0; --count)
        NextCell();
}

void PackedCells::Append(PackedCells &&later)
{
    Reader reader(later);
    if (!reader.NextLine())
        return;
    // The first line's distance counts from the last line here.
    AddLine(reader.Line(), reader.Fields(), reader.Kept());
    data.append(later.data, reader.Offset(later));
    lines += later.lines - 1;
    lastLine = later.lastLine;
    later = PackedCells();
}
