#include "model/Permeation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvat::sim {

namespace {

// Below this dimensionless time D·t/l² the flux comes from the short-time form, above it from the
// long-time series. Either converges to double precision within a dozen terms on its side of it;
// the long-time series alone would need hundreds of terms (and lose everything to cancellation)
// in the first minutes of a thick membrane.
constexpr double kShortTimeLimit = 0.25;
constexpr int kMaxTerms = 200;
constexpr double kNegligible = 1e-18;

// J/Jss at dimensionless time tau > 0.
double relativeFlux(double tau) {
    using std::numbers::pi;
    if (tau < kShortTimeLimit) {
        // The same function in its Poisson-summed form: each term is one image source of the
        // surface concentration, 2/√(πτ)·Σ_{m≥0} exp(−(2m+1)²/(4τ)).
        double sum = 0.0;
        for (int m = 0; m < kMaxTerms; ++m) {
            const double odd = 2.0 * m + 1.0;
            const double term = std::exp(-odd * odd / (4.0 * tau));
            sum += term;
            if (term < kNegligible * sum || term == 0.0)
                break;
        }
        return 2.0 / std::sqrt(pi * tau) * sum;
    }
    double sum = 1.0;
    for (int n = 1; n < kMaxTerms; ++n) {
        const double term = 2.0 * std::exp(-static_cast<double>(n) * n * pi * pi * tau);
        sum += (n % 2 == 0) ? term : -term;
        if (term < kNegligible)
            break;
    }
    return sum;
}

double minutes(double perSecond) {
    return perSecond * 60.0;
}

constexpr MaterialPreset kPresets[] = {
    {"latex", "natural rubber, 0.15 mm", {3.5e-8, 0.015, 1.0e6}},
    {"pvc", "plasticised PVC, 0.25 mm", {4.0e-8, 0.025, 1.0e6}},
    {"neoprene", "polychloroprene, 0.45 mm", {7.5e-8, 0.045, 8.0e5}},
    {"butyl", "butyl rubber, 0.5 mm", {8.0e-8, 0.050, 6.0e5}},
    {"nitrile", "acrylonitrile-butadiene rubber, 0.38 mm", {4.5e-8, 0.038, 5.5e5}},
    {"fkm", "fluoroelastomer, 0.3 mm", {1.0e-8, 0.030, 1.5e5}},
    {"laminate", "multilayer barrier film, 0.07 mm", {3.0e-10, 0.007, 1.2e5}},
};

} // namespace

bool Membrane::isValid() const {
    const auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
    return positive(diffusivity) && positive(thickness) && positive(surfaceConcentration);
}

double steadyStateFlux(const Membrane& m) {
    return m.diffusivity * m.surfaceConcentration / m.thickness;
}

double timeLag(const Membrane& m) {
    return m.thickness * m.thickness / (6.0 * m.diffusivity);
}

double permeationFlux(const Membrane& m, double seconds) {
    if (!(seconds > 0.0) || !m.isValid())
        return 0.0;
    const double tau = m.diffusivity * seconds / (m.thickness * m.thickness);
    // Rounding may leave the last digits a hair above 1 or below 0; the flux is neither.
    return steadyStateFlux(m) * std::clamp(relativeFlux(tau), 0.0, 1.0);
}

std::optional<double> breakthroughSeconds(const Membrane& m, double limitPerMinute) {
    if (!m.isValid())
        return std::nullopt;
    // J(0) = 0 already exceeds a negative limit.
    if (limitPerMinute < 0.0)
        return 0.0;
    if (minutes(steadyStateFlux(m)) <= limitPerMinute)
        return std::nullopt;
    // The flux is monotonic: bracket the crossing by doubling, then halve until the bracket
    // cannot shrink any more. J(hi) > limit ≥ J(lo) throughout.
    double lo = 0.0;
    double hi = timeLag(m);
    while (minutes(permeationFlux(m, hi)) <= limitPerMinute) {
        lo = hi;
        hi *= 2.0;
    }
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi)
            break;
        if (minutes(permeationFlux(m, mid)) > limitPerMinute)
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}

std::span<const MaterialPreset> materialPresets() {
    return kPresets;
}

const MaterialPreset* findMaterialPreset(QStringView name) {
    for (const MaterialPreset& preset : kPresets) {
        if (name.compare(QLatin1StringView(preset.name), Qt::CaseInsensitive) == 0)
            return &preset;
    }
    return nullptr;
}

double molarVolumeLitres(const GasConditions& gas) {
    // m³/mol = R·T/P with P in Pa; a litre is a thousandth of a cubic metre.
    return kGasConstant * (gas.celsius + 273.15) / (gas.kilopascal * 1000.0) * 1000.0;
}

