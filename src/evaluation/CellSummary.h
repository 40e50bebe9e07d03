#pragma once
// The figures of every sample cell and detector of a run, from the run's rows and the parameters
// it started with: which rows are measurements of a cell, their sample times from the cell's
// contact, the blanks and the smallest findable peak for the detection limit, and the lab's
// figures of PermeationMetrics. The live run (from its records and its parameters) and korvat-eval
// --summary and the report (from a results file and its header block) give the same rows and
// parameters, so they give the same figures.

#include "evaluation/PermeationMetrics.h"
#include "evaluation/Requirement.h"
#include "evaluation/ResultsFile.h"
#include "evaluation/RunParameters.h"
#include "evaluation/TimeLagFit.h"
#include "evaluation/Uncertainty.h"

#include <QString>
#include <span>
#include <vector>

namespace korvat {

struct CellSummary {
    int cell = 0; // 1..3
    Detector detector = Detector::FID;
    QString sampleName, chemical; // as the cell's last measured row gives them
    std::vector<RatePoint> series;
    CellMetrics metrics;
    // A detector without a calibration gives no figures: its rates are 0 by construction.
    bool calibrated = true;
    // The detector sees the cell's chemical (the FPD only a sulfur compound chosen for it): no
    // level otherwise, since nothing it could not see says how long the specimen held.
    bool seesChemical = true;
    // The rates' mass basis: the chemical's molar mass, or the detector's historical constant
    // (the FID's isobutane equivalent).
    std::optional<double> molarMass;
    double contactMinutes = 0; // the contact before the run's start
    // The run measured zero gas: the first interval starts from the blank's rate, else from 0.
    bool blankMeasured = false;
    // Running numbers of the cell's measurements during which something touched the data (a
    // line lost, lines dropped, a value recorded as 0): known only to the live run.
    std::vector<int> flagged;
    // The specimen as entered, and the exposed area the rates are per.
    Specimen specimen;
    std::optional<double> area;
    // The minutes the cell held without breaking through (the planned duration once the test ran
    // to it): what a requirement's time is judged against.
    double heldMinutes = 0;
    // The uncertainty of the cell's rates, and of its figures (standard, k = 1).
    RateUncertainty uncertainty;
    std::optional<StandardUncertainty> uBt01, uBt10, uSteady; // minutes, minutes, relative
    // The time-lag solution fitted to the rates (D with the thickness entered).
    std::optional<TimeLagFit> fit;
    // The cell against the run's requirement.
    Decision decision = Decision::None;
};

// Whether a row holds a measurement of `detector` for its cell: a row marked "*" whose rate and
// area are both 0 is a turn of a cell that was switched off (or a detector whose values were not
// kept at the breakthrough), not a measurement.
bool isMeasurement(const ResultRow& row, Detector detector);

// One summary per sample cell that has a measurement, and per detector (the FPD with two detectors
// only), in the order cell 1 FID, cell 1 FPD, cell 2 FID, … Rates, areas and flows are taken as
// the results file records them (rounded as it writes them), so the results file alone gives the
// same figures again. A detector counts as calibrated from the start when the parameters say so,
// otherwise from the first row in which it gave a value (a calibration taken over during the
// run); its measurements before that are no figures. Measurements before the contact are left
// out. `detection` is used where the parameters do not hold the searches' settings.
// RunningSummaries gives the same one row at a time.
std::vector<CellSummary> summarizeCells(std::span<const ResultRow* const> rows, const RunParameters& parameters,
                                        bool twoDetectors, const DetectionSettings& detection);

// The cell against a requirement (Requirement.h): its breakthrough at the threshold asked for,
// with its expanded uncertainty under guarded acceptance, against the time asked for.
Decision decideCell(const CellSummary& s, const Requirement& requirement);
// The same with the highest rate of the cell's series up to the time asked for given.
Decision decideCell(const CellSummary& s, const Requirement& requirement, double highestWithin);

// The summary as one line of fields, numbers in `locale` (empty fields for figures not reached):
// cell;detector;sample;chemical;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;cumulative;
// cumulative60;cumulative480;mdpr;duration;measurements;flagged;bt01_below;bt10_below;level_bound;
// contact;mass_basis;first_interval;status;material;thickness;lot;area;u_rate01;u_rate10;u_bt01;
// u_bt10;u_sspr;D;time_lag;sspr_fit;fit_residual;fit;decision
// (uncertainties standard, k = 1: of rates and the steady state relative in %, of times in
// minutes; D in cm²/s).
QStringList summaryFields(const CellSummary& s, const QLocale& locale);
QStringList summaryTitles();
// Column indexes of summaryFields.
enum SummaryColumn {
    kSumCell, kSumDetector, kSumSample, kSumChemical, kSumBt01First, kSumBt01, kSumBt10First, kSumBt10,
    kSumResolution, kSumLevel, kSumSteady, kSumCumulative, kSumCumulative60, kSumCumulative480, kSumMdpr,
    kSumDuration, kSumMeasurements, kSumFlagged, kSumBt01Below, kSumBt10Below, kSumLevelBound, kSumContact,
    kSumMassBasis, kSumFirstInterval, kSumStatus, kSumMaterial, kSumThickness, kSumLot, kSumArea, kSumURate01,
    kSumURate10, kSumUBt01, kSumUBt10, kSumUSteady, kSumDiffusivity, kSumTimeLag, kSumSteadyFit, kSumFitResidual,
    kSumFit, kSumDecision, kSumColumns
};

} // namespace korvat
