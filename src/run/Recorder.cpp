#include "run/Recorder.h"

#include "evaluation/TestFiles.h"
#include "run/RecorderCore.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLoggingCategory>

#include <chrono>

Q_LOGGING_CATEGORY(lcRecorder, "korvat.run.recorder")

namespace korvat {

namespace {

QString rowsText(std::size_t n) {
    return n == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(n);
}
QString rawText(std::size_t n) {
    return n == 1 ? QStringLiteral("1 raw-data file") : QStringLiteral("%1 raw-data files").arg(n);
}

// A reason names its file; beside the file's own name it is said without it.
QString why(const QString& file, const QString& reason) {
    return reason.startsWith(file + QStringLiteral(": ")) ? reason.mid(file.size() + 2) : reason;
}

} // namespace

QByteArray rowHash(const QByteArray& row) {
    QByteArray line = row;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex();
}

QString rowHashText(const QByteArray& row) {
    return QStringLiteral("; row sha256 ") + QString::fromLatin1(rowHash(row));
}

QString rawHashText(const QString& rawPath, const QByteArray& raw) {
    return QStringLiteral("; raw-data file %1 sha256 %2")
        .arg(QFileInfo(rawPath).fileName(),
             QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex()));
}

// --- dispatch -----------------------------------------------------------------------------------

Recorder::Recorder(Options options) : core_(std::make_shared<Core>(std::move(options))) {
    if (!core_->options.files)
        core_->options.files = makePosixFileLayer();
    if (core_->options.dispatch == RecorderDispatch::OwnThread) {
        // The threads hold the core themselves: one that a hanging disk keeps past the program's
        // end finds it still there when the disk answers.
        std::shared_ptr<Core> core = core_;
        core_->writer = std::thread([core] { core->writerLoop(); });
        core_->keeper = std::thread([core] { core->keeperLoop(); });
    }
}

Recorder::~Recorder() {
    Core& c = *core_;
    if (c.options.dispatch != RecorderDispatch::OwnThread)
        return;
    bool stuck = false;
    {
        std::unique_lock lock(c.m);
        c.stopping = true;
        c.work.notify_all();
        // What was handed over last gets its pass; a disk that does not answer is not waited for
        // (the program's end said what waits and kept it).
        stuck = !c.idle.wait_for(lock, std::chrono::milliseconds(200), [&] { return !c.passing && !c.wanted; });
    }
    {
        std::lock_guard lock(c.keeperMutex);
        c.keeperJobs.push_back({});
        c.keeperWork.notify_all();
    }
    if (stuck) {
        c.writer.detach();
        c.keeper.detach();
        return;
    }
    c.writer.join();
    c.keeper.join();
}

void Recorder::Core::request(std::unique_lock<std::mutex>& lock) {
    wanted = true;
    if (options.dispatch == RecorderDispatch::OwnThread) {
        work.notify_one();
        return;
    }
    // Inline: the caller's own thread does the pass now. A pass already under way on this thread
    // (not possible today: a pass calls nobody) would pick the request up itself.
    if (passing)
        return;
    passing = true;
    lock.unlock();
    passUntilQuiet();
    lock.lock();
    passing = false;
    idle.notify_all();
}

void Recorder::Core::passUntilQuiet() {
    for (;;) {
        {
            std::lock_guard lock(m);
            if (!wanted)
                return;
            wanted = false;
        }
        pass();
    }
}

void Recorder::Core::writerLoop() {
    std::unique_lock lock(m);
    for (;;) {
        work.wait(lock, [&] { return wanted || stopping; });
        if (!wanted && stopping)
            return;
        passing = true;
        lock.unlock();
        passUntilQuiet();
        lock.lock();
        passing = false;
        idle.notify_all();
    }
}

void Recorder::Core::keeperLoop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(keeperMutex);
            keeperWork.wait(lock, [&] { return !keeperJobs.empty(); });
            job = std::move(keeperJobs.front());
            keeperJobs.pop_front();
        }
        if (!job)
            return;
        job();
    }
}

RecorderDispatch Recorder::dispatch() const { return core_->options.dispatch; }
FileLayer& Recorder::files() const { return *core_->options.files; }
const QString& Recorder::stateFolder() const { return core_->options.stateFolder; }

// --- what callers hand it -----------------------------------------------------------------------

