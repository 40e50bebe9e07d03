#include "model/OptionText.h"

#include <QLocale>

#include <cmath>

namespace korvat::sim {

std::optional<double> parseNonNegative(QStringView text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0.0)
        return std::nullopt;
    return value;
}

std::optional<std::vector<double>> parseNonNegativeList(QStringView text, qsizetype count) {
    std::vector<double> values;
    for (QStringView part : text.split(u',')) {
        const std::optional<double> value = parseNonNegative(part);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    if (static_cast<qsizetype>(values.size()) != count)
        return std::nullopt;
    return values;
}

} // namespace korvat::sim
