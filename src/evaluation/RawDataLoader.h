#pragma once
// Loading a stored raw-data file back into the signal series, so the curve can be shown and
// evaluated again, and the one-line re-evaluation the batch tool prints for each file.

#include "evaluation/PeakSearch.h"
#include "run/Acquisition.h"

#include <QLocale>
#include <QString>

namespace korvat {

struct RawLoadResult {
    bool ok = true;
    // Names the file and, for a fault inside it, the 1-based line and what was wrong with it.
    QString error;
    int count = 0; // the header's point count (the larger one of a two-detector file)
};

// Empties the three series, then reads the header and count - 1 lines of values: each value goes
// to `series1` (the text before the first "," in a two-detector file, the text after it to
// `series2`), with X = index x 0.1 s, and the slope points for 3 < index < count - 2 go to
// `serie3`. Whatever follows those lines is ignored. On the first fault loading stops; the series
// keep the points read so far and the result carries the message. Values are read under `locale`
// with "." taken as ",", and failing that as the file's text in the C locale.
RawLoadResult loadRawData(const QString& path, Series& series1, Series& series2, Series& serie3,
                          const QLocale& locale = QLocale());
// The same for a file's bytes already in memory; `path` only names the file in the messages.
RawLoadResult loadRawData(const QString& path, const QByteArray& bytes, Series& series1,
                          Series& series2, Series& serie3, const QLocale& locale = QLocale());

// Loads `path` and evaluates it as the first load after start-up would (fresh evaluation state,
// FID search on series1 and its slopes). Returns
// "path;NoPeak;FIDArea;FIDStart;FIDEnd;FIDStartLevel;FIDEndLevel" with full-precision numbers and
// a decimal point, or "path;error;<reason>" when the file does not load (*ok is then false).
QString evaluateRawFileLine(const QString& path, const DetectionSettings& settings, bool* ok,
                            const QLocale& locale = QLocale());

} // namespace korvat
