#include "model/SampleLoop.h"

#include <algorithm>
#include <cmath>

namespace korvat::sim {

SampleLoop::SampleLoop(Millis flushTime) : flushTime_(std::max(flushTime, Millis(0))) {}

void SampleLoop::flush(Millis elapsed, const GasSample& inflow) {
    if (elapsed <= Millis(0))
        return;
    // The exact solution for a constant inflow, so one long step and many short ones end at the
    // same content (up to rounding) and the loop does not depend on the tick rate.
    const double kept = flushTime_ > Millis(0) ? std::exp(-static_cast<double>(elapsed.count()) /
                                                          static_cast<double>(flushTime_.count()))
                                               : 0.0;
    content_.hydrocarbonPpm =
        inflow.hydrocarbonPpm + (content_.hydrocarbonPpm - inflow.hydrocarbonPpm) * kept;
    content_.sulfurPpm = inflow.sulfurPpm + (content_.sulfurPpm - inflow.sulfurPpm) * kept;
}

GasSample SampleLoop::inject() {
    const GasSample injected = content_;
    content_ = {};
    return injected;
}

} // namespace korvat::sim
