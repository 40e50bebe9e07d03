#include "evaluation/PermeationMetrics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace korvat {

namespace {

constexpr double kLevelLimits[] = {10, 30, 60, 120, 240, 480};

// The measurement before point i: the contact, at the blank's rate, for the first.
RatePoint before(std::span<const RatePoint> s, std::size_t i, double contactRate) {
    return i == 0 ? RatePoint{0.0, contactRate} : s[i - 1];
}

double mean(std::span<const double> v) { return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size()); }

// Levels whose limit lies at or below `minutes`: a breakthrough later than `minutes` reaches them.
int levelsReachedAfter(double minutes) {
    int n = 0;
    for (double limit : kLevelLimits)
        if (limit <= minutes)
            ++n;
    return n;
}

} // namespace

double sampleMinutes(qint64 elapsedMs, int measuringSeconds) {
    const qint64 wholeSeconds = elapsedMs / 1000;
    return static_cast<double>(wholeSeconds - measuringSeconds) / 60.0;
}

Breakthrough breakthroughAt(std::span<const RatePoint> series, double threshold) {
    for (std::size_t i = 0; i < series.size(); ++i)
        if (series[i].rate >= threshold)
            return breakthroughAt(series, i, threshold);
    return {};
}

Breakthrough breakthroughAt(std::span<const RatePoint> series, std::size_t i, double threshold) {
    Breakthrough b;
    const RatePoint& p = series[i];
    b.first = p.minutes;
    if (i == 0)
        return b; // nothing measured below: only the bracket from the contact
    const RatePoint& q = series[i - 1];
    b.lastBelow = q.minutes;
    if (p.rate == threshold || p.minutes <= q.minutes)
        b.interpolated = p.minutes;
    else
        b.interpolated = q.minutes + (threshold - q.rate) * (p.minutes - q.minutes) / (p.rate - q.rate);
    return b;
}

std::vector<RatePoint> cumulativeCurve(std::span<const RatePoint> series, double contactRate) {
    std::vector<RatePoint> curve;
    curve.reserve(series.size());
    double sum = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const RatePoint q = before(series, i, contactRate);
        sum += (series[i].minutes - q.minutes) * (series[i].rate + q.rate) / 2.0;
        curve.push_back({series[i].minutes, sum});
    }
    return curve;
}

std::optional<double> cumulativeAt(std::span<const RatePoint> series, double minutes, double contactRate) {
    if (series.empty() || minutes > series.back().minutes || minutes < 0)
        return std::nullopt;
    double sum = 0;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const RatePoint q = before(series, i, contactRate);
        const RatePoint& p = series[i];
        if (minutes <= p.minutes) {
            // Part of this interval: the rate changes linearly from q to the moment asked for.
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
    if (series.empty())
        return std::nullopt;
    const double last = series.back().minutes;
    const double span = std::max(kSteadyStateMinutes, kSteadyStateShare * last);
    // The shortest tail that spans the window and holds enough measurements.
    std::size_t from = series.size();
    while (from > 0) {
        --from;
        const auto n = static_cast<int>(series.size() - from);
        if (n >= kSteadyStateMeasurements && last - series[from].minutes >= span)
            break;
        if (from == 0)
            return std::nullopt;
    }
    const std::span<const RatePoint> window = series.subspan(from);
    const double n = static_cast<double>(window.size());
    double st = 0, sr = 0;
    for (const RatePoint& p : window) {
        st += p.minutes;
        sr += p.rate;
    }
    const double mt = st / n, mr = sr / n;
    double stt = 0, str = 0;
    for (const RatePoint& p : window) {
        stt += (p.minutes - mt) * (p.minutes - mt);
        str += (p.minutes - mt) * (p.rate - mr);
    }
    if (!(mr > 0) || !(stt > 0))
        return std::nullopt;
    const double length = last - window.front().minutes;
    const double trend = (str / stt) * length / mr;
    if (!(std::fabs(trend) <= kSteadyStateTrend))
        return std::nullopt;
    return SteadyState{mr, static_cast<int>(window.size()), window.front().minutes, trend};
}

int levelForBreakthrough(double minutes) {
    int level = 0;
    for (double limit : kLevelLimits)
        if (minutes > limit)
            ++level;
    return level;
}

PerformanceLevel performanceLevel(const Breakthrough& bt10, double unbrokenMinutes) {
    PerformanceLevel l;
    if (bt10.interpolated) {
        l.kind = PerformanceLevel::Kind::Exact;
        l.lowest = l.highest = levelForBreakthrough(*bt10.interpolated);
    } else if (bt10.first) {
        // Broken through somewhere after the contact and at or before the first measurement.
        l.kind = PerformanceLevel::Kind::Range;
        l.lowest = levelsReachedAfter(bt10.after());
        l.highest = levelForBreakthrough(*bt10.first);
    } else {
        l.kind = PerformanceLevel::Kind::AtLeast;
        l.lowest = l.highest = levelsReachedAfter(unbrokenMinutes);
        l.boundMinutes = unbrokenMinutes;
    }
    return l;
}

QString performanceLevelText(const PerformanceLevel& l, bool ascii) {
    switch (l.kind) {
    case PerformanceLevel::Kind::None:
        return {};
    case PerformanceLevel::Kind::Exact:
        return QString::number(l.lowest);
    case PerformanceLevel::Kind::Range:
        if (l.lowest == l.highest)
            return QString::number(l.lowest);
        return QString::number(l.lowest) + (ascii ? QStringLiteral("-") : QStringLiteral("\u2013")) +
               QString::number(l.highest);
    case PerformanceLevel::Kind::AtLeast:
        return (ascii ? QStringLiteral(">= ") : QStringLiteral("\u2265 ")) + QString::number(l.lowest);
    }
    return {};
}

double unbrokenMinutes(double lastSample, std::optional<double> resolution, double plannedMinutes) {
    if (plannedMinutes > 0 && lastSample + resolution.value_or(0.0) >= plannedMinutes)
        return std::max(lastSample, plannedMinutes);
    return lastSample;
}

std::optional<double> threeSigma(std::span<const double> values) {
    if (values.size() < 2)
        return std::nullopt;
    const double m = mean(values);
    double squares = 0;
    for (double v : values)
        squares += (v - m) * (v - m);
    return 3.0 * std::sqrt(squares / static_cast<double>(values.size() - 1));
}

std::optional<DetectionLimit> detectionLimit(std::optional<double> spread, std::optional<double> smallestPeakRate) {
    if (spread && (!smallestPeakRate || *spread > *smallestPeakRate))
        return DetectionLimit{*spread, DetectionLimit::From::ZeroGas};
    if (smallestPeakRate)
        return DetectionLimit{*smallestPeakRate, DetectionLimit::From::SmallestPeak};
    return std::nullopt;
}

CellMetrics cellMetrics(std::span<const RatePoint> series, std::optional<DetectionLimit> limit, double contactRate,
                        double plannedMinutes, bool seesChemical) {
    CellMetrics m;
    m.measurements = static_cast<int>(series.size());
    m.contactRate = contactRate;
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
        m.cumulative = cumulativeCurve(series, contactRate).back().rate;
        if (seesChemical)
            m.level = performanceLevel(m.bt10, unbrokenMinutes(m.testMinutes, m.resolution, plannedMinutes));
    }
    m.cumulative60 = cumulativeAt(series, 60, contactRate);
    m.cumulative480 = cumulativeAt(series, 480, contactRate);
    m.steady = steadyState(series);
    m.detectionLimit = limit;
    return m;
}

} // namespace korvat
