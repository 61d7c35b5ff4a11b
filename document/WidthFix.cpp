#include "WidthFix.h"

#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <array>

namespace {

bool isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The half-width character of each double-byte code that code page 932
// reads as a full-width ASCII form (U+FF01..U+FF5E) or the ideographic
// space, 0 for the others. Read from the code page itself, so that the
// several codes of one character (＂ is 0xFA57 and 0xEEFC) all count.
const std::array<char, 0x10000> &halfWidthOf()
{
    static const std::array<char, 0x10000> table = [] {
        std::array<char, 0x10000> built {};
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F)
                    continue;
                const char bytes[2] = {char(lead), char(trail)};
                const QString text = ShiftJis::ToText(std::string_view(bytes, 2));
                if (text.size() != 1)
                    continue;
                const char16_t c = text[0].unicode();
                if (c >= 0xFF01 && c <= 0xFF5E)
                    built[lead << 8 | trail] = char(c - 0xFEE0);
                else if (c == 0x3000)
                    built[lead << 8 | trail] = ' ';
            }
        }
        return built;
    }();
    return table;
}

} // namespace

QString WidthFix::Text() const
{
    return tr("全角英数字を半角に");
}

bool WidthFix::Touches(std::uint32_t field) const
{
    const auto *attribute = qnVelTorDataAttribute::Instance()->At(field);
    return attribute && !attribute->allowFullWidth;
}

bool WidthFix::Fix(std::uint32_t, std::string_view value, std::string &out) const
{
    return Narrow(value, out);
}

bool WidthFix::Narrow(std::string_view value, std::string &out)
{
    if (!qnVelTorDataAttribute::FieldAttribute::HasHighByte(value))
        return false;
    const std::array<char, 0x10000> &table = halfWidthOf();
    bool narrowed = false;
    out.clear();
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        const auto byte = static_cast<unsigned char>(value[i]);
        if (isLeadByte(byte) && i + 1 < value.size()) {
            const char half = table[std::size_t(byte) << 8 | static_cast<unsigned char>(value[i + 1])];
            if (half) {
                out += half;
                narrowed = true;
            } else {
                out.append(value.substr(i, 2));
            }
            i += 2;
        } else {
            out += value[i++];
        }
    }
    return narrowed;
}
