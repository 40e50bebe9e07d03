#pragma once
// What the protocol leaves to the instrument, and how the virtual one does it. The defaults are
// the virtual instrument's own habits; each can be varied, so the program is tested against every
// form a real converter may use and never comes to rely on one of them. Where the protocol fixes a
// thing (CR ends a line, the value fields' places, "]" ends a burst, 118 while a burst is open),
// it is fixed here too.

#include "util/Clock.h"

#include <QByteArray>
#include <array>

namespace korvat::sim {

// Ten samples a second, as the program counts them.
inline constexpr Millis kDefaultSamplePeriod{100};

// How each line ends. The program drops LF wherever it appears; CR ends the line.
enum class LineEnd { Cr, CrLf, LfCr };

QByteArray lineEndBytes(LineEnd end);

// What a setpoint or switch command is answered with.
enum class AckMode {
    Echo, // the command with ":" for "<": ":VS0258"
    None, // nothing
    Text, // a fixed text, WireHabits::ackText
};

// How a data line looks, beyond what the protocol fixes (marker first, sign character third,
// five hexadecimal digits in the fourth to eighth places).
struct DataLineForm {
    // The marker of each line inside a burst, used in turn: "[" always, "/" always, "[/" in
    // alternation, "[//" a "[" and two "/"… Every one must be "[" or "/".
    QByteArray openMarkers = "[";
    // The sign character of a value that is not negative; "0" marks a negative one.
    char plusSign = '1';
    bool lowercaseHex = false;
    // Characters after the eighth place.
    QByteArray tail;
    QByteArray lineEnd = "\r";
};

struct WireHabits {
    // ---- every line ------------------------------------------------------------------------------
    LineEnd lineEnd = LineEnd::Cr;
    // Bytes leave in pieces of at most this many, one write each, `chunkGap` apart (0: whole
    // lines, as they come). A line may so arrive over several reads, and several lines in one.
    int chunkBytes = 0;
    Millis chunkGap{0};

    // ---- replies ---------------------------------------------------------------------------------
    // Every answer (identification, query replies, acknowledgements, echoes) leaves this long
    // after the command arrived. Data lines are not held back.
    Millis replyDelay{0};
    // Every command line received is sent back as it came (without its line end) before it is
    // answered.
    bool echo = false;
    AckMode ack = AckMode::Echo;
    QByteArray ackText = "OK";
    // Also answer register writes, the sample-loop switch and the converter commands the way
    // `ack` says; by default they get no answer.
    bool ackEveryCommand = false;
    // Characters after the value field of every query reply (":SG0258" + tail).
    QByteArray replyTail;
    // What "<12AS100" reports while no burst is open (118 is the burst's own).
    int idleStatus = 100;

    // ---- data lines ------------------------------------------------------------------------------
    // The second character of each port's data lines (A main, B FPD).
    std::array<char, 2> dataChannel{'A', 'B'};
    DataLineForm data;
    // Lines each port (A, B) still sends after "<12Z0100", one sample period apart, before its
    // "]" line; the burst counts as open (status 118) until then.
    std::array<int, 2> linesAfterStop{0, 0};
    // Lines leave this many at a time (the "]" line takes what is waiting with it).
    int dataBatch = 1;
    // "<12Z0100" sends its "]" line also when no burst is open.
    bool closingLineWhenIdle = false;
    // One sample per period. The program counts ten lines to the second; another period shows
    // what happens to a converter that does not.
    Millis samplePeriod = kDefaultSamplePeriod;
};

} // namespace korvat::sim
