#pragma once
// The raw-data file of a measurement: the signal values and the peak's start and end, one text
// file per measurement beside the results file ("Glove7.csv", measurement 3 -> "Glove7_3.txt").
// The recorder writes it (Recorder.h).

#include "evaluation/PeakSearch.h"
#include "shell/Config.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <vector>

namespace korvat {

// What the evaluation step found; the raw-data file records it after each measurement.
struct PeakValues {
    double FIDStart = 0, FIDEnd = 0, FIDStartLevel = 0, FIDEndLevel = 0;
    double FPDStart = 0, FPDEnd = 0, FPDStartLevel = 0, FPDEndLevel = 0;
    int PeakStartIndex = 0, PeakEndIndex = 0;
    double PeakStartLevel = 0, PeakEndLevel = 0;
};

inline PeakValues peakValuesOf(const EvaluationState& e) {
    return {e.FIDStart,       e.FIDEnd,       e.FIDStartLevel,  e.FIDEndLevel,  e.FPDStart,
            e.FPDEnd,         e.FPDStartLevel, e.FPDEndLevel,   e.PeakStartIndex, e.PeakEndIndex,
            e.PeakStartLevel, e.PeakEndLevel};
}

// The path of measurement `runAktiv`'s raw-data file for run `fileRun` of the results file
// `sDateiname`: in the same folder, the test's stem (with "_run<k>" from the file's second run
// on), "_", the number, ".txt" (TestFiles.h).
QString rawDataFileName(const QString& sDateiname, int fileRun, int runAktiv);

// The file's text, CR LF line ends, numbers with `locale`'s decimal separator (the results
// file's, fileNumberLocale). The point with index 0 of each series is never written. With two
// detectors the file holds pairs, so both counts are those of the shorter series (a line that
// was down leaves one short) and the file loads again.
QByteArray rawDataContent(TDeviceTyp deviceTyp, const Series& fid, const Series& fpd,
                          const PeakValues& peaks, const QLocale& locale);

} // namespace korvat
