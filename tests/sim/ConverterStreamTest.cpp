// The converters' streams of data lines as the program's acquisition meets them: the line format
// and its round trip through the program's own decoder (clipping at five hex digits included),
// exactly ten lines per second of model time whatever the tick rate, one "]" line after the stop
// and silence after it, the status 118 only while a burst is open, the detectors' baselines
// within plausible bounds over an eight-hour run, and determinism with a seed.

#include "SimWire.h"

#include "link/Commands.h"
#include "link/LineAssembler.h"
#include "model/ConverterStream.h"
#include "model/InProcessInstrument.h"
#include "util/Clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace korvat;
using namespace korvat::sim;
using korvat::sim::test::linesOf;
using korvat::sim::test::SimWire;

namespace {

constexpr Millis kSecond{1000};

std::vector<int> decodeAll(const QByteArray& bytes, char marker = '[') {
    std::vector<int> values;
    for (const QByteArray& line : linesOf(bytes)) {
        const std::optional<DataSample> sample = decodeDataLine(QString::fromLatin1(line));
        EXPECT_TRUE(sample && sample->marker == marker) << line.constData();
        values.push_back(sample ? sample->value : 0);
    }
    return values;
}

void startStream(SimWire& wire, Port port = Port::Main) {
    for (const char* command : {"<12B1100", "<12W1100", "<12Z1100"})
        EXPECT_TRUE(wire.ask(command, port).isEmpty()) << command;
}

TEST(ConverterStream, DataLinesHaveTheConverterFormatAndDecodeBack) {
    struct Case {
        char marker;
        int value;
        QByteArray line;
        int decoded;
    };
    const Case cases[] = {
        {'[', 1000, "[A1003E8\r", 1000},
        {']', -999, "]A0FFC18\r", -999},
        {'[', 16, "[A100010\r", 16},
        {'[', 0, "[A100000\r", 0},
        {'[', -1, "[A0FFFFE\r", -1},
        {'[', kMaxMagnitude, "[A1FFFFF\r", kMaxMagnitude},
        {'[', -kMaxMagnitude, "[A000000\r", -kMaxMagnitude},
        // An overdriven converter clips; it never wraps to the other sign.
        {'[', kMaxMagnitude + 1, "[A1FFFFF\r", kMaxMagnitude},
        {']', -3 * kMaxMagnitude, "]A000000\r", -kMaxMagnitude},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const QByteArray line = dataLine(c.marker, 'A', c.value);
        EXPECT_EQ(line, c.line);
        const std::optional<DataSample> sample = decodeDataLine(QString::fromLatin1(line.chopped(1)));
        ASSERT_TRUE(sample);
        EXPECT_EQ(sample->marker, c.marker);
        EXPECT_EQ(sample->value, c.decoded);
    }
    for (int value = -kMaxMagnitude; value <= kMaxMagnitude; value += 4099) {
        const std::optional<DataSample> sample =
            decodeDataLine(QString::fromLatin1(dataLine('[', 'B', value)));
        ASSERT_TRUE(sample) << value;
        EXPECT_EQ(sample->value, value);
    }
}

// Whatever steps time takes, the burst holds one line per 100 ms and the same lines.
TEST(ConverterStream, TenLinesPerSecondOfModelTimeWhateverTheTickRate) {
    const Millis start{5000};
    QByteArray reference;
    for (Millis step : {Millis(1), Millis(10), Millis(90), Millis(100), Millis(250), Millis(10'000)}) {
        SCOPED_TRACE(step.count());
        VirtualInstrument instrument;
        SimWire wire(instrument);
        instrument.advanceTo(start);
        startStream(wire);
        for (Millis t = start; t < start + 10 * kSecond;) {
            t = std::min(t + step, start + 10 * kSecond);
            instrument.advanceTo(t);
        }
        EXPECT_EQ(linesOf(wire.fromMain).size(), 100);
        EXPECT_EQ(decodeAll(wire.fromMain).size(), 100u) << "every one a '[' line";
        if (reference.isEmpty())
            reference = wire.fromMain;
        EXPECT_TRUE(wire.fromMain == reference) << "lines depend on the tick rate";

        instrument.advanceTo(start + 10 * kSecond + Millis(99));
        EXPECT_EQ(linesOf(wire.fromMain).size(), 100) << "the next line is due only at 10.1 s";
        instrument.advanceTo(start + 10 * kSecond + Millis(100));
        EXPECT_EQ(linesOf(wire.fromMain).size(), 101);
    }
}

TEST(ConverterStream, StopSendsExactlyOneClosingLineThenNothing) {
    VirtualInstrument instrument;
    SimWire wire(instrument);
    startStream(wire);
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS118\r");
    instrument.advanceTo(Millis(2050));
    wire.fromMain.clear();

    const QByteArray closing = wire.ask("<12Z0100");
    EXPECT_EQ(linesOf(closing).size(), 1);
    EXPECT_EQ(decodeAll(closing, ']').size(), 1u);
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS100\r");

    instrument.advanceTo(Millis(60'000));
    EXPECT_TRUE(wire.ask("<12Z0100").isEmpty()) << "a second stop has no burst to close";
    instrument.advanceTo(Millis(120'000));
    EXPECT_EQ(wire.fromMain, closing + ":12AS100\r");
}

TEST(ConverterStream, RepeatedStartNeitherDoublesNorShiftsTheLines) {
    VirtualInstrument instrument;
    SimWire wire(instrument);
    startStream(wire);
    instrument.advanceTo(Millis(450));
    startStream(wire);
    instrument.advanceTo(Millis(1000));
    EXPECT_EQ(linesOf(wire.fromMain).size(), 10);

    // A new burst after a stop starts its own clock.
    wire.ask("<12Z0100");
    instrument.advanceTo(Millis(1030));
    wire.fromMain.clear();
    startStream(wire);
    instrument.advanceTo(Millis(1129));
    EXPECT_TRUE(wire.fromMain.isEmpty());
    instrument.advanceTo(Millis(1130));
    EXPECT_EQ(linesOf(wire.fromMain).size(), 1);
}

// The baseline an operator sees on an idle chart: an offset, a drift of a few counts a minute and
// a few counts of noise; eight hours of it, in one step of model time.
TEST(ConverterStream, EightHourFidBaselineStaysPlausible) {
    VirtualInstrument instrument;
    SimWire wire(instrument);
    startStream(wire);
    instrument.advanceTo(Millis(8 * 3600 * 1000));
    const std::vector<int> values = decodeAll(wire.fromMain);
    ASSERT_EQ(values.size(), 288'000u);

    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    EXPECT_GE(*low, 1400);
    EXPECT_LE(*high, 1600);
    EXPECT_GT(*high - *low, 30) << "no drift at all over eight hours";

    // Noise: the spread of sample-to-sample steps.
    double sumSquares = 0;
    for (std::size_t i = 1; i < values.size(); ++i)
        sumSquares += std::pow(values[i] - values[i - 1], 2);
    const double stepSpread = std::sqrt(sumSquares / static_cast<double>(values.size() - 1));
    EXPECT_GT(stepSpread, 1.0);
    EXPECT_LT(stepSpread, 10.0);

    // Drift: minute means move by a few counts at most.
    std::vector<double> minuteMeans;
    for (std::size_t i = 0; i + 600 <= values.size(); i += 600) {
        double sum = 0;
        for (std::size_t j = i; j < i + 600; ++j)
            sum += values[j];
        minuteMeans.push_back(sum / 600);
    }
    double steepest = 0;
    for (std::size_t i = 1; i < minuteMeans.size(); ++i)
        steepest = std::max(steepest, std::abs(minuteMeans[i] - minuteMeans[i - 1]));
    EXPECT_LT(steepest, 6.0);
    EXPECT_GT(steepest, 1.0);
}

TEST(ConverterStream, FpdConverterStreamsItsOwnSmallerBaselineOnPortB) {
    InstrumentOptions options;
    options.twoConverters = true;
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    startStream(wire, Port::Fpd);
    instrument.advanceTo(Millis(3600 * 1000));
    EXPECT_TRUE(wire.fromMain.isEmpty()) << "the main converter was not started";
    const std::vector<int> values = decodeAll(wire.fromFpd);
    ASSERT_EQ(values.size(), 36'000u);
    for (const QByteArray& line : linesOf(wire.fromFpd.left(90)))
        EXPECT_EQ(line.at(1), 'B');
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    EXPECT_GE(*low, 150);
    EXPECT_LE(*high, 350);
}

TEST(ConverterStream, SameSeedSameLinesOnBothPorts) {
    auto run = [](std::uint64_t seed) {
        InstrumentOptions options;
        options.twoConverters = true;
        options.seed = seed;
        VirtualInstrument instrument(options);
        SimWire wire(instrument);
        startStream(wire);
        startStream(wire, Port::Fpd);
        for (int t = 90; t <= 60'000; t += 90)
            instrument.advanceTo(Millis(t));
        instrument.advanceTo(Millis(60'000));
        wire.ask("<12Z0100");
        wire.ask("<12Z0100", Port::Fpd);
        return std::make_pair(wire.fromMain, wire.fromFpd);
    };
    const auto first = run(42);
    EXPECT_EQ(linesOf(first.first).size(), 601);
    EXPECT_TRUE(run(42) == first);
    const auto other = run(43);
    EXPECT_FALSE(other.first == first.first);
    EXPECT_FALSE(other.second == first.second);
}

// The whole path the program uses: in-process line, manual clock, the program's line assembler
// sorting data lines from replies.
TEST(ConverterStream, BurstThroughTheInProcessLineWithStatusRepliesInBetween) {
    ManualClock clock;
    InProcessInstrument sim;
    sim.follow(clock);
    InProcessLine& line = sim.mainLine();
    ASSERT_TRUE(line.open({}));
    QList<QByteArray> data;
    QList<QByteArray> replies;
    LineAssembler assembler(
        [&](const QByteArray& l) { (isDataLine(l) ? data : replies).append(l); },
        [](const QByteArray&) { ADD_FAILURE() << "overlong line"; });
    auto tick = [&](const QByteArray& command = {}) {
        if (!command.isEmpty()) {
            ASSERT_TRUE(line.write(command));
        }
        clock.advance(Millis(90));
        QCoreApplication::processEvents();
        assembler.feed(line.readAll());
    };

    tick("<12B1100\r<12W1100\r<12Z1100\r<EO1\r");
    for (int i = 0; i < 22; ++i)
        tick(i == 5 ? QByteArray("<12AS100\r") : QByteArray());
    // 23 ticks of 90 ms: 2.07 s, 20 samples.
    EXPECT_EQ(data.size(), 20);
    EXPECT_EQ(replies, (QList<QByteArray>{":EO1", ":12AS118"}));

    tick("<12Z0100\r");
    tick("<12AS100\r");
    for (int i = 0; i < 20; ++i)
        tick();
    ASSERT_EQ(data.size(), 21);
    EXPECT_EQ(data.last().front(), ']');
    for (const QByteArray& l : data.first(20))
        EXPECT_EQ(l.front(), '[');
    EXPECT_EQ(replies.last(), ":12AS100");
}

} // namespace
