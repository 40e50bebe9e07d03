#pragma once
// The gases behind the valve block's six positions and which of them reaches the sample loop.
//
// Position 1 is zero gas, 2 the reference gas, 3 the reference cell, 4 to 6 the sample cells. Each
// delivers a hydrocarbon concentration (ppm as the FID sees it, isobutane equivalents) and a sulfur
// concentration (ppm as the FPD sees it, THT equivalents). Every position delivers the fixed
// mixture of GasSupply, unless the permeation model is enabled: then the sample cells deliver what
// permeates their membranes at that moment. concentrationAt() is the one place that knows, so
// nothing else needs to know whether a concentration changes with time.

#include "model/Permeation.h"
#include "util/Clock.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvat::sim {

inline constexpr int kPositionCount = 6;
inline constexpr int kZeroGasPosition = 1;
inline constexpr int kReferenceGasPosition = 2;
inline constexpr int kReferenceCellPosition = 3;
inline constexpr int kFirstSampleCellPosition = 4;

struct GasSample {
    // Isobutane equivalents, what the FID responds to.
    double hydrocarbonPpm = 0;
    // Tetrahydrothiophene equivalents, what the FPD responds to.
    double sulfurPpm = 0;

    friend bool operator==(const GasSample&, const GasSample&) = default;
};

// What each position delivers; element 0 is position 1.
struct GasSupply {
    // Zero gas, 100 ppm isobutane reference gas, a nearly clean reference cell, and three sample
    // cells from just above the FID's detection limit to a strong permeation.
    std::array<double, kPositionCount> hydrocarbonPpm{0.0, 100.0, 0.5, 1.0, 5.0, 40.0};
    // Only the reference gas carries a sulfur compound by default.
    std::array<double, kPositionCount> sulfurPpm{0.0, 2.0, 0.0, 0.0, 0.0, 0.0};
    // Reference gases of several levels (a calibration curve): when given, position 2 delivers
    // one of them at a time instead of its entry above, starting with the first; the lab changes
    // the cylinder (GasPaths::nextReferenceLevel). Both lists step together; a list that has run
    // out starts again from its first level.
    std::vector<double> referenceLevels;
    std::vector<double> referenceSulfurLevels;
};

class GasPaths {
public:
    explicit GasPaths(GasSupply supply = {}, PermeationOptions permeation = {});

    const GasSupply& supply() const { return supply_; }
    const PermeationOptions& permeation() const { return permeation_; }

    // What position `position`'s path delivers at model time `t`; anything outside 1..6 is
    // carrier gas (nothing).
    GasSample concentrationAt(int position, Millis t) const;

    // Bank 1 (register V1, active low) decides what flows into the sample loop: valve p + 10 on
    // bit p − 1 opens position p. Open paths meet in the manifold in equal shares, so two open
    // positions give their mean. With no path open nothing flows: nullopt.
    std::optional<GasSample> loopInflow(std::uint8_t v1, Millis t) const;

    // Whether V1 with this value opens position `position`'s path.
    static bool isOpen(std::uint8_t v1, int position);

    // The next cylinder on the reference-gas path (after the last, the first again); what the
    // path now delivers. Without levels nothing changes.
    GasSample nextReferenceLevel();
    // Which level the reference gas is at (0 for the first).
    std::size_t referenceLevel() const { return referenceLevel_; }

private:
    GasSupply supply_;
    PermeationOptions permeation_;
    std::size_t referenceLevel_ = 0;
};

} // namespace korvat::sim
