#pragma once
// A converter's burst of data lines: opened by "<12Z1100", one line every 100 ms of model time,
// closed by "<12Z0100" with exactly one "]" line. Each line is the marker, the channel letter, the
// sign character ("0" negative, "1" positive), five uppercase hex digits and CR; a negative value v
// travels as the magnitude v + 0xFFFFF, the way the converter counts.

#include "model/DetectorSignal.h"
#include "util/Clock.h"

#include <QByteArray>

namespace korvat::sim {

// The largest magnitude five hex digits hold; values beyond ±kMaxMagnitude are clipped, as an
// overdriven converter would.
inline constexpr int kMaxMagnitude = 0xFFFFF;

// Appends one data line, CR included.
void appendDataLine(QByteArray& out, char marker, char channel, int value);
QByteArray dataLine(char marker, char channel, int value);

class ConverterStream {
public:
    static constexpr Millis kSamplePeriod{100};
    // A burst line's marker and the one that ends the burst.
    static constexpr char kOpenMarker = '[';
    static constexpr char kCloseMarker = ']';

    ConverterStream(char channel, DetectorSignal signal);

    bool isOpen() const { return open_; }
    // The first line is due one sample period after `now`. Opening an open burst changes nothing,
    // so a repeated start neither doubles nor shifts the lines.
    void open(Millis now);
    // Appends the lines due up to and including `now`.
    void appendDue(Millis now, QByteArray& out);
    // The burst's last line, carrying the sample at `now`; empty when no burst was open.
    QByteArray close(Millis now);
    // Ends the burst without its last line, as if it had never been closed properly.
    void abort() { open_ = false; }

    const DetectorSignal& signal() const { return signal_; }
    // Injections reach the detector here, whether a burst is open or not.
    DetectorSignal& signal() { return signal_; }

private:
    char channel_;
    DetectorSignal signal_;
    bool open_ = false;
    Millis nextDue_{0};
};

} // namespace korvat::sim
