#include "ShiftJis.h"

namespace ShiftJis {
namespace {

std::u16string_view View(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())};
}

} // namespace

QString ToText(std::string_view bytes)
{
    // Decoded straight into the string's own buffer: this runs for every
    // cell painted.
    QString text(qsizetype(DecodeCapacity(bytes.size())), Qt::Uninitialized);
    auto *begin = reinterpret_cast<char16_t *>(text.data());
    text.truncate(DecodeInto(bytes, begin) - begin);
    return text;
}

std::optional<std::string> FromText(const QString &text)
{
    return Encode(View(text));
}

std::string FromTextReplacing(const QString &text, std::string_view substitute, qsizetype *replaced)
{
    std::size_t count = 0;
    std::string bytes = EncodeReplacing(View(text), substitute, &count);
    if (replaced)
        *replaced = qsizetype(count);
    return bytes;
}

bool IsEncodable(const QString &character)
{
    return !character.isEmpty() && FromText(character).has_value();
}

QString MapLookAlikes(QString text)
{
    MapLookAlikesInPlace(reinterpret_cast<char16_t *>(text.data()), std::size_t(text.size()));
    return text;
}

qsizetype ByteLength(const QString &text)
{
    return qsizetype(EncodedLength(View(text)));
}

} // namespace ShiftJis
