// A run against the in-process instrument with the manual clock: the phase timeline to the tick,
// positions and cycles, switched-off cells, stop, delayed start, the converter wait's limit, and a
// failure inside the tick.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct SentCommand {
    Millis at;
    QByteArray text;
};

struct RunFixture : ::testing::Test {
    void start(const QStringList& extraIni = {}) {
        QStringList ini = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                           "Measurement/MeasurementInjectionTime/s=3",
                           "Measurement/MeasurementTimePerCell/s=60"};
        ini += extraIni;
        f.writeIni(ini);
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        QCoreApplication::processEvents();
        line().clearWrittenData();
    }
    sim::InProcessLine& line() { return f.instrument->mainLine(); }
    KorvatApp& app() { return f.app(); }
    Sequencer& seq() { return f.app().sequencer(); }

    void range(int first, int count, int cycles) {
        f.app().inputs().edited(Input::Start, QString::number(first));
        f.app().inputs().edited(Input::Count, QString::number(count));
        f.app().inputs().edited(Input::Cycles, QString::number(cycles));
    }
    // One tick, after the clock moved on by `step`; commands sent by it are collected.
    void tick(Millis step = Millis(90)) {
        f.clock.advance(step);
        QCoreApplication::processEvents();
        app().Timer1Timer();
        const QByteArray sent = line().writtenData();
        line().clearWrittenData();
        for (const QByteArray& c : sent.split('\r'))
            if (!c.isEmpty())
                commands.push_back({f.clock.monotonicNow(), c});
    }
    // Ticks until the run is over (or a limit of simulated time has passed).
    void runToEnd(Millis limit = Millis(3600 * 1000)) {
        const Millis until = f.clock.monotonicNow() + limit;
        while ((seq().running() || seq().delayPending()) && f.clock.monotonicNow() < until)
            tick();
    }
    std::optional<Millis> firstAt(const QByteArray& text, Millis from = Millis(0)) const {
        for (const SentCommand& c : commands)
            if (c.text == text && c.at >= from)
                return c.at;
        return std::nullopt;
    }
    std::vector<int> positions() {
        std::vector<int> out;
        for (const auto& m : f.app().run().measurements())
            out.push_back(m.runZelle);
        return out;
    }

    AppFixture f;
    std::vector<SentCommand> commands;
};

} // namespace

TEST_F(RunFixture, OneMeasurementFollowsItsTimelineToTheTick) {
    start();
    range(4, 2, 1);
    seq().btnStartClick();
    EXPECT_EQ(line().writtenData(), "<12Z0100\r<V2SFE\r<V2SF6\r<V2SE6\r"); // monitoring off, 17, 4, 5
    line().clearWrittenData();
    tick();
    ASSERT_EQ(app().run().runTag(), RunTag::FlushCell);
    const Millis t0 = f.clock.monotonicNow(); // the tick that ran state 1
    EXPECT_EQ(commands.front().text, "<V1SF7"); // valve 14
    auto at = [&](const QByteArray& c) {
        const auto t = firstAt(c, t0);
        return t ? (*t - t0).count() : -1;
    };
    // Elapsed seconds must exceed the threshold: 5.99 s is not more than 5, 6.0 s is.
    while (f.clock.monotonicNow() - t0 + Millis(90) < Millis(5990))
        tick();
    tick(t0 + Millis(5990) - f.clock.monotonicNow());
    EXPECT_FALSE(firstAt("<D1", t0));
    tick(Millis(10));
    EXPECT_EQ(at("<D1"), 6000);
    EXPECT_EQ(app().run().runTag(), RunTag::FillLoop);
    runToEnd();

    EXPECT_GE(at("<V1SFF"), 9000); // the position's bank-1 valve closes at 9 s...
    EXPECT_LT(at("<V1SFF"), 9090);
    EXPECT_GT(at("<D0"), at("<V1SFF")); // ...injection and converter start in the next tick
    EXPECT_LT(at("<D0"), 9180);
    EXPECT_EQ(at("<12B1100"), at("<D0"));
    EXPECT_EQ(at("<12Z1100"), at("<D0"));
    EXPECT_GE(at("<V1SEF"), 10000); // the next position (5) is prepared at 10 s
    EXPECT_LT(at("<V1SEF"), 10180);
    EXPECT_GE(at("<12Z0100"), 69000);
    EXPECT_LT(at("<12Z0100"), 69090);
    EXPECT_EQ(positions(), (std::vector<int>{4, 5}));
    EXPECT_EQ(f.view.status, "Gestoppt");
}

