#pragma once
// How a detector answers one injection of the sample loop: a peak that begins a fixed time after
// "<D0" (the way through the transfer line), rises fast and tails off exponentially, and whose
// area is proportional to the injected concentration.
//
// The shape is an exponentially modified Gaussian: a Gaussian front of width sigma convolved with
// an exponential tail of time constant tau, the usual model of a peak broadened by a mixing volume.
// Its Gaussian centre sits four sigma after the peak's start, and nothing is drawn before the
// start, so the peak begins where `delay` says (what is cut off there is 0.03 % of the height) and
// its apex comes about 1.5 s later with the default widths.

#include "util/Clock.h"

namespace korvat::sim {

struct PeakResponse {
    // Peak area per ppm of the calibration compound, in counts·s: the sum of the samples above
    // the baseline times the 0.1 s between them.
    double countSecondsPerPpm = 0;
    // From the injection to the peak's first rise.
    Millis delay{2000};
    // The Gaussian front's standard deviation and the exponential tail's time constant, seconds.
    double sigmaSeconds = 0.3;
    double tailSeconds = 1.5;
};

// FID: 100 ppm isobutane gives 45,000 counts·s, a peak of about 20,000 counts over the baseline,
// well inside the converter's range (0xFFFFF) even for a few hundred ppm. 1 ppm still gives a peak
// of about 200 counts that rises by some 29 counts per sample, clear of the noise.
inline constexpr PeakResponse kFidResponse{450.0, Millis(2000), 0.3, 1.5};
// FPD: 2 ppm THT, the reference gas's sulfur, gives 4,000 counts·s, about 1,800 counts high.
inline constexpr PeakResponse kFpdResponse{2000.0, Millis(2000), 0.3, 1.5};

// The area an injection of `ppm` produces, counts·s.
double peakArea(const PeakResponse& response, double ppm);

// The peak of unit area (1/s) at `sinceInjection` after the injection; 0 before the peak's start.
double peakShapeAt(const PeakResponse& response, Millis sinceInjection);

// After this the peak has decayed to nothing a converter could show, whatever its size.
Millis peakHorizon(const PeakResponse& response);

} // namespace korvat::sim
