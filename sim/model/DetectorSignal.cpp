#include "model/DetectorSignal.h"

#include "model/Noise.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvat::sim {

namespace {
// Apart from the temperature noise, which hashes its own channel numbers.
constexpr std::uint64_t kPhaseChannel = 0x5048;
constexpr std::uint64_t kNoiseChannel = 0x4E4F;
constexpr std::uint64_t kBlankChannel = 0x424C;
} // namespace

DetectorSignal::DetectorSignal(SignalProfile profile, PeakResponse response, std::uint64_t seed)
    : profile_(profile), response_(response), horizon_(peakHorizon(response)), seed_(seed),
      phase_((noise::uniform(noise::hash(seed, kPhaseChannel, 0)) + 1.0) * std::numbers::pi) {}

int DetectorSignal::sampleAt(Millis t) const {
    return static_cast<int>(std::lround(baseline(t) + peaks(t)));
}

int DetectorSignal::baselineAt(Millis t) const {
    return static_cast<int>(std::lround(baseline(t)));
}

void DetectorSignal::inject(Millis at, double ppm) {
    const double blank =
        profile_.blankPpm + profile_.blankNoisePpm * noise::bell(noise::hash(seed_, kBlankChannel, injectionCount_++));
    const double area = peakArea(response_, std::max(ppm + blank, 0.0));
    if (area <= 0.0)
        return;
    injections_.push_back({at, area});
}

double DetectorSignal::peaks(Millis t) const {
    // A run injects every few minutes; only the last few injections can still be seen.
    double sum = 0.0;
    for (auto it = injections_.rbegin(); it != injections_.rend(); ++it) {
        if (it->at > t)
            continue;
        const Millis since = t - it->at;
        if (since > horizon_)
            break;
        sum += it->area * peakShapeAt(response_, since);
    }
    return sum;
}

double DetectorSignal::baseline(Millis t) const {
    const double period = static_cast<double>(std::max<Millis::rep>(1, profile_.driftPeriod.count()));
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(t.count()) / period + phase_;
    const double drift = profile_.driftAmplitude * std::sin(angle);
    const double jitter =
        profile_.noise *
        noise::bell(noise::hash(seed_, kNoiseChannel, static_cast<std::uint64_t>(t.count())));
    return profile_.offset + drift + jitter;
}

} // namespace korvat::sim
