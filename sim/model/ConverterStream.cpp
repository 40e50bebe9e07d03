#include "model/ConverterStream.h"

#include <algorithm>

namespace korvat::sim {

namespace {
constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr qsizetype kFixedLength = 8;
} // namespace

void appendDataLine(QByteArray& out, char marker, char channel, int value, const DataLineForm& form) {
    value = std::clamp(value, -kMaxMagnitude, kMaxMagnitude);
    const bool negative = value < 0;
    const int magnitude = negative ? value + kMaxMagnitude : value;
    const char* digits = form.lowercaseHex ? kLowerDigits : kUpperDigits;
    char line[kFixedLength] = {marker, channel, negative ? '0' : form.plusSign};
    for (int i = 0; i < 5; ++i)
        line[3 + i] = digits[(magnitude >> (4 * (4 - i))) & 0xF];
    out.append(line, kFixedLength);
    out.append(form.tail);
    out.append(form.lineEnd);
}

QByteArray dataLine(char marker, char channel, int value, const DataLineForm& form) {
    QByteArray line;
    appendDataLine(line, marker, channel, value, form);
    return line;
}

ConverterStream::ConverterStream(char channel, DetectorSignal signal, StreamHabits habits)
    : channel_(channel), signal_(signal), habits_(std::move(habits)) {
    if (habits_.form.openMarkers.isEmpty())
        habits_.form.openMarkers = QByteArray(1, kOpenMarker);
    habits_.samplePeriod = std::max(habits_.samplePeriod, Millis(1));
    habits_.batch = std::max(habits_.batch, 1);
    habits_.linesAfterStop = std::max(habits_.linesAfterStop, 0);
}

void ConverterStream::open(Millis now) {
    if (open_)
        return;
    open_ = true;
    stopping_ = false;
    markerTurn_ = 0;
    nextDue_ = now + habits_.samplePeriod;
}

char ConverterStream::nextOpenMarker() {
    const QByteArray& markers = habits_.form.openMarkers;
    const char marker = markers[markerTurn_ % markers.size()];
    markerTurn_ = (markerTurn_ + 1) % markers.size();
    return marker;
}

void ConverterStream::release(QByteArray& out) {
    out += held_;
    held_.clear();
    heldLines_ = 0;
}

QByteArray ConverterStream::closingLine(Millis at) {
    open_ = false;
    stopping_ = false;
    QByteArray out;
    release(out);
    appendDataLine(out, kCloseMarker, channel_, signal_.sampleAt(at), habits_.form);
    return out;
}

void ConverterStream::appendDue(Millis now, QByteArray& out) {
    while (open_ && nextDue_ <= now) {
        if (stopping_ && stillToSend_ == 0) {
            out += closingLine(nextDue_);
            return;
        }
        appendDataLine(held_, nextOpenMarker(), channel_, signal_.sampleAt(nextDue_), habits_.form);
        ++heldLines_;
        if (stopping_)
            --stillToSend_;
        nextDue_ += habits_.samplePeriod;
        if (heldLines_ >= habits_.batch)
            release(out);
    }
}

QByteArray ConverterStream::close(Millis now) {
    if (!open_ && habits_.closingLineWhenIdle)
        return closingLine(now);
    if (!open_ || stopping_)
        return {};
    if (habits_.linesAfterStop == 0)
        return closingLine(now);
    stopping_ = true;
    stillToSend_ = habits_.linesAfterStop;
    return {};
}

void ConverterStream::abort() {
    open_ = false;
    stopping_ = false;
    held_.clear();
    heldLines_ = 0;
}

} // namespace korvat::sim
