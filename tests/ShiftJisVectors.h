#pragma once

#include <string_view>

// Conversion cases that every build of the code page 932 converter must
// agree on, whichever system converter is behind it. Standard C++ only: the
// Qt tests use them, and so does shiftjis_vectors, which is also built for
// Windows and run there (scripts/test-windows-codec.sh).
struct ShiftJisVector
{
    enum Kind {
        RoundTrip, // bytes decode to text, text encodes to bytes
        OtherCode, // bytes decode to text, text encodes to `encoded`
        BadBytes,  // bytes decode to text with U+FFFD, which cannot be stored
        Refused,   // text has no code page 932 form
    };
    const char *name;
    Kind kind;
    std::string_view bytes;
    std::u16string_view text;
    std::string_view encoded = {};
};

inline constexpr ShiftJisVector ShiftJisVectors[] = {
    {"ASCII", ShiftJisVector::RoundTrip, "Title 1", u"Title 1"},
    {"backslash and tilde are ASCII", ShiftJisVector::RoundTrip, "\\~", u"\\~"},
    {"control bytes stay themselves", ShiftJisVector::RoundTrip, "\t\x1A\x1C\x7F", u"\t\u001A\u001C\u007F"},
    {"half-width katakana", ShiftJisVector::RoundTrip, "\xB1\xB2\xDF\xA5", u"\uFF71\uFF72\uFF9F\uFF65"},
    {"hiragana", ShiftJisVector::RoundTrip, "\x82\xA0\x82\xF1", u"\u3042\u3093"},
    {"kanji", ShiftJisVector::RoundTrip, "\x8A\xBF\x8E\x9A", u"\u6F22\u5B57"},
    {"trail byte is backslash", ShiftJisVector::RoundTrip, "\x95\x5C", u"\u8868"},
    {"trail byte is 0x7E", ShiftJisVector::RoundTrip, "\x83\x7E", u"\u30DF"},
    {"ideographic space", ShiftJisVector::RoundTrip, "\x81\x40", u"\u3000"},
    {"full-width tilde", ShiftJisVector::RoundTrip, "\x81\x60", u"\uFF5E"},
    {"full-width reverse solidus", ShiftJisVector::RoundTrip, "\x81\x5F", u"\uFF3C"},
    {"full-width hyphen-minus", ShiftJisVector::RoundTrip, "\x81\x7C", u"\uFF0D"},
    {"horizontal bar", ShiftJisVector::RoundTrip, "\x81\x5C", u"\u2015"},
    {"parallel to", ShiftJisVector::RoundTrip, "\x81\x61", u"\u2225"},
    {"full-width cent, pound, not", ShiftJisVector::RoundTrip, "\x81\x91\x81\x92\x81\xCA", u"\uFFE0\uFFE1\uFFE2"},
    {"NEC circled one", ShiftJisVector::RoundTrip, "\x87\x40", u"\u2460"},
    {"NEC roman numeral one", ShiftJisVector::RoundTrip, "\x87\x54", u"\u2160"},
    {"NEC square milli", ShiftJisVector::RoundTrip, "\x87\x5F", u"\u3349"},
    {"IBM small roman one", ShiftJisVector::RoundTrip, "\xFA\x40", u"\u2170"},
    {"IBM full-width broken bar", ShiftJisVector::RoundTrip, "\xFA\x55", u"\uFFE4"},
    {"IBM kanji", ShiftJisVector::RoundTrip, "\xFA\x5C", u"\u7E8A"},
    {"last JIS level 2 kanji", ShiftJisVector::RoundTrip, "\xEA\xA4", u"\u7199"},
    {"first user-defined code", ShiftJisVector::RoundTrip, "\xF0\x40", u"\uE000"},
    {"last user-defined code", ShiftJisVector::RoundTrip, "\xF9\xFC", u"\uE757"},
    {"mixed line", ShiftJisVector::RoundTrip, "A\t\x95\\\xB1" "1", u"A\t\u8868\uFF711"},
    {"NEC-selected IBM small roman one", ShiftJisVector::OtherCode, "\xEE\xEF", u"\u2170", "\xFA\x40"},
    {"NEC-selected IBM kanji", ShiftJisVector::OtherCode, "\xED\x40", u"\u7E8A", "\xFA\x5C"},
    {"NEC approximately equal", ShiftJisVector::OtherCode, "\x87\x90", u"\u2252", "\x81\xE0"},
    {"NEC not sign", ShiftJisVector::OtherCode, "\xEE\xF9", u"\uFFE2", "\x81\xCA"},
    {"stray bytes", ShiftJisVector::BadBytes, "\x80\xA0\xFD\xFE\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"lone lead byte at the end", ShiftJisVector::BadBytes, "a\x81", u"a\uFFFD"},
    {"lead byte before TAB", ShiftJisVector::BadBytes, "\x81\tb", u"\uFFFD\tb"},
    {"lead byte before CR LF", ShiftJisVector::BadBytes, "\x88\r\n", u"\uFFFD\r\n"},
    {"unmapped pair", ShiftJisVector::BadBytes, "\x85\x40", u"\uFFFD\uFFFD"},
    {"unmapped pair between kanji", ShiftJisVector::BadBytes, "\x88\x9F\xEB\x40\x88\x9F", u"\u4E9C\uFFFD\uFFFD\u4E9C"},
    {"lead byte as trail byte", ShiftJisVector::BadBytes, "\x81\x81\x81", u"\uFF1D\uFFFD"},
    {"wave dash", ShiftJisVector::Refused, {}, u"\u301C"},
    {"minus sign", ShiftJisVector::Refused, {}, u"\u2212"},
    {"yen sign", ShiftJisVector::Refused, {}, u"\u00A5"},
    {"em dash", ShiftJisVector::Refused, {}, u"\u2014"},
    {"overline", ShiftJisVector::Refused, {}, u"\u203E"},
    {"C1 control", ShiftJisVector::Refused, {}, u"\u0080"},
    {"hangul", ShiftJisVector::Refused, {}, u"\uAC00"},
    {"replacement character", ShiftJisVector::Refused, {}, u"ab\uFFFDc"},
    {"emoji", ShiftJisVector::Refused, {}, u"\U0001F600"},
    {"lone surrogate", ShiftJisVector::Refused, {}, u"\xD83D"},
    {"fallback to numero sign", ShiftJisVector::Refused, {}, u"\uF86F"},
};
