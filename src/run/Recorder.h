#pragma once
// The one owner of every file a run writes: the results file (header blocks and rows), the
// raw-data files, the summary, the event journal and the run state. The tick hands it what a
// measurement produced (the row's bytes, the raw-data bytes, the summary's bytes, the run's
// state) and goes on at once; the recorder writes them off the tick, in the order the run's
// safety needs: raw-data files, then the state (which says which rows are due), then the rows,
// the summary and the journal lines. Every write is checked to the disk (FileLayer); a failed one
// leaves nothing half-done and its data waits, in order, for the next try.
//
// Before it appends to a results file it checks that the file is still the one it wrote (same
// device and inode, the size it left). A file that is not (moved, replaced, emptied, edited) gets
// nothing: the rows wait until the operator chooses the file again (takeResultsFile), which takes
// it as it is then. Raw-data files, summary and state only go into a results folder whose results
// file is the one the run writes: a share taken away leaves a bare mount point, and nothing may
// be hidden there. What waits is kept in the run state; a state the results folder cannot take
// goes to the state folder instead (stateFileElsewhere), and is removed once all is written.
//
// Where the work runs is the one thing that differs between production and most tests
// (RecorderDispatch): on a thread of its own, or on the caller's thread at once. The same code
// writes either way. The window's thread learns how things stand by polling health() and
// takeNotes(), and whether a write has not come back (busy()).

#include "run/EventJournal.h"
#include "run/Events.h"
#include "run/RunState.h"
#include "util/Clock.h"
#include "util/FileLayer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace korvat {

enum class RecorderDispatch {
    Inline,    // the caller's thread, before the call returns
    OwnThread, // the recorder's thread; calls return at once
};

// What one measurement hands the recorder.
struct FinishedMeasurement {
    QDateTime now;
    QString resultsFile; // empty: no results file chosen (nothing is written)
    int measurement = 0;
    QByteArray row;      // the row with its line end, as it goes into the file
    QString rawPath;     // empty: no raw-data file
    QByteArray raw;
    QString summaryPath; // empty: no summary
    QByteArray summary;
    std::optional<SavedRun> state; // the run's state after the measurement
    // The row of the run's locale-free export (taken with takeResultsFile like a results file).
    QString exportFile;
    QByteArray exportRow;
    // The state's records are the run's from this index on: the recorder appends them to the
    // records of the state it holds, which must be the first `recordsFrom` (0: all of them).
    std::size_t recordsFrom = 0;
};

// How the files stand, for the window.
struct RecorderHealth {
    bool waiting = false;
    QDateTime since;  // when the oldest thing that waits first failed
    QString file;     // the file that waits first
    QString reason;   // why it could not be written
    std::size_t rows = 0, rawFiles = 0, others = 0; // others: summaries, header blocks, journal lines
    // The results file is not the one the run wrote to: only choosing it again goes on.
    bool refused = false;
    QString stateFile;           // where the run's state is kept now; empty when there is none
    bool stateElsewhere = false; // in the state folder, not beside the results
    bool operator==(const RecorderHealth&) const = default;
};

// Something the operator must hear of (an event of the list and the journal).
struct RecorderNote {
    EventKind kind = EventKind::FileWaiting;
    QString text;
    int measurement = 0;
};

class Recorder {
public:
    struct Options {
        std::shared_ptr<FileLayer> files;
        RecorderDispatch dispatch = RecorderDispatch::Inline;
        // Where a state goes that the results folder cannot take (with a trailing separator).
        QString stateFolder;
    };
    explicit Recorder(Options options);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    RecorderDispatch dispatch() const;
    FileLayer& files() const;
    const QString& stateFolder() const;

    // A results file chosen, or a run starting into it: the file is taken as it is when the
    // recorder next comes to it (a refusal ends); when it is not there it is created with
    // `header`. `block`, when not empty, goes below what the file holds (a later run's header
    // block); it is left out when the file had to be created.
    void takeResultsFile(const QString& path, const QByteArray& header, const QByteArray& block, const QDateTime& now);
    // The run's export beside results file `results`: like takeResultsFile, but only ever made or
    // written while `results` is the run's.
    void takeExport(const QString& path, const QByteArray& header, const QString& results, const QDateTime& now);
    void commit(FinishedMeasurement m);
    // Changes whenever the run state the recorder holds was set or dropped other than by a commit
    // (restore, the end of a run): a commit after that hands over all the run's records.
    quint64 stateEpoch() const;
    // The journal the next lines go to (opened, its chain continued from its last whole line).
    void openJournal(const QString& path, const QDateTime& now);
    void journal(const JournalEntry& entry);
    // The run is over: its state goes once nothing of it waits.
    void runOver(const QDateTime& now);
    // What a state read at start says still waits; `statePath` is where it was read. With
    // `continuing`, the run goes on (later commits replace the state); otherwise the state goes
    // once everything is written. `rowsToo` false: the run's own rows are not written (the
    // operator left the run).
    void restore(const SavedRun& saved, const QString& statePath, bool continuing, bool rowsToo, const QDateTime& now);
    // Tries again whatever waits.
    void retry(const QDateTime& now);

    // Polled by the window's thread.
    RecorderHealth health() const;
    quint64 healthSerial() const;
    std::vector<RecorderNote> takeNotes();
    struct Busy {
        bool active = false;
        quint64 serial = 0; // changes with every operation
        QString file;
        // How long the operation has been under way in real time: a disk answers in real time,
        // also when the program's own clock is a test's.
        Millis realElapsed{0};
    };
    Busy busy() const;
    std::size_t rowsWaiting() const;
    std::size_t rawFilesWaiting() const;

    // Waits at most `bound` for the recorder to finish what it was given. True when nothing is
    // left to do (which may mean: things wait for a disk that refuses them).
    bool settle(Millis bound);
    // Writes a state of everything that waits into the state folder, also while the recorder's
    // own writes hang; waits at most `bound`. Returns where it went, empty when it could not be
    // written (`error` says why).
    QString keep(Millis bound, const QDateTime& now, QString* error = nullptr);

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

// "; row sha256 <hex>" and "; raw-data file <name> sha256 <hex>": what a measurement's journal
// line carries, so a row or raw-data file changed later is found (korvat-eval --verify-journal).
QString rowHashText(const QByteArray& row);
QString rawHashText(const QString& rawPath, const QByteArray& raw);
// SHA-256 of a row as the file holds it, without its line end.
QByteArray rowHash(const QByteArray& row);

} // namespace korvat
