#include "ShiftJisSystem.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <climits>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

namespace ShiftJis::System {
namespace {

constexpr UINT CodePage = 932;

} // namespace

std::size_t PairCapacity(std::size_t size)
{
    return size;
}

char16_t *DecodePairs(const char *bytes, std::size_t size, char16_t *out)
{
    if (size > INT_MAX)
        return nullptr; // the caller retries pair by pair
    const int written = MultiByteToWideChar(CodePage, MB_ERR_INVALID_CHARS, bytes, int(size),
                                            reinterpret_cast<wchar_t *>(out), int(size));
    return written > 0 ? out + written : nullptr;
}

bool EncodeRun(std::u16string_view text, std::string &out)
{
    if (text.size() > INT_MAX / 2)
        return false;
    const int units = int(text.size());
    const std::size_t start = out.size();
    // a UTF-16 unit never takes more than two bytes; a surrogate pair becomes
    // the default character and is refused below
    out.resize(start + 2 * std::size_t(units));
    BOOL usedDefault = FALSE;
    // Without WC_NO_BEST_FIT_CHARS Windows would store U+00A5 as '\' and the
    // like, which reads back as another character.
    const int written = WideCharToMultiByte(CodePage, WC_NO_BEST_FIT_CHARS,
                                            reinterpret_cast<const wchar_t *>(text.data()), units,
                                            out.data() + start, 2 * units, nullptr, &usedDefault);
    out.resize(start + std::size_t(written > 0 ? written : 0));
    return written > 0 && !usedDefault;
}

} // namespace ShiftJis::System
