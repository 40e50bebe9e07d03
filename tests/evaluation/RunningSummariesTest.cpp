// The figures kept row by row (RunningSummaries, what the live run shows and writes after every
// measurement) against the same figures made over the whole run: after every row of random but
// realistic runs (zero gas, reference gas and three cells rising to their steady state, cells
// breaking through and then switched off or measured on, peaks not found, a detector calibrated
// only during the run, a curve of several levels, a cell whose contact came after the start,
// flagged measurements), every figure equals what summarizeCells gives for the rows so far, and
// what the functions over a whole series (cellMetrics, fitTimeLag, the uncertainties, decideCell)
// give for the summary's series and the blanks recomputed from the rows.

#include "evaluation/RunningSummaries.h"
#include "support/SummaryText.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <random>

using namespace korvat;

namespace {

constexpr int kMeasuring = 30;

struct Scenario {
    const char* name;
    unsigned seed;
    int cycles;
    bool twoDetectors;
    bool keepMeasuring;
    int calibratedFromRow; // 0: calibrated from the start; otherwise the row that first gives values
    bool curve;            // the FID through a curve of three levels
    bool noise;            // rows carry the baseline noise's area
    Requirement requirement;
};
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

RunParameters parametersOf(const Scenario& sc) {
    RunParameters p;
    p.known = true;
    p.measuringSeconds = kMeasuring;
    p.sampleArea = 19.6;
    if (sc.calibratedFromRow == 0) {
        p.fidCalPpm = 100;
        p.fidCalArea = 450000;
        p.fpdCalPpm = 10;
        p.fpdCalArea = 40000;
    }
    for (CellParameters& c : p.cells) {
        c.chemical = QStringLiteral("Toluol");
        c.molarMass = 92.14;
        c.fpdSubstance = QStringLiteral("Toluol");
        c.specimen.thicknessMm = 0.4;
    }
    p.cells[2].contactMinutes = -20; // the contact came 20 minutes after the start
    if (sc.curve) {
        std::vector<CalibrationPoint> points;
        for (double ppm : {10.0, 100.0, 1000.0})
            points.push_back({0, Detector::FID, {}, ppm, std::round(4400 * ppm + 900), true, {}});
        p.calibration(Detector::FID).curve = fitCalibrationCurve(Detector::FID, points, 0.01);
    }
    p.requirement = sc.requirement;
    return p;
}

// Values as the results file keeps them, so the rows read back as generated.
double rate3(double v) { return std::round(v * 1000) / 1000; }

std::vector<ResultRow> rowsOf(const Scenario& sc) {
    std::mt19937 random(sc.seed);
    std::normal_distribution<double> scatter(0, 1);
    std::uniform_real_distribution<double> uniform(0, 1);
    const double steady[] = {0.4, 2.5, 6.0}, lag[] = {25, 70, 160}; // per cell
    const double ratePerArea = 1.2e-5;
    std::vector<ResultRow> rows;
    std::array<bool, 3> broken{};
    qint64 elapsed = 0;
    int number = 0;
    for (int cycle = 0; cycle < sc.cycles; ++cycle) {
        for (int position : {1, 2, 4, 5, 6}) {
            elapsed += 150000 + static_cast<qint64>(uniform(random) * 60) * 1000;
            ResultRow r;
            r.runZelle = position;
            r.runAktiv = ++number;
            r.marker = QLatin1Char(' ');
            r.sChemikalie = QStringLiteral("Toluol");
            r.sampleName = QStringLiteral("Probe %1").arg(position);
            r.Flow = 100;
            r.elapsedMs = elapsed;
            const bool calibrated = sc.calibratedFromRow == 0 || number >= sc.calibratedFromRow;
            double area = 0;
            if (position == 1)
                area = std::max(0.0, std::round(300 + 40 * scatter(random)));
            else if (position == 2)
                area = 450000;
            else {
                const int k = position - 4;
                const double minutes = (elapsed / 1000 - kMeasuring) / 60.0 + (k == 2 ? -20 : 0);
                const double rate = steady[k] * timeLagShape(std::max(0.0, minutes) / lag[k]) * (1 + 0.03 * scatter(random));
                area = std::round(std::max(0.0, rate) / ratePerArea);
                if (!sc.keepMeasuring && broken[static_cast<std::size_t>(k)]) {
                    r.marker = QLatin1Char('*'); // switched off: visited, not measured
                    rows.push_back(r);
                    continue;
                }
                if (uniform(random) < 0.05)
                    area = 0; // no peak found
                if (rate3(area * ratePerArea) >= 1.0 && calibrated) {
                    broken[static_cast<std::size_t>(k)] = true;
                    r.marker = QLatin1Char('*');
                }
            }
            r.FIDArea = area;
            if (calibrated) {
                r.FIDMessMenge = position == 2 ? 0 : rate3(area * ratePerArea);
                r.FIDppm = rate3(area / 4500);
            }
            if (sc.twoDetectors) {
                r.FPDArea = std::round(area / 11);
                if (calibrated && position != 2)
                    r.FPDMessMenge = rate3(r.FPDArea * ratePerArea * 9);
            }
            if (sc.noise && uniform(random) < 0.9) {
                r.fidNoiseArea = std::round(500 + 200 * uniform(random));
                r.fpdNoiseArea = std::round(50 + 20 * uniform(random));
            }
            r.flagged = uniform(random) < 0.03;
            rows.push_back(r);
        }
    }
    return rows;
}

std::vector<const ResultRow*> pointers(const std::vector<ResultRow>& rows, std::size_t count) {
    std::vector<const ResultRow*> out;
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(&rows[i]);
    return out;
}

::testing::AssertionResult near(const char* what, std::optional<double> a, std::optional<double> b,
                                double relative = 1e-9) {
    if (a.has_value() != b.has_value())
        return ::testing::AssertionFailure() << what << ": " << test::bits(a) << " against " << test::bits(b);
    if (!a || std::fabs(*a - *b) <= relative * std::max({1.0, std::fabs(*a), std::fabs(*b)}))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << ": " << *a << " against " << *b;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// The blank's rate at the contact and the detection limit, made over every row so far (the
// linear calibration: the rate per area is the median of the cell's measurements).
void expectBlanksAsTheWholeRunGives(const CellSummary& s, const RunParameters& p, std::span<const ResultRow* const> rows) {
    if (p.calibration(s.detector).multiLevel())
        return;
    const bool fid = s.detector == Detector::FID;
    std::vector<double> perArea, blanks, noise;
    bool calibrated = p.calibrated(s.detector), noiseComplete = true;
    for (const ResultRow* r : rows) {
        const double rate = fid ? r->FIDMessMenge : r->FPDMessMenge, area = fid ? r->FIDArea : r->FPDArea;
        calibrated = calibrated || rate != 0 || (fid && r->FIDppm != 0);
        if (r->runZelle == 1 && calibrated)
            blanks.push_back(area);
        const double minutes = sampleMinutes(r->elapsedMs, p.measuringSeconds) + p.cell(s.cell).contactMinutes;
        if (r->runZelle != s.cell + 3 || !calibrated || minutes < 0 || !isMeasurement(*r, s.detector))
            continue;
        if (rate > 0 && area > 0)
            perArea.push_back(rate / area);
        const auto& n = fid ? r->fidNoiseArea : r->fpdNoiseArea;
        const double smallest = fid ? smallestFidPeakArea(DetectionSettings{}) : smallestFpdPeakArea(DetectionSettings{});
        if (n)
            noise.push_back(std::max(smallest, *n));
        else
            noiseComplete = false;
    }
    if (perArea.empty())
        return;
    const double k = median(perArea);
    double sum = 0;
    for (double b : blanks)
        sum += b;
    EXPECT_TRUE(near("contact rate", s.metrics.contactRate, blanks.empty() ? 0.0 : sum / blanks.size() * k));
    const std::optional<double> spread = threeSigma(blanks);
    double smallest = fid ? smallestFidPeakArea(DetectionSettings{}) : smallestFpdPeakArea(DetectionSettings{});
    if (noiseComplete && !noise.empty()) {
        smallest = 0;
        for (double n : noise)
            smallest += n;
        smallest /= static_cast<double>(noise.size());
    }
    const auto limit = detectionLimit(spread ? std::optional<double>(*spread * k) : std::nullopt, smallest * k);
    EXPECT_TRUE(near("detection limit", s.metrics.detectionLimit ? std::optional<double>(s.metrics.detectionLimit->rate) : std::nullopt,
                     limit ? std::optional<double>(limit->rate) : std::nullopt));
}

// Everything that comes from the cell's series, made again from the whole series.
void expectSeriesFiguresAsTheWholeSeriesGives(const CellSummary& s, const RunParameters& p) {
    if (!s.calibrated || s.series.empty())
        return;
    const CellMetrics& m = s.metrics;
    const CellMetrics w = cellMetrics(s.series, m.detectionLimit, m.contactRate, p.plannedMinutes, s.seesChemical);
    EXPECT_EQ(m.measurements, w.measurements);
    for (const auto& [a, b] : {std::pair{m.bt01, w.bt01}, std::pair{m.bt10, w.bt10}}) {
        EXPECT_EQ(a.first, b.first);
        EXPECT_EQ(a.lastBelow, b.lastBelow);
        EXPECT_EQ(a.interpolated, b.interpolated);
    }
    EXPECT_EQ(m.resolution, w.resolution);
    EXPECT_EQ(m.testMinutes, w.testMinutes);
    EXPECT_TRUE(near("cumulative", m.cumulative, w.cumulative));
    EXPECT_TRUE(near("cumulative 60", m.cumulative60, w.cumulative60));
    EXPECT_TRUE(near("cumulative 480", m.cumulative480, w.cumulative480));
    EXPECT_EQ(m.level.kind, w.level.kind);
    EXPECT_EQ(m.level.lowest, w.level.lowest);
    EXPECT_EQ(m.level.highest, w.level.highest);
    ASSERT_EQ(m.steady.has_value(), w.steady.has_value());
    if (m.steady) {
        EXPECT_TRUE(near("steady rate", m.steady->rate, w.steady->rate));
        EXPECT_EQ(m.steady->measurements, w.steady->measurements);
        EXPECT_EQ(m.steady->fromMinutes, w.steady->fromMinutes);
        EXPECT_TRUE(near("steady trend", m.steady->trend, w.steady->trend, 1e-6));
        const auto u = steadyStateUncertainty(s.series, *w.steady, s.uncertainty);
        EXPECT_TRUE(near("u steady", s.uSteady ? std::optional<double>(s.uSteady->value) : std::nullopt,
                         u ? std::optional<double>(u->value) : std::nullopt, 1e-6));
    }
    auto value = [](const std::optional<StandardUncertainty>& u) { return u ? std::optional<double>(u->value) : std::nullopt; };
    EXPECT_EQ(value(s.uBt01), value(breakthroughUncertainty(s.series, m.bt01, kAstmThreshold, s.uncertainty)));
    EXPECT_EQ(value(s.uBt10), value(breakthroughUncertainty(s.series, m.bt10, kEnThreshold, s.uncertainty)));
    const auto fit = fitTimeLag(s.series, m.contactRate, *p.cell(s.cell).specimen.thicknessMm / 10, m.steady.has_value());
    ASSERT_EQ(s.fit.has_value(), fit.has_value());
    if (fit) {
        // The search stops within a tenth of a per cent of the time lag.
        EXPECT_TRUE(near("time lag", s.fit->lagMinutes, fit->lagMinutes, 2e-3));
        EXPECT_TRUE(near("fitted steady rate", s.fit->steadyRate, fit->steadyRate, 2e-3));
        EXPECT_TRUE(near("fit residual", s.fit->residual, fit->residual, 1e-3));
        EXPECT_EQ(s.fit->points, fit->points);
    }
    EXPECT_EQ(s.decision, decideCell(s, p.requirement));
}

struct RunningSummariesTest : ::testing::TestWithParam<Scenario> {};

} // namespace

TEST_P(RunningSummariesTest, EveryRowGivesTheFiguresOfTheWholeRunSoFar) {
    const Scenario sc = GetParam();
    const RunParameters p = parametersOf(sc);
    const std::vector<ResultRow> rows = rowsOf(sc);
    RunningSummaries running(p, sc.twoDetectors, DetectionSettings{});
    // What the live run shows: the same summaries, brought up to date in place after every row
    // (a cell's series gets only its new points; cell 3's contact comes later, so its summaries
    // join in the middle).
    std::vector<CellSummary> shown;
    bool broke = false, steady = false, fitted = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        running.add(rows[i]);
        const auto all = pointers(rows, i + 1);
        const std::vector<CellSummary> live = running.summaries();
        ASSERT_EQ(test::exactText(live), test::exactText(summarizeCells(all, p, sc.twoDetectors, DetectionSettings{})));
        running.refresh(shown);
        ASSERT_EQ(test::exactText(shown), test::exactText(live));
        for (const CellSummary& s : live) {
            SCOPED_TRACE(s.cell * 10 + static_cast<int>(s.detector));
            expectSeriesFiguresAsTheWholeSeriesGives(s, p);
            expectBlanksAsTheWholeRunGives(s, p, all);
            broke = broke || s.metrics.bt10.interpolated.has_value();
            steady = steady || s.metrics.steady.has_value();
            fitted = fitted || s.fit.has_value();
        }
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
    }
    // The runs reach what they are meant to exercise.
    EXPECT_TRUE(broke);
    EXPECT_TRUE(steady);
    EXPECT_TRUE(fitted);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunningSummariesTest,
    ::testing::Values(
        Scenario{"SwitchedOffAfterBreakthrough", 1, 90, false, false, 0, false, true, {}},
        Scenario{"KeepMeasuringTwoDetectors", 2, 90, true, true, 0, false, false,
                 {Requirement::Kind::Level, 3, 1.0, 0, DecisionRule::Guarded}},
        Scenario{"CalibratedDuringTheRun", 3, 90, true, true, 12, false, true,
                 {Requirement::Kind::NoBreakthrough, 0, 0.1, 240, DecisionRule::Guarded}},
        Scenario{"CurveOfThreeLevels", 4, 90, false, true, 0, true, true,
                 {Requirement::Kind::NoBreakthrough, 0, 1.0, 480, DecisionRule::Simple}}),
    [](const auto& info) { return std::string(info.param.name); });

