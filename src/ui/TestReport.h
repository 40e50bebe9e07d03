#pragma once
// The test report as an A4 PDF: the sections of a ReportData laid out with QTextDocument, the
// permeation curves of every detector drawn by QCustomPlot into the PDF's painter (vector
// graphics, logarithmic and linear, the 0.1 and 1.0 ug/cm²/min thresholds marked and labelled,
// each cell in the colour the window gives it), "page n of m" at the foot of every page. Table
// headers are wrapped at their blanks only, in columns wide enough for their longest word. Written
// through QSaveFile: a report that could not be finished never stands under the final name.

#include "run/ReportData.h"

#include <QSize>
#include <QSizeF>
#include <QString>
#include <memory>

class QCustomPlot;
class QPaintDevice;
class QTextDocument;

namespace korvat {

// Writes the report to `pdfPath`. On failure returns false and `error` names the file and why.
bool writeTestReport(const ReportData& data, const QString& pdfPath, QString* error);

// REPORT.pdf beside RESULTS.csv.
QString defaultReportPath(const QString& resultsPath, int fileRun = 1);

// The report's text before the curves (sections 1 to 4) and after them (6, 7), laid out on
// `device` for pages of `pageSize` (the device's units), as writeTestReport draws them.
struct ReportText {
    std::unique_ptr<QTextDocument> before, after;
    ReportText();
    ReportText(ReportText&&) noexcept;
    ~ReportText();
};
ReportText layOutReportText(const ReportData& data, QPaintDevice* device, const QSizeF& pageSize);

// One chart of the report at `size` screen pixels: the calibrated cells of `detector`, the two
// thresholds with their labels placed clear of each other, the legend below the axes.
void buildReportChart(QCustomPlot& plot, const ReportData& data, Detector detector, bool logScale, const QSize& size);

} // namespace korvat
