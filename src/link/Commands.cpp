#include "link/Commands.h"

#include <cmath>
#include <cstdint>

namespace korvat {

namespace {

// Round to nearest, ties to even, as the instrument's setpoint arithmetic expects.
int roundHalfEven(float x) { return static_cast<int>(std::nearbyint(x)); }

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace

QString hex2(int value) { return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper(); }
QString hex4(int value) { return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper(); }

QString temperatureSetpointCommand(char letter, int degrees) {
    return QStringLiteral("<%1S%2\r").arg(QChar::fromLatin1(letter)).arg(hex4(degrees * 10));
}

QString valveBankCommand(int bank, std::uint8_t byte) {
    return QStringLiteral("<V%1S%2\r").arg(bank).arg(hex2(byte));
}

QString lampsCommand(std::uint8_t byte) { return QStringLiteral("<LS%1\r").arg(hex2(byte)); }

QString heatingCommand(std::uint8_t byte) { return QStringLiteral("<PS%1\r").arg(hex2(byte)); }

QString sampleLoopCommand(bool in) { return in ? QStringLiteral("<D1\r") : QStringLiteral("<D0\r"); }

QString switchCommand(char letter, bool on) {
    return QStringLiteral("<%1O%2\r").arg(QChar::fromLatin1(letter)).arg(on ? 1 : 0);
}

QString highVoltageCommand(int volts) { return QStringLiteral("<HS%1\r").arg(hex4(highVoltageCode(volts))); }

QString zeroCommand(int percent) { return QStringLiteral("<ZS%1\r").arg(hex4(zeroCode(percent))); }

QString commandLine(const QString& text) { return text + QLatin1Char('\r'); }

int highVoltageCode(int volts) {
    const float x = static_cast<float>(volts * 65.535);
    return roundHalfEven(x);
}

int zeroCode(int percent) {
    const float x = static_cast<float>(percent * 327.67);
    const int n = roundHalfEven(x);
    return x < 0 ? n + 32767 : n + 32768;
}

int zeroPercentFromCode(int code) {
    const float p = static_cast<float>((code - 32768) / 327.68);
    return roundHalfEven(p);
}

int signed16(int code) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(code & 0xFFFF)); }

std::optional<int> hexField(const QString& line, int from, int to) {
    if (from < 1 || to < from || line.size() < to)
        return std::nullopt;
    int v = 0;
    for (int i = from - 1; i < to; ++i) {
        const int d = hexDigit(line[i]);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + d;
    }
    return v;
}

std::optional<DataSample> decodeDataLine(const QString& line) {
    if (line.isEmpty())
        return std::nullopt;
    const QChar marker = line[0];
    if (marker != QLatin1Char('[') && marker != QLatin1Char('/') && marker != QLatin1Char(']'))
        return std::nullopt;
    const auto m = hexField(line, 4, 8);
    if (!m)
        return std::nullopt;
    DataSample s;
    s.marker = static_cast<char>(marker.unicode());
    s.value = line[2] == QLatin1Char('0') ? *m - 0xFFFFF : *m;
    return s;
}

} // namespace korvat