void Recorder::takeResultsFile(const QString& path, const QByteArray& header, const QByteArray& block,
                               const QDateTime& now) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = now;
    Core::Lane& lane = c.lanes[path];
    lane.path = path;
    lane.take = true;
    lane.takeId = ++c.takes;
    lane.createWith = header;
    // The operator chose the file: a refusal ends, the file is taken as it is.
    lane.refused = false;
    if (!block.isEmpty())
        lane.chunks.push_back({block, 0, 0, true, lane.takeId, false});
    c.request(lock);
}

void Recorder::takeExport(const QString& path, const QByteArray& header, const QString& results,
                          const QDateTime& now) {
    {
        std::lock_guard lock(core_->m);
        core_->lanes[path].beside = results;
    }
    takeResultsFile(path, header, {}, now);
}

void Recorder::commit(FinishedMeasurement m) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = m.now;
    const quint64 gen = m.state ? ++c.gen : 0;
    if (!m.resultsFile.isEmpty() && !m.row.isEmpty()) {
        Core::Lane& lane = c.lanes[m.resultsFile];
        lane.path = m.resultsFile;
        lane.chunks.push_back({m.row, 1, gen, false, 0, false});
    }
    if (!m.resultsFile.isEmpty() && !m.exportFile.isEmpty() && !m.exportRow.isEmpty()) {
        Core::Lane& lane = c.lanes[m.exportFile];
        lane.path = m.exportFile;
        lane.beside = m.resultsFile;
        lane.chunks.push_back({m.exportRow, 1, gen, false, 0, false});
    }
    if (!m.resultsFile.isEmpty() && !m.rawPath.isEmpty())
        c.raws.push_back({WaitingFile{m.rawPath, m.raw, m.resultsFile, m.measurement, true}, false, {}, {}});
    if (!m.resultsFile.isEmpty() && !m.summaryPath.isEmpty()) {
        Core::Whole& s = c.summaries[m.summaryPath];
        s.file = WaitingFile{m.summaryPath, m.summary, m.resultsFile, m.measurement, false};
    }
    if (m.state) {
        std::vector<MeasurementRecord> fresh = std::exchange(m.state->measurements, {});
        const std::size_t held = c.state ? c.records.size() : 0;
        if (m.recordsFrom > 0 && held == m.recordsFrom) {
            // Only the new records came: the ones before are those of the state held.
            for (MeasurementRecord& r : fresh)
                c.records.push_back(std::move(r));
        } else {
            if (m.recordsFrom > 0)
                qCCritical(lcRecorder).noquote()
                    << QStringLiteral("the run state's records do not follow on (%1 held, the new ones from %2)")
                           .arg(held)
                           .arg(m.recordsFrom);
            c.records = RecordBlocks(std::move(fresh));
        }
        c.state = std::move(m.state);
        c.stateGen = gen;
        c.stateDirty = true;
        c.runIsOver = false;
    }
    c.request(lock);
}

quint64 Recorder::stateEpoch() const {
    Core& c = *core_;
    std::lock_guard lock(c.m);
    return c.stateEpoch;
}

void Recorder::openJournal(const QString& path, const QDateTime& now) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = now;
    c.journalPath = path;
    c.journalLane(path);
}

Recorder::Core::JournalLane& Recorder::Core::journalLane(const QString& path) {
    auto [it, made] = journals.try_emplace(path);
    if (made) {
        it->second.file = EventJournal(options.files);
        it->second.file.setPath(path);
    }
    return it->second;
}

void Recorder::journal(const JournalEntry& entry) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    if (c.journalPath.isEmpty())
        return;
    c.journalLane(c.journalPath).lines.push_back(entry);
    c.request(lock);
}

void Recorder::runOver(const QDateTime& now) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = now;
    c.runIsOver = true;
    c.request(lock);
}

