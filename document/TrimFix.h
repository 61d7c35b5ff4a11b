#pragma once

#include "CellFix.h"

// 前後の空白を削除: spaces before and after a value, half-width and
// full-width (the ideographic space), removed in every field.
class TrimFix : public CellFix
{
    Q_DECLARE_TR_FUNCTIONS(TrimFix)

public:
    QString Text() const override;

    // The value without its leading and trailing spaces; false when it has
    // none. A 0x40 that is the trail byte of a double-byte character is no
    // part of a space.
    static bool Trim(std::string_view value, std::string &out);

protected:
    bool Touches(std::uint32_t) const override { return true; }
    bool Fix(std::uint32_t field, std::string_view value, std::string &out) const override;
};
