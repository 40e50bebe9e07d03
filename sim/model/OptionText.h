#pragma once
// Numbers from korvat-sim's command line ("--ref-ppm 100", "--cell-ppm 0.2,5,40"). They are read
// with the dot as decimal separator in every locale, so a script behaves the same on a German
// desktop; negative, infinite and malformed values are refused rather than guessed at.

#include <QStringView>

#include <optional>
#include <vector>

namespace korvat::sim {

std::optional<double> parseNonNegative(QStringView text);

// Exactly `count` comma-separated values.
std::optional<std::vector<double>> parseNonNegativeList(QStringView text, qsizetype count);

} // namespace korvat::sim
