#pragma once
// Small helpers shared by every part of the program: bit operations on the instrument's register
// bytes, integer min/max, and the fixed texts that do not follow the locale.

#include <QString>
#include <cstdint>

namespace korvat {

// Bit n (0 = least significant) of a register byte.
constexpr bool BitIsSet(std::uint8_t b, int n) { return (b >> n) & 1u; }
constexpr void SetBit(std::uint8_t& b, int n) { b = static_cast<std::uint8_t>(b | (1u << n)); }
constexpr void ClearBit(std::uint8_t& b, int n) { b = static_cast<std::uint8_t>(b & ~(1u << n)); }

constexpr int MaxInt2(int a, int b) { return a > b ? a : b; }
constexpr int MinInt2(int a, int b) { return a < b ? a : b; }

// Replaces every "." by ",".
QString DotToComma(QString s);

// "Version major.minor.release" of this build.
QString GetVersionString();

// A temperature reply in tenths of a degree, taken as a signed 16-bit value, shown with exactly one
// decimal and a point whatever the locale: 273 -> "27.3", -5 -> "-0.5", -15 -> "-1.5".
QString TenthsToStr(int v);

} // namespace korvat
