#pragma once
// The files of one test, named from its results file by one rule: the results file's name without
// its extension is the test's stem ("17.05.2024_Nitril.csv" -> "17.05.2024_Nitril"), and every
// companion is the stem and a suffix in the same folder ("17.05.2024_Nitril_3.txt",
// "17.05.2024_Nitril_summary.csv", "17.05.2024_Nitril_events.log"). Labs name tests by date, so a
// name keeps all its dots.
//
// A results file may take several runs (the rows of a later start go below the earlier ones).
// The raw-data files and the summary of the first run carry the plain stem; those of a later run
// carry "_run<k>" after it ("17.05.2024_Nitril_run2_1.txt"), so a second run never writes over the
// first run's files. The run's number is written into its header block (ResultsHeader::fileRun).
//
// Versions before this rule cut the stem at the first dot ("17_3.txt"); readers still find such
// files when the file of the current name is not there.

#include <QString>
#include <QStringList>
#include <optional>

namespace korvat {

// "a/b/17.05.2024_Nitril.csv" -> "17.05.2024_Nitril".
QString testStem(const QString& results);

// A companion of the whole test, beside the results file: the journal "_events.log", the run
// state "_run.json".
QString besideResultsFile(const QString& results, const QString& suffix);

// A companion of run `fileRun` of the results file (1 for the first run): raw-data files
// ("_3.txt") and the summary ("_summary.csv").
QString besideRun(const QString& results, int fileRun, const QString& suffix);

// The name an earlier version gave the companion: the results name up to its first dot.
QString legacyBesideResultsFile(const QString& results, const QString& suffix);

// For readers: the companion as this version names it; for the first run, when only the name an
// earlier version gave exists, that one.
QString findBesideRun(const QString& results, int fileRun, const QString& suffix);

// Whether run `fileRun` of the results file already has a raw-data file or a summary on disk.
bool runFilesExist(const QString& results, int fileRun);

// What a start of a run into a results file finds there, decided before anything is written.
struct RunFilePlan {
    // The number of the run within the file (names its raw-data files and summary).
    int fileRun = 1;
    // Runs with rows the file already holds (0 for a new or empty file).
    int runsHeld = 0;
    // The file exists but does not read as a results file (edited, or another program's): the
    // run's rows would go below what it holds. `unreadable` says why.
    QString unreadable;
    // The run needs a header block of its own before its first row: the file holds rows already,
    // its last header block says other parameters than the run's, or the run's number differs.
    bool needsHeader = false;
};

// `header` is the header block the run would write now, for `fileRun` as yet unknown: its first
// line (file, date, instrument) and third (the actual temperatures) are not compared, everything
// else (set values, calibration, limits, factors, positions, timings, description) is.
RunFilePlan planRunFiles(const QString& results, const QStringList& header);

} // namespace korvat
