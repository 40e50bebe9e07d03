#include "model/InProcessInstrument.h"

#include "util/Clock.h"

namespace korvat::sim {

InProcessInstrument::InProcessInstrument(InstrumentOptions options, QString mainDevice,
                                         QString fpdDevice)
    : model_(std::move(options)), mainLine_(std::move(mainDevice)), fpdLine_(std::move(fpdDevice)),
      vanishing_(model_.options().faults.vanishing) {
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
            advanceTo(now);
    });
    advanceTo(clock.monotonicNow());
}

void InProcessInstrument::advanceTo(Millis now) {
    for (std::optional<Millis> due = vanishing_.nextAt(); due && *due <= now;
         due = vanishing_.nextAt()) {
        model_.advanceTo(*due);
        const FaultPorts ports = vanishing_.plan()->ports;
        for (VanishingSchedule::Step step : vanishing_.advanceTo(*due)) {
            if (step == VanishingSchedule::Step::Gone)
                removeDevice(ports);
            else
                restoreDevice(ports);
        }
    }
    model_.advanceTo(now);
}

void InProcessInstrument::removeDevice(FaultPorts ports, const QString& reason) {
    for (Port port : {Port::Main, Port::Fpd}) {
        if (!includes(ports, port) || !model_.endpoint(port) || deviceRemoved(port))
            continue;
        removed_[port == Port::Main ? 0 : 1] = true;
        // The burst in progress is lost with the cable; the program starts a new one once the
        // device is back.
        model_.dropBurst(port);
        InProcessLine& pulled = line(port);
        pulled.setExists(false);
        pulled.injectLoss(reason);
    }
}

void InProcessInstrument::restoreDevice(FaultPorts ports) {
    for (Port port : {Port::Main, Port::Fpd}) {
        if (!includes(ports, port) || !deviceRemoved(port))
            continue;
        removed_[port == Port::Main ? 0 : 1] = false;
        line(port).setExists(true);
    }
}

} // namespace korvat::sim
