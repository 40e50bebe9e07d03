// The run page's progress and cell overview as the run model gives them, without a window: the
// times to each cell's next turn and to the end (switched-off cells take no time, a run that can
// still switch cells off ends "at the latest"), the trend of the rates, what each cell's time
// means, and a detector without calibration, which shows no rates of 0.

#include "run/RunProgress.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

// Flushing 5 s, filling the loop 3 s, measuring 60 s: a measured turn takes 69 s and three and a
// half ticks of 90 ms.
constexpr qint64 kTurn = 69000 + 315;

struct ProgressTest : ::testing::Test {
    void SetUp() override {
        saved = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        context.sampleSeconds = 5;
        context.injectionSeconds = 3;
        context.calibrated = {true, true};
        run.parameters.measuringSeconds = 60;
    }
    void TearDown() override { QLocale::setDefault(saved); }

    // A run over `count` positions from `first`, `cycles` cycles, standing at `position` of
    // cycle `cycle` in `tag`, `intoTurn` ms after the turn began.
    void standAt(int first, int count, int cycles, int cycle, int position, RunTag tag, qint64 intoTurn) {
        run.runStart = first;
        run.strtCount = count;
        run.strtCycles = cycles;
        run.runCycles = cycles - cycle + 1;
        run.runZelle = position;
        run.runCount = first + count - position;
        run.strtMessungen = count * cycles;
        run.runMessungen = run.strtMessungen - ((cycle - 1) * count + (position - first));
        run.runStartCycle = Millis(1000000);
        context.now = run.runStartCycle + Millis(intoTurn);
        run.setRunTag(tag);
    }
    void switchOff(int k) {
        CellState s = run.cell(k);
        s.brokeThrough = s.off = true;
        s.breakElapsedMs = 3600000;
        run.setCell(k, s);
    }
    void measured(int position, double fid, double fpd, qint64 elapsedMs) {
        MeasurementRecord r;
        r.runZelle = position;
        r.FIDMessMenge = fid;
        r.FPDMessMenge = fpd;
        r.elapsedMs = elapsedMs;
        run.record(r);
    }

    QLocale saved;
    RunModel run;
    ProgressContext context;
};

} // namespace

TEST(RunProgressTrend, ChangesBeyondATenthAndTheShownPrecisionCount) {
    const struct {
        double previous, latest;
        Trend trend;
    } cases[] = {
        {0.10, 0.50, Trend::Rising},  {0.50, 0.10, Trend::Falling}, {1.00, 1.05, Trend::Steady},
        {1.00, 1.20, Trend::Rising},  {0.000, 0.005, Trend::Steady}, // below what the label shows
        {0.000, 0.020, Trend::Rising}, {0.0, 0.0, Trend::Steady},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trendOf(c.previous, c.latest), c.trend) << c.previous << " -> " << c.latest;
}

