#pragma once
// The virtual instrument with its two cables already plugged in: port A's line leads to the main
// converter, port B's to the FPD converter. Without the FPD converter, port B's device is missing,
// as on a PC whose second port leads nowhere. Tests and benchmark runs hand the lines to the
// program and move time with a ManualClock.
//
// A device vanishing in mid-run (FaultOptions::vanishing, or removeDevice() directly) works on the
// lines: an open line reports the loss once and closes, the device is missing until it comes back,
// and the instrument behind it keeps its state; only a burst in progress is dropped.

#include "model/InProcessLine.h"
#include "model/VirtualInstrument.h"

#include <array>
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
    // Moves the model to `now`; a scheduled vanishing or return due by then happens at its own
    // time, between the model's steps.
    void advanceTo(Millis now);

    // The device behind the port(s) is pulled out: an open line reports `reason` and closes, and
    // opens fail until restoreDevice(). Port B without the FPD converter has no device anyway.
    void removeDevice(FaultPorts ports, const QString& reason = InProcessLine::kDeviceRemovedError);
    // The removed device(s) are back and can be opened again.
    void restoreDevice(FaultPorts ports);
    bool deviceRemoved(Port port) const { return removed_[port == Port::Main ? 0 : 1]; }

private:
    // Declared before the lines: they detach from the model's endpoints when they go.
    VirtualInstrument model_;
    InProcessLine mainLine_;
    InProcessLine fpdLine_;
    VanishingSchedule vanishing_;
    std::array<bool, 2> removed_{};
    // A ManualClock cannot forget a listener, so the listener checks that we are still there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace korvat::sim
