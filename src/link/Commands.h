#pragma once
// The instrument's line formats: command lines the program sends, and the value fields of the
// replies and data lines it reads. Pure functions; no port, no state. Protocol text is ASCII and
// never goes through the locale.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace korvat {

// ---- what the program sends: every command line is made here ---------------------------------

// Identification: the first exchange of a single-port start-up, the first of two ports, and the
// second try after the cables were found crossed.
inline const QString kIdentifySinglePort = QStringLiteral("\r\n<SN\r\n");
inline const QString kIdentify = QStringLiteral("<SN\r");
inline const QString kIdentifyAgain = QStringLiteral("\r<SN\r");
// The converter's status query without its CR (the service line's default and a poll entry).
inline const QString kConverterStatusQuery = QStringLiteral("<12AS100");
// The status poll's queries without their CR, in the order they are polled: measuring cell, valve
// block, emission chamber, transfer line, zero compensation, PMT voltage, heating register, valve
// banks 1 and 2, sample loop, converter status.
inline const std::array<QString, 11> kStatusQueries = {
    QStringLiteral("<SG"),  QStringLiteral("<VG"),  QStringLiteral("<EG"), QStringLiteral("<TG"),
    QStringLiteral("<ZG"),  QStringLiteral("<HG"),  QStringLiteral("<PG"), QStringLiteral("<V1G"),
    QStringLiteral("<V2G"), QStringLiteral("<DG"),  kConverterStatusQuery};
// Ask for the sample-loop register.
inline const QString kQueryLoop = QStringLiteral("<D?\r");
// A converter's burst: the three start commands in their order, and the stop.
inline const std::array<QString, 3> kStartBurst = {QStringLiteral("<12B1100\r"), QStringLiteral("<12W1100\r"),
                                                   QStringLiteral("<12Z1100\r")};
inline const QString kStopBurst = QStringLiteral("<12Z0100\r");

// Valve bank 1 or 2, the front-panel lamps and the heating register, always the whole byte.
QString valveBankCommand(int bank, std::uint8_t byte);
QString lampsCommand(std::uint8_t byte);
QString heatingCommand(std::uint8_t byte);
// The sample loop switched in ("<D1") or injected ("<D0").
QString sampleLoopCommand(bool in);
// A heater (V, S, E, T) or the PMT voltage (H) switched on or off: "<SO1\r".
QString switchCommand(char letter, bool on);
// "<HS%04X\r" of highVoltageCode, and "<ZS%04X\r" of zeroCode.
QString highVoltageCommand(int volts);
QString zeroCommand(int percent);
// A query or a line typed on the service line, as one line with its CR.
QString commandLine(const QString& text);

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
