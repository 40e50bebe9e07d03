#pragma once
// A test taken back out of the archive into the form a run has: its rows and parameters, the
// cells' figures computed from them as the permeation view shows them for a live run, the curves
// of several tests for one chart, and its report. The archive alone is enough: the results file
// need not be where it was written.
//
// What the archive does not keep gives what a run without it gives: the searches' default
// detection settings (the detection limit from the smallest findable peak, no raw-data noise),
// the one-level calibration of the calibration area and ppm (no curve, no repeatability), the
// factors as 1 (the rates are stored as measured, so only the uncertainty's calibration share
// depends on them), and no event journal.

#include "evaluation/CellSummary.h"
#include "run/Archive.h"
#include "run/ReportData.h"

#include <QString>
#include <vector>

namespace korvat {

// The parameters the test started with, as far as the archive holds them.
RunParameters parametersOf(const ArchivedTest& test);
// Its measurements as the results file's rows (a switched-off turn, and a breakthrough's, marked).
std::vector<ResultRow> rowsOf(const ArchivedTest& test);
// The figures of every sample cell and detector (CellSummary order).
std::vector<CellSummary> summariesOf(const ArchivedTest& test);

// What names a test in a list: its results file's name without folder and ending, a later run of
// the same file with its number ("Nitril #2").
QString testNameOf(const QString& resultsFile, int fileRun);
// The legend's name of a test: its name and its specimens' materials ("Nitril: Nitril 0.12, Latex").
QString overlayLabelOf(const ArchivedTest& test);

// One rate curve of an overlay of several tests: a sample cell's FID rates over the time from
// its contact. `test` is the index of its test in the list given; a test's cells share its colour.
struct OverlayCurve {
    int test = 0;
    int cell = 0;
    QString label; // the test's (overlayLabelOf)
    std::vector<RatePoint> points;
};
// The calibrated FID curves of `tests`, test by test, cell by cell.
std::vector<OverlayCurve> overlayCurves(const std::vector<ArchivedTest>& tests);

// The test report of an archived test in language `ID` (0 German, 1000 English).
ReportData archivedReportData(const ArchivedTest& test, int ID);

} // namespace korvat
