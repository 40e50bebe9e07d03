#pragma once
// What it takes to continue a run after the program was killed or the PC lost its power: where
// the run stands (the next position, cycles and measurements left, the next running number),
// the sample cells with their break times, the run's start moment, its results file, whether it
// keeps measuring after a breakthrough, and the records of its measurements (the per-cell
// results are made from them). Written whole and atomically ("Glove7.csv" ->
// "Glove7_run.json") after every measurement, before the measurement's row is appended, and
// with the bytes that row (and any rows still waiting for the disk) must add to the results
// file: a kill between the two writes cannot lose the row or write it twice.
//
// It also keeps everything else that has not reached its file yet: rows of other results files,
// raw-data files and summaries, journal lines. A state may hold only those (`hasRun` false): the
// run had ended, or there was none, when the disk stopped taking them. When the results folder
// cannot take the state, it is kept in the user's state folder instead (stateFileElsewhere).

#include "run/EventJournal.h"
#include "run/RunModel.h"
#include "util/FileLayer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace korvat {

// Rows (and header blocks) that have not reached a results file: the file had `size` bytes when
// they were due, or did not exist yet (`create`: the bytes begin with its header block).
struct WaitingRows {
    QString file;
    qint64 size = 0;
    QByteArray bytes;
    bool create = false;
    int rows = 0;
    // The results file these rows' file goes beside (the run's export); empty for a results file.
    QString beside;
};

// A whole file that waits: a raw-data file or a summary, beside results file `results`.
struct WaitingFile {
    QString path;
    QByteArray bytes;
    QString results;
    int measurement = 0;
    bool raw = true;
};

// Journal lines that wait, in order, for the journal at `journal`.
struct WaitingLines {
    QString journal;
    std::vector<JournalEntry> lines;
};

struct SavedRun {
    QString resultsFile;
    QDateTime started;  // the run's start (wall clock)
    QString testId;     // the run's UUID (empty in states written before runs had one)
    QDateTime saved;    // when this state was written
    int runStart = 0, strtCount = 0, strtCycles = 0, strtMessungen = 0;
    int runZelle = 0, runCount = 0, runCycles = 0, runMessungen = 0, runAktiv = 0, offCount = 0;
    std::array<CellState, 3> cells;
    bool keepMeasuring = false;
    int fileRun = 1; // the run's number within its results file (names its raw-data files)
    // The results file's size before the rows below, and those rows' bytes as they go to disk.
    qint64 resultsSize = 0;
    QByteArray rowsToWrite;
    // The results file did not exist yet: rowsToWrite begins with its header block.
    bool resultsNew = false;
    // Nothing is left to measure: the run ended with the measurement this state was written for.
    bool finished = false;
    // False for a state that only keeps what waits (no run to continue).
    bool hasRun = true;
    std::vector<MeasurementRecord> measurements;
    // What else has not reached its file.
    std::vector<WaitingRows> otherRows;
    std::vector<WaitingFile> files;
    std::vector<WaitingLines> journal;
};

// A run's measurement records in blocks that never change once full. A copy shares the blocks:
// the recorder hands its writer the records of a run weeks long without copying them, under the
// lock the tick takes too. An append copies at most the last, unfilled block, and only while a
// copy still shares it. Copies are made and appended to under one lock; a copy may then be read
// without it.
class RecordBlocks {
public:
    static constexpr std::size_t kBlock = 512;
    RecordBlocks() = default;
    explicit RecordBlocks(std::vector<MeasurementRecord> records);
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const MeasurementRecord& operator[](std::size_t i) const { return (*blocks_[i / kBlock])[i % kBlock]; }
    void push_back(MeasurementRecord r);
    std::vector<MeasurementRecord> toVector() const;

private:
    std::vector<std::shared_ptr<std::vector<MeasurementRecord>>> blocks_;
    std::size_t size_ = 0;
};

// "Glove7.csv" -> "Glove7_run.json". The measurements' records go to a file beside it
// ("Glove7_run.records", one line each, appended), so a state stays small however long the run.
QString runStateFileName(const QString& resultsFile);
// The state of that results file kept in `stateFolder` (the results folder could not take it):
// the test's stem and a short hash of the results file's path, so two tests of the same name
// in different folders do not meet.
QString stateFileElsewhere(const QString& stateFolder, const QString& resultsFile);
QString runRecordsFileName(const QString& stateFile);
// Both files of a state.
void removeRunState(FileLayer& files, const QString& stateFile);
void removeRunState(const QString& stateFile);

// The state's main file and the lines of measurement records [from, end) of its records file.
QByteArray runStateBytes(const SavedRun& run);
QByteArray runRecordLines(const std::vector<MeasurementRecord>& measurements, std::size_t from);

// `recordsOnDisk`: how many of run.measurements the records file holds already (the rest are
// appended; 0 starts the file afresh); updated on success.
bool saveRunState(FileLayer& files, const QString& path, const SavedRun& run, QString* error,
                  std::size_t* recordsOnDisk);
bool saveRunState(const QString& path, const SavedRun& run, QString* error, std::size_t* recordsOnDisk);
// The same with the run's records in `records` (run.measurements is not looked at).
bool saveRunState(FileLayer& files, const QString& path, const SavedRun& run, const RecordBlocks& records,
                  QString* error, std::size_t* recordsOnDisk);

// What a state that does not read still holds.
struct RunStateDamage {
    bool mainReadable = false;        // the state's main file read (its records did not)
    std::size_t recordsExpected = 0;  // measurements the main file counts (when readable)
    std::vector<MeasurementRecord> records; // the whole records lines of the records file
};
// nullopt and `error` for a file that is missing, unreadable or not a run state; `damage` (when
// given) says what of it can still be read.
std::optional<SavedRun> loadRunState(FileLayer& files, const QString& path, QString* error,
                                     RunStateDamage* damage = nullptr);
std::optional<SavedRun> loadRunState(const QString& path, QString* error);

// Brings a results file to what a state says it holds: the file as it was at `size`, then
// `bytes`. The rows (or their missing end) are appended when the program ended before they were
// all written; a file that already holds them is left as it is. A file to be created (`create`)
// that is not there is created with the bytes.
enum class RowsRestored { AlreadyThere, Appended, FileChanged, Failed };
RowsRestored restoreRows(FileLayer& files, const WaitingRows& rows, QString* error, FileIdentity* after = nullptr);
RowsRestored restoreRows(const SavedRun& run, QString* error);

} // namespace korvat