void Recorder::restore(const SavedRun& saved, const QString& statePath, bool continuing, bool rowsToo,
                       const QDateTime& now) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = now;
    auto rowsFor = [&](const WaitingRows& w) {
        Core::Lane& lane = c.lanes[w.file];
        lane.path = w.file;
        lane.restore = w;
        lane.beside = w.beside;
        if (!w.beside.isEmpty()) {
            // Like a raw-data file, the export needs its results file to be the run's: taken as
            // it is, never created.
            Core::Lane& results = c.lanes[w.beside];
            if (results.path.isEmpty()) {
                results.path = w.beside;
                results.take = true;
            }
        }
        if (w.size < 0) {
            // Rows rebuilt from a damaged state: they go below the file as it is now.
            lane.take = true;
            lane.takeId = ++c.takes;
            lane.restoreAsIs = true;
        }
    };
    if (rowsToo) {
        if (saved.hasRun)
            rowsFor(WaitingRows{saved.resultsFile, saved.resultsSize, saved.rowsToWrite, saved.resultsNew, 0, {}});
        for (const WaitingRows& w : saved.otherRows)
            rowsFor(w);
    }
    for (const WaitingFile& f : saved.files) {
        if (!f.raw) {
            Core::Whole& s = c.summaries[f.path];
            if (s.file.path.isEmpty())
                s.file = f;
            continue;
        }
        c.raws.push_back({f, false, {}, {}});
    }
    for (const WaitingFile& f : saved.files) {
        // A raw-data file or summary alone still needs its results file to be the one it belongs
        // beside: taken as it is, never created.
        Core::Lane& lane = c.lanes[f.results];
        if (lane.path.isEmpty()) {
            lane.path = f.results;
            lane.take = true;
        }
    }
    for (auto it = saved.journal.rbegin(); it != saved.journal.rend(); ++it) {
        Core::JournalLane& j = c.journalLane(it->journal);
        for (auto line = it->lines.rbegin(); line != it->lines.rend(); ++line)
            j.lines.push_front(*line);
        j.maybeThere += it->lines.size();
    }
    c.stateAt = statePath;
    c.stateAtElsewhere = !statePath.isEmpty() && statePath == stateFileElsewhere(c.options.stateFolder, saved.resultsFile);
    // Written afresh with the next state: the records file may hold one more.
    c.recordsInFolder.erase(statePath);
    {
        std::lock_guard guard(c.elsewhereMutex);
        c.recordsElsewhere.erase(statePath);
    }
    ++c.stateEpoch;
    if (continuing && saved.hasRun) {
        Core::Lane& lane = c.lanes[saved.resultsFile];
        if (lane.path.isEmpty() || (!lane.restore && !lane.expected)) {
            lane.path = saved.resultsFile;
            lane.take = true;
        }
        c.state = saved;
        c.records = RecordBlocks(std::exchange(c.state->measurements, {}));
        c.runIsOver = false;
    } else {
        c.state.reset();
        c.records = {};
        c.runIsOver = true;
        // The state as read stays until everything it holds is written.
        c.stateSignature = c.waitingSignature();
    }
    c.request(lock);
}

void Recorder::retry(const QDateTime& now) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    c.now = now;
    c.request(lock);
}

// --- how things stand ---------------------------------------------------------------------------

RecorderHealth Recorder::health() const {
    std::lock_guard lock(core_->m);
    return core_->health;
}

quint64 Recorder::healthSerial() const {
    std::lock_guard lock(core_->m);
    return core_->healthSerial;
}

std::vector<RecorderNote> Recorder::takeNotes() {
    std::lock_guard lock(core_->m);
    return std::exchange(core_->notes, {});
}

Recorder::Busy Recorder::busy() const {
    std::lock_guard lock(core_->m);
    Busy b = core_->busy;
    if (b.active)
        b.realElapsed = std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - core_->busyFrom);
    return b;
}

std::size_t Recorder::rowsWaiting() const {
    std::lock_guard lock(core_->m);
    std::size_t n = 0;
    for (const auto& [path, lane] : core_->lanes) {
        if (!lane.beside.isEmpty())
            continue;
        for (const Core::Chunk& c : lane.chunks)
            n += std::size_t(c.rows);
        if (lane.restore)
            n += std::size_t(std::max(0, int(lane.restore->bytes.count('\n')) - (lane.restore->create ? 1 : 0)));
    }
    return n;
}

std::size_t Recorder::rawFilesWaiting() const {
    std::lock_guard lock(core_->m);
    return core_->raws.size();
}

bool Recorder::settle(Millis bound) {
    Core& c = *core_;
    std::unique_lock lock(c.m);
    return c.idle.wait_for(lock, bound, [&] { return !c.passing && !c.wanted; });
}