TEST_F(RunFixture, RangeOverTwoCyclesVisitsEveryPositionInOrder) {
    start();
    range(4, 3, 2);
    seq().btnStartClick();
    EXPECT_EQ(app().run().offCount, 3);
    EXPECT_EQ(app().run().strtMessungen, 6);
    QStringList fillTexts;
    while (seq().running()) {
        const RunTag before = app().run().runTag();
        tick();
        if (before == RunTag::FillCell)
            fillTexts << f.view.status;
    }
    EXPECT_EQ(positions(), (std::vector<int>{4, 5, 6, 4, 5, 6}));
    std::vector<int> aktiv, cycles;
    for (const auto& m : app().run().measurements()) {
        aktiv.push_back(m.runAktiv);
        cycles.push_back(m.cycle);
    }
    EXPECT_EQ(aktiv, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(cycles, (std::vector<int>{1, 1, 1, 2, 2, 2}));
    // Positions by the names their lamps carry: position 4 is cell 1, position 6 cell 3.
    EXPECT_EQ(fillTexts.first(), "Füllen Messzelle: Messreihe 1 Zelle 1");
    EXPECT_EQ(fillTexts.last(), "Füllen Messzelle: Messreihe 2 Zelle 3");
    // The end: both banks closed, buttons back.
    EXPECT_EQ(commands[commands.size() - 2].text, "<V1SFF");
    EXPECT_EQ(commands.back().text, "<V2SFF");
    EXPECT_TRUE(f.view.controls.start);
    EXPECT_FALSE(f.view.controls.stop);
    // While the last position of the first cycle was measured, the first was prepared again
    // (wrap): valve 14 opens a second time before the second cycle's state 1.
    int opens14 = 0;
    for (const SentCommand& c : commands)
        opens14 += c.text == "<V1SF7" ? 1 : 0;
    EXPECT_GE(opens14, 3);
}

// What the run page foretells at the first tick (each cell's next turn, the run's end) is what
// the sequencer then does, to within the ticks between phases; and the status line of a
// measurement names the position the lamp shows.
TEST_F(RunFixture, TheForetoldTurnsAndEndAreWhenTheyHappen) {
    start({"Measurement/KeepMeasuring=1"});
    range(4, 3, 2);
    seq().btnStartClick();
    tick();
    ASSERT_EQ(app().run().runTag(), RunTag::FlushCell);
    const Millis t0 = f.clock.monotonicNow();
    const RunProgress foretold = f.view.progress;
    ASSERT_TRUE(foretold.endInMs);
    EXPECT_FALSE(foretold.endAtTheLatest);
    EXPECT_EQ(foretold.cells[0].nextText, "wird gemessen");

    std::map<int, Millis> firstTurn; // position -> when its first turn began (after t0)
    QString measuringStatus;
    while (seq().running()) {
        const RunTag before = app().run().runTag();
        const int position = app().run().runZelle;
        tick();
        if (before == RunTag::FillCell && !firstTurn.count(position))
            firstTurn[position] = f.clock.monotonicNow() - t0;
        if (before == RunTag::Inject && position == 5 && measuringStatus.isEmpty())
            measuringStatus = f.view.status;
    }
    const Millis took = f.clock.monotonicNow() - t0;
    // The foretelling counts the ticks between phases; what is left is where in its tick each
    // threshold falls, under half a tick a turn (it was four ticks a turn before they were counted).
    const qint64 slack = 6 * 45;
    EXPECT_NEAR(double(took.count()), double(*foretold.endInMs), slack);
    for (int k : {2, 3}) {
        ASSERT_TRUE(foretold.cells[k - 1].nextInMs) << k;
        EXPECT_NEAR(double(firstTurn.at(k + 3).count()), double(*foretold.cells[k - 1].nextInMs), slack) << k;
    }
    EXPECT_EQ(measuringStatus, "Messung: 2 Messreihe 1 Zelle 2");
    EXPECT_TRUE(f.view.progress.headline.isEmpty()); // over: nothing is foretold
}

TEST_F(RunFixture, ASwitchedOffCellIsVisitedButNotMeasured) {
    start();
    range(4, 3, 1);
    seq().btnStartClick();
    f.switchCellOff(2); // cell 2 (position 5) is off
    runToEnd();
    EXPECT_EQ(positions(), (std::vector<int>{4, 5, 6}));
    EXPECT_FALSE(app().run().measurements()[0].skipped);
    EXPECT_TRUE(app().run().measurements()[1].skipped);
    // Position 5's bank-1 valve (V15, bit 4) was never opened; while 4 was measured, 6 was prepared.
    for (const SentCommand& c : commands) {
        EXPECT_FALSE(c.text.startsWith("<V1S") && !(c.text.mid(4).toInt(nullptr, 16) & 0x10)) << c.text.data();
    }
    EXPECT_EQ(f.view.chemical, f.view.inputLabels.value(Input::FIDFactor3));
}

// The turn of a switched-off cell keeps its row, but the row is the cell's own: its chemical, its
// factor and flow, no ppm of the position measured before, and no raw-data file that would pretend
// to be a measurement (the series still hold the position before).
TEST_F(RunFixture, ASwitchedOffCellsTurnRecordsItsOwnChemicalAndNoMeasurement) {
    start({"Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1", "Measurement/FIDSampleFactorName1=Toluol",
           "Measurement/FIDSampleFactor1=0.57",
           "Measurement/FIDSampleFactorName2=Methanol", "Measurement/FIDSampleFactor2=10",
           "Measurement/SampleFlow2=70"});
    app().records().sDateiname = f.dir + "Off.csv";
    range(4, 3, 1);
    seq().btnStartClick();
    f.switchCellOff(2);
    runToEnd();
    const auto& m = app().run().measurements();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_GT(m[0].FIDppm, 0.0); // cell 1 measured a ppm the turn after it must not repeat
    const MeasurementRecord& off = m[1];
    EXPECT_TRUE(off.skipped);
    EXPECT_EQ(off.sChemikalie, "Methanol");
    EXPECT_EQ(off.FIDSampleFactor, 10.0);
    EXPECT_EQ(off.Flow, 70.0);
    EXPECT_EQ(off.FIDppm, 0.0);
    EXPECT_EQ(off.FIDMessMenge, 0.0);
    EXPECT_EQ(off.FIDArea, 0.0);
    EXPECT_EQ(off.marker, QChar('*'));
    EXPECT_TRUE(QFile::exists(f.dir + "Off_1.txt"));
    EXPECT_FALSE(QFile::exists(f.dir + "Off_2.txt"));
    EXPECT_TRUE(QFile::exists(f.dir + "Off_3.txt"));
    // The file was named, not chosen: Start made it with the run's header block; the rows follow
    // its column titles.
    QList<QByteArray> rows = test::readBytes(f.dir + "Off.csv").split('\n');
    while (!rows.isEmpty() && !rows.front().startsWith("Zelle;Bruch;Bruchzeit;"))
        rows.removeFirst();
    ASSERT_GE(rows.size(), 4);
    rows.removeFirst();
    // A German program writes decimal commas.
    EXPECT_TRUE(rows[1].startsWith("5;*;--:--;Methanol;10,00;70,0;")) << rows[1].toStdString();
    EXPECT_TRUE(rows[1].contains(";0,000;0,000;0;")) << rows[1].toStdString();
}

// The contact of the chemical with each specimen is taken as typed when Start is pressed, stored,
// and what the run's figures count from; a contact that is not a number starts nothing.
TEST_F(RunFixture, ContactTimesAreTakenAtStart) {
    start();
    range(4, 1, 1);
    const struct {
        const char* texts[3];
        bool starts;
    } cases[] = {{{"fünf", "0", "0"}, false}, {{"0", "", "1e999"}, false}, {{"2.5", "", "-4"}, true}};
    const Input edits[] = {Input::Contact1, Input::Contact2, Input::Contact3};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts[0]);
        f.dialogs.boxes.clear();
        for (int k = 0; k < 3; ++k)
            app().inputs().edited(edits[k], QString::fromUtf8(c.texts[k]));
        seq().btnStartClick();
        EXPECT_EQ(seq().running(), c.starts);
        EXPECT_EQ(f.dialogs.boxes.size(), c.starts ? 0 : 1);
    }
    ASSERT_TRUE(seq().running());
    const RunParameters& p = app().run().parameters;
    EXPECT_EQ(p.cell(1).contactMinutes, 2.5);
    EXPECT_EQ(p.cell(2).contactMinutes, 0.0); // empty: the run's start
    EXPECT_EQ(p.cell(3).contactMinutes, -4.0);
    EXPECT_EQ(app().settings().ContactBeforeStart1, 2.5);
    EXPECT_EQ(app().ini().readString("Measurement", "ContactBeforeStart3/min", "-"), "-4");
    // Edited during the run, a contact is stored for the next run; this one keeps its own.
    app().inputs().edited(Input::Contact1, "7");
    app().editContactExit(1);
    EXPECT_EQ(app().settings().ContactBeforeStart1, 7.0);
    EXPECT_EQ(app().run().parameters.cell(1).contactMinutes, 2.5);
    runToEnd();
}

