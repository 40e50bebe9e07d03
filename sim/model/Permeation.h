#pragma once
// Permeation of the test chemical through the sample cells' membranes, for the virtual instrument.
//
// Each sample cell holds a plane membrane whose challenge side meets the liquid chemical at its
// exposure start. The chemical dissolves into the membrane's surface (concentration C, µg/cm³),
// diffuses through it (coefficient D, cm²/s, thickness l, cm) and is swept off the far side by the
// carrier gas. Fick's second law with a clean membrane at the start and a perfect sink on the
// collection side gives the flux out of the membrane (Crank's time-lag solution):
//
//   J(t) = (D·C/l)·[1 + 2·Σ_{n≥1} (−1)^n·exp(−D·n²·π²·t/l²)]            µg/cm²/s
//
// The flux rises from nothing, S-shaped, to the steady state D·C/l; the cumulative amount
// Q(t) = ∫J approaches the line (D·C/l)·(t − l²/(6D)), whose intercept is the time lag.
//
// The flux turns into a concentration in the cell's carrier: J·60·A µg/min spread over F ml/min
// is a mass concentration; over the chemical's molar mass it is µmol per ml, and over the moles of
// gas per ml (the ideal gas law at the carrier's temperature and pressure) a mole fraction, in
// ppm. The program, set to the same area, flow and molar mass, reports J as the permeation rate
// up to the difference between its molar volume and the one of these conditions.

#include "util/Clock.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace korvat::sim {

// The gas constant, J/(mol·K) (exact since the 2019 SI).
inline constexpr double kGasConstant = 8.314462618;

// The carrier where its concentration is told: a lab at 20 °C and standard atmospheric pressure.
struct GasConditions {
    double celsius = 20.0;
    double kilopascal = 101.325;
};
// Litres per mole of an ideal gas: R·T/P.
double molarVolumeLitres(const GasConditions& gas);

// The molar mass of a formula such as "C7H8" or "CH2Cl2", g/mol, from the IUPAC standard atomic
// weights (abridged, conventional values) of its elements; nullopt for an element it does not
// hold or a formula it cannot read.
std::optional<double> molarMassOfFormula(QStringView formula);

// Test chemicals the virtual instrument knows, by the name the program's lists give them and in
// English; their molar mass comes from the formula.
struct ChemicalEntry {
    const char* name;
    const char* german;
    const char* formula;
    bool sulfur;
};
std::span<const ChemicalEntry> chemicals();
// Case-insensitive, either name; nullptr when there is none.
const ChemicalEntry* findChemical(QStringView name);
// Breakthrough limits, µg/cm²/min.
inline constexpr double kAstmLimit = 0.1;
inline constexpr double kEnLimit = 1.0;
inline constexpr double kDefaultCellArea = 19.6;
inline constexpr double kDefaultCellFlow = 100.0;
inline constexpr int kSampleCellCount = 3;

// The membrane against the test chemical.
struct Membrane {
    // cm²/s
    double diffusivity = 0;
    // cm
    double thickness = 0;
    // Concentration of the chemical in the challenge-side surface (its solubility), µg/cm³.
    double surfaceConcentration = 0;

    // Positive and finite throughout: the formulas below divide by all three.
    bool isValid() const;
};

// Flux out of the membrane, µg/cm²/s, at `seconds` after its exposure began; 0 up to then.
double permeationFlux(const Membrane& membrane, double seconds);
// D·C/l, µg/cm²/s.
double steadyStateFlux(const Membrane& membrane);
// l²/(6D), seconds.
double timeLag(const Membrane& membrane);

// The physics time (seconds of exposure) at which the flux first exceeds `limitPerMinute`
// (µg/cm²/min), bisected to a double's precision on the monotonic flux; nullopt when even the
// steady state stays at or below the limit, or the membrane is not valid.
std::optional<double> breakthroughSeconds(const Membrane& membrane, double limitPerMinute);

// Glove materials against toluene. Literature-order values chosen to spread the breakthrough
// times over an eight-hour test; illustrative, not certified data of any product.
struct MaterialPreset {
    const char* name;
    const char* description;
    Membrane membrane;
};
inline constexpr const char* kPresetChemical = "toluene";
std::span<const MaterialPreset> materialPresets();
// Case-insensitive; nullptr when there is no such preset.
const MaterialPreset* findMaterialPreset(QStringView name);

struct PermeationCell {
    // No membrane: the cell delivers nothing (clean carrier).
    std::optional<Membrane> membrane;
    // Exposed area, cm², and carrier flow through the cell, ml/min.
    double areaCm2 = kDefaultCellArea;
    double flowMlPerMin = kDefaultCellFlow;
    // Model time at which the chemical meets the membrane.
    Millis exposureStart{0};
};

// How the sample cells' gas comes about. Disabled: each cell delivers the fixed concentration of
// GasSupply.
struct PermeationOptions {
    bool enabled = false;
    // Sample cells 1..3 (positions 4-6); the defaults break through early, after a couple of
    // hours and (EN limit) never.
    std::array<PermeationCell, kSampleCellCount> cells{
        PermeationCell{findMaterialPreset(u"nitrile")->membrane},
        PermeationCell{findMaterialPreset(u"fkm")->membrane},
        PermeationCell{findMaterialPreset(u"laminate")->membrane},
    };
    // Physics time = timeFactor × (model time − exposure start): 60 runs an eight-hour
    // breakthrough curve in eight minutes while the program's own timings stay as they are.
    double timeFactor = 1.0;
    // The FID's response to the chemical relative to isobutane: the FID sees ppm / fidFactor.
    double fidFactor = 1.0;
    // A sulfur compound: the FPD sees ppm / fpdFactor as THT. Otherwise the FPD sees nothing.
    bool sulfurCompound = false;
    double fpdFactor = 1.0;
    // The chemical's molar mass, g/mol (toluene, C7H8, by default), and the carrier's conditions:
    // together they turn the permeated mass into ppm.
    double molarMass = *molarMassOfFormula(u"C7H8");
    GasConditions gas;
};

// ppm in the carrier for a flux of `ratePerMinute` µg/cm²/min of a chemical of `molarMass` g/mol,
// and back.
double ppmFromRate(double ratePerMinute, double areaCm2, double flowMlPerMin, double molarMass,
                   const GasConditions& gas = {});
double rateFromPpm(double ppm, double areaCm2, double flowMlPerMin, double molarMass,
                   const GasConditions& gas = {});

// Seconds of exposure of `cell` at model time `t`.
double physicsSeconds(const PermeationOptions& options, int cell, Millis t);
// The cell's flux, µg/cm²/min, and the chemical's true ppm in its carrier at model time `t`;
// cell is 1..3, anything else gives 0.
double cellRatePerMinute(const PermeationOptions& options, int cell, Millis t);
double cellPpm(const PermeationOptions& options, int cell, Millis t);

struct Breakthrough {
    // Seconds of exposure.
    double physicsSeconds = 0;
    // The first millisecond of model time at which the cell's flux exceeds the limit.
    Millis modelTime{0};
};
// When the cell's flux first exceeds `limitPerMinute`; nullopt for never (or no membrane).
std::optional<Breakthrough> cellBreakthrough(const PermeationOptions& options, int cell,
                                             double limitPerMinute);

} // namespace korvat::sim
