#pragma once
// What a run's figures depend on beyond its rows, fixed when the run starts: per sample cell the
// chemical and its molar mass, the factors, the contact of the chemical with the specimen; for the
// run the measuring time, the planned duration, the sample area and the calibrations. The run's
// header block in the results file records them (ResultsFile.h), so korvat-eval and the report
// compute the figures the run showed from the file alone.
//
// Rates are masses: the detectors give ppm (by volume) of the chemical, and a ppm of a gas of
// molar mass M is M / Vm ug/ml, with Vm the molar volume of an ideal gas. The program takes
// kMolarVolume, 24.1 L/mol (101.325 kPa and 20.5 °C, the conditions the historical FID constant
// 0.00241 ug/ml per ppm stands for: isobutane, 58.12 g/mol / 24.1 L/mol). A chemical without a
// known molar mass keeps the historical constants: its FID rates are isobutane equivalents, its
// FPD rates use 0.00251 ug/ml per ppm.

#include "evaluation/Calibration.h"
#include "evaluation/Detector.h"
#include "evaluation/PeakSearch.h"
#include "evaluation/Requirement.h"
#include "evaluation/Uncertainty.h"
#include "shell/Config.h"

#include <QString>
#include <array>
#include <optional>

namespace korvat {

// Litres per mole of an ideal gas at 101.325 kPa and 20.5 °C.
inline constexpr double kMolarVolume = 24.1;
// ug/ml per ppm without a molar mass: isobutane for the FID, and the FPD's historical constant.
inline constexpr double kFidMassPerPpm = 0.00241;
inline constexpr double kFpdMassPerPpm = 0.00251;

// A detector is calibrated when its calibration area is above these (the take-over limits).
inline constexpr int kFIDCalibrationLimit = 1000;
inline constexpr int kFPDCalibrationLimit = 10000;

// ug/ml per ppm of a chemical of `molarMass` g/mol, or the detector's historical constant.
double massPerPpm(std::optional<double> molarMass, Detector detector);

// What the operator entered about a cell's specimen before the run. Cells that test the same
// material against the same chemical are the replicates of one group.
struct Specimen {
    QString material;
    QString lot;
    std::optional<double> thicknessMm;
    std::optional<double> areaCm2; // exposed area; none: the run's sample area
    bool operator==(const Specimen&) const = default;
    bool any() const { return !material.isEmpty() || !lot.isEmpty() || thicknessMm || areaCm2; }
};

struct CellParameters {
    QString chemical; // the FID's substance: the name every row of the cell carries
    double fidFactor = 1;
    std::optional<double> molarMass;
    QString fpdSubstance; // the FPD's substance (two detectors)
    double fpdFactor = 1;
    std::optional<double> fpdMolarMass;
    // Minutes from the chemical's first contact with the specimen to the run's start (negative:
    // the contact came after the start). The figures count from the contact.
    double contactMinutes = 0;
    // Whether the FPD sees the chemical: its substance is the chemical itself. Files that do not
    // say are taken as it.
    bool fpdSeesChemical = true;
    Specimen specimen;
};

// A detector's calibration as the run started with it: the curve of two or more levels when there
// is one (otherwise the one-level calibration of the calibration area and ppm), the reference
// gas's repeatability from the history, and the state of the response factor's control chart.
struct CalibrationInForce {
    std::optional<CalibrationCurve> curve; // the curve with its points; a one-level one too when known
    std::optional<Repeatability> repeatability;
    double chartLevel = 0; // ppm of the charted reference gas
    ControlChart::State chartState = ControlChart::State::None;
    std::optional<double> chartCentre, chartSd, chartLast;
    bool multiLevel() const { return curve && curve->multiLevel() && curve->valid(); }
};

struct RunParameters {
    bool known = false; // false: a header block that does not record them (older files)
    int measuringSeconds = 0;
    double plannedMinutes = 480; // the test's planned duration (EN 16523-1: 480 min)
    std::optional<double> sampleArea;
    double fidCalPpm = 0, fidCalFactor = 1;
    int fidCalArea = 0;
    double fpdCalPpm = 0, fpdCalFactor = 1;
    int fpdCalArea = 0;
    std::array<CellParameters, 3> cells;
    // The peak searches' settings of the run (the smallest peak they find, the baseline noise).
    std::optional<DetectionSettings> detection;
    std::array<CalibrationInForce, 2> calibrations; // FID, FPD
    UncertaintySettings uncertainty;
    Requirement requirement;
    QString operatorName; // who ran the test, as typed (empty: not entered)

    const CellParameters& cell(int k) const { return cells[static_cast<std::size_t>(k - 1)]; }
    const CalibrationInForce& calibration(Detector d) const { return calibrations[static_cast<std::size_t>(d)]; }
    CalibrationInForce& calibration(Detector d) { return calibrations[static_cast<std::size_t>(d)]; }
    // The curve the concentrations come from: the recorded one of two or more levels, or the
    // one-level calibration of the calibration area and ppm.
    CalibrationCurve curve(Detector d) const;
    // The exposed area of cell k: its specimen's, or the run's sample area.
    std::optional<double> cellArea(int k) const;
    // The rate one ppm of calibration gas gives at cell k through `flow` ml/min (its factors, molar
    // mass and area); nullopt without a sample area or with a factor that is not above zero.
    std::optional<double> ratePerPpm(int k, Detector d, double flow) const;
    bool calibrated(Detector d) const {
        return d == Detector::FID ? fidCalArea > kFIDCalibrationLimit : fpdCalArea > kFPDCalibrationLimit;
    }
    // The rate one unit of peak area gives at cell k through a flow of `flow` ml/min, with the
    // one-level calibration in force at the start; nullopt without a calibration or a sample area.
    std::optional<double> ratePerArea(int k, Detector d, double flow) const;
    // The rate a peak of `area` gives at cell k, through the curve (0 for no peak, never below 0).
    std::optional<double> rateOfArea(int k, Detector d, double flow, double area) const;
};

// Whether the cell's FPD substance names its chemical (names compared without case and blanks).
bool sameSubstance(const QString& a, const QString& b);

} // namespace korvat
