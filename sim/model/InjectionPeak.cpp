#include "model/InjectionPeak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvat::sim {

namespace {
// Where the Gaussian centre sits after the peak's start, in sigmas.
constexpr double kFrontSigmas = 4.0;
// e^-30 of even a converter-filling peak is far below one count.
constexpr double kTailTaus = 30.0;

double sigmaOf(const PeakResponse& r) {
    return std::max(r.sigmaSeconds, 1e-3);
}
double tauOf(const PeakResponse& r) {
    return std::max(r.tailSeconds, 1e-3);
}
} // namespace

double peakArea(const PeakResponse& response, double ppm) {
    return response.countSecondsPerPpm * ppm;
}

double peakShapeAt(const PeakResponse& response, Millis sinceInjection) {
    if (sinceInjection < response.delay)
        return 0.0;
    const double sigma = sigmaOf(response);
    const double tau = tauOf(response);
    const double seconds = static_cast<double>(sinceInjection.count()) / 1000.0;
    const double x =
        seconds - static_cast<double>(response.delay.count()) / 1000.0 - kFrontSigmas * sigma;
    // x ≥ −4 sigma here, so the exponent stays small and erfc's argument bounded: no overflow
    // meets an underflow.
    const double exponent = sigma * sigma / (2.0 * tau * tau) - x / tau;
    const double front = std::erfc((sigma / tau - x / sigma) / std::numbers::sqrt2);
    return std::exp(exponent) * front / (2.0 * tau);
}

Millis peakHorizon(const PeakResponse& response) {
    const double seconds = kFrontSigmas * sigmaOf(response) + kTailTaus * tauOf(response);
    return response.delay + Millis(static_cast<Millis::rep>(std::ceil(seconds * 1000.0)));
}

} // namespace korvat::sim