namespace {

// IUPAC standard atomic weights, abridged to the conventional values (CIAAW 2021), g/mol.
constexpr struct {
    const char* symbol;
    double weight;
} kElements[] = {
    {"H", 1.008}, {"C", 12.011}, {"N", 14.007}, {"O", 15.999}, {"F", 18.998},
    {"S", 32.06}, {"Cl", 35.45}, {"Br", 79.904}, {"Si", 28.085}, {"P", 30.974},
};

// ug/ml of a chemical of `molarMass` per ppm of it: a ppm is a millionth of the gas's moles, and
// an ml of gas holds 1000 / Vm µmol (Vm in L/mol), each of `molarMass` µg.
double microgramsPerMlPerPpm(double molarMass, const GasConditions& gas) {
    return molarMass / (molarVolumeLitres(gas) * 1000.0);
}

constexpr ChemicalEntry kChemicals[] = {
    {"toluene", "Toluol", "C7H8", false},
    {"acetone", "Aceton", "C3H6O", false},
    {"methanol", "Methanol", "CH4O", false},
    {"isobutane", "Isobutan", "C4H10", false},
    {"n-hexane", "n-Hexan", "C6H14", false},
    {"dichloromethane", "Dichlormethan", "CH2Cl2", false},
    {"ethyl acetate", "Ethylacetat", "C4H8O2", false},
    {"dimethyl sulfide", "Dimethylsulfid", "C2H6S", true},
    {"tetrahydrothiophene", "THT", "C4H8S", true},
};

} // namespace

std::optional<double> molarMassOfFormula(QStringView formula) {
    double sum = 0;
    qsizetype i = 0;
    if (formula.isEmpty())
        return std::nullopt;
    while (i < formula.size()) {
        if (!formula[i].isUpper())
            return std::nullopt;
        qsizetype end = i + 1;
        while (end < formula.size() && formula[end].isLower())
            ++end;
        const QStringView symbol = formula.mid(i, end - i);
        const double* weight = nullptr;
        for (const auto& e : kElements)
            if (symbol == QLatin1StringView(e.symbol))
                weight = &e.weight;
        if (!weight)
            return std::nullopt;
        int count = 0;
        while (end < formula.size() && formula[end].isDigit() && count < 1000)
            count = count * 10 + formula[end++].digitValue();
        sum += *weight * (count == 0 ? 1 : count);
        i = end;
    }
    return sum;
}

std::span<const ChemicalEntry> chemicals() { return kChemicals; }

const ChemicalEntry* findChemical(QStringView name) {
    for (const ChemicalEntry& c : kChemicals)
        if (name.compare(QLatin1StringView(c.name), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1StringView(c.german), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

double ppmFromRate(double ratePerMinute, double areaCm2, double flowMlPerMin, double molarMass,
                   const GasConditions& gas) {
    if (!(flowMlPerMin > 0.0) || !(molarMass > 0.0))
        return 0.0;
    return ratePerMinute * areaCm2 / (microgramsPerMlPerPpm(molarMass, gas) * flowMlPerMin);
}

double rateFromPpm(double ppm, double areaCm2, double flowMlPerMin, double molarMass, const GasConditions& gas) {
    if (!(areaCm2 > 0.0))
        return 0.0;
    return microgramsPerMlPerPpm(molarMass, gas) * ppm * flowMlPerMin / areaCm2;
}

double physicsSeconds(const PermeationOptions& options, int cell, Millis t) {
    if (cell < 1 || cell > kSampleCellCount)
        return 0.0;
    const PermeationCell& c = options.cells[static_cast<std::size_t>(cell - 1)];
    return options.timeFactor * static_cast<double>((t - c.exposureStart).count()) / 1000.0;
}

double cellRatePerMinute(const PermeationOptions& options, int cell, Millis t) {
    if (cell < 1 || cell > kSampleCellCount)
        return 0.0;
    const PermeationCell& c = options.cells[static_cast<std::size_t>(cell - 1)];
    if (!c.membrane)
        return 0.0;
    return minutes(permeationFlux(*c.membrane, physicsSeconds(options, cell, t)));
}

double cellPpm(const PermeationOptions& options, int cell, Millis t) {
    if (cell < 1 || cell > kSampleCellCount)
        return 0.0;
    const PermeationCell& c = options.cells[static_cast<std::size_t>(cell - 1)];
    return ppmFromRate(cellRatePerMinute(options, cell, t), c.areaCm2, c.flowMlPerMin, options.molarMass, options.gas);
}

std::optional<Breakthrough> cellBreakthrough(const PermeationOptions& options, int cell,
                                             double limitPerMinute) {
    if (cell < 1 || cell > kSampleCellCount || !(options.timeFactor > 0.0))
        return std::nullopt;
    const PermeationCell& c = options.cells[static_cast<std::size_t>(cell - 1)];
    if (!c.membrane)
        return std::nullopt;
    const std::optional<double> seconds = breakthroughSeconds(*c.membrane, limitPerMinute);
    if (!seconds)
        return std::nullopt;
    // The model runs in whole milliseconds: the first one past the crossing. Rounding in the
    // conversion may put the estimate one off either way; the flux itself decides.
    const auto exceeds = [&](Millis t) {
        return cellRatePerMinute(options, cell, t) > limitPerMinute;
    };
    Millis t = c.exposureStart +
               Millis(static_cast<Millis::rep>(std::ceil(*seconds / options.timeFactor * 1000.0)));
    while (!exceeds(t))
        t += Millis(1);
    while (t > c.exposureStart && exceeds(t - Millis(1)))
        t -= Millis(1);
    return Breakthrough{*seconds, t};
}

} // namespace korvat::sim
