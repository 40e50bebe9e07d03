#pragma once
// The recorder's inside, shared by Recorder.cpp (what callers hand it, its threads, how things
// stand) and RecorderWrites.cpp (a pass over everything that waits). One mutex guards it all and
// is never held while a file is touched: the window's thread waits for it only as long as it
// takes to put an item in a list.

#include "run/Recorder.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace korvat {

struct Recorder::Core {
    // Rows or a header block for a results file. `gen`: the commit it came with; it is written
    // only once the state of that commit was (tried to be) written.
    struct Chunk {
        QByteArray bytes;
        int rows = 0;
        quint64 gen = 0;
        bool header = false;
        quint64 dropIfCreated = 0; // a later run's header block: left out when take `n` created the file
        bool attempted = false;
    };
    struct Lane {
        QString path;
        // A companion of a results file (the run's export): written only while that results file
        // is the run's, as raw-data files are; its rows are not counted as the run's rows.
        QString beside;
        std::optional<FileIdentity> expected; // as the recorder left it
        bool take = false;                    // take the file as it is at the next pass
        quint64 takeId = 0;
        QByteArray createWith;                // ... or create it with this when it is not there
        std::optional<WaitingRows> restore;   // rows a saved state says are due
        bool restoreAsIs = false;             // ... to go below the file as it is (lines not in it)
        std::deque<Chunk> chunks;
        QString error;
        QDateTime since;
        bool refused = false;
        bool attempted = false;
    };
    struct Whole {
        WaitingFile file;
        bool attempted = false;
        QString error;
        QDateTime since;
    };
    struct JournalLane {
        EventJournal file;
        std::deque<JournalEntry> lines;
        std::size_t maybeThere = 0; // the first lines came from a saved state and may be in the file
        bool attempted = false;
        QString error;
        QDateTime since;
    };

    explicit Core(Options o) : options(std::move(o)) {}


    // --- dispatch ---
    void request(std::unique_lock<std::mutex>& lock);
    void writerLoop();
    void keeperLoop();
    void passUntilQuiet();

    // --- a pass (RecorderWrites.cpp) ---
    void pass();
    bool trusted(const QString& results, std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    bool settleLane(Lane& lane, std::unique_lock<std::mutex>& lock);
    void acceptAsIs(Lane& lane, const FileIdentity& id, std::unique_lock<std::mutex>& lock);
    void writeRaws(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    void writeState(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    void writeRows(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    void writeSummaries(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    void writeJournals(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen);
    JournalLane& journalLane(const QString& path);
    void dropStateWhenDone(std::unique_lock<std::mutex>& lock);
    void cleanFolder(const QString& folder, std::unique_lock<std::mutex>& lock);
    // Runs `op` on file `file` with the mutex released, marked busy meanwhile.
    template <class F> auto io(const QString& file, std::unique_lock<std::mutex>& lock, F&& op);

    // --- how things stand (Recorder.cpp) ---
    // The state to write, without its records: those are stateRecords(), shared.
    SavedRun buildState(const QDateTime& moment) const;
    RecordBlocks stateRecords() const { return state ? records : RecordBlocks{}; }
    WaitingRows laneWaiting(const Lane& lane, quint64 maxGen) const;
    bool anythingPending() const;
    std::pair<std::size_t, qint64> waitingSignature() const;
    void updateHealth();
    void note(EventKind kind, const QString& text, int measurement = 0);
    bool writeElsewhere(const SavedRun& state, const RecordBlocks& stateRecords, QString* path, QString* error);
    bool stateIsElsewhere() const { return !stateAt.isEmpty() && stateAtElsewhere; }

    Options options;
    mutable std::mutex m;
    std::condition_variable work, idle;
    bool wanted = false;
    bool passing = false;
    bool stopping = false;
    std::thread writer;

    std::mutex keeperMutex;
    std::condition_variable keeperWork;
    std::deque<std::function<void()>> keeperJobs;
    std::thread keeper;

    // What waits.
    std::map<QString, Lane> lanes;
    std::vector<Whole> raws;
    std::map<QString, Whole> summaries;
    std::map<QString, JournalLane> journals;
    QString journalPath;

    // The run's state; its records are kept apart in `records` (state->measurements stays empty),
    // so a state write shares them instead of copying them under the lock.
    std::optional<SavedRun> state;
    RecordBlocks records;
    quint64 gen = 0, stateGen = 0, attemptedGen = 0, takes = 0;
    quint64 stateEpoch = 0; // see Recorder::stateEpoch
    bool stateDirty = false;
    bool runIsOver = false;
    QString stateAt; // where the newest state is
    bool stateAtElsewhere = false; // ... in the state folder (the results folder could not take it)
    std::map<QString, std::size_t> recordsInFolder;  // records each state file holds (the writer's)
    std::map<QString, std::size_t> recordsElsewhere; // ... in the state folder (under elsewhereMutex)
    std::pair<std::size_t, qint64> stateSignature{0, 0};
    QString stateError;
    std::mutex elsewhereMutex; // the state folder's files: the writer and the keeper

    QDateTime now;
    std::set<QString> cleaned;

    // How things stand.
    RecorderHealth health;
    quint64 healthSerial = 0;
    std::vector<RecorderNote> notes;
    bool episode = false;
    std::set<QString> waitingFiles; // said in this episode
    QDateTime episodeSince;
    std::size_t writtenRows = 0, writtenRaw = 0;
    Busy busy;
    std::chrono::steady_clock::time_point busyFrom;
};

template <class F> auto Recorder::Core::io(const QString& file, std::unique_lock<std::mutex>& lock, F&& op) {
    busy.active = true;
    ++busy.serial;
    busy.file = file;
    busyFrom = std::chrono::steady_clock::now();
    lock.unlock();
    auto result = op();
    lock.lock();
    busy.active = false;
    return result;
}

} // namespace korvat
