// The figures a permeation lab reports, on hand-made series and on the time-lag curve: breakthrough
// crossings (interpolated only between two measurements, a bracket before the first one), the
// levels a crossing, a bracket or an unbroken test allow, cumulative permeation from the contact,
// the steady-state rule and the detection limit.

#include "evaluation/PermeationMetrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace korvat;

namespace {
using S = std::vector<RatePoint>;

// J/Jss of a membrane clean at the contact, at `lags` time lags (l²/6D) after it: Crank's
// time-lag solution, 1 + 2 Σ (−1)ⁿ exp(−n²π²·Dt/l²), with Dt/l² = lags / 6.
double timeLagCurve(double lags) {
    const double tau = lags / 6.0;
    double sum = 1.0;
    for (int n = 1; n < 200; ++n)
        sum += 2.0 * (n % 2 ? -1.0 : 1.0) * std::exp(-n * n * std::numbers::pi * std::numbers::pi * tau);
    return std::max(sum, 0.0);
}
} // namespace

TEST(PermeationMetrics, BreakthroughIsInterpolatedOnlyBetweenTwoMeasurements) {
    const struct {
        const char* what;
        S series;
        double threshold;
        std::optional<double> first, lastBelow, interpolated;
    } cases[] = {
        {"between two measurements", {{10, 0.0}, {20, 0.5}, {30, 1.5}}, 1.0, 30.0, 20.0, 25.0},
        {"exactly at a measurement", {{10, 0.2}, {20, 1.0}, {30, 3.0}}, 1.0, 20.0, 10.0, 20.0},
        // A true crossing at 12 min, first sampled at 23.1 min: no time from "rate 0 at minute 0".
        {"already above at the first measurement", {{23.1, 2.5}, {46.2, 4.0}}, 1.0, 23.1, std::nullopt, std::nullopt},
        {"never", {{10, 0.01}, {20, 0.09}, {30, 0.099}}, 0.1, std::nullopt, std::nullopt, std::nullopt},
        {"falling back below keeps the first crossing", {{10, 0.0}, {20, 0.2}, {30, 0.05}, {40, 0.3}}, 0.1, 20.0, 10.0, 15.0},
        {"a gap in the series is one long interval", {{10, 0.0}, {100, 0.9}}, 0.1, 100.0, 10.0, 20.0},
        {"a single measurement below", {{12, 0.05}}, 0.1, std::nullopt, std::nullopt, std::nullopt},
        {"no measurement", {}, 0.1, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Breakthrough b = breakthroughAt(c.series, c.threshold);
        EXPECT_EQ(b.first, c.first);
        EXPECT_EQ(b.lastBelow, c.lastBelow);
        ASSERT_EQ(b.interpolated.has_value(), c.interpolated.has_value());
        if (c.interpolated) {
            EXPECT_NEAR(*b.interpolated, *c.interpolated, 1e-12);
        }
    }
}

TEST(PermeationMetrics, LevelFromTheCrossingTheBracketOrTheTestThatHeld) {
    const struct {
        const char* what;
        S series;
        double planned;
        bool sees;
        PerformanceLevel::Kind kind;
        const char* text;
        const char* ascii;
        double bound;
    } cases[] = {
        {"crossed at 23.3 min", {{10, 0.0}, {20, 0.5}, {30, 2.0}}, 480, true, PerformanceLevel::Kind::Exact, "1", "1", 0},
        {"crossed at 10 min exactly", {{5, 0.5}, {10, 1.0}}, 480, true, PerformanceLevel::Kind::Exact, "0", "0", 0},
        {"above at the first measurement, 23.1 min", {{23.1, 2.5}, {46.2, 4.0}}, 480, true,
         PerformanceLevel::Kind::Range, "0\u20131", "0-1", 0},
        {"above at the first measurement, 45 min", {{45, 1.5}}, 480, true, PerformanceLevel::Kind::Range, "0\u20132", "0-2", 0},
        {"above at the first measurement, 8 min", {{8, 1.5}}, 480, true, PerformanceLevel::Kind::Range, "0", "0", 0},
        // An eight-hour test sampled every 20 min whose last sample is at 479.5 min ran the full 480.
        {"held the planned eight hours", {{439.5, 0.2}, {459.5, 0.3}, {479.5, 0.4}}, 480, true,
         PerformanceLevel::Kind::AtLeast, "\u2265 6", ">= 6", 480},
        {"held until it was stopped, short of the plan", {{439.5, 0.2}, {459.5, 0.3}, {479.5, 0.4}}, 600, true,
         PerformanceLevel::Kind::AtLeast, "\u2265 5", ">= 5", 479.5},
        {"held 95.4 minutes", {{85.4, 0.1}, {95.4, 0.2}}, 480, true, PerformanceLevel::Kind::AtLeast, "\u2265 3", ">= 3", 95.4},
        {"held past the plan", {{470, 0.1}, {490, 0.2}}, 480, true, PerformanceLevel::Kind::AtLeast, "\u2265 6", ">= 6", 490},
        {"a detector that cannot see the chemical", {{470, 0.0}, {490, 0.0}}, 480, false, PerformanceLevel::Kind::None, "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CellMetrics m = cellMetrics(c.series, std::nullopt, 0, c.planned, c.sees);
        EXPECT_EQ(m.level.kind, c.kind);
        EXPECT_EQ(performanceLevelText(m.level), QString::fromUtf8(c.text));
        EXPECT_EQ(performanceLevelText(m.level, true), QString::fromUtf8(c.ascii));
        if (c.kind == PerformanceLevel::Kind::AtLeast) {
            EXPECT_DOUBLE_EQ(m.level.boundMinutes, c.bound);
        }
        EXPECT_EQ(m.level.brokeThrough(), c.kind == PerformanceLevel::Kind::Exact || c.kind == PerformanceLevel::Kind::Range);
    }
    // The EN ISO 374-1 limits: a breakthrough must lie above them.
    const std::pair<double, int> limits[] = {{10, 0}, {10.5, 1}, {30, 1}, {45, 2}, {61, 3}, {121, 4}, {241, 5}, {480, 5}, {480.1, 6}};
    for (const auto& [minutes, level] : limits)
        EXPECT_EQ(levelForBreakthrough(minutes), level) << minutes;
}

TEST(PermeationMetrics, CumulativePermeationByTrapezoidsFromTheContactAtTheBlanksRate) {
    const S s = {{10, 1.0}, {20, 3.0}, {40, 3.0}};
    for (const double blank : {0.0, 0.2}) {
        SCOPED_TRACE(blank);
        const auto curve = cumulativeCurve(s, blank);
        ASSERT_EQ(curve.size(), 3u);
        const double first = 10 * (blank + 1.0) / 2; // from the contact at the blank's rate
        EXPECT_DOUBLE_EQ(curve[0].rate, first);
        EXPECT_DOUBLE_EQ(curve[1].rate, first + 20.0);
        EXPECT_DOUBLE_EQ(curve[2].rate, first + 80.0);
        EXPECT_DOUBLE_EQ(*cumulativeAt(s, 40, blank), first + 80.0);
        EXPECT_DOUBLE_EQ(*cumulativeAt(s, 15, blank), first + 5.0 * (1.0 + 2.0) / 2.0); // halfway the rate is 2
        EXPECT_DOUBLE_EQ(*cumulativeAt(s, 0, blank), 0.0);
        EXPECT_DOUBLE_EQ(*cumulativeAt(s, 5, blank), 5 * (blank + (blank + 1.0) / 2) / 2);
        EXPECT_FALSE(cumulativeAt(s, 40.5, blank).has_value()); // not reached
    }
    EXPECT_FALSE(cumulativeAt({}, 1).has_value());
}

TEST(PermeationMetrics, SteadyStateNeedsNoTrendOverALongEnoughWindow) {
    // Measurements every 10 min of `rate(t)` up to `last` min.
    auto sampled = [](double last, const std::function<double(double)>& rate) {
        S s;
        for (double t = 10; t <= last + 1e-9; t += 10)
            s.push_back({t, rate(t)});
        return s;
    };
    const struct {
        const char* what;
        S series;
        std::optional<double> rate;
    } cases[] = {
        {"level for two hours", sampled(120, [](double t) { return t < 40 ? t / 40 : 1.0; }), 1.0},
        {"still rising 5 % in 30 min, at 62 % of its final rate",
         sampled(300, [](double t) { return 0.62 * (1 + 0.05 * (t - 300) / 30); }), std::nullopt},
        {"rising 1 % an hour", sampled(300, [](double t) { return 1 + 0.01 * t / 60; }), 1 + 0.01 * 250 / 60.0},
        {"falling steeply", sampled(120, [](double t) { return 2 - t / 120; }), std::nullopt},
        {"three measurements are not enough", {{10, 1}, {30, 1}, {50, 1}}, std::nullopt},
        {"four in less than 30 minutes are not enough", {{10, 1}, {15, 1}, {20, 1}, {25, 1}, {35, 1}}, std::nullopt},
        {"zero is no steady state", sampled(120, [](double) { return 0.0; }), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto s = steadyState(c.series);
        ASSERT_EQ(s.has_value(), c.rate.has_value());
        if (s) {
            EXPECT_NEAR(s->rate, *c.rate, 1e-9);
            EXPECT_GE(s->measurements, kSteadyStateMeasurements);
            EXPECT_GE(c.series.back().minutes - s->fromMinutes,
                      std::max(kSteadyStateMinutes, kSteadyStateShare * c.series.back().minutes));
        }
    }
}

// The rule on the curve it is made for: however fine or coarse the sampling and however long the
// time lag, no steady state is claimed before about 2.5 time lags, and after 4 one is, within 2 %
// of the true steady state D·C/l (here 1).
TEST(PermeationMetrics, SteadyStateOnTheTimeLagCurve) {
    for (const double lag : {90.0, 250.0, 454.0}) {           // minutes
        for (const double interval : {2.0, 10.0, 23.0}) {      // minutes between measurements
            SCOPED_TRACE(testing::Message() << "time lag " << lag << " min, every " << interval << " min");
            S series;
            std::optional<double> firstSteady;
            for (double t = interval; t <= 5 * lag; t += interval) {
                series.push_back({t, timeLagCurve(t / lag)});
                const auto s = steadyState(series);
                if (s && !firstSteady)
                    firstSteady = t / lag;
                if (t / lag < 2.5) {
                    EXPECT_FALSE(s.has_value()) << "at " << t / lag << " time lags, J/Jss " << series.back().rate;
                }
                if (t / lag >= 4.0) {
                    ASSERT_TRUE(s.has_value()) << "at " << t / lag << " time lags";
                    EXPECT_NEAR(s->rate, 1.0, 0.02) << "at " << t / lag << " time lags";
                }
            }
            ASSERT_TRUE(firstSteady.has_value());
            EXPECT_GE(*firstSteady, 2.5);
        }
    }
}

TEST(PermeationMetrics, DetectionLimitIsTheLargerOfThreeSigmaOfTheBlanksAndTheSmallestPeak) {
    const std::vector<double> blanks = {0.010, 0.014, 0.012, 0.016, 0.008};
    const double sigma3 = 3 * std::sqrt(0.00004 / 4); // sample standard deviation 0.00316
    EXPECT_NEAR(*threeSigma(blanks), sigma3, 1e-12);
    EXPECT_FALSE(threeSigma(std::vector<double>{0.01}).has_value());
    EXPECT_FALSE(threeSigma({}).has_value());
    EXPECT_EQ(*threeSigma(std::vector<double>{0, 0, 0}), 0.0); // never a peak: no spread

    const struct {
        std::optional<double> spread, smallest;
        std::optional<DetectionLimit> limit;
    } cases[] = {
        {0.009, 0.004, DetectionLimit{0.009, DetectionLimit::From::ZeroGas}},
        {0.0, 0.004, DetectionLimit{0.004, DetectionLimit::From::SmallestPeak}}, // a blank that reads 0
        {std::nullopt, 0.004, DetectionLimit{0.004, DetectionLimit::From::SmallestPeak}},
        {0.009, std::nullopt, DetectionLimit{0.009, DetectionLimit::From::ZeroGas}},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detectionLimit(c.spread, c.smallest), c.limit);
}

TEST(PermeationMetrics, ACellsFiguresTogether) {
    const S s = {{10, 0.0}, {20, 0.5}, {30, 2.0}, {40, 4.0}, {50, 4.1}, {60, 4.0}, {70, 3.95}};
    const DetectionLimit limit{0.004, DetectionLimit::From::ZeroGas};
    const CellMetrics m = cellMetrics(s, limit, 0.001, 480);
    EXPECT_EQ(m.measurements, 7);
    EXPECT_EQ(m.bt01.first, 20.0);
    EXPECT_NEAR(*m.bt01.interpolated, 12.0, 1e-12);
    EXPECT_EQ(m.bt10.first, 30.0);
    EXPECT_EQ(m.bt10.lastBelow, 20.0);
    EXPECT_NEAR(*m.bt10.interpolated, 20.0 + 10.0 / 3.0, 1e-12);
    EXPECT_EQ(m.resolution, 10.0);
    EXPECT_EQ(m.level.kind, PerformanceLevel::Kind::Exact);
    EXPECT_EQ(m.level.lowest, 1); // 1.0 crossed at 23.3 min: above 10, not above 30
    EXPECT_EQ(m.testMinutes, 70.0);
    ASSERT_TRUE(m.steady);
    EXPECT_EQ(m.steady->measurements, 4); // 40 to 70: 30 minutes
    EXPECT_NEAR(m.cumulative, *cumulativeAt(s, 70, 0.001), 1e-12);
    EXPECT_NEAR(m.cumulative - cumulativeCurve(s, 0).back().rate, 10 * 0.001 / 2, 1e-12);
    ASSERT_TRUE(m.cumulative60);
    EXPECT_FALSE(m.cumulative480);
    EXPECT_EQ(m.detectionLimit, limit);
}
