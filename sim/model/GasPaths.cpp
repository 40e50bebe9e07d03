#include "model/GasPaths.h"

#include <algorithm>

namespace korvat::sim {

GasPaths::GasPaths(GasSupply supply, PermeationOptions permeation)
    : supply_(supply), permeation_(permeation) {}

GasSample GasPaths::concentrationAt(int position, Millis t) const {
    if (position < 1 || position > kPositionCount)
        return {};
    if (permeation_.enabled && position >= kFirstSampleCellPosition) {
        // The FID and the FPD see the chemical through their response factors, the way the
        // program's sample factor undoes them.
        const double ppm = cellPpm(permeation_, position - kFirstSampleCellPosition + 1, t);
        const auto seen = [ppm](double factor) { return factor > 0.0 ? ppm / factor : 0.0; };
        return {seen(permeation_.fidFactor),
                permeation_.sulfurCompound ? seen(permeation_.fpdFactor) : 0.0};
    }
    const auto i = static_cast<std::size_t>(position - 1);
    GasSample gas{supply_.hydrocarbonPpm[i], supply_.sulfurPpm[i]};
    if (position == kReferenceGasPosition) {
        const auto level = [this](const std::vector<double>& levels, double fixed) {
            return levels.empty() ? fixed : levels[referenceLevel_ % levels.size()];
        };
        gas.hydrocarbonPpm = level(supply_.referenceLevels, gas.hydrocarbonPpm);
        gas.sulfurPpm = level(supply_.referenceSulfurLevels, gas.sulfurPpm);
    }
    return gas;
}

GasSample GasPaths::nextReferenceLevel() {
    const std::size_t count = std::max(supply_.referenceLevels.size(), supply_.referenceSulfurLevels.size());
    if (count > 0)
        referenceLevel_ = (referenceLevel_ + 1) % count;
    return concentrationAt(kReferenceGasPosition, Millis{0});
}

bool GasPaths::isOpen(std::uint8_t v1, int position) {
    if (position < 1 || position > kPositionCount)
        return false;
    return (v1 & (1u << (position - 1))) == 0;
}

std::optional<GasSample> GasPaths::loopInflow(std::uint8_t v1, Millis t) const {
    GasSample sum;
    int open = 0;
    for (int position = 1; position <= kPositionCount; ++position) {
        if (!isOpen(v1, position))
            continue;
        const GasSample gas = concentrationAt(position, t);
        sum.hydrocarbonPpm += gas.hydrocarbonPpm;
        sum.sulfurPpm += gas.sulfurPpm;
        ++open;
    }
    if (open == 0)
        return std::nullopt;
    return GasSample{sum.hydrocarbonPpm / open, sum.sulfurPpm / open};
}

} // namespace korvat::sim
