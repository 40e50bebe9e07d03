#include "util/Utils.h"

#include <cstdlib>

namespace korvat {

QString DotToComma(QString s) { return s.replace(QLatin1Char('.'), QLatin1Char(',')); }

QString GetVersionString() {
    return QStringLiteral("Version %1.%2.%3")
        .arg(KORVAT_VERSION_MAJOR)
        .arg(KORVAT_VERSION_MINOR)
        .arg(KORVAT_VERSION_PATCH);
}

QString TenthsToStr(int v) {
    const int t = static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF));
    const int a = std::abs(t);
    QString s = QString::number(a / 10) + QLatin1Char('.') + QString::number(a % 10);
    return t < 0 ? QLatin1Char('-') + s : s;
}

} // namespace korvat
