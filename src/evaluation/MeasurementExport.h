#pragma once
// The run's measurements in a form any program reads the same anywhere: `<name>_measurements.csv`
// beside the results file, UTF-8, comma-separated (RFC 4180 quoting), a decimal point, times in
// ISO 8601 with their UTC offset, units in the column titles, one row per measurement. The legacy
// results file follows the program's language and the system's formats; this one never does, so
// a lab's scripts and the archive read it without guessing.
//
// A field that does not apply is empty (the FPD's columns of an FID-only instrument, a reference
// position's cell, a specimen that was not described, the raw-data file when none is kept).

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace korvat {

struct ExportRecord {
    QString testId;     // the run's UUID (without braces)
    QString instrument; // the instrument's serial number
    int measurement = 0;
    int cycle = 0;
    QDateTime moment; // when the measurement ended
    double elapsedMinutes = 0;
    int position = 0;                // 1..6 as the instrument numbers them
    std::optional<int> cell;         // 1..3 for a sample cell
    QString sampleName;
    QString material, lot;
    std::optional<double> thicknessMm, areaCm2;
    QString chemical;
    QString detector; // "FID" or "FID+FPD"
    double flow = 0;  // ml/min
    double fidArea = 0, fidPpm = 0, fidRate = 0;
    std::optional<double> fpdArea, fpdRate;
    bool breakthrough = false; // this measurement found the cell broken through
    bool switchedOff = false;  // the cell was off: nothing was measured at this turn
    bool noPeak = false;
    bool event = false; // something that touches the data happened during the measurement
    QString rawFile;    // the raw-data file's name (no folder)
    QString rawSha256;  // hex

    bool operator==(const ExportRecord&) const = default;
};

// The column titles, in order.
const QStringList& exportColumns();
// The title line and one row, each with its line end ("\r\n", as RFC 4180 has it).
QByteArray exportHeaderLine();
QByteArray exportRowLine(const ExportRecord& r);

// `<results stem>_measurements.csv` for run `fileRun` of a results file (later runs of the same
// file get their number, as their summary does).
QString exportFileName(const QString& resultsFile, int fileRun);

struct ExportRead {
    bool ok = false;
    QString error; // "line N: ..." when not ok
    std::vector<ExportRecord> records;
};
// Reads an export written by exportHeaderLine/exportRowLine (columns found by their titles, so a
// later version's extra columns are passed over).
ExportRead readExport(const QByteArray& bytes);

// Splits one CSV record (RFC 4180) into its fields; false for an unclosed quote.
bool splitCsvRecord(const QByteArray& line, QList<QByteArray>* fields);

} // namespace korvat
