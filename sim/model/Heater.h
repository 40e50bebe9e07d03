#pragma once
// One heated zone of the instrument: a first-order lag towards the setpoint while it heats and
// back to the room while it does not. A heater cannot cool, so a setpoint below the room's
// temperature leaves the zone at room temperature.

#include "util/Clock.h"

namespace korvat::sim {

class Heater {
public:
    Heater(double ambientCelsius, Millis timeConstant);

    void setSetpointTenths(int tenths) { setpointTenths_ = tenths; }
    int setpointTenths() const { return setpointTenths_; }
    // The zone's actual temperature, °C.
    double temperature() const { return temperature_; }

    // Lets `elapsed` pass with the heating on or off throughout. Exact for any step, so a jump
    // of hours costs the same as one of ten milliseconds.
    void advance(Millis elapsed, bool heating);

private:
    double ambient_;
    double timeConstantSeconds_;
    int setpointTenths_ = 0;
    double temperature_;
};

} // namespace korvat::sim
