#pragma once
// What a permeation lab reports for a sample cell, computed from the cell's series of measurements
// (sample time, rate): the breakthrough times at 0.1 and 1.0 ug/cm²/min (the first measurement at
// or above, and the crossing interpolated between it and the measurement before), the sampling
// interval as their resolution, the cumulative permeation, the steady-state rate, the EN ISO 374-1
// performance level and the detection limit of the test. Plain functions over plain data: the live
// figures, the summary file and the command line all go through them.

#include <QString>
#include <QtGlobal>
#include <optional>
#include <span>
#include <vector>

namespace korvat {

// One measurement of a cell: minutes from the start of the run, and its rate in ug/cm²/min.
struct RatePoint {
    double minutes = 0;
    double rate = 0;
    bool operator==(const RatePoint&) const = default;
};

// The thresholds every report gives, whatever limit the run switched cells off at.
inline constexpr double kAstmThreshold = 0.1; // ASTM F739 normalized breakthrough
inline constexpr double kEnThreshold = 1.0;   // EN 16523-1 standardized breakthrough

// A measurement's sample time in minutes: the moment its sample loop was injected, taken as its
// elapsed run time in whole seconds (as the results file writes it) less the measuring time of
// the window that followed the injection.
double sampleMinutes(qint64 elapsedMs, int measuringSeconds);

struct Breakthrough {
    std::optional<double> first;        // sample time of the first measurement at or above
    std::optional<double> interpolated; // the crossing between that measurement and the one before
};
// The start of the run counts as a measurement of rate 0 for the first interval.
Breakthrough breakthroughAt(std::span<const RatePoint> series, double threshold);

// The cumulative permeation curve in ug/cm²: the rate integrated by trapezoids from the start of
// the run (rate 0), one point per measurement.
std::vector<RatePoint> cumulativeCurve(std::span<const RatePoint> series);
// The cumulative permeation at `minutes`, with the rate taken as linear between measurements;
// nullopt beyond the last measurement.
std::optional<double> cumulativeAt(std::span<const RatePoint> series, double minutes);

// The steady state: the last three or more measurements all within ±5 % of their mean (as many
// of the last ones as qualify). Their mean, and how many they are; nullopt while the rate has not
// levelled (or is not above zero).
struct SteadyState {
    double rate = 0;
    int measurements = 0;
};
std::optional<SteadyState> steadyState(std::span<const RatePoint> series);
inline constexpr int kSteadyStateMinimum = 3;
inline constexpr double kSteadyStateBand = 0.05;

// EN ISO 374-1 level from the breakthrough time at 1.0 ug/cm²/min: 1 above 10 min, 2 above 30,
// 3 above 60, 4 above 120, 5 above 240, 6 above 480 (0 at 10 min or less). Without breakthrough
// the level the test time reached is a lower bound.
struct PerformanceLevel {
    int level = 0;
    bool brokeThrough = false;
    double testMinutes = 0;
};
PerformanceLevel performanceLevel(std::optional<double> breakthroughMinutes, double testMinutes);
// "3" for a breakthrough, "> 95 min, not broken through (level 3)" otherwise.
QString performanceLevelText(const PerformanceLevel& level);

// The detection limit of the test (minimum detectable permeation rate): the rate three standard
// deviations of the blank correspond to. From the zero-gas measurements of the run: their rates
// (at the zero gas's own flow) brought to the cell's flow. Needs at least two blanks that are not
// all equal; nullopt otherwise.
std::optional<double> detectionLimitFromBlanks(std::span<const double> blankRates, double blankFlow,
                                               double cellFlow);
// From baseline noise when there are no usable blanks: `noiseRate` is the rate a peak of three
// standard deviations of the baseline over the width of a peak would give, one per window of the
// cell; their mean.
std::optional<double> detectionLimitFromNoise(std::span<const double> noiseRates);

// Everything above for one cell and detector.
struct CellMetrics {
    int measurements = 0;
    Breakthrough bt01, bt10;
    std::optional<double> resolution; // minutes between two measurements of the cell (median)
    double cumulative = 0;            // at the last measurement
    std::optional<double> cumulative60, cumulative480;
    std::optional<SteadyState> steady;
    PerformanceLevel level;
    std::optional<double> detectionLimit;
    double testMinutes = 0; // sample time of the last measurement
};
CellMetrics cellMetrics(std::span<const RatePoint> series, std::optional<double> detectionLimit);

} // namespace korvat