TEST_F(ProgressTest, TimesToEachCellsNextTurnAndToTheEnd) {
    const struct {
        const char* what;
        int first, count, cycles, cycle, position;
        RunTag tag;
        qint64 intoTurn;
        int offCell; // 0: none
        bool keepMeasuring;
        const char* headline;
        qint64 end;
        std::optional<qint64> next[3];
        bool atTheLatest;
    } cases[] = {
        {"first turn, 10 s in", 4, 3, 2, 1, 4, RunTag::FlushCell, 10000, 0, false,
         "Messung 1 von 6 · Messreihe 1 von 2 · Zelle 1", 6 * kTurn - 10000,
         {std::nullopt, kTurn - 10000, 2 * kTurn - 10000}, true},
        {"reference positions first: the last turn of a cycle", 1, 5, 2, 1, 5, RunTag::Acquire, 60000, 0, false,
         "Messung 5 von 10 · Messreihe 1 von 2 · Zelle 2", 6 * kTurn - 60000,
         {4 * kTurn - 60000, std::nullopt, std::nullopt}, true},
        {"cell 2 switched off takes no time", 4, 3, 2, 1, 4, RunTag::Acquire, 20000, 2, false,
         "Messung 1 von 6 · Messreihe 1 von 2 · Zelle 1", 4 * kTurn - 20000,
         {std::nullopt, std::nullopt, kTurn - 20000}, true},
        {"measured on after breaks: the end is the end", 4, 2, 1, 1, 5, RunTag::Inject, 9000, 0, true,
         "Messung 2 von 2 · Messreihe 1 von 1 · Zelle 2", kTurn - 9000, {std::nullopt, std::nullopt, std::nullopt},
         false},
        {"waiting for the converter: the turn is over", 4, 3, 1, 1, 5, RunTag::WaitConverter, 75000, 0, false,
         "Messung 2 von 3 · Messreihe 1 von 1 · Zelle 2", kTurn, {std::nullopt, std::nullopt, 0}, true},
        {"the next turn not begun yet counts whole", 1, 4, 1, 1, 2, RunTag::FillCell, 500000, 0, false,
         "Messung 2 von 4 · Messreihe 1 von 1 · Refgas", 3 * kTurn, {2 * kTurn, std::nullopt, std::nullopt}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        run = RunModel();
        run.parameters.measuringSeconds = 60;
        context.keepMeasuring = c.keepMeasuring;
        standAt(c.first, c.count, c.cycles, c.cycle, c.position, c.tag, c.intoTurn);
        if (c.offCell)
            switchOff(c.offCell);
        const RunProgress p = runProgress(run, context);
        EXPECT_EQ(p.headline.toStdString(), c.headline);
        ASSERT_TRUE(p.endInMs);
        EXPECT_EQ(*p.endInMs, c.end);
        EXPECT_EQ(p.endAtTheLatest, c.atTheLatest);
        for (int k = 1; k <= 3; ++k)
            EXPECT_EQ(p.cells[k - 1].nextInMs, c.next[k - 1]) << "cell " << k;
    }
}

TEST_F(ProgressTest, EachCellSaysWhatItsTimeIsAndHowItStands) {
    standAt(4, 3, 3, 2, 5, RunTag::Acquire, 30000);
    measured(4, 0.10, 0, 100000);
    measured(5, 0.30, 0, 170000);
    measured(6, 2.00, 0, 240000);
    measured(4, 0.50, 0, 2530000);
    switchOff(3);
    const RunProgress p = runProgress(run, context);

    EXPECT_EQ(p.cells[0].rateText, QString::fromUtf8("0,50 ug/cm²/min"));
    EXPECT_EQ(p.cells[0].trendText, "steigend");
    EXPECT_EQ(p.cells[0].timeText, "letzte Messung 00:42:10");
    EXPECT_EQ(p.cells[0].nextText, "nächste Messung in 00:00:39"); // the rest of cell 2; cell 3 is off
    EXPECT_EQ(p.cells[1].trendText, "");                            // one measurement: no trend yet
    EXPECT_EQ(p.cells[1].nextText, "wird gemessen");
    EXPECT_EQ(p.cells[2].timeText, "Durchbruch 01:00:00");
    EXPECT_EQ(p.cells[2].nextText, "abgeschaltet");
    EXPECT_EQ(p.endText, "Ende spätestens in 00:02:57"); // 39 s + cycle 3 (cells 1 and 2)
}

TEST_F(ProgressTest, ADetectorWithoutCalibrationShowsNoRatesOfZero) {
    context.ID = 1000;
    context.twoDetectors = true;
    context.calibrated = {true, false}; // the demo's FPD: no calibration area
    standAt(4, 1, 2, 2, 4, RunTag::Acquire, 0);
    measured(4, 0.25, 0.0, 69000);
    const RunProgress p = runProgress(run, context);
    EXPECT_EQ(p.cells[0].rateText, QString::fromUtf8("FID 0,25 ug/cm²/min · FPD not calibrated"));
    EXPECT_FALSE(p.cells[0].fpdRate);

    measured(4, 0.0, 0.0, 138000);
    context.calibrated = {false, false};
    context.twoDetectors = false;
    const RunProgress none = runProgress(run, context);
    EXPECT_EQ(none.cells[0].rateText, "not calibrated");
    EXPECT_EQ(none.cells[0].trend, Trend::Unknown);
}

TEST(RunProgressNames, PositionsAreNamedAsTheirLampsAre) {
    const char* german[] = {"Nullgas", "Refgas", "Ref.Zelle", "Zelle 1", "Zelle 2", "Zelle 3"};
    for (int position = 1; position <= 6; ++position)
        EXPECT_EQ(positionName(position, 0).toStdString(), german[position - 1]);
    EXPECT_EQ(positionName(5, 1000), "Cell 2");
}
