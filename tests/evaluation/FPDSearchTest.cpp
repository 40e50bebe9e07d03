// The FPD peak search: its rise, fall and end on the FPD signal, the rejection of drifts and
// spikes, the minimum area, too-short signals, and the chord it leaves for the overlay.

#include "evaluation/PeakSearch.h"
#include "evaluation/SyntheticPeak.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace korvat;
using korvat::test::seriesOf;

namespace {

// Adds a Gaussian bump of whole counts centred at sample `at`.
void addGauss(std::vector<double>& y, int at, double height, double sigmaSamples) {
    for (std::size_t k = 0; k < y.size(); ++k) {
        const double d = (static_cast<double>(k) - at) / sigmaSamples;
        y[k] += std::round(height * std::exp(-d * d / 2.0));
    }
}

// The chord the overlay draws must not cut through the FPD signal: no point between its ends lies
// below it (the end side compares with the chord cut to whole counts).
void expectChordUnderSignal(const std::vector<double>& y, const EvaluationState& st) {
    const int a = static_cast<int>(st.FPDStart), b = static_cast<int>(st.FPDEnd);
    ASSERT_LT(a, b);
    EXPECT_EQ(st.FPDStartLevel, y[a]);
    EXPECT_EQ(st.FPDEndLevel, y[b]);
    const double slope = (y[b] - y[a]) / (b - a);
    for (int k = a; k <= b; ++k)
        EXPECT_GE(y[k], std::trunc(y[a] + (k - a) * slope) - 1.0) << "at " << k;
}

TEST(FPDSearch, InjectionPeakIsFoundWithItsArea) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        test::InjectionPeak p;
        p.seed = seed;
        const Series s2 = p.make(600);
        EvaluationState st;
        const FPDSearchState state = SearchFPDPeak(st, s2, DetectionSettings{});
        EXPECT_EQ(state, FPDSearchState::Found);
        EXPECT_FALSE(st.NoPeak);
        EXPECT_NEAR(st.FPDArea, p.areaInSamples(), 0.03 * p.areaInSamples());
        EXPECT_NEAR(st.PeakHeigth, p.height(), 10.0);
        EXPECT_DOUBLE_EQ(st.PeakSlopeFPD, st.PeakHeigth / 4.0 / 12.0);
        EXPECT_EQ(st.PeakStartAreaFPD, std::trunc(st.PeakSlopeFPD) * 6.0); // 1 + 2 + 3
        // The chord lies on the FPD signal, on the baseline either side of the top.
        EXPECT_LT(st.FPDStart, p.top() * 10.0);
        EXPECT_GT(st.FPDEnd, p.top() * 10.0 + 30.0);
        EXPECT_EQ(st.FPDStartLevel, s2.y[static_cast<int>(st.FPDStart)]);
        EXPECT_EQ(st.FPDEndLevel, s2.y[static_cast<int>(st.FPDEnd)]);
        EXPECT_NEAR(st.FPDStartLevel, p.baseline, 30.0);
        // The end is where the tail's fall flattens to a third of the start slope; on an
        // exponential tail that is tau x that slope above the baseline.
        EXPECT_NEAR(st.FPDEndLevel - p.baseline, p.tau * st.PeakSlopeFPD / 3.0, 30.0);
        EXPECT_TRUE(st.FPDBaseDraw);
        expectChordUnderSignal(s2.y, st);
    }
}

TEST(FPDSearch, ChordIsRefinedOnTheFPDSignal) {
    // A converter glitch on the tail, below the baseline: the search ends two samples after it,
    // where its window turns flat, and the refinement pulls the chord's end back onto it so the
    // chord does not cut through the signal.
    test::InjectionPeak p;
    Series s2 = p.make(600);
    const int glitch = 49;
    s2.y[glitch] = p.baseline - 100.0;
    EvaluationState st;
    ASSERT_EQ(SearchFPDPeak(st, s2, DetectionSettings{}), FPDSearchState::Found);
    ASSERT_FALSE(st.NoPeak);
    EXPECT_EQ(st.FPDEnd, glitch);
    EXPECT_EQ(st.FPDEndLevel, p.baseline - 100.0);
    expectChordUnderSignal(s2.y, st);
}

struct RejectionCase {
    const char* name;
    std::function<std::vector<double>()> signal;
    FPDSearchState state;
    bool noPeak;
    int startMin, startMax; // where the accepted peak's chord starts, when one is expected
};

