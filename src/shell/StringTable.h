#pragma once
// The compiled-in caption table: every text the operator sees exists in German (numbers 1 to
// kStringTableCount) and in English (the same number plus 1000). Callers add the language offset
// chosen at start-up.

#include <QString>

namespace korvat {

inline constexpr int kGermanOffset = 0;
inline constexpr int kEnglishOffset = 1000;
inline constexpr int kStringTableCount = 205;
// The window's own texts: numbers kWindowTextFirst and up, English again plus 1000.
inline constexpr int kWindowTextFirst = 300;
inline constexpr int kWindowTextCount = 49;

// The text with number offset + n, or an empty string when the table has no such number (a
// mistyped Tag then simply gives an empty caption). Never longer than 1023 characters.
QString LoadLangText(int offset, int n);

} // namespace korvat
