#pragma once

#include <cstdint>
#include <cstring>
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
        // Which rule a value breaks, if any. The message of an invalid
        // value tells only the field and the rule, never the value, so a
        // load that checks a million cells makes each message once.
        enum class Verdict : std::uint8_t { Valid, TooLong, FullWidth };
        Verdict Check(std::string_view value) const
        {
            if (value.size() > maxLength)
                return Verdict::TooLong;
            if (allowFullWidth || !HasHighByte(value))
                return Verdict::Valid;
            return Verdict::FullWidth;
        }
        // Appends the message of `verdict` (nothing for Valid).
        void AppendMessage(Verdict verdict, std::string &out) const;
        // The verdict alone, without a message: cheap enough to be asked of
        // every cell of a million lines as they are read.
        bool IsValid(std::string_view value) const { return Check(value) == Verdict::Valid; }

        // A byte of 0x80 or above: one half of a double-byte character, or
        // a half-width katakana. Eight bytes at a time.
        static bool HasHighByte(std::string_view value)
        {
            constexpr std::uint64_t highs = 0x8080808080808080ull;
            const char *p = value.data();
            std::size_t size = value.size();
            for (; size >= 8; p += 8, size -= 8) {
                std::uint64_t word;
                std::memcpy(&word, p, sizeof word);
                if (word & highs)
                    return true;
            }
            for (; size > 0; ++p, --size) {
                if (static_cast<unsigned char>(*p) >= 0x80)
                    return true;
            }
            return false;
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
    // Valid for an index out of range, whose value nothing checks.
    FieldAttribute::Verdict Check(std::uint32_t index, std::string_view value) const
    {
        return index < FieldCount ? attributes[index].Check(value) : FieldAttribute::Verdict::Valid;
    }

private:
    qnVelTorDataAttribute();

    FieldAttribute attributes[FieldCount];
};
