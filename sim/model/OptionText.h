#pragma once
// Numbers from korvat-sim's command line ("--ref-ppm 100", "--cell-ppm 0.2,5,40"). They are read
// with the dot as decimal separator in every locale, so a script behaves the same on a German
// desktop; negative, infinite and malformed values are refused rather than guessed at.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace korvat::sim {

std::optional<double> parseNonNegative(QStringView text);

// Exactly `count` comma-separated values.
std::optional<std::vector<double>> parseNonNegativeList(QStringView text, qsizetype count);

// A whole number from `low` to `high`, decimal.
std::optional<int> parseWhole(QStringView text, int low, int high);

// A line's text as given on the command line: "\r", "\n" and "\\" stand for CR, LF and a
// backslash, every other character is itself (Latin-1).
QByteArray unescapeLineText(const QString& text);

} // namespace korvat::sim