QString Recorder::keep(Millis bound, const QDateTime& now, QString* error) {
    Core& c = *core_;
    SavedRun snapshot;
    RecordBlocks records;
    {
        std::lock_guard lock(c.m);
        if (!c.anythingPending() && !c.state)
            return {};
        snapshot = c.buildState(now);
        records = c.stateRecords();
    }
    struct Outcome {
        std::mutex m;
        std::condition_variable done;
        bool finished = false;
        QString path, error;
    };
    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<Core> core = core_;
    auto job = [core, snapshot, records = std::move(records), outcome] {
        QString path, error;
        if (core->writeElsewhere(snapshot, records, &path, &error)) {
            std::lock_guard lock(core->m);
            core->stateAt = path;
            core->stateAtElsewhere = true;
            core->health.stateFile = path;
            core->health.stateElsewhere = true;
            ++core->healthSerial;
        }
        std::lock_guard lock(outcome->m);
        outcome->finished = true;
        outcome->path = path;
        outcome->error = error;
        outcome->done.notify_all();
    };
    if (c.options.dispatch == RecorderDispatch::Inline) {
        job();
    } else {
        std::lock_guard lock(c.keeperMutex);
        c.keeperJobs.push_back(job);
        c.keeperWork.notify_all();
    }
    std::unique_lock lock(outcome->m);
    if (!outcome->done.wait_for(lock, bound, [&] { return outcome->finished; })) {
        if (error)
            *error = QStringLiteral("the state folder %1 does not answer").arg(c.options.stateFolder);
        return {};
    }
    if (error)
        *error = outcome->error;
    return outcome->path;
}

bool Recorder::Core::writeElsewhere(const SavedRun& s, const RecordBlocks& stateRecords, QString* path,
                                    QString* error) {
    std::lock_guard lock(elsewhereMutex);
    const QString target = stateFileElsewhere(options.stateFolder, s.resultsFile);
    if (const FileResult made = options.files->makeFolder(options.stateFolder); !made) {
        *error = made.reason;
        return false;
    }
    std::size_t& onDisk = recordsElsewhere[target];
    if (!saveRunState(*options.files, target, s, stateRecords, error, &onDisk))
        return false;
    *path = target;
    return true;
}

WaitingRows Recorder::Core::laneWaiting(const Lane& lane, quint64 maxGen) const {
    WaitingRows w;
    w.file = lane.path;
    if (lane.restore) {
        w = *lane.restore;
        if (lane.restoreAsIs && lane.expected)
            w.size = lane.expected->size;
    } else if (lane.expected && !lane.take) {
        w.size = lane.expected->size;
    } else if (lane.expected) {
        w.size = lane.expected->size;
    } else if (!lane.createWith.isEmpty()) {
        w.create = true;
        w.bytes = lane.createWith;
    }
    for (const Chunk& c : lane.chunks) {
        if (c.gen > maxGen)
            break;
        if (w.create && c.dropIfCreated == lane.takeId && c.dropIfCreated != 0)
            continue;
        w.bytes += c.bytes;
        w.rows += c.rows;
    }
    w.beside = lane.beside;
    return w;
}

SavedRun Recorder::Core::buildState(const QDateTime& moment) const {
    SavedRun s;
    if (state) {
        s = *state;
        if (runIsOver)
            s.finished = true;
    } else {
        s.hasRun = false;
        s.finished = true;
        s.started = moment;
        if (!lanes.empty())
            s.resultsFile = lanes.begin()->first;
    }
    if (!state && lanes.empty() && !journals.empty()) {
        // Only journal lines wait: the state is named after the test the journal belongs to.
        QString journal = journals.begin()->first;
        if (journal.endsWith(QLatin1String("_events.log")))
            journal.chop(int(qstrlen("_events.log")));
        s.resultsFile = journal + QStringLiteral(".csv");
    }
    s.saved = moment;
    s.resultsSize = 0;
    s.rowsToWrite.clear();
    s.resultsNew = false;
    s.otherRows.clear();
    s.files.clear();
    s.journal.clear();
    for (const auto& [path, lane] : lanes) {
        const bool own = s.hasRun && path == s.resultsFile;
        const WaitingRows w = laneWaiting(lane, own ? stateGen : ~quint64(0));
        if (own) {
            s.resultsSize = w.size;
            s.rowsToWrite = w.bytes;
            s.resultsNew = w.create;
        } else if (!w.bytes.isEmpty()) {
            s.otherRows.push_back(w);
        }
    }
    for (const Whole& r : raws)
        s.files.push_back(r.file);
    for (const auto& [path, summary] : summaries)
        s.files.push_back(summary.file);
    for (const auto& [path, j] : journals)
        if (!j.lines.empty())
            s.journal.push_back({path, std::vector<JournalEntry>(j.lines.begin(), j.lines.end())});
    return s;
}

