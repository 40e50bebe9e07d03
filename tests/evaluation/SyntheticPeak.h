#pragma once
// An injection peak as the detectors show it: a fast Gaussian rise into an exponential tail on a
// noisy baseline, sampled at 10 points a second and rounded to whole counts like the converter's
// values. Shared by the evaluation tests and the evaluation benchmark.

#include "evaluation/Series.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace korvat::test {

// A signal of the given values, ten points a second from t = 0.
inline Series seriesOf(std::vector<double> y) {
    Series s;
    for (std::size_t k = 0; k < y.size(); ++k)
        s.x.push_back(k * 0.1);
    s.y = std::move(y);
    return s;
}

struct InjectionPeak {
    double baseline = 1500.0;  // counts
    int noise = 3;             // uniform, +-counts
    double riseStart = 2.0;    // s, where the rise leaves the baseline (three sigma before the top)
    double sigma = 0.3;        // s, Gaussian rise
    double tau = 1.5;          // s, exponential tail
    double area = 45000.0;     // counts x s above the baseline
    unsigned seed = 1;

    double top() const { return riseStart + 3.0 * sigma; }
    double height() const {
        return area / (sigma * std::sqrt(2.0 * std::numbers::pi) / 2.0 + tau);
    }
    // The same area in the evaluation's units: counts x samples at 10 samples a second.
    double areaInSamples() const { return area * 10.0; }

    Series make(int points) const {
        Series s;
        s.x.reserve(points);
        s.y.reserve(points);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> jitter(-noise, noise);
        const double h = height();
        for (int k = 0; k < points; ++k) {
            const double t = k * 0.1;
            const double dt = t - top();
            const double shape = dt < 0.0 ? std::exp(-dt * dt / (2.0 * sigma * sigma))
                                           : std::exp(-dt / tau);
            s.x.push_back(t);
            s.y.push_back(std::round(baseline + h * shape) + jitter(rng));
        }
        return s;
    }
};

} // namespace korvat::test
