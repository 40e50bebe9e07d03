#pragma once
// The sample loop: a small volume that the selected gas path flushes while the loop is switched
// in ("<D1") and that "<D0" sweeps into the detectors with the carrier gas.
//
// Flushing replaces the loop's content exponentially: a loop volume takes about the flush time
// to pass, so after one flush time the content has gone 63 % of the way to the inflowing gas and
// after five flush times it is practically that gas. With no path open nothing flows and the
// content stays as it is; that matters, because the sequencer closes the position's valves one
// tick before it injects, and the loop must still hold its sample then.

#include "model/GasPaths.h"
#include "util/Clock.h"

namespace korvat::sim {

class SampleLoop {
public:
    // A flush time of zero makes the content follow the inflow at once.
    explicit SampleLoop(Millis flushTime);

    // `inflow` streams through the loop for `elapsed`.
    void flush(Millis elapsed, const GasSample& inflow);

    // The content leaves for the detectors; carrier gas (nothing) takes its place.
    GasSample inject();

    const GasSample& content() const { return content_; }
    Millis flushTime() const { return flushTime_; }

private:
    Millis flushTime_;
    GasSample content_;
};

} // namespace korvat::sim
