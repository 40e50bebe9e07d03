// The program against every habit the protocol leaves to the instrument: line ends, answers that
// come late or in pieces, echoes, other acknowledgements or none, query replies with a tail, idle
// status numbers, data lines in other forms, lines after the stop, converters that end their
// bursts one after the other, lines in batches. Each row is a short run in process on the manual
// clock: start-up, then the reference gas twice (the first calibrates, the second reads it back),
// and a few seconds more. Whatever the habit, the run must see what the plain instrument shows:
// the same peaks, every line of each burst before its evaluation, no line dropped or misread.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct Outcome {
    StartupOutcome startup = StartupOutcome::Halted;
    QString serial;
    std::vector<MeasurementRecord> records;
    std::size_t fidPointsAfter = 0, fpdPointsAfter = 0;
    std::array<int, 2> droppedLines{};
    QStringList complaints; // log lines that say something went wrong
    QString cellReadBack;
    int converterStatus = 0;
    bool sampling = true;
};

Outcome run(const sim::InstrumentOptions& options) {
    AppFixture f(options);
    const bool twoPorts = options.twoConverters;
    f.writeIni({"Language/Code=DE", twoPorts ? "DeviceTyp/Typ=FIDFPD" : "DeviceTyp/Typ=FID",
                "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                "Measurement/MeasurementTimePerCell/s=30"});
    Outcome o;
    o.startup = f.start();
    if (o.startup != StartupOutcome::Running)
        return o;
    KorvatApp& app = f.app();
    o.serial = app.sSerialNumber;
    QCoreApplication::processEvents();
    f.dialogs.nextFileName = f.dir + "Habits.csv";
    app.btnSpeichernClick();
    app.inputs().toggled(Check::IsobutanCalib, true);
    if (twoPorts)
        app.inputs().toggled(Check::SulfurCalib, true);
    app.inputs().edited(Input::Start, "2");
    app.inputs().edited(Input::Count, "1");
    app.inputs().edited(Input::Cycles, "2");
    auto tick = [&] {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
    };
    // The operator starts a while after the window came up: by then the heating requests the
    // instrument reported first have been followed.
    while (f.clock.monotonicNow() < Millis(15'000))
        tick();
    app.sequencer().btnStartClick();
    const Millis limit = f.clock.monotonicNow() + Millis(600'000);
    while (app.sequencer().running() && f.clock.monotonicNow() < limit)
        tick();
    // Whatever the converters still had to say arrives now.
    for (int i = 0; i < 60; ++i)
        tick();
    o.records = app.run().measurements();
    o.fidPointsAfter = app.acquisition().Series1.size();
    o.fpdPointsAfter = app.acquisition().Series2.size();
    o.droppedLines = app.acquisition().droppedLines;
    for (const QString& line : f.view.log)
        if (line.contains("not understood") || line.contains("dropped") || line.contains("did not end") ||
            line.contains("is no answer"))
            o.complaints << line;
    o.cellReadBack = f.view.readBacks.value(ReadBack::Messkammer);
    o.converterStatus = app.poll().intAD1Status;
    o.sampling = app.acquisition().Sampling;
    return o;
}

struct HabitCase {
    std::string name;
    sim::InstrumentOptions options;
};

void PrintTo(const HabitCase& c, std::ostream* os) { *os << c.name; }

sim::InstrumentOptions with(bool twoPorts, const std::function<void(sim::WireHabits&)>& vary) {
    sim::InstrumentOptions o;
    o.twoConverters = twoPorts;
    vary(o.habits);
    return o;
}

std::vector<HabitCase> habitCases() {
    std::vector<HabitCase> cases;
    for (const bool two : {false, true}) {
        const std::string port = two ? "TwoPorts" : "OnePort";
        auto add = [&](const std::string& name, const std::function<void(sim::WireHabits&)>& vary) {
            cases.push_back({port + name, with(two, vary)});
        };
        add("CrLf", [](sim::WireHabits& h) { h.lineEnd = sim::LineEnd::CrLf; });
        add("LfCr", [](sim::WireHabits& h) { h.lineEnd = sim::LineEnd::LfCr; });
        add("PiecesOfThreeBytes", [](sim::WireHabits& h) { h.chunkBytes = 3; });
        add("LinesSplitAcrossTicks", [](sim::WireHabits& h) {
            h.chunkBytes = 4;
            h.chunkGap = Millis(10);
        });
        add("RepliesAfter400ms", [](sim::WireHabits& h) { h.replyDelay = Millis(400); });
        add("RepliesAfter3s", [](sim::WireHabits& h) { h.replyDelay = Millis(3000); });
        add("Echo", [](sim::WireHabits& h) { h.echo = true; });
        add("NoAcknowledgement", [](sim::WireHabits& h) { h.ack = sim::AckMode::None; });
        add("EveryCommandAnsweredOk", [](sim::WireHabits& h) {
            h.ack = sim::AckMode::Text;
            h.ackEveryCommand = true;
        });
        add("EveryCommandEchoedWithColon", [](sim::WireHabits& h) { h.ackEveryCommand = true; });
        add("ReplyTail", [](sim::WireHabits& h) { h.replyTail = "  "; });
        add("IdleStatusZero", [](sim::WireHabits& h) { h.idleStatus = 0; });
        add("IdleStatus255", [](sim::WireHabits& h) { h.idleStatus = 255; });
        add("DataChannelPlusSignLowercaseTail", [](sim::WireHabits& h) {
            h.dataChannel = {'0', '1'};
            h.data.plusSign = '+';
            h.data.lowercaseHex = true;
            h.data.tail = " 00:00:01";
        });
        add("SlashMarkers", [](sim::WireHabits& h) { h.data.openMarkers = "/"; });
        add("MarkersInTurn", [](sim::WireHabits& h) { h.data.openMarkers = "[//"; });
        add("LinesAfterStop", [](sim::WireHabits& h) { h.linesAfterStop = {4, 4}; });
        add("LinesInBatchesOfFive", [](sim::WireHabits& h) { h.dataBatch = 5; });
        add("ClosingLineAtEveryStop", [](sim::WireHabits& h) { h.closingLineWhenIdle = true; });
        if (two) {
            add("MainConverterEndsLast", [](sim::WireHabits& h) { h.linesAfterStop = {6, 0}; });
            add("FpdConverterEndsLast", [](sim::WireHabits& h) { h.linesAfterStop = {0, 6}; });
            add("EchoCrLfAndPieces", [](sim::WireHabits& h) {
                h.echo = true;
                h.lineEnd = sim::LineEnd::CrLf;
                h.chunkBytes = 4;
                h.ackEveryCommand = true;
            });
        }
    }
    return cases;
}

// The plain instrument's run, once per configuration.
const Outcome& reference(bool twoPorts) {
    static std::array<std::optional<Outcome>, 2> runs;
    std::optional<Outcome>& r = runs[twoPorts ? 1 : 0];
    if (!r) {
        sim::InstrumentOptions o;
        o.twoConverters = twoPorts;
        r = run(o);
    }
    return *r;
}

struct ProtocolHabits : ::testing::TestWithParam<HabitCase> {};

} // namespace

TEST_P(ProtocolHabits, RunSeesWhatThePlainInstrumentShows) {
    const HabitCase& c = GetParam();
    const bool twoPorts = c.options.twoConverters;
    const Outcome& plain = reference(twoPorts);
    ASSERT_EQ(plain.startup, StartupOutcome::Running);
    ASSERT_EQ(plain.records.size(), 2u);
    ASSERT_GT(plain.records[0].FIDArea, 100000);

    const Outcome o = run(c.options);
    ASSERT_EQ(o.startup, StartupOutcome::Running);
    EXPECT_EQ(o.serial, "SN4A01-0815");
    ASSERT_EQ(o.records.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const MeasurementRecord& r = o.records[k];
        EXPECT_FALSE(r.NoPeak);
        EXPECT_FALSE(r.flagged);
        // The same peak: the samples only differ by the noise of another moment.
        EXPECT_NEAR(r.FIDArea, plain.records[k].FIDArea, 0.015 * plain.records[k].FIDArea)
            << r.fidPoints << " points, plainly " << plain.records[k].fidPoints;
        EXPECT_GE(r.fidPoints, plain.records[k].fidPoints - 1);
        if (twoPorts) {
            EXPECT_NEAR(r.FPDArea, plain.records[k].FPDArea, 0.015 * plain.records[k].FPDArea);
            EXPECT_GT(r.FPDArea, 0);
            EXPECT_GE(r.fpdPoints, plain.records[k].fpdPoints - 1);
        }
    }
    // Calibrated on the first, the second reads the reference gas back.
    EXPECT_NEAR(o.records[1].FIDppm, 100.0, 3.0);
    // Every line of the last burst was there when it was evaluated; nothing came after.
    EXPECT_EQ(o.fidPointsAfter, o.records[1].fidPoints);
    if (twoPorts) {
        EXPECT_EQ(o.fpdPointsAfter, o.records[1].fpdPoints);
    }
    EXPECT_EQ(o.droppedLines, (std::array<int, 2>{0, 0}));
    EXPECT_TRUE(o.complaints.isEmpty()) << o.complaints.join('\n').toStdString();
    // The status poll reads the instrument as before.
    EXPECT_TRUE(o.cellReadBack.contains(QRegularExpression("^2\\d\\.\\d")))
        << o.cellReadBack.toStdString() << " / " << plain.cellReadBack.toStdString();
    EXPECT_NE(o.converterStatus, 118);
    EXPECT_FALSE(o.sampling);
}

INSTANTIATE_TEST_SUITE_P(Habits, ProtocolHabits, ::testing::ValuesIn(habitCases()),
                         [](const ::testing::TestParamInfo<HabitCase>& info) { return info.param.name; });
