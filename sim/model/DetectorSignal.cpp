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
} // namespace

DetectorSignal::DetectorSignal(SignalProfile profile, std::uint64_t seed)
    : profile_(profile), seed_(seed),
      phase_((noise::uniform(noise::hash(seed, kPhaseChannel, 0)) + 1.0) * std::numbers::pi) {}

int DetectorSignal::sampleAt(Millis t) const {
    const double period = static_cast<double>(std::max<Millis::rep>(1, profile_.driftPeriod.count()));
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(t.count()) / period + phase_;
    const double drift = profile_.driftAmplitude * std::sin(angle);
    const double jitter =
        profile_.noise *
        noise::bell(noise::hash(seed_, kNoiseChannel, static_cast<std::uint64_t>(t.count())));
    return static_cast<int>(std::lround(profile_.offset + drift + jitter));
}

} // namespace korvat::sim
