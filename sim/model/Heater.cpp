#include "model/Heater.h"

#include <algorithm>
#include <cmath>

namespace korvat::sim {

Heater::Heater(double ambientCelsius, Millis timeConstant)
    : ambient_(ambientCelsius),
      timeConstantSeconds_(std::max(0.001, static_cast<double>(timeConstant.count()) / 1000.0)),
      temperature_(ambientCelsius) {}

void Heater::advance(Millis elapsed, bool heating) {
    if (elapsed <= Millis(0))
        return;
    const double target = heating ? std::max(ambient_, setpointTenths_ / 10.0) : ambient_;
    const double seconds = static_cast<double>(elapsed.count()) / 1000.0;
    temperature_ = target + (temperature_ - target) * std::exp(-seconds / timeConstantSeconds_);
}

} // namespace korvat::sim