TEST_F(RunFixture, ASwitchedOffCellThreeEndsThePreparationWithoutWrapping) {
    start();
    range(4, 3, 2);
    seq().btnStartClick();
    f.switchCellOff(3);
    // Measure position 4 and 5; while 5 is measured, state 4 must open nothing (6 is off, no wrap).
    while (app().run().measurements().size() < 1)
        tick();
    const Millis from = f.clock.monotonicNow();
    while (app().run().runTag() != RunTag::Acquire)
        tick();
    for (const SentCommand& c : commands) {
        if (c.at > from) {
            EXPECT_FALSE(c.text == "<V1SFE" || c.text == "<V1SDF") << c.text.data(); // 11 or 16
        }
    }
}

TEST_F(RunFixture, StopDuringTheWindowFinishesTheMeasurementThenEnds) {
    start();
    range(4, 3, 5);
    seq().btnStartClick();
    while (app().run().runTag() != RunTag::Acquire)
        tick();
    seq().btnStopClick();
    EXPECT_EQ(f.view.status, "Stop Analyse");
    EXPECT_FALSE(f.view.controls.stop);
    runToEnd();
    EXPECT_EQ(app().run().measurements().size(), 1u);
    EXPECT_EQ(f.view.status, "Gestoppt");
    EXPECT_EQ(commands.back().text, "<V2SFF");
}

