#pragma once
// What a detector puts out while nothing is injected: its baseline. An offset, a slow drift (the
// room's temperature cycle, modelled as a sine of long period) and a little noise, in converter
// counts. Every sample is a pure function of the time it belongs to, so a stream is reproducible
// whatever the tick rate that produced it, and an eight-hour run costs a few milliseconds.
//
// Peaks of injected samples, and faults of the detector, belong here when they come: they add to
// what sampleAt() returns.

#include "util/Clock.h"

#include <cstdint>

namespace korvat::sim {

struct SignalProfile {
    // Counts with no drift and no noise.
    double offset = 0;
    // Half the swing of the drift, counts; the steepest drift is 2π·amplitude/period.
    double driftAmplitude = 0;
    Millis driftPeriod{3'600'000};
    // Standard deviation of the noise, counts.
    double noise = 0;
};

// A flame ionisation detector at rest: about 1500 counts, drifting by at most about 4 counts a
// minute, with noise of a few counts.
inline constexpr SignalProfile kFidBaseline{1500, 40, Millis(3'600'000), 3};
// The flame photometric detector's baseline is lower and quieter.
inline constexpr SignalProfile kFpdBaseline{250, 10, Millis(2'700'000), 1};

class DetectorSignal {
public:
    DetectorSignal(SignalProfile profile, std::uint64_t seed);

    // The converter's reading for the sample taken at model time `t`.
    int sampleAt(Millis t) const;

    const SignalProfile& profile() const { return profile_; }

private:
    SignalProfile profile_;
    std::uint64_t seed_;
    double phase_;
};

} // namespace korvat::sim
