#pragma once

#include "CellFix.h"

// 全角英数字を半角に: in the fields that take no double-byte character, the
// full-width forms of ASCII letters, digits and symbols (typed with the
// input method still on) and the ideographic space become their half-width
// forms. Other characters stay, and the cell may stay invalid for them.
class WidthFix : public CellFix
{
    Q_DECLARE_TR_FUNCTIONS(WidthFix)

public:
    QString Text() const override;

    // The value with every full-width ASCII form made half-width; false
    // when it holds none. Works on code page 932 bytes, character by
    // character: a trail byte is never taken for a character of its own.
    static bool Narrow(std::string_view value, std::string &out);

protected:
    bool Touches(std::uint32_t field) const override;
    bool Fix(std::uint32_t field, std::string_view value, std::string &out) const override;
};