bool Recorder::Core::anythingPending() const {
    for (const auto& [path, lane] : lanes)
        if (!lane.chunks.empty() || lane.restore || lane.refused)
            return true;
    if (!raws.empty() || !summaries.empty())
        return true;
    for (const auto& [path, j] : journals)
        if (!j.lines.empty())
            return true;
    return false;
}

std::pair<std::size_t, qint64> Recorder::Core::waitingSignature() const {
    std::size_t items = 0;
    qint64 bytes = 0;
    for (const auto& [path, lane] : lanes) {
        items += lane.chunks.size() + (lane.restore ? 1 : 0);
        for (const Chunk& c : lane.chunks)
            bytes += c.bytes.size();
    }
    items += raws.size() + summaries.size();
    for (const Whole& r : raws)
        bytes += r.file.bytes.size();
    for (const auto& [path, j] : journals)
        items += j.lines.size();
    return {items, bytes};
}

void Recorder::Core::note(EventKind kind, const QString& text, int measurement) {
    qCWarning(lcRecorder).noquote() << text;
    notes.push_back({kind, text, measurement});
}

void Recorder::Core::updateHealth() {
    RecorderHealth h;
    std::map<QString, QString> failing; // every file that waits, with why
    // The oldest thing that waits names the file and the reason.
    auto first = [&](const QString& file, const QString& reason, const QDateTime& since) {
        failing.emplace(file, reason);
        if (h.file.isEmpty() || (since.isValid() && (!h.since.isValid() || since < h.since))) {
            h.file = file;
            h.reason = reason;
            h.since = since;
        }
    };
    for (const auto& [path, lane] : lanes) {
        if (!lane.attempted && !lane.refused)
            continue;
        // The export's rows are the results file's again: counted with the other files.
        std::size_t& rows = lane.beside.isEmpty() ? h.rows : h.others;
        for (const Chunk& c : lane.chunks) {
            if (!c.attempted)
                continue;
            if (c.header)
                ++h.others;
            rows += std::size_t(c.rows);
        }
        if (lane.restore)
            rows += std::size_t(std::max(0, int(lane.restore->bytes.count('\n')) - (lane.restore->create ? 1 : 0)));
        if (lane.refused)
            h.refused = true;
        if (!lane.error.isEmpty() || lane.refused)
            first(path, lane.error, lane.since);
    }
    for (const Whole& r : raws)
        if (r.attempted) {
            ++h.rawFiles;
            first(r.file.path, r.error, r.since);
        }
    for (const auto& [path, s] : summaries)
        if (s.attempted) {
            ++h.others;
            first(path, s.error, s.since);
        }
    for (const auto& [path, j] : journals)
        if (j.attempted && !j.lines.empty()) {
            h.others += j.lines.size();
            first(path, j.error, j.since);
        }
    h.waiting = h.rows + h.rawFiles + h.others > 0 || h.refused;
    h.stateFile = stateAt;
    h.stateElsewhere = stateIsElsewhere();

    if (h.waiting && !episode) {
        episode = true;
        episodeSince = h.since.isValid() ? h.since : now;
        writtenRows = writtenRaw = 0;
        QString text = QStringLiteral("Not written since %1: %2 (%3); %4 and %5 wait")
                           .arg(episodeSince.toString(Qt::ISODate), h.file, why(h.file, h.reason), rowsText(h.rows),
                                rawText(h.rawFiles));
        if (!h.stateFile.isEmpty())
            text += QStringLiteral(", kept in %1").arg(h.stateFile);
        note(EventKind::FileWaiting, text);
        waitingFiles.clear();
        waitingFiles.insert(h.file);
    } else if (!h.waiting && episode) {
        episode = false;
        waitingFiles.clear();
        note(EventKind::FilesWritten, QStringLiteral("Everything that waited since %1 is written: %2 and %3")
                                          .arg(episodeSince.toString(Qt::ISODate), rowsText(writtenRows), rawText(writtenRaw)));
    }
    if (episode) {
        // Each further file that stops taking what it is given is said too.
        for (const auto& [file, reason] : failing)
            if (!waitingFiles.count(file)) {
                waitingFiles.insert(file);
                note(EventKind::FileWaiting, QStringLiteral("Not written either: %1 (%2)").arg(file, why(file, reason)));
            }
    }
    if (!(h == health)) {
        health = h;
        ++healthSerial;
    }
}

} // namespace korvat