TEST(FPDSearch, DriftsSpikesAndSmallPeaks) {
    // A step of 4 counts: steep enough to start a rise, far too little area to be an injection.
    const auto drift = [] {
        std::vector<double> y(300, 1000.0);
        for (std::size_t k = 40; k < y.size(); ++k)
            y[k] += 4.0;
        return y;
    };
    // Three samples wide: narrower than the loop volume can make a peak.
    const auto spike = [] {
        std::vector<double> y(300, 1000.0);
        y[59] += 1000.0;
        y[60] += 2000.0;
        y[61] += 1000.0;
        return y;
    };
    // A real but tiny peak: wide enough, area about 50.
    const auto tiny = [](double scale) {
        std::vector<double> y(300, 1000.0);
        const double shape[] = {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1};
        for (std::size_t k = 0; k < std::size(shape); ++k)
            y[100 + k] += shape[k] * scale;
        return y;
    };
    const RejectionCase cases[] = {
        {"drift alone is abandoned", drift, FPDSearchState::Searching, true, 0, 0},
        {"drift abandoned, later injection found",
         [&] {
             auto y = drift();
             addGauss(y, 150, 500.0, 10.0);
             return y;
         },
         FPDSearchState::Found, false, 110, 150},
        {"drift abandoned, injection rising right after it",
         [&] {
             auto y = drift();
             addGauss(y, 80, 500.0, 5.0);
             return y;
         },
         FPDSearchState::Found, false, 55, 68},
        {"spike alone is discarded", spike, FPDSearchState::Searching, true, 0, 0},
        {"spike discarded, later injection found",
         [&] {
             auto y = spike();
             addGauss(y, 200, 1000.0, 10.0);
             return y;
         },
         FPDSearchState::Found, false, 160, 200},
        {"accepted peak with area of 100 or less", [&] { return tiny(1.0); },
         FPDSearchState::Found, true, 0, 0},
        {"the same peak ten times higher", [&] { return tiny(10.0); }, FPDSearchState::Found,
         false, 95, 110},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Series s2 = seriesOf(c.signal());
        EvaluationState st;
        const FPDSearchState state = SearchFPDPeak(st, s2, DetectionSettings{});
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(st.NoPeak, c.noPeak);
        EXPECT_TRUE(st.FPDBaseDraw);
        if (c.state == FPDSearchState::Found) {
            EXPECT_GE(st.FPDEnd - st.FPDStart, 12.0); // MinPeakWith in samples
        } else if (std::string(c.name).starts_with("spike")) {
            EXPECT_EQ(st.FPDArea, 0.0); // cleared by the narrowness rejection
        }
        if (!c.noPeak) {
            EXPECT_GE(st.FPDStart, c.startMin);
            EXPECT_LE(st.FPDStart, c.startMax);
            EXPECT_GT(st.FPDArea, 100.0);
        }
    }
}

TEST(FPDSearch, ShortSignalsSearchNothingButStillSetTheChord) {
    for (int n : {0, 1, 3, 4, 10, 17}) {
        SCOPED_TRACE(n);
        std::vector<double> y(n);
        for (int k = 0; k < n; ++k)
            y[k] = 1000.0 + 100.0 * k; // a steep rise nobody may look at
        EvaluationState st;
        st.PeakStartIndex = 7; // whatever the FID search left
        st.PeakEndIndex = 9;
        st.FPDArea = 55.0;
        const FPDSearchState state = SearchFPDPeak(st, seriesOf(y), DetectionSettings{});
        EXPECT_EQ(state, FPDSearchState::Searching);
        EXPECT_TRUE(st.NoPeak);
        EXPECT_EQ(st.FPDArea, 0.0);
        EXPECT_EQ(st.FPDStart, 7.0);
        EXPECT_EQ(st.FPDEnd, 9.0);
        EXPECT_EQ(st.FPDStartLevel, n >= 4 ? y[3] : 0.0);
        EXPECT_EQ(st.FPDEndLevel, st.FPDStartLevel);
        EXPECT_TRUE(st.FPDBaseDraw);
    }
}

TEST(FPDSearch, FirstWindowFollowsTheLoopFlow) {
    // A rise at sample 8 lies before the first window at the default flow (sample 13 on) but
    // inside it when the flow is doubled (first window at 6).
    std::vector<double> y(200, 1000.0);
    addGauss(y, 20, 3000.0, 6.0);
    for (std::size_t k = 0; k < 14; ++k)
        y[k] = 1000.0 + (k >= 8 ? 400.0 * (k - 7) : 0.0);
    DetectionSettings fast;
    fast.Loopflow = 20000;
    EvaluationState atFast, atDefault;
    SearchFPDPeak(atFast, seriesOf(y), fast);
    SearchFPDPeak(atDefault, seriesOf(y), DetectionSettings{});
    EXPECT_LE(atFast.FPDStart, 9.0);
    EXPECT_GE(atDefault.FPDStart, 15.0);
}

} // namespace
