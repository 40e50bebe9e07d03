// The lab's figures of whole runs against the virtual instrument's permeation model, every figure
// against the time-lag solution computed here from D, C and l alone:
//
//   J(t) = (D·C/l)·[1 + 2 Σ (−1)ⁿ exp(−D n² π² t / l²)],  Q(t) = ∫J,  time lag l²/(6D)
//
// in the mass units of the chemical. The table runs chemicals of different molar mass (the model
// turns the permeated mass into ppm with the chemical's molar mass and the ideal gas law; the
// program turns the ppm back with the molar mass its list gives and its molar volume of 24.1
// L/mol), fine and coarse sampling (time factors), and in every run three cells whose specimens
// met the chemical at different moments (at Start, before it, after it), the contact the operator
// enters. The rates then differ from J only by the two molar masses and molar volumes; a cell whose
// chemical has no molar mass in the program reads isobutane equivalents, and the run tells.
//
// Times are minutes of the run from each cell's contact; the model runs `timeFactor` times faster
// than the run, so J at run minute t is J(timeFactor · t).

#include "model/Permeation.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFlow = 200;    // ml/min through each cell
constexpr double kArea = 19.6;   // cm², the program's default sample area
constexpr double kCalPpm = 100;  // the reference gas (isobutane) that calibrates the FID
// The membrane of all three cells: a fluoroelastomer-like film, time lag 250 min, 5 ug/cm²/min.
constexpr double kD = 1e-8, kL = 0.03, kC = 2.5e5;

// The time-lag solution, ug/cm²/min at `seconds` of exposure.
double flux(double seconds) {
    if (!(seconds > 0))
        return 0;
    const double tau = kD * seconds / (kL * kL);
    double sum = 1;
    for (int n = 1; n < 400; ++n)
        sum += 2 * (n % 2 ? -1.0 : 1.0) * std::exp(-n * n * kPi * kPi * tau);
    // The series converges slowly for small τ, where the flux is nothing a detector sees anyway.
    return 60 * kD * kC / kL * std::clamp(sum, 0.0, 1.0);
}
double steadyFlux() { return 60 * kD * kC / kL; }
double timeLagSeconds() { return kL * kL / (6 * kD); }
// ∫ J from the contact to `seconds`, ug/cm² (J per second integrated over seconds).
double permeated(double seconds) {
    const double tau = kD * seconds / (kL * kL);
    double sum = 0;
    for (int n = 1; n < 400; ++n)
        sum += (n % 2 ? -1.0 : 1.0) / (n * n) * std::exp(-n * n * kPi * kPi * tau);
    return kD * kC / kL * (seconds - kL * kL / (6 * kD) - 2 * kL * kL / (kPi * kPi * kD) * sum);
}

// The ideal gas's molar volume where the model tells its ppm (20 °C, 101.325 kPa), L/mol.
const double kModelMolarVolume = 8.314462618 * 293.15 / 101.325;

struct Chemical {
    const char* name;    // as the program's list names it
    const char* formula; // the model's molar mass comes from it
    double listMass;     // g/mol as the program's list gives it; 0: the program knows none
};
struct Sampling {
    const char* what;
    double timeFactor;
    double lags; // how long the run lasts, in time lags of the membrane
};
struct Case {
    Chemical chemical;
    Sampling sampling;
};

