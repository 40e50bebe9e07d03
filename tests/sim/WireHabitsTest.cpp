// The virtual instrument's habits where the protocol leaves things open, varied on demand: line
// ends, the exact identification lines, answers held back or sent in pieces, echoes and other
// acknowledgements, query replies with a tail, the idle status, the data lines' form, lines after
// the stop, lines in batches, the sample period. Each variation must change only what it says:
// the program's own decoders read the same values out of every form.

#include "SimWire.h"

#include "link/Commands.h"
#include "model/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korvat;
using namespace korvat::sim;
using korvat::sim::test::SimWire;

namespace {

InstrumentOptions withHabits(const WireHabits& habits, bool twoConverters = false) {
    InstrumentOptions options;
    options.habits = habits;
    options.twoConverters = twoConverters;
    return options;
}

// The lines of `bytes` cut at `end`; a trailing partial line is kept.
QList<QByteArray> cut(const QByteArray& bytes, const QByteArray& end) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype at = bytes.indexOf(end); at >= 0; at = bytes.indexOf(end, start)) {
        lines << bytes.mid(start, at - start);
        start = at + end.size();
    }
    if (start < bytes.size())
        lines << bytes.mid(start);
    return lines;
}

void startStream(SimWire& wire, Port port = Port::Main) {
    for (const char* command : {"<12B1100", "<12W1100", "<12Z1100"})
        wire.ask(command, port);
}

// The values the program's decoder reads from the data lines, with their markers.
struct Decoded {
    std::vector<int> values;
    QByteArray markers;
};
Decoded decode(const QList<QByteArray>& lines) {
    Decoded d;
    for (const QByteArray& line : lines) {
        const std::optional<DataSample> sample = decodeDataLine(QString::fromLatin1(line));
        EXPECT_TRUE(sample.has_value()) << line.constData();
        if (!sample)
            continue;
        d.values.push_back(sample->value);
        d.markers += sample->marker;
    }
    return d;
}

} // namespace

TEST(WireHabits, EveryLineEndsAsAskedAndCarriesNothingElse) {
    for (const LineEnd end : {LineEnd::Cr, LineEnd::CrLf, LineEnd::LfCr}) {
        const QByteArray ending = lineEndBytes(end);
        SCOPED_TRACE(ending.toHex().constData());
        WireHabits habits;
        habits.lineEnd = end;
        VirtualInstrument instrument(withHabits(habits));
        SimWire wire(instrument);
        EXPECT_EQ(wire.ask("<SN"), ":SN4A01-0815" + ending);
        EXPECT_EQ(wire.ask("<PG"), ":PGFC" + ending);
        EXPECT_EQ(wire.ask("<VS0258"), ":VS0258" + ending);
        EXPECT_EQ(wire.ask("<12AS100"), ":12AS100" + ending);
        startStream(wire);
        instrument.advanceTo(Millis(1000));
        wire.ask("<12Z0100");
        const QList<QByteArray> lines = cut(wire.fromMain, ending);
        ASSERT_EQ(lines.size(), 4 + 11);
        for (const QByteArray& line : lines) {
            EXPECT_FALSE(line.contains('\r') || line.contains('\n')) << line.toHex().constData();
        }
        EXPECT_TRUE(lines.last().startsWith(']'));
        EXPECT_TRUE(wire.fromMain.endsWith(ending));
    }
}

