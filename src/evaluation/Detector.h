#pragma once

namespace korvat {

// The two detectors: the FID (hydrocarbons, calibrated with isobutane) and the FPD (sulfur
// compounds, calibrated with THT).
enum class Detector { FID = 0, FPD = 1 };

} // namespace korvat
