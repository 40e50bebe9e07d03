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

std::optional<int> parseWhole(QStringView text, int low, int high) {
    bool ok = false;
    const int value = QLocale::c().toInt(text.trimmed(), &ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

QByteArray unescapeLineText(const QString& text) {
    const QByteArray in = text.toLatin1();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        const char next = in[++i];
        out += next == 'r' ? '\r' : next == 'n' ? '\n' : next;
    }
    return out;
}

} // namespace korvat::sim
