#include "evaluation/SignalTrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <vector>

using namespace korvat;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Sample {
    double x, y;
};

// A converter-like signal: a random walk of whole counts, ten a second, with runs of lost lines.
std::vector<Sample> randomSignal(std::mt19937& rng, std::size_t n, double gapChance, bool whole) {
    std::uniform_real_distribution<double> step(-500, 500);
    std::uniform_real_distribution<double> chance(0, 1);
    std::vector<Sample> out;
    double v = 0;
    int gapLeft = 0;
    for (std::size_t i = 0; i < n; ++i) {
        v += step(rng);
        if (gapLeft == 0 && chance(rng) < gapChance)
            gapLeft = 1 + static_cast<int>(chance(rng) * 40);
        double y = whole ? std::round(v) : v;
        if (gapLeft > 0) {
            --gapLeft;
            y = kNaN;
        }
        out.push_back({static_cast<double>(i) / 10.0, y});
    }
    return out;
}

// Every block of every level against the samples it covers: min <= each sample <= max with both
// bounds taken by some sample, and a gap flagged exactly when the block holds one.
void expectPyramidHolds(const SignalTrace& t, const std::vector<Sample>& s) {
    std::size_t blockSize = 1;
    for (std::size_t level = 1; level <= t.levelCount(); ++level) {
        blockSize *= SignalTrace::kFanout;
        ASSERT_EQ(t.blockCount(level), (s.size() + blockSize - 1) / blockSize) << "level " << level;
        for (std::size_t b = 0; b < t.blockCount(level); ++b) {
            double lo = std::numeric_limits<double>::infinity(), hi = -lo;
            bool gap = false;
            for (std::size_t i = b * blockSize; i < std::min(s.size(), (b + 1) * blockSize); ++i) {
                if (std::isnan(s[i].y)) {
                    gap = true;
                } else {
                    lo = std::min(lo, s[i].y);
                    hi = std::max(hi, s[i].y);
                }
            }
            const SignalTrace::Block k = t.block(level, b);
            ASSERT_EQ(k.gap, gap) << "level " << level << " block " << b;
            if (lo > hi) {
                EXPECT_TRUE(std::isnan(k.min) && std::isnan(k.max)) << "an all-gap block shows a value";
            } else {
                ASSERT_EQ(k.min, lo) << "level " << level << " block " << b;
                ASSERT_EQ(k.max, hi) << "level " << level << " block " << b;
            }
        }
    }
    // The top level holds everything in one block.
    EXPECT_EQ(t.blockCount(t.levelCount()), 1u);
}

} // namespace

TEST(SignalTrace, EveryLevelBoundsItsSamplesAndKeepsEveryGap) {
    struct Case {
        const char* name;
        std::size_t n;
        double gapChance;
        bool whole;
    };
    const Case cases[] = {
        {"one sample", 1, 0, true},
        {"one block and one more", SignalTrace::kFanout + 1, 0, true},
        {"whole counts with lost lines", 70000, 0.002, true},
        {"fractional values with lost lines", 9000, 0.01, false},
        {"mostly lost", 5000, 0.3, true},
    };
    std::mt19937 rng(20261211);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Sample> s = randomSignal(rng, c.n, c.gapChance, c.whole);
        SignalTrace t;
        for (const Sample& p : s)
            t.append(p.x, p.y);
        ASSERT_EQ(t.size(), s.size());
        EXPECT_EQ(t.compact(), c.whole);
        for (std::size_t i = 0; i < s.size(); ++i) {
            ASSERT_DOUBLE_EQ(t.x(i), s[i].x);
            if (std::isnan(s[i].y))
                ASSERT_TRUE(std::isnan(t.y(i))) << i;
            else
                ASSERT_EQ(t.y(i), s[i].y) << i;
        }
        expectPyramidHolds(t, s);
    }
}

