#pragma once
// The instrument's line formats: command lines the program sends, and the value fields of the
// replies and data lines it reads. Pure functions; no port, no state. Protocol text is ASCII and
// never goes through the locale.

#include <QString>
#include <cstdint>
#include <optional>

namespace korvat {

// Two and four uppercase hexadecimal digits, zero-padded.
QString hex2(int value);
QString hex4(int value);

// "<VS0258\r" and friends: `letter` is V (valve block), S (measuring cell), E (emission chamber)
// or T (transfer line); the code is the whole-degree setpoint times ten.
QString temperatureSetpointCommand(char letter, int degrees);
// High voltage U volts: x = U * 65.535 in single precision, rounded to nearest, ties to even.
int highVoltageCode(int volts);
// Zero compensation Z percent: x = Z * 327.67 in single precision, n = x rounded (ties to even),
// code = n + 32767 when x < 0, else n + 32768.
int zeroCode(int percent);
// Read back: (code - 32768) / 327.68 in single precision, rounded, ties to even.
int zeroPercentFromCode(int code);
// A 16-bit code taken as a signed value.
int signed16(int code);

// Characters `from` to `to` (1-based, inclusive) of a reply read as a hexadecimal number; nullopt
// when the line is too short or a character is not a hexadecimal digit.
std::optional<int> hexField(const QString& line, int from, int to);

struct DataSample {
    char marker = 0; // '[', '/' or ']'
    int value = 0;
};
// A data line: marker, one uninterpreted character, the sign character ("0" = negative), five
// hexadecimal digits; the value is m, or m - 0xFFFFF for sign "0". nullopt when it does not decode.
std::optional<DataSample> decodeDataLine(const QString& line);

} // namespace korvat
