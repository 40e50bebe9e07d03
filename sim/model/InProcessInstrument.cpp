#include "model/InProcessInstrument.h"

#include "util/Clock.h"

namespace korvat::sim {

InProcessInstrument::InProcessInstrument(InstrumentOptions options, QString mainDevice,
                                         QString fpdDevice)
    : model_(std::move(options)), mainLine_(std::move(mainDevice)), fpdLine_(std::move(fpdDevice)) {
    mainLine_.attach(&model_.mainConverter());
    if (ConverterEndpoint* fpd = model_.fpdConverter())
        fpdLine_.attach(fpd);
    else
        fpdLine_.setExists(false);
}

InProcessInstrument::~InProcessInstrument() = default;

void InProcessInstrument::follow(ManualClock& clock) {
    std::weak_ptr<bool> alive = alive_;
    clock.onAdvance([this, alive](Millis now) {
        if (alive.lock())
            model_.advanceTo(now);
    });
    model_.advanceTo(clock.monotonicNow());
}

} // namespace korvat::sim
