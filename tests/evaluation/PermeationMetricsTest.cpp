// The figures a permeation lab reports, on hand-made series: breakthrough crossings (exactly at a
// measurement, in the first one, never, falling back below), cumulative permeation by trapezoids,
// the steady-state rule, the performance levels and the detection limit from blanks.

#include "evaluation/PermeationMetrics.h"

#include <gtest/gtest.h>

using namespace korvat;

namespace {
using S = std::vector<RatePoint>;
} // namespace

TEST(PermeationMetrics, BreakthroughFirstMeasurementAndInterpolatedCrossing) {
    const struct {
        const char* what;
        S series;
        double threshold;
        std::optional<double> first, interpolated;
    } cases[] = {
        {"between two measurements", {{10, 0.0}, {20, 0.5}, {30, 1.5}}, 1.0, 30.0, 25.0},
        {"exactly at a measurement", {{10, 0.2}, {20, 1.0}, {30, 3.0}}, 1.0, 20.0, 20.0},
        {"in the first measurement: from the start at rate 0", {{8, 2.0}, {16, 4.0}}, 1.0, 8.0, 4.0},
        {"never", {{10, 0.01}, {20, 0.09}, {30, 0.099}}, 0.1, std::nullopt, std::nullopt},
        {"falling back below keeps the first crossing", {{10, 0.0}, {20, 0.2}, {30, 0.05}, {40, 0.3}}, 0.1, 20.0, 15.0},
        {"a gap in the series is one long interval", {{10, 0.0}, {100, 0.9}}, 0.1, 100.0, 20.0},
        {"a single measurement below", {{12, 0.05}}, 0.1, std::nullopt, std::nullopt},
        {"no measurement", {}, 0.1, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Breakthrough b = breakthroughAt(c.series, c.threshold);
        EXPECT_EQ(b.first, c.first);
        ASSERT_EQ(b.interpolated.has_value(), c.interpolated.has_value());
        if (c.interpolated) {
            EXPECT_NEAR(*b.interpolated, *c.interpolated, 1e-12);
        }
    }
}

TEST(PermeationMetrics, CumulativePermeationByTrapezoidsFromTheStart) {
    const S s = {{10, 1.0}, {20, 3.0}, {40, 3.0}};
    const auto curve = cumulativeCurve(s);
    ASSERT_EQ(curve.size(), 3u);
    EXPECT_DOUBLE_EQ(curve[0].rate, 5.0);  // 0..10 rising from 0 to 1
    EXPECT_DOUBLE_EQ(curve[1].rate, 25.0); // + 10 * (1 + 3) / 2
    EXPECT_DOUBLE_EQ(curve[2].rate, 85.0); // + 20 * 3
    EXPECT_DOUBLE_EQ(*cumulativeAt(s, 40), 85.0);
    EXPECT_DOUBLE_EQ(*cumulativeAt(s, 15), 5.0 + 5.0 * (1.0 + 2.0) / 2.0); // halfway the rate is 2
    EXPECT_DOUBLE_EQ(*cumulativeAt(s, 0), 0.0);
    EXPECT_FALSE(cumulativeAt(s, 40.5).has_value()); // not reached
    EXPECT_FALSE(cumulativeAt({}, 1).has_value());
}

TEST(PermeationMetrics, SteadyStateNeedsThreeOrMoreMeasurementsWithinFivePercentOfTheirMean) {
    const struct {
        const char* what;
        S series;
        std::optional<double> rate;
        int measurements;
    } cases[] = {
        {"still rising", {{1, 1}, {2, 2}, {3, 3}, {4, 4}}, std::nullopt, 0},
        {"the last three level", {{1, 1}, {2, 9.8}, {3, 10.0}, {4, 10.2}}, 10.0, 3},
        {"as many as qualify", {{1, 10.1}, {2, 9.9}, {3, 10.0}, {4, 10.0}}, 10.0, 4},
        {"two are not enough", {{1, 10}, {2, 10}}, std::nullopt, 0},
        {"just outside the band", {{1, 9.0}, {2, 10.0}, {3, 10.0}}, std::nullopt, 0},
        {"zero is no steady state", {{1, 0}, {2, 0}, {3, 0}}, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto s = steadyState(c.series);
        ASSERT_EQ(s.has_value(), c.rate.has_value());
        if (s) {
            EXPECT_NEAR(s->rate, *c.rate, 1e-12);
            EXPECT_EQ(s->measurements, c.measurements);
        }
    }
}

TEST(PermeationMetrics, PerformanceLevelsFromTheBreakthroughOrTheTestTime) {
    const struct {
        std::optional<double> breakthrough;
        double test;
        int level;
        const char* text;
    } cases[] = {
        {5.0, 60, 0, "0"},       {10.0, 60, 0, "0"},     {10.5, 60, 1, "1"},   {30.0, 60, 1, "1"},
        {45.0, 60, 2, "2"},      {61.0, 90, 3, "3"},     {121.0, 200, 4, "4"}, {241.0, 300, 5, "5"},
        {480.1, 500, 6, "6"},
        {std::nullopt, 95.4, 3, "> 95 min, not broken through (level 3)"},
        {std::nullopt, 481, 6, "> 481 min, not broken through (level 6)"},
    };
    for (const auto& c : cases) {
        const PerformanceLevel l = performanceLevel(c.breakthrough, c.test);
        EXPECT_EQ(l.level, c.level) << c.text;
        EXPECT_EQ(performanceLevelText(l), QString::fromLatin1(c.text));
    }
}

TEST(PermeationMetrics, DetectionLimitIsThreeStandardDeviationsOfTheBlankAtTheCellsFlow) {
    const std::vector<double> blanks = {0.010, 0.014, 0.012, 0.016, 0.008};
    // Sample standard deviation of the blanks is sqrt(0.00004 / 4) = 0.00316; at twice the flow
    // the same ppm is twice the rate.
    EXPECT_NEAR(*detectionLimitFromBlanks(blanks, 200, 100), 3 * std::sqrt(0.00004 / 4) / 2, 1e-12);
    EXPECT_FALSE(detectionLimitFromBlanks(std::vector<double>{0.01}, 200, 100)); // one blank
    EXPECT_FALSE(detectionLimitFromBlanks({}, 200, 100));                      // no zero gas
    EXPECT_FALSE(detectionLimitFromBlanks(std::vector<double>{0, 0, 0}, 200, 100)); // never a peak
    EXPECT_NEAR(*detectionLimitFromNoise(std::vector<double>{0.02, 0.04}), 0.03, 1e-12);
    EXPECT_FALSE(detectionLimitFromNoise({}));
}

TEST(PermeationMetrics, ACellsFiguresTogether) {
    const S s = {{10, 0.0}, {20, 0.5}, {30, 2.0}, {40, 4.0}, {50, 4.1}, {60, 4.0}, {70, 3.95}};
    const CellMetrics m = cellMetrics(s, 0.004);
    EXPECT_EQ(m.measurements, 7);
    EXPECT_EQ(m.bt01.first, 20.0);
    EXPECT_NEAR(*m.bt01.interpolated, 12.0, 1e-12);
    EXPECT_EQ(m.bt10.first, 30.0);
    EXPECT_NEAR(*m.bt10.interpolated, 20.0 + 10.0 / 3.0, 1e-12);
    EXPECT_EQ(m.resolution, 10.0);
    EXPECT_EQ(m.level.level, 1); // 1.0 crossed at 23.3 min: above 10, not above 30
    EXPECT_EQ(m.testMinutes, 70.0);
    ASSERT_TRUE(m.steady);
    EXPECT_EQ(m.steady->measurements, 4);
    ASSERT_TRUE(m.cumulative60);
    EXPECT_FALSE(m.cumulative480);
    EXPECT_EQ(m.detectionLimit, 0.004);
}
