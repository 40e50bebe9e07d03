#include "util/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace korvat {

namespace {

QLocale plain(const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return l;
}

// "1,2346E+005": mantissa with precision - 1 decimals, a signed exponent of at least three digits.
QString exponentForm(double value, int precision, const QLocale& locale) {
    QString s = plain(locale).toString(value, 'E', std::max(precision - 1, 0));
    const int e = s.indexOf(QLatin1Char('E'));
    if (e < 0)
        return s;
    QString mantissa = s.left(e);
    QString exponent = s.mid(e + 1);
    QChar sign = QLatin1Char('+');
    if (!exponent.isEmpty() && (exponent[0] == QLatin1Char('+') || exponent[0] == QLatin1Char('-'))) {
        sign = exponent[0];
        exponent.remove(0, 1);
    }
    while (exponent.size() < 3)
        exponent.prepend(QLatin1Char('0'));
    return mantissa + QLatin1Char('E') + sign + exponent;
}

} // namespace

QString formatGeneral(double value, const QLocale& locale) {
    if (!std::isfinite(value))
        return QString::number(value);
    return plain(locale).toString(value, 'g', 15).toUpper();
}

QString formatFixed(double value, int precision, int decimals, const QLocale& locale) {
    if (!std::isfinite(value))
        return QString::number(value);
    if (std::fabs(value) >= std::pow(10.0, precision))
        return exponentForm(value, precision, locale);
    return plain(locale).toString(value, 'f', decimals);
}

QString formatExponent(double value, int decimals, const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
    return l.toString(value, 'E', decimals);
}

QString formatScientific23(double value, const QLocale& locale) {
    // Formatted in the C locale first, so only the decimal separator follows the locale.
    char buffer[48];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                         std::chars_format::scientific, 14);
    if (ec != std::errc())
        return QString::number(value);
    QString text = QString::fromLatin1(buffer, end - buffer); // "1.23000000000000e+03"
    const int e = text.indexOf(QLatin1Char('e'));
    QString exponent = text.mid(e + 2);
    while (exponent.size() < 4)
        exponent.prepend(QLatin1Char('0'));
    QString mantissa = text.left(e);
    mantissa.replace(QLatin1Char('.'), locale.decimalPoint());
    return (std::signbit(value) && value != 0 ? QLatin1Char('-') : QLatin1Char(' ')) + mantissa +
           QLatin1Char('E') + text[e + 1] + exponent;
}

QString formatTimeOfDay(const QTime& time, const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return time.toString(format.trimmed());
}

QString formatDuration(qint64 milliseconds) {
    const qint64 s = std::max<qint64>(milliseconds, 0) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

std::optional<double> parseFloat(const QString& text, const QLocale& locale) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = plain(locale).toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

namespace {

// The number part of parseDecimal's form, blanks already trimmed: where its decimal separator
// stands (-1 for none), or nullopt when the text is not of that form.
std::optional<qsizetype> decimalForm(QStringView t) {
    if (t.isEmpty())
        return std::nullopt;
    qsizetype k = 0;
    auto digits = [&] {
        const qsizetype from = k;
        while (k < t.size() && t[k] >= QLatin1Char('0') && t[k] <= QLatin1Char('9'))
            ++k;
        return k - from;
    };
    if (t[k] == QLatin1Char('-') || t[k] == QLatin1Char('+'))
        ++k;
    qsizetype separator = -1;
    qsizetype count = digits();
    if (k < t.size() && (t[k] == QLatin1Char(',') || t[k] == QLatin1Char('.'))) {
        separator = k++;
        count += digits();
    }
    if (count == 0)
        return std::nullopt;
    if (k < t.size() && (t[k] == QLatin1Char('e') || t[k] == QLatin1Char('E'))) {
        ++k;
        if (k < t.size() && (t[k] == QLatin1Char('-') || t[k] == QLatin1Char('+')))
            ++k;
        if (digits() == 0)
            return std::nullopt;
    }
    if (k != t.size())
        return std::nullopt;
    return separator;
}

} // namespace

std::optional<double> parseDecimal(QStringView text) {
    const QStringView t = text.trimmed();
    const std::optional<qsizetype> separator = decimalForm(t);
    if (!separator)
        return std::nullopt;
    std::string s = t.toLatin1().toStdString();
    if (*separator >= 0)
        s[static_cast<std::size_t>(*separator)] = '.';
    if (!s.empty() && s[0] == '+')
        s.erase(0, 1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QChar decimalSeparatorOf(QStringView text) {
    const QStringView t = text.trimmed();
    const std::optional<qsizetype> separator = decimalForm(t);
    return separator && *separator >= 0 ? t[*separator] : QChar();
}

std::optional<int> parseInteger(const QString& text) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) {
        negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty())
        return std::nullopt;
    for (QChar c : t) {
        const bool digit = c.isDigit() && c.unicode() < 128;
        const bool hex = base == 16 && QStringLiteral("abcdefABCDEF").contains(c);
        if (!digit && !hex)
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    const qlonglong signedValue = negative ? -v : v;
    // Hex texts describe bit patterns: "$FFFFFFFF" reads as -1, as a 32-bit integer would.
    if (base == 16 && !negative && v <= 0xFFFFFFFFLL)
        return static_cast<int>(static_cast<quint32>(v));
    if (signedValue < std::numeric_limits<int>::min() || signedValue > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(signedValue);
}

} // namespace korvat
