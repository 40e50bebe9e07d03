// The FID peak search: slope series, slope thresholds and their edge values, the apex, the baseline
// refinement (including loaded files with fractional values), the area above the chord, and what
// the evaluation state keeps between measurements. A realistic injection peak must come out with
// its true area.

#include "evaluation/PeakSearch.h"
#include "evaluation/SyntheticPeak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

using namespace korvat;
using korvat::test::seriesOf;

namespace {

// A slope series of `n` points, zero except where given.
Series slopes(int n, const std::map<int, double>& at) {
    std::vector<double> y(n, 0.0);
    for (auto [j, v] : at)
        y[j] = v;
    return seriesOf(std::move(y));
}

TEST(Regression, LeastSquaresSlope) {
    const double X[] = {1, 2, 3, 4, 5};
    const double Y[] = {2, 4, 5, 4, 5};
    EXPECT_NEAR(Regression(X, Y), 0.6, 1e-12);
}

TEST(SlopeSeries, OnePointPerSignalIndexFromFourCentredTwoSamplesBack) {
    // On y = k^2 the five-point fit returns the derivative at the window centre, 2 x centre, so a
    // window off by one sample shows.
    std::vector<double> y;
    for (int k = 0; k < 10; ++k)
        y.push_back(double(k) * k);
    const Series s1 = seriesOf(y);
    Series s3;
    AddSlopePoints(s1, s3);
    ASSERT_EQ(s3.size(), 6u);
    for (std::size_t j = 0; j < s3.size(); ++j) {
        const double centre = j + 2.0; // signal index i = j + 4, centred on i - 2
        EXPECT_NEAR(s3.x[j], centre * 0.1, 1e-12) << j;
        EXPECT_NEAR(s3.y[j], 2.0 * centre, 1e-9) << j;
    }
    // Appending, not rebuilding: a skipped cell's turn doubles the series.
    AddSlopePoints(s1, s3);
    EXPECT_EQ(s3.size(), 12u);
    EXPECT_DOUBLE_EQ(s3.y[6], s3.y[0]);
}

struct ThresholdCase {
    const char* name;
    std::map<int, double> slopeAt;
    bool noPeak;
    int start, end; // expected bounds when a peak is found
};

// The signal is flat, so the refinement moves nothing and the bounds are those of the search.
TEST(FIDSearch, SlopeThresholdsAndBounds) {
    const int n3 = 40;
    std::map<int, double> neverRecovers{{15, 12.0}};
    for (int j = 25; j < n3; ++j)
        neverRecovers[j] = -4.0;
    const ThresholdCase cases[] = {
        {"flat", {}, true, 0, 0},
        {"rise just below 9", {{15, 8.99}, {25, -5.0}}, true, 0, 0},
        {"fall just above -3", {{15, 12.0}, {25, -2.99}}, true, 0, 0},
        {"rise exactly 9: start is the steepest index", {{15, 9.0}, {25, -5.0}, {26, -3.0}},
         false, 15, 26},
        {"fall exactly -3: end is the steepest fall", {{15, 12.0}, {25, -3.0}}, false, 14, 25},
        {"equal maxima: the earlier wins", {{11, 10.0}, {12, 12.0}, {13, 5.0}, {14, 12.0},
                                            {25, -5.0}}, false, 10, 26},
        {"rise before MinPeakStart is not seen", {{5, 50.0}, {25, -5.0}}, true, 0, 0},
        {"rise from MinPeakStart on: start at MinPeakStart", {{10, 12.0}, {11, 12.0}, {25, -5.0}},
         false, 10, 26},
        {"tail never recovers: end just past the last slope", neverRecovers, false, 14, n3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EvaluationState st;
        st.FIDStart = 3;
        st.FIDEnd = 7;
        st.FIDBaseDraw = true;
        st.FIDArea = 123.0;
        const Series s1 = seriesOf(std::vector<double>(n3 + 4, 1000.0));
        PeakAndArea(st, TDeviceTyp::FID, s1, slopes(n3, c.slopeAt), DetectionSettings{});
        EXPECT_EQ(st.NoPeak, c.noPeak);
        EXPECT_EQ(st.FIDArea, 0.0);
        if (c.noPeak) { // the previous chord stays
            EXPECT_EQ(st.FIDStart, 3.0);
            EXPECT_EQ(st.FIDEnd, 7.0);
            EXPECT_TRUE(st.FIDBaseDraw);
            continue;
        }
        EXPECT_EQ(st.PeakStartIndex, c.start);
        EXPECT_EQ(st.PeakEndIndex, c.end);
        EXPECT_EQ(st.FIDStart, c.start);
        EXPECT_EQ(st.FIDEnd, c.end);
        EXPECT_EQ(st.FIDStartLevel, 1000.0);
        EXPECT_EQ(st.FIDEndLevel, 1000.0);
        EXPECT_TRUE(st.FIDBaseDraw);
    }
}

TEST(FIDSearch, OtherDetectorTypes) {
    EvaluationState st;
    st.NoPeak = true;
    st.FIDArea = 5.0;
    const Series s1 = seriesOf(std::vector<double>(44, 1.0));
    const Series s3 = slopes(40, {});
    PeakAndArea(st, TDeviceTyp::FIDFPD, s1, s3, {});
    EXPECT_TRUE(st.NoPeak);
    EXPECT_EQ(st.FIDArea, 5.0);
    PeakAndArea(st, TDeviceTyp::FPD, s1, s3, {});
    EXPECT_FALSE(st.NoPeak);
    EXPECT_EQ(st.FIDArea, 5.0);
}

TEST(FIDSearch, ApexIsTheLastTurnFromRiseToFall) {
    struct Case {
        const char* name;
        std::map<int, double> slopeAt;
        int iMax, iMin;
        double peakTime;
        int apex;
    };
    const Case cases[] = {
        {"fall before rise: no turn, expected time", {{12, -5.0}, {15, 12.0}}, 15, 12, 2.0, 20},
        {"expected time follows PeakTime", {{12, -5.0}, {15, 12.0}}, 15, 12, 3.55, 35},
        {"one turn", {{15, 12.0}, {16, 4.0}, {17, -1.0}, {25, -5.0}}, 15, 25, 2.0, 16},
        {"zero slope counts as rising", {{15, 12.0}, {16, 0.0}, {17, -1.0}, {25, -5.0}}, 15, 25,
         2.0, 16},
        {"several turns: the last wins",
         {{15, 12.0}, {16, -1.0}, {17, 2.0}, {18, 1.0}, {19, -1.0}, {25, -5.0}}, 15, 25, 2.0, 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<int, double> at = c.slopeAt;
        // Between the given points the signal keeps falling gently.
        for (int j = c.iMax + 1; j < c.iMin; ++j)
            at.try_emplace(j, -0.5);
        EXPECT_EQ(PeakApex(slopes(40, at), c.iMax, c.iMin, c.peakTime), c.apex);
    }
}

struct BaselineCase {
    const char* name;
    std::map<int, double> signalAt; // on a flat 100 with a bump at 8..12
    int start, end, peak;
    int newStart, newEnd;
};

TEST(CheckBaseline, MovesStartAndEndOntoPointsBelowTheChord) {
    const BaselineCase cases[] = {
        {"chord already below the signal", {}, 0, 20, 10, 0, 20},
        {"dip before the apex becomes the start", {{3, 98.0}}, 0, 20, 10, 3, 20},
        {"a deeper later dip wins after the chord is redrawn", {{2, 99.0}, {5, 95.0}}, 0, 20, 10,
         5, 20},
        {"dip after the apex becomes the end", {{15, 97.0}}, 0, 20, 10, 0, 15},
        {"dips on both sides", {{4, 96.0}, {16, 96.0}}, 0, 20, 10, 4, 16},
        {"points past the apex never move the start", {{14, 50.0}}, 0, 20, 10, 0, 14},
        {"negative fractional end value: the end stays", {{20, -2.5}}, 0, 20, 10, 0, 20},
        {"start equal to end: nothing to refine", {{3, 50.0}}, 6, 6, 10, 6, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> y(25, 100.0);
        for (int k = 8; k <= 12; ++k)
            y[k] = 400.0 - 50.0 * std::abs(k - 10);
        for (auto [k, v] : c.signalAt)
            y[k] = v;
        EvaluationState st;
        st.PeakStartIndex = c.start;
        st.PeakEndIndex = c.end;
        CheckBaseline(st, seriesOf(y), c.peak);
        EXPECT_EQ(st.PeakStartIndex, c.newStart);
        EXPECT_EQ(st.PeakEndIndex, c.newEnd);
        if (c.newStart != c.newEnd) {
            EXPECT_EQ(st.PeakEndLevel, y[c.newEnd]);
            EXPECT_DOUBLE_EQ(st.dm, (y[c.newEnd] - y[c.newStart]) / (c.newEnd - c.newStart));
        }
    }
}

TEST(CheckBaseline, ApexBeyondTheSignalReadsOnlyExistingPoints) {
    EvaluationState st;
    st.PeakStartIndex = 0;
    st.PeakEndIndex = 6;
    std::vector<double> y(10, 100.0);
    y[4] = 90.0;
    CheckBaseline(st, seriesOf(y), 20); // the default expected time on a short signal
    // The start side examines every point up to the apex, so the start may pass the end: from the
    // dip at 4 the chord rises 5 a sample, and point 7 lies below its extension. Point 10 would
    // be next but does not exist.
    EXPECT_EQ(st.PeakStartIndex, 7);
    EXPECT_EQ(st.PeakEndIndex, 6);
}

TEST(FIDArea, SumAboveTheChord) {
    // Chord from (2, 10) to (6, 30): 10, 15, 20, 25, 30.
    const Series s1 = seriesOf({0, 0, 10, 25, 40, 25, 30, 0});
    EvaluationState st;
    st.PeakStartIndex = 2;
    st.PeakEndIndex = 6;
    FIDChordAndArea(st, s1);
    EXPECT_DOUBLE_EQ(st.FIDArea, 10.0 + 20.0 + 0.0);
    EXPECT_EQ(st.FIDStart, 2.0);
    EXPECT_EQ(st.FIDEnd, 6.0);
    EXPECT_EQ(st.FIDStartLevel, 10.0);
    EXPECT_EQ(st.FIDEndLevel, 30.0);
    EXPECT_TRUE(st.FIDBaseDraw);

    // Signal below the chord: clamped to zero.
    const Series below = seriesOf({0, 0, 10, 0, 0, 0, 30, 0});
    FIDChordAndArea(st, below);
    EXPECT_EQ(st.FIDArea, 0.0);
}

TEST(FIDArea, ChordOfZeroLengthHasNoArea) {
    const Series s1 = seriesOf({0, 0, 10, 25, 40});
    EvaluationState st;
    st.PeakStartIndex = 3;
    st.PeakEndIndex = 3;
    FIDChordAndArea(st, s1);
    EXPECT_EQ(st.FIDArea, 0.0);
    EXPECT_FALSE(std::isnan(st.FIDArea));
    EXPECT_EQ(st.FIDStart, 3.0);
    EXPECT_EQ(st.FIDEnd, 3.0);
    EXPECT_EQ(st.FIDStartLevel, 25.0);
}

// The whole evaluation as the run performs it, on a measured-looking signal.
struct Evaluated {
    EvaluationState st;
    Series s1, s3;
};

Evaluated evaluate(Series s1, EvaluationState st = {}) {
    Evaluated e{st, std::move(s1), {}};
    AddSlopePoints(e.s1, e.s3);
    PeakAndArea(e.st, TDeviceTyp::FID, e.s1, e.s3, DetectionSettings{});
    return e;
}

TEST(FIDEvaluation, InjectionPeakAreaWithinAFewPercent) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        test::InjectionPeak p;
        p.seed = seed;
        const Evaluated e = evaluate(p.make(600));
        ASSERT_FALSE(e.st.NoPeak);
        EXPECT_NEAR(e.st.FIDArea, p.areaInSamples(), 0.03 * p.areaInSamples());
        EXPECT_GE(e.st.FIDStart, 10.0);                 // no earlier than 1 s
        EXPECT_LE(e.st.FIDStart, p.riseStart * 10.0);   // on the baseline before the rise
        EXPECT_GT(e.st.FIDEnd, p.top() * 10.0 + 5 * 15); // well into the tail
        EXPECT_NEAR(e.st.FIDStartLevel, p.baseline, 3.0 + 10.0);
        EXPECT_TRUE(e.st.FIDBaseDraw);
    }
}

TEST(FIDEvaluation, FractionalAndNegativeSignalsFromAFileTerminate) {
    test::InjectionPeak p;
    p.baseline = -3000.0;
    Series s1 = p.make(600);
    for (double& v : s1.y)
        v -= 0.37; // every value negative and fractional
    const Evaluated e = evaluate(std::move(s1));
    ASSERT_FALSE(e.st.NoPeak);
    EXPECT_NEAR(e.st.FIDArea, p.areaInSamples(), 0.03 * p.areaInSamples());
}

TEST(FIDEvaluation, NoPeakKeepsThePreviousChord) {
    test::InjectionPeak p;
    const Evaluated first = evaluate(p.make(600));
    ASSERT_FALSE(first.st.NoPeak);
    const Evaluated flat = evaluate(seriesOf(std::vector<double>(600, 1500.0)), first.st);
    EXPECT_TRUE(flat.st.NoPeak);
    EXPECT_EQ(flat.st.FIDArea, 0.0);
    EXPECT_EQ(flat.st.FIDStart, first.st.FIDStart);
    EXPECT_EQ(flat.st.FIDEnd, first.st.FIDEnd);
    EXPECT_EQ(flat.st.FIDStartLevel, first.st.FIDStartLevel);
    EXPECT_TRUE(flat.st.FIDBaseDraw);
}

TEST(FIDEvaluation, SecondCopyOfTheSlopesNeverReadsPastTheSignal) {
    // A switched-off cell's turn: the slopes of a signal whose tail never recovers, twice.
    // It begins on the steep tail of an earlier peak, so the second copy starts with slopes far
    // below -3 and the end search runs on into it.
    test::InjectionPeak p;
    Series s1 = p.make(60); // cut 3 s after the top
    for (int k = 0; k < 10; ++k)
        s1.y[k] += 50.0 * (10 - k);
    Evaluated e{{}, s1, {}};
    AddSlopePoints(e.s1, e.s3);
    AddSlopePoints(e.s1, e.s3);
    PeakAndArea(e.st, TDeviceTyp::FID, e.s1, e.s3, DetectionSettings{});
    ASSERT_FALSE(e.st.NoPeak);
    EXPECT_EQ(e.st.FIDEnd, static_cast<double>(s1.size() - 1));
    EXPECT_GT(e.st.FIDArea, 0.5 * p.areaInSamples());
}

} // namespace

TEST(ChartChords, FollowTheFlagsFIDFirstWithIndexesInSeconds) {
    EvaluationState st;
    EXPECT_TRUE(baselineChords(st).empty());
    st.FIDStart = 120, st.FIDStartLevel = 200, st.FIDEnd = 150, st.FIDEndLevel = 180;
    st.FPDStart = 30, st.FPDStartLevel = 5, st.FPDEnd = 95, st.FPDEndLevel = 7;
    st.FPDBaseDraw = true;
    EXPECT_EQ(baselineChords(st), (std::vector<Chord>{{3.0, 5, 9.5, 7}}));
    st.FIDBaseDraw = true;
    EXPECT_EQ(baselineChords(st), (std::vector<Chord>{{12.0, 200, 15.0, 180}, {3.0, 5, 9.5, 7}}));
}