TEST(SignalTrace, ATraceThatStopsBeingCompactLosesNothing) {
    // Whole counts on an even step, then one each of what a compact trace cannot hold.
    struct Case {
        const char* name;
        Sample breaking;
    };
    const Case cases[] = {
        {"a fractional value", {2.0, 12.5}},
        {"an uneven step", {2.05, 12}},
        {"a time that falls back", {0.5, 12}},
        {"a value beyond 30 bits", {2.0, 3e9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Sample> s;
        for (int i = 0; i < 20; ++i)
            s.push_back({i / 10.0, static_cast<double>(i % 2 ? -i * 1000 : i)});
        s.push_back(c.breaking);
        s.push_back({c.breaking.x + 0.1, 7});
        SignalTrace t;
        for (const Sample& p : s)
            t.append(p.x, p.y);
        EXPECT_FALSE(t.compact());
        for (std::size_t i = 0; i < s.size(); ++i) {
            EXPECT_DOUBLE_EQ(t.x(i), s[i].x);
            EXPECT_EQ(t.y(i), s[i].y);
        }
        expectPyramidHolds(t, s);
    }
}

TEST(SignalTrace, APictureShowsOnlyValuesTheSamplesHeldAndEveryGap) {
    std::mt19937 rng(7);
    const std::vector<Sample> s = randomSignal(rng, 200000, 0.0005, true);
    SignalTrace t;
    std::set<double> values;
    for (const Sample& p : s) {
        t.append(p.x, p.y);
        if (!std::isnan(p.y))
            values.insert(p.y);
    }
    struct View {
        double from, to;
        std::size_t columns;
    };
    // The whole trace, a zoom that still needs the pyramid, and one that shows the samples.
    const View views[] = {{0, 20000, 900}, {5000.05, 7333.3, 640}, {1234.5, 1300, 800}, {-50, 3, 100}};
    std::vector<SignalTrace::Point> pic;
    for (const View& v : views) {
        SCOPED_TRACE(v.from);
        t.picture(v.from, v.to, v.columns, 4, pic);
        ASSERT_FALSE(pic.empty());
        EXPECT_LE(pic.size(), 3 * v.columns + 6) << "more points than the pixels need";
        // Each point is a value some sample between its neighbours' times held (or a gap).
        std::size_t gapsShown = 0;
        for (const SignalTrace::Point& p : pic) {
            if (std::isnan(p.y)) {
                ++gapsShown;
                continue;
            }
            ASSERT_TRUE(values.count(p.y)) << "a value no sample held: " << p.y;
        }
        // Every run of lost lines in view shows as a gap.
        std::size_t gapRuns = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (std::isnan(s[i].y) && (i == 0 || !std::isnan(s[i - 1].y)) && s[i].x >= v.from && s[i].x <= v.to)
                ++gapRuns;
        }
        if (gapRuns > 0) {
            EXPECT_GE(gapsShown, 1u);
        }
        // The line runs to both edges of the view when there are samples beyond them.
        if (v.from > 0) {
            EXPECT_LE(pic.front().x, v.from + (v.to - v.from) / v.columns * 2);
        }
        EXPECT_GE(pic.back().x, std::min(v.to, s.back().x) - (v.to - v.from) / v.columns * 2);
    }
}

TEST(SignalTrace, ValueAndKeyRangesAndCompactSize) {
    SignalTrace t;
    EXPECT_FALSE(t.keyRange());
    EXPECT_FALSE(t.valueRange());
    t.append(0, kNaN);
    EXPECT_TRUE(t.keyRange());
    EXPECT_FALSE(t.valueRange()) << "a trace of gaps has no values";
    const std::size_t n = 864000; // a day at ten samples a second
    for (std::size_t i = 1; i < n; ++i)
        t.append(static_cast<double>(i) / 10.0, static_cast<double>(i % 5000) - 100.0);
    ASSERT_TRUE(t.valueRange());
    EXPECT_EQ(t.valueRange()->lower, -100);
    EXPECT_EQ(t.valueRange()->upper, 4899);
    EXPECT_DOUBLE_EQ(t.keyRange()->upper, (n - 1) / 10.0);
    EXPECT_TRUE(t.compact());
    // Four bytes a sample and the pyramid beside them, no doubled vector's spare half.
    EXPECT_LT(static_cast<double>(t.bytes()) / n, 5.0);
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_LT(t.bytes(), 1024u);
}
