#include "evaluation/RunParameters.h"

#include <algorithm>

namespace korvat {

double massPerPpm(std::optional<double> molarMass, Detector detector) {
    if (molarMass && *molarMass > 0)
        return *molarMass / (kMolarVolume * 1000.0);
    return detector == Detector::FID ? kFidMassPerPpm : kFpdMassPerPpm;
}

CalibrationCurve RunParameters::curve(Detector d) const {
    const CalibrationInForce& c = calibration(d);
    if (c.multiLevel())
        return *c.curve;
    const double repeatability = c.repeatability ? c.repeatability->relative : 0;
    CalibrationCurve one = d == Detector::FID ? oneLevelCurve(d, fidCalPpm, fidCalArea, repeatability)
                                              : oneLevelCurve(d, fpdCalPpm, fpdCalArea, repeatability);
    if (c.curve) {
        one.number = c.curve->number;
        one.date = c.curve->date;
    }
    return one;
}

std::optional<double> RunParameters::cellArea(int k) const {
    if (k >= 1 && k <= 3 && cell(k).specimen.areaCm2 && *cell(k).specimen.areaCm2 > 0)
        return cell(k).specimen.areaCm2;
    if (sampleArea && *sampleArea > 0)
        return sampleArea;
    return std::nullopt;
}

std::optional<double> RunParameters::ratePerPpm(int k, Detector d, double flow) const {
    const std::optional<double> area = cellArea(k);
    if (!area || k < 1 || k > 3)
        return std::nullopt;
    const CellParameters& c = cell(k);
    if (d == Detector::FID) {
        if (!(fidCalFactor > 0))
            return std::nullopt;
        return (c.fidFactor / fidCalFactor) * massPerPpm(c.molarMass, d) * flow / *area;
    }
    if (!(c.fpdFactor > 0))
        return std::nullopt;
    return (fpdCalFactor / c.fpdFactor) * massPerPpm(c.fpdMolarMass, d) * flow / *area;
}

std::optional<double> RunParameters::ratePerArea(int k, Detector d, double flow) const {
    const std::optional<double> area = cellArea(k);
    if (!calibrated(d) || !area || k < 1 || k > 3)
        return std::nullopt;
    const CellParameters& c = cell(k);
    if (d == Detector::FID) {
        if (!(fidCalFactor > 0))
            return std::nullopt;
        return (1.0 / fidCalArea) * (c.fidFactor / fidCalFactor) * fidCalPpm * massPerPpm(c.molarMass, d) * flow /
               *area;
    }
    if (!(c.fpdFactor > 0))
        return std::nullopt;
    return (1.0 / fpdCalArea) * (fpdCalFactor / c.fpdFactor) * fpdCalPpm * massPerPpm(c.fpdMolarMass, d) * flow /
           *area;
}

std::optional<double> RunParameters::rateOfArea(int k, Detector d, double flow, double area) const {
    if (!calibrated(d))
        return std::nullopt;
    if (!(area > 0))
        return 0.0;
    if (calibration(d).multiLevel()) {
        const std::optional<double> perPpm = ratePerPpm(k, d, flow);
        if (!perPpm)
            return std::nullopt;
        return std::max(0.0, calibration(d).curve->ppmOf(area)) * *perPpm;
    }
    const std::optional<double> perArea = ratePerArea(k, d, flow);
    if (!perArea)
        return std::nullopt;
    return area * *perArea;
}

bool sameSubstance(const QString& a, const QString& b) {
    return a.simplified().compare(b.simplified(), Qt::CaseInsensitive) == 0;
}

} // namespace korvat