// Stop ends the counters at once; the measurement under way still belongs to its own cycle, in
// its record and in the journal's outcome line.
TEST_F(RunFixture, StopKeepsTheCycleOfTheMeasurementUnderWay) {
    start({"Calibration/FIDCalArea=450000"});
    f.dialogs.nextFileName = f.dir + "Stop.csv";
    app().btnSpeichernClick();
    range(4, 1, 3);
    seq().btnStartClick();
    while (app().run().measurements().size() < 1 || app().run().runTag() != RunTag::Acquire)
        tick();
    seq().btnStopClick();
    runToEnd();
    const auto& done = app().run().measurements();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].cycle, 1);
    EXPECT_EQ(done[1].cycle, 2);
    const QByteArray journal = test::readBytes(f.dir + "Stop_events.log");
    EXPECT_TRUE(journal.contains("\tmeasurement\t\t2\tcycle 2, position 4")) << journal.toStdString();
    EXPECT_FALSE(journal.contains("cycle 4")) << journal.toStdString();
}

TEST_F(RunFixture, DelayedStartFiresInTheFirstTickOfANewSecondAndStopCancelsIt) {
    start();
    range(1, 1, 1);
    f.clock.advance(Millis(500)); // wall 08:00:xx.5
    const QDateTime armed = f.clock.wallNow();
    f.app().inputs().edited(Input::Startdelay, "00:01");
    seq().btnDelayClick();
    EXPECT_EQ(f.view.status, "Messverzögerung Aktiv");
    EXPECT_FALSE(f.view.controls.start);
    while (!seq().running())
        tick();
    const QDateTime fired = f.clock.wallNow();
    EXPECT_GE(armed.msecsTo(fired), 60000);
    EXPECT_LT(armed.msecsTo(fired), 61000);
    EXPECT_EQ(fired.time().second(), armed.addSecs(61).time().second()); // first tick of the new second
    EXPECT_EQ(app().run().runTag(), RunTag::FlushCell); // state 1 ran in the same tick
    EXPECT_EQ(f.view.start, "Start um" + armed.time().toString("HH:mm:ss"));

    seq().btnStopClick();
    runToEnd();
    // Stop while a delay is pending: ends at once.
    f.app().inputs().edited(Input::Startdelay, "00:05");
    seq().btnDelayClick();
    line().clearWrittenData();
    seq().btnStopClick();
    EXPECT_FALSE(seq().delayPending());
    EXPECT_EQ(f.view.status, "Gestoppt");
    EXPECT_EQ(line().writtenData(), "<V1SFF\r<V2SFF\r");
    EXPECT_TRUE(f.view.controls.start);
    EXPECT_TRUE(f.view.controls.delay);
}

