#pragma once
// The virtual instrument with its two cables already plugged in: port A's line leads to the main
// converter, port B's to the FPD converter. Without the FPD converter, port B's device is missing,
// as on a PC whose second port leads nowhere. Tests and benchmark runs hand the lines to the
// program and move time with a ManualClock.

#include "model/InProcessLine.h"
#include "model/VirtualInstrument.h"

#include <memory>

namespace korvat {
class ManualClock;
}

namespace korvat::sim {

class InProcessInstrument {
public:
    explicit InProcessInstrument(InstrumentOptions options = {},
                                 QString mainDevice = QStringLiteral("KORVAT-SIM-A"),
                                 QString fpdDevice = QStringLiteral("KORVAT-SIM-B"));
    ~InProcessInstrument();
    InProcessInstrument(const InProcessInstrument&) = delete;
    InProcessInstrument& operator=(const InProcessInstrument&) = delete;

    VirtualInstrument& model() { return model_; }
    InProcessLine& mainLine() { return mainLine_; }
    InProcessLine& fpdLine() { return fpdLine_; }
    InProcessLine& line(Port port) { return port == Port::Main ? mainLine_ : fpdLine_; }

    // Follows the clock from now on; the clock may outlive this object.
    void follow(ManualClock& clock);
    void advanceTo(Millis now) { model_.advanceTo(now); }

private:
    // Declared before the lines: they detach from the model's endpoints when they go.
    VirtualInstrument model_;
    InProcessLine mainLine_;
    InProcessLine fpdLine_;
    // A ManualClock cannot forget a listener, so the listener checks that we are still there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvat::sim
