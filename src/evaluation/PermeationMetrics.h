#pragma once
// What a permeation lab reports for a sample cell, computed from the cell's series of measurements
// (sample time counted from the chemical's first contact with the specimen, rate): the
// breakthrough times at 0.1 and 1.0 ug/cm²/min, the sampling interval as their resolution, the
// cumulative permeation, the steady-state rate, the EN ISO 374-1 performance level and the
// detection limit of the test. Plain functions over plain data: the live figures, the summary
// file, the command line and the report all go through them.

#include <QString>
#include <QtGlobal>
#include <optional>
#include <span>
#include <vector>

namespace korvat {

// One measurement of a cell: minutes from the chemical's contact with the specimen, and its rate
// in ug/cm²/min.
struct RatePoint {
    double minutes = 0;
    double rate = 0;
    bool operator==(const RatePoint&) const = default;
};

// The thresholds every report gives, whatever limit the run switched cells off at.
inline constexpr double kAstmThreshold = 0.1; // ASTM F739 normalized breakthrough
inline constexpr double kEnThreshold = 1.0;   // EN 16523-1 standardized breakthrough

// A measurement's sample time in minutes of the run: the moment its sample loop was injected,
// taken as its elapsed run time in whole seconds (as the results file writes it) less the
// measuring time of the window that followed the injection. Add the cell's contact offset to
// count from the contact.
double sampleMinutes(qint64 elapsedMs, int measuringSeconds);

// Where a threshold was crossed. The crossing lies after `lastBelow` (the last measurement below
// the threshold before it; without one, after the contact) and at or before `first` (the first
// measurement at or above). Only between two real measurements is it interpolated (linear in the
// rate): a crossing before the first measurement is reported as the bracket "≤ first", since
// nothing says how the rate rose from the contact to there.
struct Breakthrough {
    std::optional<double> first;
    std::optional<double> lastBelow;
    std::optional<double> interpolated;
    // The crossing's bound from below: lastBelow, or the contact (0).
    double after() const { return lastBelow.value_or(0.0); }
};
Breakthrough breakthroughAt(std::span<const RatePoint> series, double threshold);
// The same when `first` is the index of the first measurement at or above the threshold.
Breakthrough breakthroughAt(std::span<const RatePoint> series, std::size_t first, double threshold);

// The cumulative permeation in ug/cm², the rate integrated by trapezoids from the contact, where
// the rate is taken as `contactRate` (the rate of the blank), to each measurement; one point per
// measurement.
std::vector<RatePoint> cumulativeCurve(std::span<const RatePoint> series, double contactRate = 0);
// The cumulative permeation at `minutes` after the contact, with the rate linear between
// measurements; nullopt beyond the last measurement.
std::optional<double> cumulativeAt(std::span<const RatePoint> series, double minutes, double contactRate = 0);

// The steady state: the rate no longer changes. The window is the last measurements that span at
// least kSteadyStateMinutes and a third of the time since the contact (the approach to a steady
// flux slows in proportion to the time since the contact), and at least kSteadyStateMeasurements;
// the rate's least-squares trend over the window, times the window's length, must stay within
// kSteadyStateTrend of the window's mean (above zero). The steady-state rate is that mean.
struct SteadyState {
    double rate = 0;
    int measurements = 0;
    double fromMinutes = 0; // the window's first sample time
    double trend = 0;       // the change across the window the trend gives, relative to the mean
};
std::optional<SteadyState> steadyState(std::span<const RatePoint> series);
inline constexpr double kSteadyStateMinutes = 30;
inline constexpr double kSteadyStateShare = 1.0 / 3.0;
inline constexpr int kSteadyStateMeasurements = 4;
inline constexpr double kSteadyStateTrend = 0.05;

// EN ISO 374-1 level from the standardized breakthrough time at 1.0 ug/cm²/min: 1 above 10 min,
// 2 above 30, 3 above 60, 4 above 120, 5 above 240, 6 above 480 (0 at 10 min or less).
int levelForBreakthrough(double minutes);

// What the level column holds.
struct PerformanceLevel {
    enum class Kind {
        None,    // no level: the detector cannot see the chemical, or has no calibration
        Exact,   // from an interpolated breakthrough
        Range,   // broken through before the first measurement: lowest..highest remain possible
        AtLeast, // not broken through within boundMinutes: lowest or higher
    };
    Kind kind = Kind::None;
    int lowest = 0, highest = 0;
    double boundMinutes = 0; // AtLeast: minutes of exposure without breakthrough
    bool brokeThrough() const { return kind == Kind::Exact || kind == Kind::Range; }
};
// From the breakthrough at 1.0 and, without one, the exposure the cell had without breaking
// through (`unbrokenMinutes`).
PerformanceLevel performanceLevel(const Breakthrough& bt10, double unbrokenMinutes);
// "3", "0–1", "≥ 5" (`ascii`: "0-1", ">= 5", for the files); empty for None.
QString performanceLevelText(const PerformanceLevel& level, bool ascii = false);

// The minutes a cell not broken through counts for its level: the test's planned duration when the
// test ran to it (its last measurement lies within one sampling interval before the planned end,
// or after it: no later measurement was due before the end), otherwise its last sample time.
double unbrokenMinutes(double lastSample, std::optional<double> resolution, double plannedMinutes);

// The detection limit of the test (minimum detectable permeation rate): the larger of three
// standard deviations of the blanks (the run's zero-gas measurements, at least two, as the cell
// would have measured them) and the rate of the smallest peak the evaluation can find at the cell.
struct DetectionLimit {
    double rate = 0;
    enum class From { ZeroGas, SmallestPeak } from = From::SmallestPeak;
    bool operator==(const DetectionLimit&) const = default;
};
// nullopt when neither is known.
std::optional<DetectionLimit> detectionLimit(std::optional<double> blankSpread, std::optional<double> smallestPeakRate);
// Three standard deviations of `values`; nullopt for fewer than two.
std::optional<double> threeSigma(std::span<const double> values);

// Everything above for one cell and detector.
struct CellMetrics {
    int measurements = 0;
    Breakthrough bt01, bt10;
    std::optional<double> resolution; // minutes between two measurements of the cell (median)
    double contactRate = 0;           // the rate the first interval starts from
    double cumulative = 0;            // at the last measurement
    std::optional<double> cumulative60, cumulative480;
    std::optional<SteadyState> steady;
    PerformanceLevel level;
    std::optional<DetectionLimit> detectionLimit;
    double testMinutes = 0; // sample time of the last measurement
};
// `plannedMinutes` is the test's planned duration; `seesChemical` false leaves the level empty.
CellMetrics cellMetrics(std::span<const RatePoint> series, std::optional<DetectionLimit> detectionLimit,
                        double contactRate, double plannedMinutes, bool seesChemical = true);

} // namespace korvat