TEST_F(RunFixture, BadEditTextsLeaveTheWindowAsItWas) {
    start();
    range(4, 1, 1);
    f.app().inputs().edited(Input::Cycles, "zwei");
    seq().btnStartClick();
    f.app().inputs().edited(Input::Startdelay, "später");
    seq().btnDelayClick();
    EXPECT_EQ(f.dialogs.boxes.size(), 2);
    EXPECT_TRUE(f.view.controls.start);
    EXPECT_FALSE(seq().running());
    EXPECT_FALSE(seq().delayPending());
    EXPECT_EQ(line().writtenData(), "");
}

TEST_F(RunFixture, PhasesFollowTheMonotonicClockNotTheWallClock) {
    start();
    range(4, 1, 1);
    seq().btnStartClick();
    tick();
    const Millis t0 = f.clock.monotonicNow();
    f.clock.shiftWallClock(Millis(-3600 * 1000)); // clocks go back an hour
    runToEnd();
    EXPECT_LT(*firstAt("<D1", t0) - t0, Millis(6090));
    EXPECT_EQ(app().run().measurements().size(), 1u);
}

TEST_F(RunFixture, AConverterThatNeverEndsItsBurstIsGivenUpAfterTheWindowPlus30Seconds) {
    start();
    range(4, 1, 1);
    seq().btnStartClick();
    while (app().run().runTag() != RunTag::Acquire)
        tick();
    // The instrument falls silent with its burst open: the last status said 118, the last data
    // line was a "[" line.
    app().poll().intAD1Status = 118;
    f.instrument->mainLine().attach(nullptr);
    while (app().run().runTag() == RunTag::Acquire)
        tick();
    const Millis entered = f.clock.monotonicNow();
    app().acquisition().Sampling = true;
    while (app().run().runTag() == RunTag::WaitConverter)
        tick();
    const Millis waited = f.clock.monotonicNow() - entered;
    EXPECT_GT(waited, Millis(90000));
    EXPECT_LT(waited, Millis(90200));
    EXPECT_TRUE(f.view.status.contains("did not end its burst")) << f.view.status.toStdString();
    EXPECT_TRUE(firstAt("<12Z0100", entered + Millis(1)).has_value()); // asked again
    runToEnd();
    EXPECT_EQ(app().run().measurements().size(), 1u);
}

