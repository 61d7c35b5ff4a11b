#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// Every report line has this many fields; records, the attribute table and
// file lines all agree on it.
inline constexpr std::uint32_t FieldCount = 19;

// The fixed table of the 19 fields of a report line. Titles, hints and
// messages are Shift-JIS (code page 932) bytes, never decoded here.
class qnVelTorDataAttribute
{
public:
    struct FieldAttribute
    {
        std::string name;
        std::uint32_t maxLength = 0;
        std::int32_t columnWidth = 30;
        bool allowFullWidth = false;
        std::string hint;

        // Appends exactly one message to `out` when the value is invalid,
        // nothing when it is valid.
        bool Validate(std::string_view value, std::ostream &out) const;
        // Same verdict and message text, without the cost of a stream; the
        // load of a large report checks every cell.
        bool Validate(std::string_view value, std::string &out) const;
        // The verdict alone, without a message: cheap enough to be asked of
        // every cell of a million lines as they are read.
        bool IsValid(std::string_view value) const
        {
            if (value.size() > maxLength)
                return false;
            if (allowFullWidth)
                return true;
            for (const char c : value) {
                if (static_cast<unsigned char>(c) >= 0x80)
                    return false;
            }
            return true;
        }
    };

    static const qnVelTorDataAttribute *Instance();

    std::uint32_t Count() const { return FieldCount; }
    const FieldAttribute *At(std::uint32_t index) const;
    std::uint32_t MaxLength(std::uint32_t index) const;
    bool Validate(std::uint32_t index, std::string_view value, std::ostream &out) const;
    bool Validate(std::uint32_t index, std::string_view value, std::string &out) const;
    bool IsValid(std::uint32_t index, std::string_view value) const
    {
        return index < FieldCount && attributes[index].IsValid(value);
    }

private:
    qnVelTorDataAttribute();

    FieldAttribute attributes[FieldCount];
};
