#pragma once
// What the test report holds, section by section, gathered from a results file and what lies
// beside it: the header block of the run, its rows summarized per cell and detector
// (summarizeCells), the raw-data files for the detection limit when there is no usable zero gas,
// and the event journal <name>_events.log for the calibrations and the events that touched the
// data. Plain data: drawing it is TestReport's business.

#include "evaluation/CellSummary.h"

#include <QLocale>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace korvat {

using ReportPair = std::pair<QString, QString>; // caption, value

// A table of the lab's sections below the results: a title, column captions and rows.
struct ReportTable {
    QString title;
    QStringList captions;
    std::vector<QStringList> rows;
};

struct ReportData {
    bool ok = false;
    QString error; // names the file and what is wrong when !ok
    int ID = 0;    // language: 0 German, 1000 English
    QLocale locale;
    QString title;
    // Sections 1 to 3 as caption/value lines.
    std::vector<ReportPair> identification, specimens, conditions;
    // Section 4: column captions and one line per cell and detector.
    QStringList resultCaptions;
    std::vector<QStringList> results;
    QStringList remarks; // below the table: the cells that did not break through within the test
    // Below the remarks: the specimens, the groups of replicates, the uncertainty budget, the
    // requirement and its decision, the calibration used, and the items a report states under
    // ASTM F1194 and EN 16523-1 with "not recorded" for those the run has none of.
    std::vector<ReportTable> labTables;
    // Section 5: the curves, and the two thresholds every report marks.
    std::vector<CellSummary> cells;
    bool twoDetectors = false;
    // The detectors that get a page of curves: those with a calibrated cell.
    std::vector<Detector> chartDetectors;
    int fileRun = 1; // the reported run's number within its results file (names its files)
    // Section 6: one line per event that touched the data; empty for none.
    QStringList events;
    // What the report could not include (raw-data files missing, a journal that does not verify).
    QStringList notes;
    // Captions of the sections, of the curve charts and of the signature lines, in the language.
    QStringList sectionTitles; // 7 titles
    QString noEvents, chartRate, chartTime, chartLog, chartLinear, fidCaption, fpdCaption;
    // The thresholds' labels on the curves ("0,1 µg/cm²/min") and the pages' numbers ("Seite %1 von %2").
    QString limitLow, limitHigh, pageOf;
    QStringList signatures; // tested by, approved by, date
};

// The report of the last run of `resultsPath` in language `ID` (0 German, 1000 English); numbers
// with the language's decimal separator.
ReportData gatherReportData(const QString& resultsPath, int ID);

// The lab's tables of a run started with `parameters` whose cells gave `d.cells` (ReportLab.cpp).
void addLabTables(ReportData& d, const RunParameters& parameters);

// "<stem>_events.log" beside "<stem>.csv" (or the name an earlier version gave it, when only
// that one is there).
QString eventJournalPathFor(const QString& resultsPath);

} // namespace korvat
