#include "evaluation/Uncertainty.h"

#include <algorithm>
#include <cmath>

namespace korvat {

namespace {

const double kSqrt3 = std::sqrt(3.0);
const double kSqrt12 = std::sqrt(12.0);

double rootSumSquares(const std::vector<UncertaintyComponent>& budget, bool commonOnly) {
    double sum = 0;
    for (const UncertaintyComponent& c : budget)
        if (!commonOnly || c.common)
            sum += c.relative * c.relative;
    return std::sqrt(sum);
}

} // namespace

QString uncertaintySourceToken(UncertaintyComponent::Source source) {
    switch (source) {
    case UncertaintyComponent::Source::Curve: return QStringLiteral("calibration curve");
    case UncertaintyComponent::Source::ReferenceGas: return QStringLiteral("reference gas");
    case UncertaintyComponent::Source::Repeatability: return QStringLiteral("repeatability");
    case UncertaintyComponent::Source::Flow: return QStringLiteral("flow");
    case UncertaintyComponent::Source::Area: return QStringLiteral("exposed area");
    case UncertaintyComponent::Source::Blank: return QStringLiteral("blank");
    }
    return {};
}

RateUncertainty::RateUncertainty(CalibrationCurve curve, double ratePerPpm, std::optional<double> repeatability,
                                 UncertaintySettings settings, std::optional<double> blankSd)
    : curve_(std::move(curve)), ratePerPpm_(ratePerPpm), repeatability_(repeatability), settings_(settings),
      blankSd_(blankSd) {}

std::vector<UncertaintyComponent> RateUncertainty::budget(double rate) const {
    using S = UncertaintyComponent::Source;
    std::vector<UncertaintyComponent> b;
    if (!known() || !(rate > 0))
        return b;
    const double ppm = rate / ratePerPpm_;
    const bool curveKnown = repeatability_.has_value() || curve_.residualSd.has_value();
    b.push_back({S::Curve, curve_.valid() ? curve_.ppmUncertainty(ppm) / ppm : 0, true, curveKnown});
    b.push_back({S::ReferenceGas, settings_.referenceGas / 100 / kCoverage, true, true});
    b.push_back({S::Repeatability, repeatability_.value_or(0), false, repeatability_.has_value()});
    b.push_back({S::Flow, settings_.flowTolerance / 100 / kSqrt3, false, true});
    b.push_back({S::Area, settings_.areaTolerance / 100 / kSqrt3, false, true});
    b.push_back({S::Blank, blankSd_.value_or(0) / rate, false, blankSd_.has_value()});
    return b;
}

double RateUncertainty::relative(double rate) const { return rootSumSquares(budget(rate), false); }

double RateUncertainty::commonRelative(double rate) const { return rootSumSquares(budget(rate), true); }

double StandardUncertainty::independent() const {
    return std::sqrt(std::max(0.0, value * value - common * common));
}

std::optional<StandardUncertainty> breakthroughUncertainty(std::span<const RatePoint> series, const Breakthrough& b,
                                                           double threshold, const RateUncertainty& u) {
    if (!b.interpolated || !b.first || !b.lastBelow || !u.known())
        return std::nullopt;
    // The two measurements around the crossing give its bracket and the curve's local slope.
    for (std::size_t i = 1; i < series.size(); ++i)
        if (series[i].minutes == *b.first && series[i - 1].minutes == *b.lastBelow)
            return breakthroughUncertainty(series[i - 1], series[i], b, threshold, u);
    return std::nullopt;
}

std::optional<StandardUncertainty> breakthroughUncertainty(const RatePoint& below, const RatePoint& above,
                                                           const Breakthrough& b, double threshold,
                                                           const RateUncertainty& u) {
    if (!b.interpolated || !b.first || !b.lastBelow || !u.known())
        return std::nullopt;
    const double width = above.minutes - below.minutes;
    const double bracket = width / kSqrt12;
    double fromRate = 0, common = 0;
    if (width > 0 && above.rate > below.rate) {
        const double slope = (above.rate - below.rate) / width;
        fromRate = u.relative(threshold) * threshold / slope;
        common = u.commonRelative(threshold) * threshold / slope;
    }
    return StandardUncertainty{std::sqrt(bracket * bracket + fromRate * fromRate), common};
}

std::optional<StandardUncertainty> steadyStateUncertainty(std::span<const RatePoint> series, const SteadyState& steady,
                                                          const RateUncertainty& u) {
    if (static_cast<std::size_t>(std::max(steady.measurements, 0)) > series.size())
        return std::nullopt;
    const std::span<const RatePoint> window = series.last(static_cast<std::size_t>(std::max(steady.measurements, 0)));
    double squares = 0;
    for (const RatePoint& p : window)
        squares += (p.rate - steady.rate) * (p.rate - steady.rate);
    return steadyStateUncertainty(squares, steady, u);
}

std::optional<StandardUncertainty> steadyStateUncertainty(double squares, const SteadyState& steady,
                                                          const RateUncertainty& u) {
    if (!u.known() || !(steady.rate > 0) || steady.measurements < 2)
        return std::nullopt;
    const double n = static_cast<double>(steady.measurements);
    const double scatter = std::sqrt(squares / (n - 1)) / std::sqrt(n) / steady.rate;
    double total = scatter * scatter, common = 0;
    for (const UncertaintyComponent& c : u.budget(steady.rate)) {
        using S = UncertaintyComponent::Source;
        if (c.source == S::Repeatability || c.source == S::Blank)
            continue; // the window's own scatter stands for them
        total += c.relative * c.relative;
        if (c.common)
            common += c.relative * c.relative;
    }
    return StandardUncertainty{std::sqrt(total), std::sqrt(common)};
}

} // namespace korvat
