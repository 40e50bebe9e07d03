#include "model/ConverterStream.h"

#include <algorithm>

namespace korvat::sim {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr qsizetype kLineLength = 9;
} // namespace

void appendDataLine(QByteArray& out, char marker, char channel, int value) {
    value = std::clamp(value, -kMaxMagnitude, kMaxMagnitude);
    const bool negative = value < 0;
    const int magnitude = negative ? value + kMaxMagnitude : value;
    char line[kLineLength] = {marker, channel, negative ? '0' : '1'};
    for (int i = 0; i < 5; ++i)
        line[3 + i] = kHexDigits[(magnitude >> (4 * (4 - i))) & 0xF];
    line[8] = '\r';
    out.append(line, kLineLength);
}

QByteArray dataLine(char marker, char channel, int value) {
    QByteArray line;
    appendDataLine(line, marker, channel, value);
    return line;
}

ConverterStream::ConverterStream(char channel, DetectorSignal signal)
    : channel_(channel), signal_(signal) {}

void ConverterStream::open(Millis now) {
    if (open_)
        return;
    open_ = true;
    nextDue_ = now + kSamplePeriod;
}

void ConverterStream::appendDue(Millis now, QByteArray& out) {
    if (!open_ || nextDue_ > now)
        return;
    const auto lines = (now - nextDue_) / kSamplePeriod + 1;
    out.reserve(out.size() + static_cast<qsizetype>(lines) * kLineLength);
    for (; nextDue_ <= now; nextDue_ += kSamplePeriod)
        appendDataLine(out, kOpenMarker, channel_, signal_.sampleAt(nextDue_));
}

QByteArray ConverterStream::close(Millis now) {
    if (!open_)
        return {};
    open_ = false;
    return dataLine(kCloseMarker, channel_, signal_.sampleAt(now));
}

} // namespace korvat::sim
