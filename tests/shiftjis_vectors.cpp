// Runs the shared conversion cases through the converter core and prints the
// whole code page as this build converts it, so that two builds (Linux with
// ICU, Windows with the system's converter) can be compared line by line.
// Standard C++ only; the exit code is the number of failed cases.
//
//   shiftjis_vectors          cases, then the tables
//   shiftjis_vectors cases    cases only

#include "ShiftJisCore.h"
#include "ShiftJisVectors.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Hex(std::string_view bytes)
{
    std::string out;
    char buffer[4];
    for (unsigned char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        out += buffer;
    }
    return out.empty() ? "-" : out;
}

std::string Units(std::u16string_view text)
{
    std::string out;
    char buffer[8];
    for (char16_t u : text) {
        std::snprintf(buffer, sizeof buffer, "%s%04X", out.empty() ? "" : " ", unsigned(u));
        out += buffer;
    }
    return out.empty() ? "-" : out;
}

std::string Encoded(std::u16string_view text)
{
    const std::optional<std::string> bytes = ShiftJis::Encode(text);
    return bytes ? Hex(*bytes) : "refused";
}

int RunCases()
{
    int failed = 0;
    for (const ShiftJisVector &vector : ShiftJisVectors) {
        std::string fault;
        if (vector.kind != ShiftJisVector::Refused) {
            const std::u16string decoded = ShiftJis::Decode(vector.bytes);
            if (decoded != vector.text)
                fault += " decoded " + Units(decoded) + ", wanted " + Units(vector.text) + ";";
        }
        const std::string encoded = Encoded(vector.text);
        std::string wanted = "refused";
        if (vector.kind == ShiftJisVector::RoundTrip)
            wanted = Hex(vector.bytes);
        else if (vector.kind == ShiftJisVector::OtherCode)
            wanted = Hex(vector.encoded);
        if (encoded != wanted)
            fault += " encoded " + encoded + ", wanted " + wanted + ";";
        if (ShiftJis::EncodedLength(vector.text) < (encoded == "refused" ? 0 : encoded.size() / 2))
            fault += " length below the encoded bytes;";
        std::printf("%s %s%s\n", fault.empty() ? "ok  " : "FAIL", vector.name, fault.c_str());
        failed += fault.empty() ? 0 : 1;
    }
    return failed;
}

void PrintTables()
{
    // Every well-formed double-byte code: its text, and the code that text
    // is stored as.
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!ShiftJis::IsLeadByte((unsigned char)lead))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!ShiftJis::IsTrailByte((unsigned char)trail))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const std::u16string text = ShiftJis::Decode(std::string_view(pair, 2));
            std::printf("decode %02X%02X %s -> %s\n", lead, trail, Units(text).c_str(), Encoded(text).c_str());
        }
    }
    // Every character of the Basic Multilingual Plane that can be stored.
    for (unsigned u = 0x80; u <= 0xFFFF; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const char16_t c = char16_t(u);
        const std::string encoded = Encoded(std::u16string_view(&c, 1));
        if (encoded != "refused")
            std::printf("encode %04X %s\n", u, encoded.c_str());
    }
}

} // namespace

int main(int argc, char **argv)
{
    const int failed = RunCases();
    if (argc < 2 || std::strcmp(argv[1], "cases") != 0)
        PrintTables();
    std::fprintf(stderr, "%d of %d cases failed\n", failed, int(std::size(ShiftJisVectors)));
    return failed;
}
