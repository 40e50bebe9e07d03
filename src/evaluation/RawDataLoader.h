#pragma once
// Loading a stored raw-data file back into the signal series, so the curve can be shown and
// evaluated again, and the one-line re-evaluation the batch tool prints for each file.

#include "evaluation/PeakSearch.h"
#include "evaluation/Series.h"

#include <QLocale>
#include <QString>

namespace korvat {

struct RawLoadResult {
    bool ok = true;
    // Names the file and, for a fault inside it, the 1-based line and what was wrong with it. A
    // piece of the file it quotes has its control characters escaped (escapeControlCharacters)
    // and is cut after 60 characters, with the line's full length said.
    QString error;
    // The message around the file's name (error == before + path + after), for a caller that
    // writes the name in a form of its own.
    QString before, after;
    int count = 0; // the header's point count (the larger one of a two-detector file)
};

// Empties the three series, then reads the header and count - 1 lines of values: each value goes
// to `series1` (the text before the first "," in a two-detector file, the text after it to
// `series2`), with X = index x 0.1 s, and the slope points for 3 < index < count - 2 go to
// `serie3`. Whatever follows those lines is ignored. On the first fault loading stops; the series
// keep the points read so far and the result carries the message. Values are read with a decimal
// comma or point, whatever the process's locale (the file never groups thousands, and its values
// are whole converter counts as the program writes them).
RawLoadResult loadRawData(const QString& path, Series& series1, Series& series2, Series& serie3);
// The same for a file's bytes already in memory; `path` only names the file in the messages.
RawLoadResult loadRawData(const QString& path, const QByteArray& bytes, Series& series1,
                          Series& series2, Series& serie3);

// Loads `path` and evaluates it as the first load after start-up would (fresh evaluation state,
// FID search on series1 and its slopes): the line korvat-eval prints for the file. Returns
// "path;NoPeak;FIDArea;FIDStart;FIDEnd;FIDStartLevel;FIDEndLevel" with full-precision numbers and
// a decimal point, or "path;error;<reason>" when the file does not load or its area or a level is
// not finite (*ok is then false). The line never breaks: control characters in the path and the
// reason are escaped, and a field holding ";" or a double quote is quoted as a spreadsheet reads
// it (spreadsheetField).
QString evaluateRawFileLine(const QString& path, const DetectionSettings& settings, bool* ok);

// Control characters as text, so that a message or an output line stays one line and says what
// the bytes were: "\r", "\n", "\0", "\xNN" for the other C0 and C1 controls and DEL, "\u2028"
// and "\u2029" for the line and paragraph separators, and a backslash itself as "\\".
QString escapeControlCharacters(const QString& text);
// A field of a ";"-separated line: as it is, or in double quotes with inner quotes doubled when it
// holds ";" or a double quote.
QString spreadsheetField(const QString& text);

} // namespace korvat
