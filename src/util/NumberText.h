#pragma once
// The number forms the program shows, writes and reads. Everything the operator sees or a file
// keeps uses the process locale (a German system writes 19,6); protocol text never comes here.

#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

namespace korvat {

// General notation with up to 15 significant digits: 100 -> "100", 19.6 -> "19,6" (German).
QString formatGeneral(double value, const QLocale& locale = QLocale());

// Fixed notation with `decimals` digits while the value fits into `precision` significant digits,
// exponent notation beyond that ("1,2346E+005"). Edits use (precision 5, 1 decimal) and
// (precision 6, 2 decimals).
QString formatFixed(double value, int precision, int decimals, const QLocale& locale = QLocale());

// Exponent notation with `decimals` digits after the separator, for quantities that span decades
// (diffusion coefficients): 4.5e-8 -> "4,500E-08" (German).
QString formatExponent(double value, int decimals, const QLocale& locale = QLocale());

// The 23-character scientific form of the raw-data files: a sign position ("-" or a blank), one
// digit, the decimal separator, 14 digits, "E", the exponent's sign and four digits.
// 1230 -> " 1.23000000000000E+0003".
QString formatScientific23(double value, const QLocale& locale = QLocale());

// A time of day in the locale's long time format, without a time-zone suffix ("10:05:00").
QString formatTimeOfDay(const QTime& time, const QLocale& locale = QLocale());
// An elapsed duration as hours:minutes:seconds counted from zero ("00:05:00", "31:00:00"); never
// a clock time, never wrapped at 24 hours. Negative durations show as "00:00:00".
QString formatDuration(qint64 milliseconds);

// A float typed by the operator or stored in a file, under the locale's decimal separator.
// Leading and trailing blanks are allowed; group separators are not.
std::optional<double> parseFloat(const QString& text, const QLocale& locale = QLocale());

// A number from one of the program's files (settings, substance lists, results and raw-data
// files) or typed into an edit: a decimal comma or a decimal point, whatever the process's locale,
// for none of them groups thousands ("0,57", "0.57", "-1,5E+003", "12"). An optional sign and
// exponent, blanks around it. nullopt for anything else, a second separator, or a value that is
// not finite.
std::optional<double> parseDecimal(QStringView text);
// The separator a number text of that form carries: ',' or '.', or a null QChar when it has none.
QChar decimalSeparatorOf(QStringView text);

// An integer: decimal, or hexadecimal with a "$", "0x" or "0X" prefix; an optional sign.
std::optional<int> parseInteger(const QString& text);

} // namespace korvat
