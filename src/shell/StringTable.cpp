#include "shell/StringTable.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace korvat {
namespace {

struct TextRow {
    int n;
    std::u16string_view german;
    std::u16string_view english;
};

constexpr TextRow kRows[] = {
#include "resources/StringTable.inc"
};

static_assert(std::size(kRows) == kStringTableCount, "one row per German text number");

// The window's own texts (port chooser, progress, readiness) start at a round number of their
// own, so texts added to the first range never collide with them.
constexpr TextRow kWindowRows[] = {
#include "resources/StringTableWindow.inc"
};
static_assert(std::size(kWindowRows) == kWindowTextCount, "one row per window text number");

// Row i must hold number i + 1, so a lookup is a plain index; a row added or dropped in the
// middle would otherwise shift every caption after it without anyone noticing.
constexpr bool rowsAreNumberedInOrder()
{
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        if (kRows[i].n != static_cast<int>(i) + 1 || kRows[i].german.empty()
            || kRows[i].english.empty())
            return false;
    }
    return true;
}
static_assert(rowsAreNumberedInOrder(), "rows numbered 1..count in order, no empty text");

constexpr bool windowRowsAreNumberedInOrder()
{
    for (std::size_t i = 0; i < std::size(kWindowRows); ++i) {
        if (kWindowRows[i].n != kWindowTextFirst + static_cast<int>(i) || kWindowRows[i].german.empty()
            || kWindowRows[i].english.empty())
            return false;
    }
    return true;
}
static_assert(windowRowsAreNumberedInOrder(), "window rows numbered from their first in order, no empty text");

// Texts are handed out capped like a 1024-unit buffer with its terminator would cap them.
constexpr qsizetype kMaxTextLength = 1023;

QString toQString(std::u16string_view text)
{
    const auto length = std::min<qsizetype>(static_cast<qsizetype>(text.size()), kMaxTextLength);
    return QString::fromUtf16(text.data(), length);
}

} // namespace

QString LoadLangText(int offset, int n)
{
    // Wide enough that no offset/number pair can overflow into a valid number.
    const std::int64_t number = static_cast<std::int64_t>(offset) + n;
    if (number >= 1 && number <= kStringTableCount)
        return toQString(kRows[number - 1].german);
    if (number >= kEnglishOffset + 1 && number <= kEnglishOffset + kStringTableCount)
        return toQString(kRows[number - kEnglishOffset - 1].english);
    constexpr int kWindowLast = kWindowTextFirst + kWindowTextCount - 1;
    if (number >= kWindowTextFirst && number <= kWindowLast)
        return toQString(kWindowRows[number - kWindowTextFirst].german);
    if (number >= kEnglishOffset + kWindowTextFirst && number <= kEnglishOffset + kWindowLast)
        return toQString(kWindowRows[number - kEnglishOffset - kWindowTextFirst].english);
    return {};
}

} // namespace korvat
