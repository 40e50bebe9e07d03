#pragma once
// A converter's burst of data lines: opened by "<12Z1100", one line every sample period (100 ms)
// of model time, closed by "<12Z0100" with exactly one "]" line. Each line is the marker, the
// channel letter, the sign character ("0" negative, "1" positive), five uppercase hex digits and
// CR; a negative value v travels as the magnitude v + 0xFFFFF, the way the converter counts.
// DataLineForm varies what the protocol leaves open (markers inside a burst, the positive sign
// character, the case of the digits, what follows them, the line end); the stream can also hold
// its lines back and send them a few at a time, and go on for some lines after the stop.

#include "model/DetectorSignal.h"
#include "model/WireHabits.h"
#include "util/Clock.h"

#include <QByteArray>

namespace korvat::sim {

// The largest magnitude five hex digits hold; values beyond ±kMaxMagnitude are clipped, as an
// overdriven converter would.
inline constexpr int kMaxMagnitude = 0xFFFFF;

// Appends one data line, line end included.
void appendDataLine(QByteArray& out, char marker, char channel, int value,
                    const DataLineForm& form = {});
QByteArray dataLine(char marker, char channel, int value, const DataLineForm& form = {});

struct StreamHabits {
    DataLineForm form;
    Millis samplePeriod = kDefaultSamplePeriod;
    // Lines leave this many at a time.
    int batch = 1;
    // Lines still sent after the stop command, before the "]" line.
    int linesAfterStop = 0;
    // A stop with no burst open still sends a "]" line.
    bool closingLineWhenIdle = false;
};

class ConverterStream {
public:
    static constexpr Millis kSamplePeriod = kDefaultSamplePeriod;
    // A burst line's marker and the one that ends the burst.
    static constexpr char kOpenMarker = '[';
    static constexpr char kCloseMarker = ']';

    ConverterStream(char channel, DetectorSignal signal, StreamHabits habits = {});

    // Open from the start command until the "]" line has gone out.
    bool isOpen() const { return open_; }
    // The first line is due one sample period after `now`. Opening an open burst changes nothing,
    // so a repeated start neither doubles nor shifts the lines.
    void open(Millis now);
    // Appends the lines due up to and including `now` (those a batch still holds back excepted).
    void appendDue(Millis now, QByteArray& out);
    // The stop command at `now`. Without lines after the stop: what the batch holds and the
    // burst's last line, carrying the sample at `now`. With them, those lines come from
    // appendDue() and the "]" line one period after the last of them. Empty when no burst was
    // open (unless the closing line comes also then).
    QByteArray close(Millis now);
    // Ends the burst without its last line, as if it had never been closed properly.
    void abort();

    const DetectorSignal& signal() const { return signal_; }
    // Injections reach the detector here, whether a burst is open or not.
    DetectorSignal& signal() { return signal_; }

private:
    char nextOpenMarker();
    void release(QByteArray& out);
    QByteArray closingLine(Millis at);

    char channel_;
    DetectorSignal signal_;
    StreamHabits habits_;
    bool open_ = false;
    bool stopping_ = false;
    int stillToSend_ = 0;
    Millis nextDue_{0};
    qsizetype markerTurn_ = 0;
    QByteArray held_;
    int heldLines_ = 0;
};

} // namespace korvat::sim
