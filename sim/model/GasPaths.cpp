#include "model/GasPaths.h"

namespace korvat::sim {

GasPaths::GasPaths(GasSupply supply) : supply_(supply) {}

GasSample GasPaths::concentrationAt(int position, Millis /*t*/) const {
    if (position < 1 || position > kPositionCount)
        return {};
    const auto i = static_cast<std::size_t>(position - 1);
    return {supply_.hydrocarbonPpm[i], supply_.sulfurPpm[i]};
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
