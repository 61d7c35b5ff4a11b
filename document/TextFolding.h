#pragma once

#include <QString>

#include <vector>

// How a find text and a cell's text are made comparable when the user asks
// for letters of either case, or for full-width and half-width forms, to be
// the same. Both sides go through the same function.
//
// Width folding is like Unicode's NFKC, for letters, digits and katakana
// only: full-width Latin letters and digits become ASCII, half-width
// katakana and their punctuation (｡｢｣､･ｰ) become full-width, a half-width
// voiced or semi-voiced sound mark joins the kana before it (ｶﾞ and カﾞ
// become ガ, ﾊﾟ becomes パ) and stands alone as ゛ or ゜ otherwise. Nothing
// else changes: not hiragana against katakana, not other symbols.
class TextFolding
{
public:
    TextFolding(bool matchCase, bool foldWidth) : matchCase(matchCase), foldWidth(foldWidth) {}

    // Whether Fold() changes anything at all.
    bool Folds() const { return !matchCase || foldWidth; }
    bool MatchCase() const { return matchCase; }
    bool FoldWidth() const { return foldWidth; }

    // The folded text. With `origins`, each folded character's first
    // character in `text` is appended, then text.size(): a match of folded
    // characters [s, e) covers [origins[s], origins[e]) of `text`.
    QString Fold(QStringView text, std::vector<qsizetype> *origins = nullptr) const;

    // One half-width katakana (U+FF61..U+FF9F) as full-width; any other
    // character as it is.
    static char16_t FullWidthKana(char16_t c);
    // The kana with the voiced (゛) or semi-voiced (゜) sound mark, or 0
    // when it takes none.
    static char16_t Voiced(char16_t kana);
    static char16_t SemiVoiced(char16_t kana);

private:
    bool matchCase;
    bool foldWidth;
};