// A long run: the incremental figures after 4,000 rows, steady-state window and fit included,
// still those of the whole series.
TEST(RunningSummaries, AWeekOfMeasurementsStillGivesTheWholeSeriesFigures) {
    const Scenario sc{"Week", 5, 800, true, true, 0, false, true, {}};
    const RunParameters p = parametersOf(sc);
    const std::vector<ResultRow> rows = rowsOf(sc);
    RunningSummaries running(p, true, DetectionSettings{});
    for (const ResultRow& r : rows)
        running.add(r);
    const auto all = pointers(rows, rows.size());
    const std::vector<CellSummary> live = running.summaries();
    ASSERT_EQ(live.size(), 6u);
    // Summaries of another run, or of this one cut short, are made over into this run's.
    for (std::size_t cut : {std::size_t(40), std::size_t(2000)}) {
        RunningSummaries other(p, true, DetectionSettings{});
        for (std::size_t i = 0; i < cut; ++i)
            other.add(rows[i]);
        std::vector<CellSummary> shown = other.summaries();
        shown.pop_back();
        if (cut == 40)
            shown[1].series.back().rate += 1; // a series that is not a start of this run's
        running.refresh(shown);
        EXPECT_EQ(test::exactText(shown), test::exactText(live)) << cut;
    }
    EXPECT_TRUE(std::any_of(live.begin(), live.end(), [](const CellSummary& s) { return s.metrics.steady.has_value(); }));
    for (const CellSummary& s : live) {
        SCOPED_TRACE(s.cell * 10 + static_cast<int>(s.detector));
        EXPECT_GT(s.series.size(), 700u);
        expectSeriesFiguresAsTheWholeSeriesGives(s, p);
        expectBlanksAsTheWholeRunGives(s, p, all);
    }
}
