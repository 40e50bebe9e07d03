// The figures a lab signs beyond one cell's: the diffusion coefficient from the time lag, the
// requirement and its decision under simple and guarded acceptance, the uncertainty of a
// breakthrough time, and the groups of replicates (mean, standard deviation, minimum, level).

#include "evaluation/CellSummary.h"
#include "evaluation/GroupSummary.h"
#include "evaluation/Requirement.h"
#include "evaluation/TimeLagFit.h"
#include "evaluation/Uncertainty.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <cmath>

using namespace korvat;

namespace {

// Rates of the time-lag solution every `step` minutes up to `until`.
std::vector<RatePoint> timeLagRates(double steady, double lag, double step, double until, double noise = 0) {
    std::vector<RatePoint> out;
    int i = 0;
    for (double t = step; t <= until + 1e-9; t += step, ++i)
        out.push_back({t, steady * timeLagShape(t / lag) + (i % 2 ? noise : -noise)});
    return out;
}

} // namespace

// A membrane of 0.5 mm with a time lag of 100 min: D = l² / (6 t_lag). Measured to its steady
// state the fit gives it from the data; ended early, the steady state is extrapolated and says so.
TEST(TimeLagFit, RecoversTheTimeLagAndDiffusivityAndMarksAnExtrapolation) {
    const double lag = 100, steady = 2.5, thicknessCm = 0.05;
    const double d = thicknessCm * thicknessCm / (6 * lag * 60);
    struct Case {
        const char* what;
        double until, step, noise;
        bool steadyReached;
        double tolerance; // relative, of t_lag and J_ss
    } cases[] = {
        {"to the steady state, every 5 min", 600, 5, 0, true, 0.005},
        {"to the steady state, coarse and noisy", 600, 15, 0.02, true, 0.03},
        {"ended at twice the time lag", 200, 5, 0, false, 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto fit = fitTimeLag(timeLagRates(steady, lag, c.step, c.until, c.noise), 0, thicknessCm, c.steadyReached);
        ASSERT_TRUE(fit);
        EXPECT_NEAR(fit->lagMinutes, lag, c.tolerance * lag);
        EXPECT_NEAR(fit->steadyRate, steady, c.tolerance * steady);
        ASSERT_TRUE(fit->diffusivity);
        EXPECT_NEAR(*fit->diffusivity, d, 2 * c.tolerance * d);
        EXPECT_EQ(fit->extrapolated, !c.steadyReached);
        EXPECT_LE(fit->residual, c.noise + 1e-3);
    }
    // Without a thickness no D; a curve that has not risen yet gives no fit.
    const auto noThickness = fitTimeLag(timeLagRates(steady, lag, 5, 600), 0, std::nullopt, true);
    ASSERT_TRUE(noThickness);
    EXPECT_FALSE(noThickness->diffusivity);
    EXPECT_FALSE(fitTimeLag(timeLagRates(steady, lag, 5, 20), 0, thicknessCm, false));
    EXPECT_FALSE(fitTimeLag(std::vector<RatePoint>{{5, 1}, {10, 1}}, 0, thicknessCm, false));
}

TEST(Requirement, TokensReadBackWithEitherDecimalSeparator) {
    struct Case {
        const char* text;
        Requirement::Kind kind;
        int level;
        double threshold, minutes;
        double thresholdAsked, minutesAsked;
    } cases[] = {
        {"none", Requirement::Kind::None, 0, 1, 0, 1, 0},
        {"level >= 3", Requirement::Kind::Level, 3, 1, 0, 1, 60},
        {"level >= 6", Requirement::Kind::Level, 6, 1, 0, 1, 480},
        {"no breakthrough at 0.1 within 240 min", Requirement::Kind::NoBreakthrough, 0, 0.1, 240, 0.1, 240},
        {"no breakthrough at 0,1 within 90,5 min", Requirement::Kind::NoBreakthrough, 0, 0.1, 90.5, 0.1, 90.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto r = requirementFromToken(QString::fromUtf8(c.text));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->kind, c.kind);
        EXPECT_EQ(r->thresholdAsked(), c.thresholdAsked);
        EXPECT_EQ(r->minutesAsked(), c.minutesAsked);
        if (c.kind == Requirement::Kind::Level) {
            EXPECT_EQ(r->level, c.level);
        }
        if (c.kind == Requirement::Kind::NoBreakthrough) {
            EXPECT_EQ(r->threshold, c.threshold);
            EXPECT_EQ(r->minutes, c.minutes);
        }
        EXPECT_EQ(requirementFromToken(requirementToken(*r, QLocale(QLocale::German))), r);
    }
    for (const char* bad : {"level >= 7", "level 3", "no breakthrough at x within 5 min",
                            "no breakthrough at 0.5 within 60 min", "no breakthrough at 1.0 within 0 min"})
        EXPECT_FALSE(requirementFromToken(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(requirementFromToken(""), Requirement{}); // a settings file without one
    EXPECT_EQ(decisionRuleFromToken("guarded"), DecisionRule::Guarded);
    EXPECT_EQ(decisionRuleFromToken("simple"), DecisionRule::Simple);
    EXPECT_FALSE(decisionRuleFromToken("lenient"));
}

namespace {

// A cell whose rate rises linearly by `slope` per minute from 0 at the contact, measured every
// `step` minutes up to `until`, with its figures as the summary computes them.
CellSummary risingCell(double slope, double step, double until, double relativeU = 0.05) {
    CellSummary s;
    s.cell = 1;
    s.calibrated = true;
    s.seesChemical = true;
    for (double t = step; t <= until + 1e-9; t += step)
        s.series.push_back({t, slope * t});
    s.metrics = cellMetrics(s.series, std::nullopt, 0, 480);
    s.heldMinutes = unbrokenMinutes(s.metrics.testMinutes, s.metrics.resolution, 480);
    // A one-level calibration whose area is known to `relativeU` (repeatability), nothing else.
    const CalibrationCurve curve = oneLevelCurve(Detector::FID, 100, 450000, 0);
    s.uncertainty = RateUncertainty(curve, 0.01, relativeU, UncertaintySettings{0, 0, 0}, std::nullopt);
    s.uBt01 = breakthroughUncertainty(s.series, s.metrics.bt01, kAstmThreshold, s.uncertainty);
    s.uBt10 = breakthroughUncertainty(s.series, s.metrics.bt10, kEnThreshold, s.uncertainty);
    return s;
}

} // namespace

// The breakthrough time's uncertainty: the sampling bracket (rectangular: its width / √12) and the
// rate's at the threshold through the local slope (u_rate · threshold / slope), combined.
TEST(BreakthroughUncertainty, CombinesTheBracketWithTheRateThroughTheSlope) {
    struct Case {
        double slope, step, relativeU;
    } cases[] = {{0.01, 5, 0.05}, {0.01, 15, 0.05}, {0.002, 5, 0.02}, {0.05, 1, 0.10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.slope << " per min, every " << c.step << " min, u " << c.relativeU);
        const CellSummary s = risingCell(c.slope, c.step, 1.2 / c.slope + 5 * c.step, c.relativeU);
        ASSERT_TRUE(s.uBt10);
        const double rateU = s.uncertainty.relative(kEnThreshold) * kEnThreshold / c.slope;
        const double bracket = c.step / std::sqrt(12.0);
        EXPECT_NEAR(s.uBt10->value, std::hypot(bracket, rateU), 0.02 * std::hypot(bracket, rateU));
        EXPECT_GE(s.uncertainty.relative(kEnThreshold), c.relativeU);
    }
}

// Simple acceptance judges the value; guarded acceptance passes only beyond the limit by U = 2u
// and fails only short of it by U, in between not decidable. A test ended before the time asked
// for decides nothing.
TEST(Requirement, SimpleAndGuardedAcceptanceAroundTheLimit) {
    // Breakthrough at 1.0 after 100 min (rate 0.01 per min), measured every 5 min.
    const CellSummary cell = risingCell(0.01, 5, 300);
    ASSERT_TRUE(cell.metrics.bt10.interpolated && cell.uBt10);
    const double t = *cell.metrics.bt10.interpolated, U = kCoverage * cell.uBt10->value;
    ASSERT_GT(U, 1);
    auto within = [](double minutes, DecisionRule rule) {
        Requirement r;
        r.kind = Requirement::Kind::NoBreakthrough;
        r.threshold = 1.0;
        r.minutes = minutes;
        r.rule = rule;
        return r;
    };
    struct Case {
        const char* what;
        Requirement requirement;
        Decision decision;
    } cases[] = {
        {"simple, limit just below", within(t - 0.5 * U, DecisionRule::Simple), Decision::Pass},
        {"simple, limit just above", within(t + 0.5 * U, DecisionRule::Simple), Decision::Fail},
        {"guarded, within U below", within(t - 0.5 * U, DecisionRule::Guarded), Decision::NotDecidable},
        {"guarded, within U above", within(t + 0.5 * U, DecisionRule::Guarded), Decision::NotDecidable},
        {"guarded, clear below", within(t - 1.5 * U, DecisionRule::Guarded), Decision::Pass},
        {"guarded, clear above", within(t + 1.5 * U, DecisionRule::Guarded), Decision::Fail},
        {"level 3 (60 min)", Requirement{Requirement::Kind::Level, 3, 1, 0, DecisionRule::Guarded}, Decision::Pass},
        {"level 4 (120 min)", Requirement{Requirement::Kind::Level, 4, 1, 0, DecisionRule::Guarded}, Decision::Fail},
        {"no requirement", Requirement{}, Decision::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decideCell(cell, c.requirement), c.decision);
    }
    // Held without breakthrough: a pass once the test ran as long as asked, otherwise undecided.
    const CellSummary held = risingCell(0.001, 5, 300);
    ASSERT_FALSE(held.metrics.bt10.first);
    EXPECT_EQ(decideCell(held, within(240, DecisionRule::Simple)), Decision::Pass);
    EXPECT_EQ(decideCell(held, within(400, DecisionRule::Simple)), Decision::NotDecidable);
    // Not calibrated: nothing to decide by.
    CellSummary uncalibrated = cell;
    uncalibrated.calibrated = false;
    EXPECT_EQ(decideCell(uncalibrated, within(60, DecisionRule::Simple)), Decision::NotDecidable);
    EXPECT_EQ(combineDecisions(Decision::Pass, Decision::Fail), Decision::Fail);
    EXPECT_EQ(combineDecisions(Decision::Pass, Decision::NotDecidable), Decision::NotDecidable);
    EXPECT_EQ(combineDecisions(Decision::Pass, Decision::Pass), Decision::Pass);
}

// Cells of one material (whatever its case and blanks) and chemical are a group; its figures are
// the specimens' mean, standard deviation and minimum, its level the lowest specimen's, its
// decision a pass only when every specimen passes.
TEST(GroupSummary, MeanSdMinimumAndLevelOfTheReplicates) {
    const double slopes[] = {0.02, 0.01, 0.0125}; // bt10 at 50, 100, 80 min
    std::vector<CellSummary> cells;
    const char* materials[] = {"Nitrile A", " nitrile  a", "NITRILE A"};
    for (int k = 0; k < 3; ++k) {
        CellSummary c = risingCell(slopes[k], 5, 300);
        c.cell = k + 1;
        c.chemical = QStringLiteral("Toluol");
        c.specimen.material = QString::fromUtf8(materials[k]);
        c.decision = decideCell(c, *requirementFromToken("level >= 2"));
        cells.push_back(c);
    }
    CellSummary other = risingCell(0.01, 5, 300);
    other.cell = 2;
    other.detector = Detector::FPD;
    other.chemical = QStringLiteral("Toluol");
    other.specimen.material = QStringLiteral("Butyl");
    cells.push_back(other);
    CellSummary none = risingCell(0.01, 5, 300);
    none.cell = 3;
    none.detector = Detector::FPD;
    cells.push_back(none); // no material: in no group

    const std::vector<GroupSummary> groups = summarizeGroups(cells);
    ASSERT_EQ(groups.size(), 2u);
    const GroupSummary& g = groups[0];
    EXPECT_EQ(g.cells, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(g.material, "Nitrile A");
    double bt[3], mean = 0;
    for (int k = 0; k < 3; ++k) {
        bt[k] = *cells[static_cast<std::size_t>(k)].metrics.bt10.interpolated;
        mean += bt[k] / 3;
    }
    double squares = 0;
    for (double v : bt)
        squares += (v - mean) * (v - mean);
    ASSERT_TRUE(g.bt10.mean && g.bt10.sd && g.bt10.min);
    EXPECT_NEAR(*g.bt10.mean, mean, 1e-9);
    EXPECT_NEAR(*g.bt10.sd, std::sqrt(squares / 2), 1e-9);
    EXPECT_NEAR(*g.bt10.min, std::min({bt[0], bt[1], bt[2]}), 1e-9);
    EXPECT_EQ(g.bt10.minBound, "");
    ASSERT_TRUE(g.bt10.uMean && g.bt10.uMin);
    EXPECT_LT(*g.bt10.uMean, *g.bt10.uMin + 1e-9); // independent parts average down
    EXPECT_EQ(g.level.kind, PerformanceLevel::Kind::Exact);
    EXPECT_EQ(g.level.lowest, 2); // the 50-minute specimen: level 2 (≥ 30 min)
    EXPECT_EQ(g.decision, Decision::Pass);
    EXPECT_EQ(groups[1].material, "Butyl");
    EXPECT_EQ(groups[1].cells, (std::vector<int>{2}));

    // The summary file: the cells' lines, then the groups' title and three lines per group.
    const QStringList lines = summaryFileLines(cells, *requirementFromToken("level >= 2"), QLocale::c());
    ASSERT_EQ(lines.size(), 1 + 5 + 1 + 3 * 2);
    EXPECT_EQ(lines[6], groupTitles().join(';'));
    const QStringList meanLine = lines[7].split(';');
    EXPECT_EQ(meanLine[kGrpStatistic], "mean");
    EXPECT_EQ(meanLine[kGrpMaterial], "Nitrile A");
    EXPECT_EQ(meanLine[kGrpBt10].toDouble(), std::round(mean * 10) / 10);
    EXPECT_EQ(lines[9].split(';')[kGrpStatistic], "min");
}
