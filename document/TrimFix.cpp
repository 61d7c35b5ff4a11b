#include "TrimFix.h"

#include <algorithm>

namespace {

bool isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

constexpr std::string_view IdeographicSpace = "\x81\x40";

} // namespace

QString TrimFix::Text() const
{
    return tr("前後の空白を削除");
}

bool TrimFix::Fix(std::uint32_t, std::string_view value, std::string &out) const
{
    return Trim(value, out);
}

bool TrimFix::Trim(std::string_view value, std::string &out)
{
    // Character by character from the start: where the first and the last
    // character that is no space stand.
    std::size_t first = value.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < value.size();) {
        const bool pair = isLeadByte(static_cast<unsigned char>(value[i])) && i + 1 < value.size();
        const std::size_t size = pair ? 2 : 1;
        const bool space = value[i] == ' ' || (pair && value.substr(i, 2) == IdeographicSpace);
        if (!space) {
            first = std::min(first, i);
            end = i + size;
        }
        i += size;
    }
    if (first == value.size()) {
        // Spaces only, or nothing.
        out.clear();
        return !value.empty();
    }
    if (first == 0 && end == value.size())
        return false;
    out.assign(value.substr(first, end - first));
    return true;
}
