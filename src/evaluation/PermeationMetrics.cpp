#include "evaluation/PermeationMetrics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace korvat {

namespace {

// The measurement before point i: the start of the run for the first.
RatePoint before(std::span<const RatePoint> s, std::size_t i) { return i == 0 ? RatePoint{} : s[i - 1]; }

double mean(std::span<const double> v) { return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()); }

} // namespace

double sampleMinutes(qint64 elapsedMs, int measuringSeconds) {
    const qint64 wholeSeconds = elapsedMs / 1000;
    return static_cast<double>(wholeSeconds - measuringSeconds) / 60.0;
}

Breakthrough breakthroughAt(std::span<const RatePoint> series, double threshold) {
    Breakthrough b;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const RatePoint& p = series[i];
        if (!(p.rate >= threshold))
            continue;
        b.first = p.minutes;
        const RatePoint q = before(series, i);
        if (p.rate == threshold || q.rate >= p.rate || p.minutes <= q.minutes)
            b.interpolated = p.minutes;
        else
            b.interpolated = q.minutes + (threshold - q.rate) * (p.minutes - q.minutes) / (p.rate - q.rate);
        return b;
    }
    return b;
}

std::vector<RatePoint> cumulativeCurve(std::span<const RatePoint> series) {
    std::vector<RatePoint> curve;
    curve.reserve(series.size());
    double sum = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const RatePoint q = before(series, i);
        sum += (series[i].minutes - q.minutes) * (series[i].rate + q.rate) / 2.0;
        curve.push_back({series[i].minutes, sum});
    }
    return curve;
}

std::optional<double> cumulativeAt(std::span<const RatePoint> series, double minutes) {
    if (series.empty() || minutes > series.back().minutes || minutes < 0)
        return std::nullopt;
    double sum = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const RatePoint q = before(series, i);
        const RatePoint& p = series[i];
        if (minutes <= p.minutes) {
            // Part of this interval: the rate rises linearly from q to the moment asked for.
            if (p.minutes <= q.minutes)
                return sum;
            const double r = q.rate + (p.rate - q.rate) * (minutes - q.minutes) / (p.minutes - q.minutes);
            return sum + (minutes - q.minutes) * (q.rate + r) / 2.0;
        }
        sum += (p.minutes - q.minutes) * (p.rate + q.rate) / 2.0;
    }
    return sum;
}

std::optional<SteadyState> steadyState(std::span<const RatePoint> series) {
    // The tail grows one measurement at a time; its sum (added in the same order as a mean over
    // the tail would) and its extremes say whether every member lies within the band, so a long
    // steady test costs one pass, not one pass per measurement.
    std::optional<SteadyState> found;
    double sum = 0;
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (std::size_t n = 1; n <= series.size(); ++n) {
        const double r = series[series.size() - n].rate;
        sum += r;
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
        if (static_cast<int>(n) < kSteadyStateMinimum)
            continue;
        const double m = sum / static_cast<double>(n);
        const bool level = m > 0 && highest - m <= kSteadyStateBand * m && m - lowest <= kSteadyStateBand * m;
        if (!level)
            break;
        found = SteadyState{m, static_cast<int>(n)};
    }
    return found;
}

PerformanceLevel performanceLevel(std::optional<double> breakthroughMinutes, double testMinutes) {
    static constexpr double kLimits[] = {10, 30, 60, 120, 240, 480};
    PerformanceLevel l;
    l.brokeThrough = breakthroughMinutes.has_value();
    l.testMinutes = testMinutes;
    const double t = l.brokeThrough ? *breakthroughMinutes : testMinutes;
    for (double limit : kLimits) {
        if (t > limit)
            ++l.level;
    }
    return l;
}

QString performanceLevelText(const PerformanceLevel& l) {
    if (l.brokeThrough)
        return QString::number(l.level);
    return QStringLiteral("> %1 min, not broken through (level %2)").arg(std::floor(l.testMinutes)).arg(l.level);
}

std::optional<double> detectionLimitFromBlanks(std::span<const double> blankRates, double blankFlow,
                                               double cellFlow) {
    if (blankRates.size() < 2 || !(blankFlow > 0))
        return std::nullopt;
    const double m = mean(blankRates);
    double squares = 0;
    for (double r : blankRates)
        squares += (r - m) * (r - m);
    const double sd = std::sqrt(squares / static_cast<double>(blankRates.size() - 1));
    if (!(sd > 0))
        return std::nullopt;
    return 3.0 * sd * cellFlow / blankFlow;
}

std::optional<double> detectionLimitFromNoise(std::span<const double> noiseRates) {
    if (noiseRates.empty())
        return std::nullopt;
    return mean(noiseRates);
}

CellMetrics cellMetrics(std::span<const RatePoint> series, std::optional<double> detectionLimit) {
    CellMetrics m;
    m.measurements = static_cast<int>(series.size());
    m.bt01 = breakthroughAt(series, kAstmThreshold);
    m.bt10 = breakthroughAt(series, kEnThreshold);
    if (!series.empty()) {
        std::vector<double> intervals;
        for (std::size_t i = 1; i < series.size(); ++i)
            intervals.push_back(series[i].minutes - series[i - 1].minutes);
        if (intervals.empty()) {
            m.resolution = series.front().minutes;
        } else {
            std::sort(intervals.begin(), intervals.end());
            const std::size_t n = intervals.size();
            m.resolution = n % 2 ? intervals[n / 2] : (intervals[n / 2 - 1] + intervals[n / 2]) / 2.0;
        }
        m.testMinutes = series.back().minutes;
        m.cumulative = cumulativeCurve(series).back().rate;
    }
    m.cumulative60 = cumulativeAt(series, 60);
    m.cumulative480 = cumulativeAt(series, 480);
    m.steady = steadyState(series);
    m.level = performanceLevel(m.bt10.interpolated, m.testMinutes);
    m.detectionLimit = detectionLimit;
    return m;
}

} // namespace korvat
