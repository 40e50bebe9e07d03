#pragma once
// The test report as an A4 PDF: the sections of a ReportData laid out with QTextDocument, the
// permeation curves of every detector drawn by QCustomPlot into the PDF's painter (vector
// graphics, logarithmic and linear, the 0.1 and 1.0 ug/cm²/min thresholds marked). Written through
// QSaveFile: a report that could not be finished never stands under the final name.

#include "run/ReportData.h"

#include <QString>

namespace korvat {

// Writes the report to `pdfPath`. On failure returns false and `error` names the file and why.
bool writeTestReport(const ReportData& data, const QString& pdfPath, QString* error);

// REPORT.pdf beside RESULTS.csv.
QString defaultReportPath(const QString& resultsPath, int fileRun = 1);

} // namespace korvat
