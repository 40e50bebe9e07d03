#pragma once
// The measurement uncertainty of the lab's figures, as a budget after the GUM: each input's
// standard uncertainty, relative to the rate it gives, combined as the root sum of squares.
//
//   rate = M / Vm · ppm · flow / area,   ppm = (peak area − b) / a · (factor ratio)
//
// - calibration curve: how well a and b are known at the rate's concentration (from the points'
//   repeatability and their scatter about the curve), shared by every cell of the run;
// - reference gas: the certificate's expanded uncertainty (k = 2) halved, shared;
// - repeatability: one injection's scatter, the reference gas's from the history;
// - flow and exposed area: a maximum deviation, rectangular (tolerance / √3);
// - blank: the zero gas's scatter as a rate (absolute), when the run measured zero gas.
// The substance factor and the molar mass are taken as exact (the lab confirms its factors).
// A breakthrough time's uncertainty combines the sampling bracket (rectangular over the interval
// between the last measurement below and the first at or above the threshold) with the rate's
// uncertainty at the threshold carried through the local slope of the rate curve. Decisions use
// the expanded uncertainty U = 2 u.

#include "evaluation/Calibration.h"
#include "evaluation/PermeationMetrics.h"

#include <optional>
#include <vector>

namespace korvat {

// What the lab states for its run, fixed at Start and written into the header block.
struct UncertaintySettings {
    double flowTolerance = 2.0; // %, the largest deviation of a cell's flow from its set value
    double areaTolerance = 1.0; // %, the largest deviation of the exposed area from its value
    double referenceGas = 2.0;  // %, the reference gas certificate's expanded uncertainty (k = 2)
    bool operator==(const UncertaintySettings&) const = default;
};

inline constexpr double kCoverage = 2.0; // k of the expanded uncertainty

struct UncertaintyComponent {
    enum class Source { Curve, ReferenceGas, Repeatability, Flow, Area, Blank };
    Source source = Source::Curve;
    double relative = 0;  // standard uncertainty relative to the rate
    bool common = false;  // shared by every cell of the run (the calibration's)
    bool known = true;    // false: not estimated (the history holds too little)
};
// "calibration curve", "reference gas", ... (the files' and the budget's tokens).
QString uncertaintySourceToken(UncertaintyComponent::Source source);

// The uncertainty of the rates of one cell and detector.
class RateUncertainty {
public:
    RateUncertainty() = default;
    // `ratePerPpm`: the rate one ppm of calibration gas gives at the cell; `repeatability` of one
    // reference-gas area when the history knows it; `blankSd`: the zero gas's standard deviation
    // as a rate at the cell, when measured.
    RateUncertainty(CalibrationCurve curve, double ratePerPpm, std::optional<double> repeatability,
                    UncertaintySettings settings, std::optional<double> blankSd);

    bool known() const { return ratePerPpm_ > 0; }
    std::vector<UncertaintyComponent> budget(double rate) const;
    // Combined relative standard uncertainty of a rate, and the part shared by every cell.
    double relative(double rate) const;
    double commonRelative(double rate) const;

private:
    CalibrationCurve curve_;
    double ratePerPpm_ = 0;
    std::optional<double> repeatability_;
    UncertaintySettings settings_;
    std::optional<double> blankSd_;
};

// A figure's standard uncertainty with the part every cell of the run shares.
struct StandardUncertainty {
    double value = 0;
    double common = 0;
    double independent() const;
};

// The standard uncertainty (minutes) of an interpolated breakthrough time; nullopt for a bracket
// "≤ first" or no breakthrough.
std::optional<StandardUncertainty> breakthroughUncertainty(std::span<const RatePoint> series, const Breakthrough& b,
                                                           double threshold, const RateUncertainty& u);
// The same from the two measurements around the crossing (the last below, the first at or above).
std::optional<StandardUncertainty> breakthroughUncertainty(const RatePoint& below, const RatePoint& above,
                                                           const Breakthrough& b, double threshold,
                                                           const RateUncertainty& u);
// The relative standard uncertainty of a steady-state rate: the rate's budget with the scatter of
// the window's measurements about their mean (over √n) in place of one injection's repeatability.
std::optional<StandardUncertainty> steadyStateUncertainty(std::span<const RatePoint> series, const SteadyState& steady,
                                                          const RateUncertainty& u);
// The same from the sum of the window's squared deviations from the steady-state rate.
std::optional<StandardUncertainty> steadyStateUncertainty(double squares, const SteadyState& steady,
                                                          const RateUncertainty& u);

} // namespace korvat