TEST(WireHabits, IdentificationLinesAreExactlyTheGivenText) {
    struct Case {
        const char* name;
        QByteArray main, fpd;
        bool bad;
        QByteArray expectMain, expectFpd;
    };
    const Case cases[] = {
        {"default", ":SN4A01-0815", ":SN2B01-0816", false, ":SN4A01-0815\r", ":SN2B01-0816\r"},
        {"other forms", ":AD4-4711-042", ":4711-043", false, ":AD4-4711-042\r", ":4711-043\r"},
        {"trailing blanks", ":AD4-4711-042   ", ":4  ", false, ":AD4-4711-042   \r", ":4  \r"},
        {"no answer", "", "", false, "", ""},
        {"two lines", ":HG0000\r:AD4-4711-042", "x", false, ":HG0000\r:AD4-4711-042\r", "x\r"},
        {"wrong board", ":AD4-4711-042", ":4", true, ":AD2-4711-042\r", ":4\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentOptions options;
        options.twoConverters = true;
        options.mainIdentification = c.main;
        options.fpdIdentification = c.fpd;
        options.badIdentification = c.bad;
        VirtualInstrument instrument(options);
        SimWire wire(instrument);
        EXPECT_EQ(wire.ask("\r\n<SN\r\n"), c.expectMain);
        EXPECT_EQ(wire.ask("<SN", Port::Fpd), c.expectFpd);
        EXPECT_EQ(instrument.identificationReply(Port::Main), c.expectMain);
    }
}

TEST(WireHabits, AnswersWaitTheReplyDelayWhileDataLinesKeepTheirPace) {
    WireHabits habits;
    habits.replyDelay = Millis(700);
    VirtualInstrument instrument(withHabits(habits));
    SimWire wire(instrument);
    startStream(wire);
    EXPECT_TRUE(wire.ask("<SG").isEmpty());
    EXPECT_TRUE(wire.ask("<SN").isEmpty());
    instrument.advanceTo(Millis(699));
    QList<QByteArray> lines = cut(wire.fromMain, "\r");
    ASSERT_EQ(lines.size(), 6) << "the data lines of 0.6 s, and no answer yet";
    for (const QByteArray& line : lines)
        EXPECT_TRUE(line.startsWith('['));
    instrument.advanceTo(Millis(700));
    lines = cut(wire.fromMain, "\r");
    ASSERT_EQ(lines.size(), 9);
    EXPECT_TRUE(lines[6].startsWith(":SG"));
    EXPECT_EQ(lines[7], ":SN4A01-0815");
    EXPECT_TRUE(lines[8].startsWith('[')) << "the line due at 0.7 s";
}

TEST(WireHabits, WhatIsStillOnItsWayWhenTheBoardsFallSilentNeverArrives) {
    WireHabits habits;
    habits.replyDelay = Millis(700);
    habits.chunkBytes = 2;
    habits.chunkGap = Millis(100);
    InstrumentOptions options = withHabits(habits);
    options.faults.silentFrom = Millis(500);
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    wire.ask("<SN");
    instrument.advanceTo(Millis(400));
    EXPECT_TRUE(wire.fromMain.isEmpty());
    instrument.advanceTo(Millis(5000));
    EXPECT_TRUE(wire.fromMain.isEmpty());
}

TEST(WireHabits, BytesLeaveInPiecesInTheirOrder) {
    struct Case {
        int bytes;
        Millis gap;
    };
    for (const Case c : {Case{1, Millis(0)}, Case{4, Millis(0)}, Case{3, Millis(7)}}) {
        SCOPED_TRACE(c.bytes);
        WireHabits habits;
        habits.chunkBytes = c.bytes;
        habits.chunkGap = c.gap;
        VirtualInstrument instrument(withHabits(habits));
        std::vector<std::pair<Millis, QByteArray>> writes;
        instrument.mainConverter().setOutput(
            [&](const QByteArray& b) { writes.emplace_back(instrument.now(), b); });
        instrument.mainConverter().receive("<SN\r<PG\r<12Z1100\r");
        for (Millis t{10}; t <= Millis(1000); t += Millis(10))
            instrument.advanceTo(t);
        instrument.mainConverter().receive("<12Z0100\r");
        instrument.advanceTo(Millis(2000));
        QByteArray all;
        for (std::size_t i = 0; i < writes.size(); ++i) {
            EXPECT_LE(writes[i].second.size(), c.bytes);
            if (i > 0 && c.gap > Millis(0)) {
                EXPECT_GE(writes[i].first, writes[i - 1].first);
            }
            all += writes[i].second;
        }
        // The same lines as whole lines would give, every byte in its place.
        VirtualInstrument plain;
        SimWire reference(plain);
        plain.mainConverter().receive("<SN\r<PG\r<12Z1100\r");
        for (Millis t{10}; t <= Millis(1000); t += Millis(10))
            plain.advanceTo(t);
        plain.mainConverter().receive("<12Z0100\r");
        EXPECT_EQ(all, reference.fromMain);
        EXPECT_GT(writes.size(), static_cast<std::size_t>(reference.fromMain.size() / c.bytes) - 1);
    }
}

TEST(WireHabits, EchoesAndAcknowledgementsAsAsked) {
    struct Case {
        const char* name;
        AckMode ack;
        bool all;
        bool echo;
        // What "<VS0258", "<V1SFE", "<D1", "<12B1100", "<12Z1100", "<SG" each bring back.
        std::vector<QByteArray> answers;
    };
    const Case cases[] = {
        {"default", AckMode::Echo, false, false, {":VS0258\r", "", "", "", "", ":SG00DC\r"}},
        {"none", AckMode::None, false, false, {"", "", "", "", "", ":SG00DC\r"}},
        {"text", AckMode::Text, false, false, {"OK\r", "", "", "", "", ":SG00DC\r"}},
        {"echo all",
         AckMode::Echo,
         true,
         false,
         {":VS0258\r", ":V1SFE\r", ":D1\r", ":12B1100\r", ":12Z1100\r", ":SG00DC\r"}},
        {"text all", AckMode::Text, true, false, {"OK\r", "OK\r", "OK\r", "OK\r", "OK\r", ":SG00DC\r"}},
        {"command echo",
         AckMode::None,
         false,
         true,
         {"<VS0258\r", "<V1SFE\r", "<D1\r", "<12B1100\r", "<12Z1100\r", "<SG\r:SG00DC\r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireHabits habits;
        habits.ack = c.ack;
        habits.ackEveryCommand = c.all;
        habits.echo = c.echo;
        InstrumentOptions options = withHabits(habits);
        options.temperatureNoise = 0;
        VirtualInstrument instrument(options);
        SimWire wire(instrument);
        const char* commands[] = {"<VS0258", "<V1SFE", "<D1", "<12B1100", "<12Z1100", "<SG"};
        for (std::size_t i = 0; i < c.answers.size(); ++i)
            EXPECT_EQ(wire.ask(commands[i]), c.answers[i]) << commands[i];
        EXPECT_EQ(instrument.registerValue(Register::V1), 0xFE) << "the write still acts";
        EXPECT_TRUE(instrument.isStreaming(Port::Main));
    }
}

TEST(WireHabits, QueryRepliesCarryTheTailAndTheIdleStatusIsTheGivenOne) {
    WireHabits habits;
    habits.replyTail = "  ;x";
    habits.idleStatus = 5;
    InstrumentOptions options = withHabits(habits);
    options.temperatureNoise = 0;
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    EXPECT_EQ(wire.ask("<SG"), ":SG00DC  ;x\r");
    EXPECT_EQ(wire.ask("<PG"), ":PGFC  ;x\r");
    EXPECT_EQ(wire.ask("<V1G"), ":V1GFF  ;x\r");
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS5  ;x\r");
    EXPECT_EQ(wire.ask("<VS0258"), ":VS0258\r") << "acknowledgements keep their own form";
    EXPECT_EQ(wire.ask("<SN"), ":SN4A01-0815\r") << "so does the identification";
    startStream(wire);
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS118  ;x\r");
}

TEST(WireHabits, DataLinesInAnyFormCarryTheSameSamples) {
    struct Case {
        const char* name;
        DataLineForm form;
        std::array<char, 2> channel;
    };
    DataLineForm slash;
    slash.openMarkers = "/";
    DataLineForm alternating;
    alternating.openMarkers = "[//";
    DataLineForm plus;
    plus.plusSign = '+';
    DataLineForm lower;
    lower.lowercaseHex = true;
    DataLineForm tail;
    tail.tail = " 12:00:01;ok";
    const Case cases[] = {
        {"slash markers", slash, {'A', 'B'}},
        {"markers in turn", alternating, {'A', 'B'}},
        {"plus sign", plus, {'A', 'B'}},
        {"lowercase digits", lower, {'A', 'B'}},
        {"tail", tail, {'A', 'B'}},
        {"channel", {}, {'0', '0'}},
    };
    auto run = [](const WireHabits& habits) {
        InstrumentOptions options = withHabits(habits, true);
        // Negative samples too, so the sign character is exercised.
        options.fidSignal = {0, 0, Millis(3'600'000), 3};
        VirtualInstrument instrument(options);
        SimWire wire(instrument);
        startStream(wire, Port::Main);
        startStream(wire, Port::Fpd);
        instrument.advanceTo(Millis(3000));
        wire.ask("<12Z0100", Port::Main);
        wire.ask("<12Z0100", Port::Fpd);
        return std::pair{wire.fromMain, wire.fromFpd};
    };
    const auto [plainA, plainB] = run({});
    const Decoded referenceA = decode(cut(plainA, "\r"));
    const Decoded referenceB = decode(cut(plainB, "\r"));
    ASSERT_EQ(referenceA.values.size(), 31u);
    ASSERT_TRUE(std::any_of(referenceA.values.begin(), referenceA.values.end(), [](int v) { return v < 0; }));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireHabits habits;
        habits.data = c.form;
        habits.dataChannel = c.channel;
        const auto [a, b] = run(habits);
        EXPECT_NE(a, plainA);
        const QList<QByteArray> linesA = cut(a, "\r");
        const Decoded decodedA = decode(linesA);
        EXPECT_EQ(decodedA.values, referenceA.values);
        EXPECT_EQ(decode(cut(b, "\r")).values, referenceB.values);
        ASSERT_EQ(decodedA.markers.size(), 31);
        EXPECT_EQ(decodedA.markers.back(), ']');
        for (qsizetype i = 0; i + 1 < decodedA.markers.size(); ++i)
            EXPECT_EQ(decodedA.markers[i], c.form.openMarkers[i % c.form.openMarkers.size()]) << i;
        for (const QByteArray& line : linesA) {
            EXPECT_EQ(line[1], c.channel[0]);
            EXPECT_EQ(line.mid(8), c.form.tail);
            if (line[2] != '0') {
                EXPECT_EQ(line[2], c.form.plusSign);
            }
            if (c.form.lowercaseHex) {
                EXPECT_EQ(line.mid(3, 5), line.mid(3, 5).toLower());
            }
        }
    }
}

TEST(WireHabits, LinesAfterTheStopComeBeforeTheClosingLineAndTheBurstStaysOpenUntilThen) {
    WireHabits habits;
    habits.linesAfterStop = {3, 0};
    VirtualInstrument instrument(withHabits(habits, true));
    SimWire wire(instrument);
    startStream(wire, Port::Main);
    startStream(wire, Port::Fpd);
    instrument.advanceTo(Millis(1000));
    wire.ask("<12Z0100", Port::Main);
    wire.ask("<12Z0100", Port::Fpd);
    EXPECT_TRUE(cut(wire.fromFpd, "\r").last().startsWith(']')) << "B ends at once";
    EXPECT_FALSE(instrument.isStreaming(Port::Fpd));
    EXPECT_TRUE(instrument.isStreaming(Port::Main));
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS118\r");
    instrument.advanceTo(Millis(1300));
    QList<QByteArray> lines = cut(wire.fromMain, "\r");
    ASSERT_EQ(lines.size(), 13 + 1) << "10 in the window, 3 after the stop, the status reply";
    EXPECT_TRUE(lines.last().startsWith('['));
    EXPECT_TRUE(instrument.isStreaming(Port::Main));
    instrument.advanceTo(Millis(1400));
    lines = cut(wire.fromMain, "\r");
    ASSERT_EQ(lines.size(), 15);
    EXPECT_TRUE(lines.last().startsWith(']'));
    EXPECT_FALSE(instrument.isStreaming(Port::Main));
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS100\r");
    instrument.advanceTo(Millis(5000));
    EXPECT_EQ(cut(wire.fromMain, "\r").size(), 16) << "nothing after the closing line";
}

TEST(WireHabits, AClosingLineAtEveryStopIfAsked) {
    for (const bool idleClose : {false, true}) {
        WireHabits habits;
        habits.closingLineWhenIdle = idleClose;
        VirtualInstrument instrument(withHabits(habits));
        SimWire wire(instrument);
        const QByteArray idle = wire.ask("<12Z0100");
        EXPECT_EQ(idle.startsWith("]A"), idleClose);
        EXPECT_EQ(idle.count('\r'), idleClose ? 1 : 0);
        startStream(wire);
        instrument.advanceTo(Millis(500));
        const QByteArray stop = wire.ask("<12Z0100");
        EXPECT_TRUE(stop.startsWith("]A")) << "a burst ends with its line either way";
        EXPECT_EQ(stop.count('\r'), 1);
        EXPECT_FALSE(instrument.isStreaming(Port::Main));
    }
}

TEST(WireHabits, BatchesHoldLinesBackAndTheSamplePeriodSetsThePace) {
    struct Case {
        int batch;
        Millis period;
        int linesBy950; // lines out by 0.95 s
        int total;      // with the closing line at 2 s
    };
    for (const Case c : {Case{1, Millis(100), 9, 21}, Case{4, Millis(100), 8, 21},
                         Case{1, Millis(250), 3, 9}, Case{3, Millis(50), 18, 41}}) {
        SCOPED_TRACE(c.batch * 1000 + c.period.count());
        WireHabits habits;
        habits.dataBatch = c.batch;
        habits.samplePeriod = c.period;
        VirtualInstrument instrument(withHabits(habits));
        SimWire wire(instrument);
        startStream(wire);
        instrument.advanceTo(Millis(950));
        EXPECT_EQ(cut(wire.fromMain, "\r").size(), c.linesBy950);
        instrument.advanceTo(Millis(2000));
        wire.ask("<12Z0100");
        const Decoded d = decode(cut(wire.fromMain, "\r"));
        EXPECT_EQ(static_cast<int>(d.values.size()), c.total);
        EXPECT_EQ(d.markers.back(), ']');
    }
}
