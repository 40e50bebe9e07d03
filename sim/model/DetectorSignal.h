#pragma once
// What a detector puts out: its baseline, an offset, a slow drift (the room's temperature cycle,
// modelled as a sine of long period) and a little noise, in converter counts, plus one peak for
// every injection of the sample loop. Every sample is a pure function of the time it belongs to
// and the injections made before it, so a stream is reproducible whatever the tick rate that
// produced it, and an eight-hour run costs a few milliseconds.
//
// Faults of the detector belong here when they come: they add to what sampleAt() returns.

#include "model/InjectionPeak.h"
#include "util/Clock.h"

#include <cstdint>
#include <vector>

namespace korvat::sim {

struct SignalProfile {
    // Counts with no drift and no noise.
    double offset = 0;
    // Half the swing of the drift, counts; the steepest drift is 2π·amplitude/period.
    double driftAmplitude = 0;
    Millis driftPeriod{3'600'000};
    // Standard deviation of the noise, counts.
    double noise = 0;
    // What a clean injection still shows, in ppm of what the detector sees: a small offset (the
    // traces in the zero gas and the loop's switch) and its spread from injection to injection
    // (standard deviation). Every injection carries it, on top of its gas.
    double blankPpm = 0;
    double blankNoisePpm = 0;
};

// A flame ionisation detector at rest: about 1500 counts, drifting by at most about 4 counts a
// minute, with noise of a few counts.
inline constexpr SignalProfile kFidBaseline{1500, 40, Millis(3'600'000), 3};
// The flame photometric detector's baseline is lower and quieter.
inline constexpr SignalProfile kFpdBaseline{250, 10, Millis(2'700'000), 1};

class DetectorSignal {
public:
    DetectorSignal(SignalProfile profile, PeakResponse response, std::uint64_t seed);

    // The converter's reading for the sample taken at model time `t`.
    int sampleAt(Millis t) const;
    // The same without its peaks.
    int baselineAt(Millis t) const;

    // A loop volume holding `ppm` of what this detector sees reaches it, injected at model time
    // `at`: its peak, with the profile's blank, adds to the samples from `at` + delay on.
    // Injections come in time order; nothing (0 ppm, without a blank) leaves no trace.
    void inject(Millis at, double ppm);

    const SignalProfile& profile() const { return profile_; }
    const PeakResponse& response() const { return response_; }

private:
    struct Injection {
        Millis at;
        double area;
    };

    double baseline(Millis t) const;
    double peaks(Millis t) const;

    SignalProfile profile_;
    PeakResponse response_;
    Millis horizon_;
    std::uint64_t seed_;
    double phase_;
    std::vector<Injection> injections_;
    std::uint64_t injectionCount_ = 0;
};

} // namespace korvat::sim
