// A pass of the recorder over everything that waits, in the order the run's safety needs:
// raw-data files, the run state, the rows (only those the state written before them covers),
// the summaries, the journal lines; then the state goes when the run is over and nothing waits.
// The mutex is released around every file operation.

#include "run/RecorderCore.h"

#include "evaluation/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace korvat {

namespace {

// Lines a saved state brought back are looked for in this much of the journal's end.
constexpr qint64 kJournalLookBack = 1024 * 1024;

QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

// The whole lines of `bytes`, each with its line end.
QList<QByteArray> wholeLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size() - 1;
        lines << bytes.mid(from, end - from + 1);
        from = end + 1;
    }
    return lines;
}

QByteArray withoutLineEnd(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

void Recorder::Core::pass() {
    std::unique_lock lock(m);
    std::map<QString, bool> seen;
    writeRaws(lock, seen);
    writeState(lock, seen);
    writeRows(lock, seen);
    writeSummaries(lock, seen);
    writeJournals(lock, seen);
    dropStateWhenDone(lock);
    updateHealth();
    if (stateIsElsewhere() && state && !runIsOver && waitingSignature() != stateSignature)
        wanted = true;
}

void Recorder::Core::cleanFolder(const QString& folder, std::unique_lock<std::mutex>& lock) {
    if (folder.isEmpty() || cleaned.count(folder))
        return;
    cleaned.insert(folder);
    // Temporary files of replacements a killed program left: recognisable by their name, and
    // only those of a process that is gone (another instance may be writing right now).
    QStringList names;
    FileLayer& files = *options.files;
    if (!io(folder, lock, [&] { return files.list(folder, &names); }))
        return;
    const qint64 self = ::getpid();
    for (const QString& name : std::as_const(names)) {
        const std::optional<qint64> pid = temporaryNameProcess(name);
        if (!pid || *pid == self)
            continue;
        if (::kill(pid_t(*pid), 0) == 0 || errno != ESRCH)
            continue;
        const QString path = QDir(folder).filePath(name);
        io(path, lock, [&] { return files.remove(path); });
    }
}

bool Recorder::Core::trusted(const QString& results, std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    if (results.isEmpty())
        return false;
    if (const auto it = seen.find(results); it != seen.end())
        return it->second;
    Lane& lane = lanes[results];
    lane.path = results;
    const bool ok = settleLane(lane, lock);
    seen[results] = ok;
    if (ok)
        cleanFolder(folderOf(results), lock);
    return ok;
}

namespace {

void failed(Recorder::Core::Lane& lane, const QString& reason, const QDateTime& now) {
    lane.error = reason;
    if (!lane.since.isValid())
        lane.since = now;
    lane.attempted = true;
}

} // namespace

bool Recorder::Core::settleLane(Lane& lane, std::unique_lock<std::mutex>& lock) {
    FileLayer& files = *options.files;
    const QString path = lane.path;
    for (int attempt = 0; attempt < 2 && lane.take; ++attempt) {
        const quint64 takeId = lane.takeId;
        const QByteArray header = lane.createWith;
        FileResult looked;
        const std::optional<FileIdentity> id = io(path, lock, [&] { return files.identity(path, &looked); });
        if (id) {
            if (lane.takeId == takeId)
                lane.take = false;
            acceptAsIs(lane, *id, lock);
            break;
        }
        if (header.isEmpty()) {
            failed(lane, looked.reason, now);
            return false;
        }
        FileIdentity after;
        const FileResult made =
            io(path, lock, [&] { return files.append(path, header, FileLayer::Create::New, nullptr, &after); });
        if (made.error == EEXIST)
            continue; // it appeared meanwhile: taken as it is
        if (!made) {
            failed(lane, made.reason, now);
            return false;
        }
        lane.expected = after;
        lane.refused = false;
        if (lane.takeId == takeId)
            lane.take = false;
        // A later run's header block is not needed in a file that starts with the run's own.
        std::erase_if(lane.chunks, [&](const Chunk& c) { return c.dropIfCreated == takeId; });
    }
    if (lane.take) {
        failed(lane, path + QStringLiteral(": cannot be taken"), now);
        return false;
    }

    if (lane.restore) {
        const WaitingRows w = *lane.restore;
        if (lane.restoreAsIs || w.size < 0) {
            if (!lane.expected) {
                failed(lane, path + QStringLiteral(": waits to be chosen again"), now);
                return false;
            }
            // The file as it is: the lines that it does not hold go below it.
            QByteArray content;
            const FileResult read = io(path, lock, [&] { return files.read(path, &content); });
            if (!read) {
                failed(lane, read.reason, now);
                return false;
            }
            QSet<QByteArray> present;
            for (const QByteArray& line : wholeLines(content))
                present.insert(withoutLineEnd(line));
            QByteArray missing;
            int rows = 0;
            for (const QByteArray& line : wholeLines(w.bytes))
                if (!present.contains(withoutLineEnd(line))) {
                    missing += line;
                    ++rows;
                }
            const FileIdentity expected = *lane.expected;
            FileIdentity after = expected;
            if (!missing.isEmpty()) {
                const FileResult appended = io(path, lock, [&] {
                    return files.append(path, missing, FileLayer::Create::No, &expected, &after);
                });
                if (!appended) {
                    if (appended.changed)
                        lane.refused = true;
                    failed(lane, appended.reason, now);
                    return false;
                }
                note(EventKind::RowLate,
                     QStringLiteral("%1 row(s) that had not reached %2 are written below it now").arg(rows).arg(path));
            }
            lane.expected = after;
            lane.restore.reset();
            lane.restoreAsIs = false;
        } else {
            QString error;
            FileIdentity after;
            const RowsRestored outcome = io(path, lock, [&] { return restoreRows(files, w, &error, &after); });
            switch (outcome) {
            case RowsRestored::Appended:
                note(EventKind::RowLate, QStringLiteral("the row(s) that had not reached %1 are written now").arg(path));
                [[fallthrough]];
            case RowsRestored::AlreadyThere:
                lane.expected = after;
                lane.restore.reset();
                break;
            case RowsRestored::FileChanged:
                // Not the file the rows were due for: nothing goes in until it is chosen again.
                lane.refused = true;
                lane.restoreAsIs = true;
                note(EventKind::ResultsFileChanged,
                     QStringLiteral("%1; nothing is written there, its rows wait until the file is chosen again "
                                    "on the sample-info page")
                         .arg(error));
                failed(lane, error, now);
                return false;
            case RowsRestored::Failed:
                failed(lane, error, now);
                return false;
            }
        }
    }

    if (!lane.expected || lane.refused) {
        if (!lane.expected)
            failed(lane, path + QStringLiteral(": not chosen as results file"), now);
        return false;
    }
    FileResult looked;
    const std::optional<FileIdentity> id = io(path, lock, [&] { return files.identity(path, &looked); });
    if (!id) {
        failed(lane, looked.reason, now);
        return false;
    }
    if (!(*id == *lane.expected)) {
        lane.refused = true;
        const QString why = id->sameFile(*lane.expected)
                                ? QStringLiteral("its size is %1 bytes, the run left it at %2").arg(id->size).arg(lane.expected->size)
                                : QStringLiteral("another file stands under its name");
        note(EventKind::ResultsFileChanged,
             QStringLiteral("%1 is not the file the run wrote to (%2); nothing is written there, its rows wait until "
                            "the file is chosen again on the sample-info page")
                 .arg(path, why));
        failed(lane, path + QStringLiteral(": ") + why, now);
        return false;
    }
    return true;
}

void Recorder::Core::acceptAsIs(Lane& lane, const FileIdentity& id, std::unique_lock<std::mutex>& lock) {
    FileLayer& files = *options.files;
    const QString path = lane.path;
    lane.expected = id;
    lane.refused = false;
    lane.error.clear();
    if (id.size == 0)
        return;
    QByteArray content;
    if (!io(path, lock, [&] { return files.read(path, &content); }) || content.endsWith('\n'))
        return;
    // The file ends inside a line. A row the recorder still holds whose beginning it is gets
    // its end; anything else is set apart beside the file, so no row is ever glued onto it.
    const qsizetype cut = content.lastIndexOf('\n') + 1;
    const QByteArray fragment = content.mid(cut);
    if (lane.restore) {
        for (const QByteArray& line : wholeLines(lane.restore->bytes)) {
            if (!line.startsWith(fragment) || line.size() == fragment.size())
                continue;
            const QByteArray rest = line.mid(fragment.size());
            FileIdentity after;
            if (io(path, lock, [&] { return files.append(path, rest, FileLayer::Create::No, &id, &after); })) {
                lane.expected = after;
                note(EventKind::RowLate, QStringLiteral("%1 ended inside a row; the row is completed").arg(path));
            }
            return;
        }
    } else if (lane.chunks.empty() || lane.chunks.front().header) {
        // A file chosen as it is (edited without a last line end, say): its last line ends.
        FileIdentity after;
        if (io(path, lock, [&] { return files.append(path, "\r\n", FileLayer::Create::No, &id, &after); }))
            lane.expected = after;
        return;
    }
    const QString aside = besideResultsFile(path, QStringLiteral("_cut-row-%1.txt").arg(cut));
    if (!io(aside, lock, [&] { return files.replace(aside, fragment); }))
        return;
    if (io(path, lock, [&] { return files.truncate(path, cut); })) {
        lane.expected = FileIdentity{id.device, id.inode, cut};
        note(EventKind::RowLate, QStringLiteral("%1 ended inside a row (%2 bytes); they are kept in %3 and the file goes on "
                                                "after its last whole row")
                                     .arg(path)
                                     .arg(fragment.size())
                                     .arg(aside));
    }
}

void Recorder::Core::writeRaws(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    FileLayer& files = *options.files;
    for (std::size_t i = 0; i < raws.size();) {
        const QString results = raws[i].file.results;
        if (!trusted(results, lock, seen)) {
            Whole& r = raws[i];
            r.attempted = true;
            r.error = lanes[results].error;
            if (!r.since.isValid())
                r.since = now;
            ++i;
            continue;
        }
        const WaitingFile f = raws[i].file;
        const FileResult written = io(f.path, lock, [&] { return files.replace(f.path, f.bytes); });
        if (written) {
            raws.erase(raws.begin() + std::ptrdiff_t(i));
            if (episode)
                ++writtenRaw;
            continue;
        }
        Whole& r = raws[i];
        r.attempted = true;
        r.error = written.reason;
        if (!r.since.isValid())
            r.since = now;
        ++i;
    }
}

void Recorder::Core::writeState(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    bool somethingWaits = false;
    for (const auto& [path, lane] : lanes)
        somethingWaits = somethingWaits || lane.attempted || lane.refused;
    for (const Whole& r : raws)
        somethingWaits = somethingWaits || r.attempted;
    for (const auto& [path, j] : journals)
        somethingWaits = somethingWaits || (j.attempted && !j.lines.empty());
    const auto signature = waitingSignature();
    // Without a run to save after each measurement, a state is written whenever what waits
    // changed: it is all there is of those rows after a power cut.
    const bool keepWaiting = (!state || runIsOver) && somethingWaits && signature != stateSignature;
    // A state kept in the state folder goes back beside the results once things got through.
    const bool goBack = state && !runIsOver && stateIsElsewhere() && signature != stateSignature;
    if (!stateDirty && !keepWaiting && !goBack)
        return;
    SavedRun s = buildState(now);
    const RecordBlocks held = stateRecords();
    const quint64 g = stateGen;
    stateDirty = false;
    stateSignature = signature;
    if (s.resultsFile.isEmpty()) {
        attemptedGen = std::max(attemptedGen, g);
        return;
    }
    const QString inFolder = runStateFileName(s.resultsFile);
    QString where, error;
    if (trusted(s.resultsFile, lock, seen)) {
        std::size_t onDisk = recordsInFolder[inFolder];
        FileLayer& files = *options.files;
        if (io(inFolder, lock, [&] { return saveRunState(files, inFolder, s, held, &error, &onDisk); }))
            where = inFolder;
        recordsInFolder[inFolder] = onDisk;
    }
    if (where.isEmpty()) {
        QString path, elsewhereError;
        const QString target = stateFileElsewhere(options.stateFolder, s.resultsFile);
        if (io(target, lock, [&] { return writeElsewhere(s, held, &path, &elsewhereError); }))
            where = path;
        else
            error = error.isEmpty() ? elsewhereError : error + QStringLiteral("; ") + elsewhereError;
    }
    attemptedGen = std::max(attemptedGen, g);
    if (where.isEmpty()) {
        if (stateError != error) {
            stateError = error;
            note(EventKind::FileWaiting, error + QStringLiteral("; the run cannot be continued after a power cut"));
        }
        return;
    }
    stateError.clear();
    const QString before = stateAt;
    stateAt = where;
    stateAtElsewhere = where != inFolder;
    FileLayer& files = *options.files;
    if (where == inFolder) {
        // Back beside the results: the copy in the state folder has served.
        const QString elsewhere = stateFileElsewhere(options.stateFolder, s.resultsFile);
        if (before == elsewhere || files.exists(elsewhere)) {
            io(elsewhere, lock, [&] {
                std::lock_guard guard(elsewhereMutex);
                removeRunState(files, elsewhere);
                recordsElsewhere.erase(elsewhere);
                return true;
            });
        }
    }
    if (!before.isEmpty() && before != where && before != stateFileElsewhere(options.stateFolder, s.resultsFile)) {
        // The run moved to another results file: its older state is left behind.
        io(before, lock, [&] {
            removeRunState(files, before);
            return true;
        });
        recordsInFolder.erase(before);
    }
}

void Recorder::Core::writeRows(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    FileLayer& files = *options.files;
    // Named references, not a structured binding: the lambdas below capture them.
    for (auto& entry : lanes) {
        const QString& path = entry.first;
        auto& lane = entry.second;
        std::size_t n = 0;
        QByteArray bytes;
        int rows = 0;
        for (const Chunk& c : lane.chunks) {
            if (c.gen > attemptedGen)
                break;
            ++n;
            bytes += c.bytes;
            rows += c.rows;
        }
        auto markWaiting = [&](const QString& reason) {
            for (std::size_t k = 0; k < n && k < lane.chunks.size(); ++k)
                lane.chunks[k].attempted = true;
            failed(lane, reason, now);
        };
        // A companion goes only where its results file is the run's: never into a bare mount
        // point or beside a file that is not the run's.
        if (!lane.beside.isEmpty() && (n > 0 || lane.take || lane.restore)) {
            const QString results = lane.beside;
            if (!trusted(results, lock, seen)) {
                if (n > 0)
                    markWaiting(results + QStringLiteral(": ") + lanes[results].error);
                continue;
            }
        }
        if (n == 0) {
            if (lane.take || lane.restore)
                trusted(path, lock, seen);
            continue;
        }
        if (!trusted(path, lock, seen)) {
            markWaiting(lane.error);
            continue;
        }
        const FileIdentity expected = *lane.expected;
        FileIdentity after;
        const QString file = path;
        const FileResult written =
            io(path, lock, [&] { return files.append(file, bytes, FileLayer::Create::No, &expected, &after); });
        if (written) {
            for (std::size_t k = 0; k < n; ++k)
                lane.chunks.pop_front();
            lane.expected = after;
            if (episode && lane.beside.isEmpty())
                writtenRows += std::size_t(rows);
            if (std::none_of(lane.chunks.begin(), lane.chunks.end(), [](const Chunk& c) { return c.attempted; })) {
                lane.attempted = false;
                lane.error.clear();
                lane.since = {};
            }
            continue;
        }
        seen[path] = false;
        if (written.changed) {
            lane.refused = true;
            note(EventKind::ResultsFileChanged,
                 QStringLiteral("%1; nothing is written there, its rows wait until the file is chosen again on the "
                                "sample-info page")
                     .arg(written.reason));
        }
        markWaiting(written.reason);
    }
    // A lane that got everything through has nothing left to say.
    for (auto& [path, lane] : lanes)
        if (lane.chunks.empty() && !lane.restore && !lane.refused && !lane.take && seen.count(path) && seen[path]) {
            lane.attempted = false;
            lane.error.clear();
            lane.since = {};
        }
}

void Recorder::Core::writeSummaries(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    FileLayer& files = *options.files;
    for (auto it = summaries.begin(); it != summaries.end();) {
        const QString path = it->first;
        const QString results = it->second.file.results;
        if (!trusted(results, lock, seen)) {
            Whole& s = summaries[path];
            s.attempted = true;
            s.error = lanes[results].error;
            if (!s.since.isValid())
                s.since = now;
            it = summaries.upper_bound(path);
            continue;
        }
        const QByteArray bytes = it->second.file.bytes;
        const FileResult written = io(path, lock, [&] { return files.replace(path, bytes); });
        // A newer summary may have come meanwhile: only the one written goes.
        auto now_ = summaries.find(path);
        if (written && now_ != summaries.end() && now_->second.file.bytes == bytes) {
            summaries.erase(now_);
        } else if (!written && now_ != summaries.end()) {
            now_->second.attempted = true;
            now_->second.error = written.reason;
            if (!now_->second.since.isValid())
                now_->second.since = now;
        }
        it = summaries.upper_bound(path);
    }
}

void Recorder::Core::writeJournals(std::unique_lock<std::mutex>& lock, std::map<QString, bool>& seen) {
    for (auto& entry : journals) {
        const QString& path = entry.first;
        auto& j = entry.second;
        if (j.lines.empty())
            continue;
        cleanFolder(folderOf(path), lock);
        auto fail = [&](const QString& reason) {
            j.attempted = true;
            j.error = reason;
            if (!j.since.isValid())
                j.since = now;
        };
        if (!j.file.known())
            if (const FileResult looked = io(path, lock, [&] { return j.file.look(); }); !looked) {
                fail(looked.reason);
                continue;
            }
        if (j.file.wouldCreate()) {
            // A journal made anew goes only where the results file is the one the run writes: a
            // share taken away leaves a bare mount point, and nothing may be hidden there.
            QString results = path;
            if (results.endsWith(QLatin1String("_events.log")))
                results.chop(int(qstrlen("_events.log")));
            results += QStringLiteral(".csv");
            // Until its results file is taken the lines simply wait (a journal opened first).
            if (!lanes.count(results))
                continue;
            if (!trusted(results, lock, seen)) {
                fail(lanes[results].error.isEmpty() ? path + QStringLiteral(": waits for its results file")
                                                    : lanes[results].error);
                continue;
            }
        }
        if (j.maybeThere > 0) {
            // Lines a saved state brought back: those the journal already holds are not written twice.
            QByteArray tail;
            if (const std::optional<FileIdentity> at = j.file.expected()) {
                const qint64 from = std::max<qint64>(0, at->size - kJournalLookBack);
                FileLayer& files = *options.files;
                io(path, lock, [&] { return files.read(path, &tail, from); });
            }
            QSet<QByteArray> bodies;
            for (const QByteArray& line : tail.split('\n'))
                bodies.insert(line.left(line.lastIndexOf('\t')));
            std::deque<JournalEntry> lines;
            for (std::size_t k = 0; k < j.lines.size(); ++k)
                if (k >= j.maybeThere || !bodies.contains(journalLineBody(j.lines[k])))
                    lines.push_back(j.lines[k]);
            j.lines = std::move(lines);
            j.maybeThere = 0;
            if (j.lines.empty())
                continue;
        }
        const std::vector<JournalEntry> batch(j.lines.begin(), j.lines.end());
        const FileResult written = io(path, lock, [&] { return j.file.write(batch); });
        if (!written) {
            fail(written.reason);
            continue;
        }
        for (std::size_t k = 0; k < batch.size(); ++k)
            j.lines.pop_front();
        if (j.lines.empty()) {
            j.attempted = false;
            j.error.clear();
            j.since = {};
        }
    }
}

void Recorder::Core::dropStateWhenDone(std::unique_lock<std::mutex>& lock) {
    if (!runIsOver || stateAt.isEmpty() || anythingPending())
        return;
    FileLayer& files = *options.files;
    const QString at = stateAt;
    const QString results = state ? state->resultsFile : QString();
    io(at, lock, [&] {
        removeRunState(files, at);
        if (!results.isEmpty()) {
            std::lock_guard guard(elsewhereMutex);
            const QString elsewhere = stateFileElsewhere(options.stateFolder, results);
            if (elsewhere != at && files.exists(elsewhere))
                removeRunState(files, elsewhere);
            recordsElsewhere.erase(elsewhere);
        }
        return true;
    });
    recordsInFolder.erase(at);
    if (stateAt == at) {
        stateAt.clear();
        stateAtElsewhere = false;
    }
    state.reset();
    records = {};
    ++stateEpoch;
    stateSignature = {0, 0};
}

} // namespace korvat