TEST_F(RunFixture, AFailureInsideTheTickStopsTheRunSafely) {
    start();
    range(4, 3, 1);
    int evaluations = 0;
    seq().setEvaluation([&](Sequencer& s) {
        if (++evaluations == 2)
            throw std::runtime_error("evaluation failed");
        s.recordMeasurement();
    });
    seq().btnStartClick();
    runToEnd();
    EXPECT_FALSE(seq().running());
    EXPECT_EQ(app().run().measurements().size(), 1u); // what was measured is kept
    EXPECT_TRUE(f.view.status.contains("evaluation failed"));
    EXPECT_EQ(commands[commands.size() - 2].text, "<V1SFF");
    EXPECT_EQ(commands.back().text, "<V2SFF");
    EXPECT_TRUE(f.view.controls.start);
    tick(); // the program goes on
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
}

TEST_F(RunFixture, RawDataFilesGoBesideTheResultsFile) {
    start({"Measurement/RawDataSave=1"});
    QDir(f.dir).mkdir("results");
    app().records().sDateiname = f.dir + "results/Glove7.csv";
    range(4, 2, 1);
    seq().btnStartClick();
    runToEnd();
    for (int n : {1, 2}) {
        QFile file(f.dir + QString("results/Glove7_%1.txt").arg(n));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << n;
        const QList<QByteArray> lines = file.readAll().split('\n');
        EXPECT_EQ(lines[0], "0\r");
        const int points = lines[1].trimmed().toInt();
        EXPECT_NEAR(points, 600, 3);
        EXPECT_EQ(lines.size(), 2 + (points - 1) + 4 + 1); // trailing empty piece after the last CR LF
    }
    EXPECT_FALSE(QFile::exists(f.dir + "Glove7_1.txt"));
}

TEST_F(RunFixture, EachWindowHoldsThePeakOfItsPositionsGas) {
    start();
    range(1, 2, 1); // zero gas, then the reference gas
    std::vector<double> rise;
    seq().setEvaluation([&](Sequencer& s) {
        const auto& y = app().acquisition().Series1.y;
        ASSERT_GT(y.size(), 100u);
        const double baseline = y[5];
        rise.push_back(*std::max_element(y.begin(), y.end()) - baseline);
        s.recordMeasurement();
    });
    seq().btnStartClick();
    runToEnd();
    ASSERT_EQ(rise.size(), 2u);
    EXPECT_LT(rise[0], 100);   // zero gas: baseline noise only
    EXPECT_GT(rise[1], 10000); // reference gas: a tall peak
}

TEST_F(RunFixture, ARangeOutsideTheValveBlockIsKeptInside) {
    start();
    range(9, 4, 1); // as a file could hold it, before any exit handler ran
    seq().btnStartClick();
    EXPECT_EQ(app().run().runStart, 6);
    EXPECT_EQ(app().run().strtCount, 1);
    EXPECT_EQ(f.view.inputs.value(Input::Start), "6");
    runToEnd();
    EXPECT_EQ(positions(), (std::vector<int>{6}));
    range(0, 2, 1);
    seq().btnStartClick();
    runToEnd();
    EXPECT_EQ(positions(), (std::vector<int>{1, 2})); // the second run's records only
}

TEST_F(RunFixture, ANewRunKeepsOnlyItsOwnRecords) {
    // A program that runs test after test for weeks must not pile up every run's records: the
    // records and rows of a run last until the next one starts.
    start();
    range(4, 2, 1);
    seq().btnStartClick();
    runToEnd();
    ASSERT_EQ(positions(), (std::vector<int>{4, 5}));
    ASSERT_EQ(app().run().measurements().size(), 2u);

    range(6, 1, 1);
    seq().btnStartClick();
    EXPECT_TRUE(app().run().measurements().empty());
    runToEnd();
    EXPECT_EQ(positions(), (std::vector<int>{6}));
    ASSERT_EQ(app().run().measurements().size(), 1u);
    EXPECT_EQ(app().run().measurements()[0].runZelle, 6);
}
