#pragma once
// The figures of every sample cell and detector of a run, from the run's rows: which rows are
// measurements of a cell, their sample times and rates, the blanks and the noise for the detection
// limit, and the lab's figures of PermeationMetrics. The live run (from its records) and
// korvat-eval --summary (from a results file) give the same rows, so they give the same figures.

#include "evaluation/PermeationMetrics.h"
#include "evaluation/ResultsFile.h"

#include <QString>
#include <span>
#include <vector>

namespace korvat {

enum class Detector { FID = 0, FPD = 1 };

struct CellSummary {
    int cell = 0; // 1..3
    Detector detector = Detector::FID;
    QString sampleName, chemical; // as the cell's last measured row gives them
    std::vector<RatePoint> series;
    CellMetrics metrics;
    enum class Blank { None, ZeroGas, Noise } detectionLimitFrom = Blank::None;
    // Running numbers of the cell's measurements during which something touched the data (a
    // line lost, lines dropped, a value recorded as 0): known only to the live run.
    std::vector<int> flagged;
};

// Whether a row holds a measurement of `detector` for its cell: a row marked "*" whose rate and
// area are both 0 is a turn of a cell that was switched off (or a detector whose values were not
// kept at the breakthrough), not a measurement.
bool isMeasurement(const ResultRow& row, Detector detector);

// One summary per sample cell that has a measurement, and per detector (the FPD with two detectors
// only), in the order cell 1 FID, cell 1 FPD, cell 2 FID, … Rates, areas and flows are taken as
// the results file records them (rounded as it writes them), so the results file alone gives the
// same figures again.
std::vector<CellSummary> summarizeCells(std::span<const ResultRow* const> rows, int measuringSeconds,
                                        bool twoDetectors);

// The summary as one line of fields, numbers in `locale` (empty fields for figures not reached):
// cell;detector;sample;chemical;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;cumulative;
// cumulative60;cumulative480;mdpr;duration;measurements;flagged (running numbers, space-separated)
QStringList summaryFields(const CellSummary& s, const QLocale& locale);
QStringList summaryTitles();

} // namespace korvat
