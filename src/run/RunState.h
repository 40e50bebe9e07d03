#pragma once
// What it takes to continue a run after the program was killed or the PC lost its power: where
// the run stands (the next position, cycles and measurements left, the next running number),
// the sample cells with their break times, the run's start moment, its results file, whether it
// keeps measuring after a breakthrough, and the records of its measurements (the per-cell
// results are made from them). Written whole and atomically ("Glove7.csv" ->
// "Glove7_run.json") after every measurement, before the measurement's row is appended, and
// with the bytes that row (and any rows still waiting for the disk) must add to the results
// file: a kill between the two writes cannot lose the row or write it twice.

#include "run/RunModel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace korvat {

struct SavedRun {
    QString resultsFile;
    QDateTime started;  // the run's start (wall clock)
    QDateTime saved;    // when this state was written
    int runStart = 0, strtCount = 0, strtCycles = 0, strtMessungen = 0;
    int runZelle = 0, runCount = 0, runCycles = 0, runMessungen = 0, runAktiv = 0, offCount = 0;
    std::array<CellState, 3> cells;
    bool keepMeasuring = false;
    int fileRun = 1; // the run's number within its results file (names its raw-data files)
    // The results file's size before the rows below, and those rows' bytes as they go to disk.
    qint64 resultsSize = 0;
    QByteArray rowsToWrite;
    // Nothing is left to measure: the run ended with the measurement this state was written for.
    bool finished = false;
    std::vector<MeasurementRecord> measurements;
};

// "Glove7.csv" -> "Glove7_run.json". The measurements' records go to a file beside it
// ("Glove7_run.records", one line each, appended), so a state stays small however long the run.
QString runStateFileName(const QString& resultsFile);
QString runRecordsFileName(const QString& stateFile);
// Both files of a state.
void removeRunState(const QString& stateFile);

// `recordsOnDisk`: how many of run.measurements the records file holds already (the rest are
// appended; 0 starts the file afresh); updated on success.
bool saveRunState(const QString& path, const SavedRun& run, QString* error, std::size_t* recordsOnDisk);
// nullopt and `error` for a file that is missing, unreadable or not a run state.
std::optional<SavedRun> loadRunState(const QString& path, QString* error);

// Brings the results file to what the state says it holds: the file as it was at `resultsSize`,
// then `rowsToWrite`. The rows (or their missing end) are appended when the program ended before
// they were all written; a file that already holds them is left as it is.
enum class RowsRestored { AlreadyThere, Appended, FileChanged, Failed };
RowsRestored restoreRows(const SavedRun& run, QString* error);

} // namespace korvat
