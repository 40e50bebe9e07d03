#include "evaluation/RunParameters.h"

namespace korvat {

double massPerPpm(std::optional<double> molarMass, Detector detector) {
    if (molarMass && *molarMass > 0)
        return *molarMass / (kMolarVolume * 1000.0);
    return detector == Detector::FID ? kFidMassPerPpm : kFpdMassPerPpm;
}

std::optional<double> RunParameters::ratePerArea(int k, Detector d, double flow) const {
    if (!calibrated(d) || !sampleArea || !(*sampleArea > 0) || k < 1 || k > 3)
        return std::nullopt;
    const CellParameters& c = cell(k);
    if (d == Detector::FID) {
        if (!(fidCalFactor > 0))
            return std::nullopt;
        return (1.0 / fidCalArea) * (c.fidFactor / fidCalFactor) * fidCalPpm * massPerPpm(c.molarMass, d) * flow /
               *sampleArea;
    }
    if (!(c.fpdFactor > 0))
        return std::nullopt;
    return (1.0 / fpdCalArea) * (fpdCalFactor / c.fpdFactor) * fpdCalPpm * massPerPpm(c.fpdMolarMass, d) * flow /
           *sampleArea;
}

bool sameSubstance(const QString& a, const QString& b) {
    return a.simplified().compare(b.simplified(), Qt::CaseInsensitive) == 0;
}

} // namespace korvat