// Minutes between contact and Start (the operator's entry) of the three cells: at Start, 5 minutes
// before it, 3 minutes after it.
constexpr double kContacts[3] = {0, 5, -3};
// The model time of the program's Start.
constexpr Millis kStart{60'000};

class ModelRun {
public:
    // `blank`: the FID's blank (ppm, and its spread); `zeroGas`: the range starts at the zero gas.
    explicit ModelRun(const Case& c, std::pair<double, double> blank = {0, 0}, bool zeroGas = false)
        : case_(c), options_(instrument(c, blank)), zeroGas_(zeroGas), f_(options_) {
        QStringList ini{"Language/Code=DE", "DeviceTyp/Typ=FID", "Measurement/MeasurementSampleTime/s=5",
                        "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=15",
                        "Measurement/LimitFID=1", "Measurement/KeepMeasuring=1"};
        for (int k = 1; k <= 3; ++k) {
            ini << QStringLiteral("Measurement/SampleFlow%1=%2").arg(k).arg(kFlow)
                << QStringLiteral("Measurement/FIDSampleFactorName%1=%2").arg(k).arg(c.chemical.name)
                << QStringLiteral("Measurement/FIDSampleMolarMass%1=%2").arg(k).arg(c.chemical.listMass);
        }
        if (zeroGas)
            ini << QStringLiteral("Calibration/FIDCalArea=%1").arg(sim::kFidResponse.countSecondsPerPpm * kCalPpm * 10);
        f_.writeIni(ini);
    }

    // Reference gas to cell 3, the FID calibrated on the first reference gas, until the run has
    // lasted `lags` time lags; the summaries after every measurement are kept.
    void run() {
        ASSERT_EQ(f_.start(), StartupOutcome::Running);
        KorvatApp& app = f_.app();
        f_.dialogs.nextFileName = f_.dir + "model.csv";
        app.btnSpeichernClick();
        // The reference gas calibrates in the first measurement; a range from the zero gas would
        // calibrate on the zero gas's blank, so there the FID's calibration is the instrument's
        // own: 450 counts·s per ppm, 100 ppm, ten samples a second.
        if (!zeroGas_)
            f_.toggle(Check::IsobutanCalib, true);
        f_.type(Input::Start, zeroGas_ ? "1" : "2");
        f_.type(Input::Count, zeroGas_ ? "6" : "5");
        f_.type(Input::Cycles, "999");
        // The contacts as the operator enters them: the moments the model's cells were exposed.
        // Start at the model's minute 1, where the cells' exposures are set around.
        ASSERT_LT(f_.clock.monotonicNow(), kStart);
        f_.clock.advance(kStart - f_.clock.monotonicNow());
        const Millis start = f_.clock.monotonicNow();
        const Input contacts[] = {Input::Contact1, Input::Contact2, Input::Contact3};
        for (int k = 0; k < 3; ++k) {
            const Millis exposure = options_.permeation.cells[k].exposureStart;
            f_.type(contacts[k], QLocale().toString(static_cast<double>((start - exposure).count()) / 60000.0, 'g', 12));
        }
        app.sequencer().btnStartClick();
        ASSERT_TRUE(app.sequencer().running());
        const Millis until = start + Millis(static_cast<qint64>(lagMinutes() * case_.sampling.lags * 60000));
        std::size_t seen = 0;
        while (app.sequencer().running() && f_.clock.monotonicNow() < until) {
            f_.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app.Timer1Timer();
            if (app.run().measurements().size() != seen) {
                seen = app.run().measurements().size();
                checkNoEarlySteadyState();
            }
        }
        app.sequencer().btnStopClick();
        while (app.sequencer().running()) {
            f_.clock.advance(Millis(90));
            app.Timer1Timer();
        }
        EXPECT_TRUE(f_.dialogs.boxes.isEmpty()) << f_.dialogs.texts().join('|').toStdString();
        EXPECT_GT(app.settings().FIDCalArea, 1000); // calibrated
    }

    const CellSummary& summary(int cell) const {
        for (const CellSummary& s : f_.app().run().summaries())
            if (s.cell == cell && s.detector == Detector::FID)
                return s;
        ADD_FAILURE() << "no summary for cell " << cell;
        static const CellSummary none;
        return none;
    }

    // The time lag in minutes of the run.
    double lagMinutes() const { return timeLagSeconds() / case_.sampling.timeFactor / 60; }
    // The program's rate for a flux: the model's ppm turned back with the program's mass per ppm.
    double massScale() const {
        const double modelMass = *sim::molarMassOfFormula(QString::fromLatin1(case_.chemical.formula));
        const double programPerPpm = case_.chemical.listMass > 0 ? case_.chemical.listMass / 24100.0 : 0.00241;
        return programPerPpm * kModelMolarVolume * 1000 / modelMass;
    }
    // The program's rate at `minutes` of the run after the contact.
    double rate(double minutes) const { return massScale() * flux(case_.sampling.timeFactor * minutes * 60); }
    double steady() const { return massScale() * steadyFlux(); }
    double cumulative(double minutes) const {
        return massScale() * permeated(case_.sampling.timeFactor * minutes * 60) / case_.sampling.timeFactor;
    }
    // Where the program's rate crosses `threshold`, minutes after the contact (bisected).
    double crossing(double threshold) const {
        double lo = 0, hi = 1;
        while (rate(hi) <= threshold)
            hi *= 2;
        for (int i = 0; i < 200; ++i) {
            const double mid = (lo + hi) / 2;
            (rate(mid) > threshold ? hi : lo) = mid;
        }
        return hi;
    }
    const KorvatApp& app() const { return f_.app(); }

private:
    static sim::InstrumentOptions instrument(const Case& c, std::pair<double, double> blank) {
        sim::InstrumentOptions o;
        o.fidSignal.blankPpm = blank.first;
        o.fidSignal.blankNoisePpm = blank.second;
        o.permeation.enabled = true;
        o.permeation.timeFactor = c.sampling.timeFactor;
        o.permeation.molarMass = *sim::molarMassOfFormula(QString::fromLatin1(c.chemical.formula));
        for (int k = 0; k < 3; ++k) {
            sim::PermeationCell cell{sim::Membrane{kD, kL, kC}};
            cell.areaCm2 = kArea;
            cell.flowMlPerMin = kFlow;
            cell.exposureStart = kStart - Millis(static_cast<qint64>(kContacts[k] * 60000));
            o.permeation.cells[k] = cell;
        }
        return o;
    }

    // No steady state is claimed while a cell is short of 2.5 time lags.
    void checkNoEarlySteadyState() {
        for (const CellSummary& s : f_.app().run().summaries()) {
            if (s.series.empty() || !s.metrics.steady)
                continue;
            EXPECT_GE(s.series.back().minutes, 2.5 * lagMinutes())
                << "cell " << s.cell << ": steady state " << s.metrics.steady->rate << " claimed at "
                << s.series.back().minutes / lagMinutes() << " time lags";
        }
    }

    Case case_;
    sim::InstrumentOptions options_;
    bool zeroGas_ = false;
    mutable AppFixture f_;
};

class PermeationModelMetrics : public ::testing::TestWithParam<Case> {};

TEST_P(PermeationModelMetrics, EveryFigureFollowsTheTimeLagSolution) {
    const Case c = GetParam();
    ModelRun run(c);
    run.run();
    const double lag = run.lagMinutes();
    for (int cell = 1; cell <= 3; ++cell) {
        SCOPED_TRACE(testing::Message() << "cell " << cell << ", contact " << kContacts[cell - 1] << " min before Start");
        const CellSummary& s = run.summary(cell);
        const CellMetrics& m = s.metrics;
        ASSERT_TRUE(s.calibrated);
        ASSERT_TRUE(m.resolution.has_value());
        EXPECT_EQ(s.contactMinutes, kContacts[cell - 1]);
        EXPECT_EQ(s.molarMass.has_value(), c.chemical.listMass > 0);
        const double interval = *m.resolution;

        // Every measured rate is the solution's at its sample time (the loop's fill lies within
        // seconds of the injection; the file keeps rates to 0.001).
        for (const RatePoint& p : s.series) {
            const double expected = run.rate(p.minutes);
            const double slope = (run.rate(p.minutes + 0.1) - run.rate(p.minutes - 0.1)) / 0.2;
            EXPECT_NEAR(p.rate, expected, 0.01 * expected + 0.0015 + std::fabs(slope) * 0.25)
                << "at " << p.minutes << " min";
        }

        // Breakthroughs: interpolated between the two measurements around the crossing, or, with
        // nothing measured below, the bracket up to the first measurement.
        for (const auto& [threshold, measured] : {std::pair{0.1, m.bt01}, std::pair{1.0, m.bt10}}) {
            SCOPED_TRACE(threshold);
            const double analytic = run.crossing(threshold);
            ASSERT_TRUE(measured.first.has_value());
            EXPECT_GE(*measured.first, analytic - 0.1);
            if (measured.lastBelow) {
                ASSERT_TRUE(measured.interpolated.has_value());
                EXPECT_NEAR(*measured.interpolated, analytic, interval);
                EXPECT_LE(*measured.lastBelow, analytic + 0.1);
                EXPECT_LE(*measured.first, analytic + interval + 0.1);
            } else {
                // Crossed before the cell's first measurement (a coarse test, or an early contact).
                EXPECT_FALSE(measured.interpolated.has_value());
                EXPECT_EQ(*measured.first, s.series.front().minutes);
            }
        }
        // The level the breakthrough at 1.0 gives (a level limit within one interval of it may
        // fall either way), or the levels its bracket leaves.
        const int level = levelForBreakthrough(run.crossing(1.0));
        if (m.level.kind == PerformanceLevel::Kind::Exact) {
            EXPECT_GE(m.level.lowest, levelForBreakthrough(run.crossing(1.0) - interval));
            EXPECT_LE(m.level.lowest, levelForBreakthrough(run.crossing(1.0) + interval));
        } else {
            ASSERT_EQ(m.level.kind, PerformanceLevel::Kind::Range);
            EXPECT_LE(m.level.lowest, level);
            EXPECT_GE(m.level.highest, level);
        }

        // The steady state D·C/l, within 2 %, once the run is past four time lags and its window
        // past the half hour.
        ASSERT_TRUE(m.steady.has_value()) << "at " << m.testMinutes / lag << " time lags";
        EXPECT_NEAR(m.steady->rate, run.steady(), 0.02 * run.steady());
        EXPECT_GE(m.steady->fromMinutes, 2.0 * lag);

        // The cumulative permeation: the integral of the solution from the contact.
        const double q = run.cumulative(m.testMinutes);
        EXPECT_NEAR(m.cumulative, q, 0.02 * q + 0.01) << "at " << m.testMinutes << " min";
        if (m.cumulative60) {
            EXPECT_NEAR(*m.cumulative60, run.cumulative(60), 0.05 * run.cumulative(60) + 0.01);
        }

        // The detection limit: without zero gas, the smallest peak the FID search finds (a rise of
        // 9 a sample over half the loop's 1.2 s), as a rate through this cell.
        ASSERT_TRUE(m.detectionLimit.has_value());
        EXPECT_EQ(m.detectionLimit->from, DetectionLimit::From::SmallestPeak);
        const double massPerPpm = c.chemical.listMass > 0 ? c.chemical.listMass / 24100 : 0.00241;
        const double smallest = 9.0 * 6 * 6 / run.app().settings().FIDCalArea * kCalPpm * massPerPpm * kFlow / kArea;
        EXPECT_NEAR(m.detectionLimit->rate, smallest, 0.05 * smallest);
    }
}

// Toluene read as isobutane equivalents (no molar mass in the program's list) reads 92.14/58.12
// times too low: the run against the model shows it in every rate.
TEST(PermeationModelMetricsMass, AMissingMolarMassReadsIsobutaneEquivalents) {
    ModelRun known({{"Toluol", "C7H8", 92.14}, {"coarse", 62.5, 4}});
    ModelRun unknown({{"Toluol", "C7H8", 0}, {"coarse", 62.5, 4}});
    known.run();
    unknown.run();
    const CellSummary& a = known.summary(1);
    const CellSummary& b = unknown.summary(1);
    ASSERT_EQ(a.series.size(), b.series.size());
    ASSERT_FALSE(a.series.empty());
    EXPECT_EQ(b.molarMass, std::nullopt);
    for (std::size_t i = 0; i < a.series.size(); ++i) {
        if (a.series[i].rate < 0.5)
            continue;
        EXPECT_NEAR(a.series[i].rate / b.series[i].rate, 92.14 / 24100 / 0.00241, 0.01) << i;
    }
}

// A blank that varies from injection to injection (a clean injection into the FID shows some
// tenths of a ppm): the run's zero gas gives the detection limit, three standard deviations of
// the blanks through the cell's calibration, molar mass and flow, above the smallest peak.
TEST(PermeationModelMetricsMass, ABlankThatVariesGivesTheDetectionLimit) {
    constexpr double kBlank = 1.0, kSpread = 0.4; // ppm isobutane, what the FID sees
    ModelRun run({{"Toluol", "C7H8", 92.14}, {"coarse", 62.5, 6}}, {kBlank, kSpread}, true);
    run.run();
    const double expected = 3 * kSpread * 92.14 / 24100 * kFlow / kArea;
    for (int cell = 1; cell <= 3; ++cell) {
        SCOPED_TRACE(cell);
        const CellSummary& s = run.summary(cell);
        ASSERT_TRUE(s.metrics.detectionLimit.has_value());
        EXPECT_EQ(s.metrics.detectionLimit->from, DetectionLimit::From::ZeroGas);
        // Three standard deviations estimated from some twenty blanks.
        EXPECT_NEAR(s.metrics.detectionLimit->rate, expected, 0.35 * expected);
        // The first interval starts at the blank's rate (the search takes less than the whole of
        // so small a peak, and a blank now and then is too small to be found).
        EXPECT_TRUE(s.blankMeasured);
        const double blankRate = kBlank * 92.14 / 24100 * kFlow / kArea;
        EXPECT_GT(s.metrics.contactRate, 0.5 * blankRate);
        EXPECT_LT(s.metrics.contactRate, 1.1 * blankRate);
    }
}

const Case kCases[] = {
    {{"Toluol", "C7H8", 92.14}, {"fine", 25, 6}},
    {{"Toluol", "C7H8", 92.14}, {"coarse", 62.5, 12}},
    {{"Methanol", "CH4O", 32.04}, {"fine", 25, 6}},
    {{"Methanol", "CH4O", 32.04}, {"coarse", 62.5, 12}},
};

INSTANTIATE_TEST_SUITE_P(Table, PermeationModelMetrics, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.chemical.formula) + "_" + info.param.sampling.what;
                         });

} // namespace
