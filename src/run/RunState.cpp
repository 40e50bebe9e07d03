#include "run/RunState.h"

#include "evaluation/ResultsFile.h"
#include "evaluation/TestFiles.h"

#include <QFile>
#include <algorithm>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCryptographicHash>
#include <QFileInfo>

namespace korvat {

namespace {

// 1: the first form (no waiting files, no journal lines); still read.
constexpr int kFormat = 2;

QJsonValue optionalNumber(const std::optional<double>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
std::optional<double> optionalNumber(const QJsonValue& v) {
    return v.isDouble() ? std::optional<double>(v.toDouble()) : std::nullopt;
}

QJsonObject toJson(const MeasurementRecord& r) {
    return QJsonObject{
        {"position", r.runZelle},       {"marker", QString(r.marker)},
        {"breakTime", r.breakTime},     {"chemical", r.sChemikalie},
        {"fidSampleFactor", r.FIDSampleFactor}, {"flow", r.Flow},
        {"elapsedMs", r.elapsedMs},     {"fidPpm", r.FIDppm},
        {"fidRate", r.FIDMessMenge},    {"fidArea", r.FIDArea},
        {"fpdRate", r.FPDMessMenge},    {"fpdArea", r.FPDArea},
        {"sample", r.sampleName},       {"moment", r.moment.toString(Qt::ISODateWithMs)},
        {"number", r.runAktiv},         {"fidNoiseArea", optionalNumber(r.fidNoiseArea)},
        {"fpdNoiseArea", optionalNumber(r.fpdNoiseArea)}, {"cycle", r.cycle},
        {"skipped", r.skipped},         {"brokeThrough", r.brokeThrough},
        {"noPeak", r.NoPeak},           {"lineDown", r.lineDown},
        {"warning", r.warning},         {"flagged", r.flagged},
    };
}

MeasurementRecord recordFrom(const QJsonObject& o) {
    MeasurementRecord r;
    r.runZelle = o["position"].toInt();
    const QString marker = o["marker"].toString();
    r.marker = marker.isEmpty() ? QLatin1Char(' ') : marker[0];
    r.breakTime = o["breakTime"].toString();
    r.sChemikalie = o["chemical"].toString();
    r.FIDSampleFactor = o["fidSampleFactor"].toDouble();
    r.Flow = o["flow"].toDouble();
    r.elapsedMs = o["elapsedMs"].toInteger();
    r.FIDppm = o["fidPpm"].toDouble();
    r.FIDMessMenge = o["fidRate"].toDouble();
    r.FIDArea = o["fidArea"].toDouble();
    r.FPDMessMenge = o["fpdRate"].toDouble();
    r.FPDArea = o["fpdArea"].toDouble();
    r.sampleName = o["sample"].toString();
    r.moment = QDateTime::fromString(o["moment"].toString(), Qt::ISODateWithMs);
    r.runAktiv = o["number"].toInt();
    r.fidNoiseArea = optionalNumber(o["fidNoiseArea"]);
    r.fpdNoiseArea = optionalNumber(o["fpdNoiseArea"]);
    r.cycle = o["cycle"].toInt();
    r.skipped = o["skipped"].toBool();
    r.brokeThrough = o["brokeThrough"].toBool();
    r.NoPeak = o["noPeak"].toBool();
    r.lineDown = o["lineDown"].toBool();
    r.warning = o["warning"].toString();
    r.flagged = o["flagged"].toBool();
    return r;
}

QJsonObject toJson(const JournalEntry& e) {
    return QJsonObject{{"time", e.time.toString(Qt::ISODateWithMs)},
                       {"kind", e.kind},
                       {"port", e.port},
                       {"measurement", e.measurement},
                       {"text", e.text}};
}

JournalEntry entryFrom(const QJsonObject& o) {
    return JournalEntry{QDateTime::fromString(o["time"].toString(), Qt::ISODateWithMs), o["kind"].toString(),
                        o["port"].toString(), o["measurement"].toInt(), o["text"].toString()};
}

QString base64(const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); }
QByteArray fromBase64(const QJsonValue& v) { return QByteArray::fromBase64(v.toString().toLatin1()); }

QString notAState(const QString& path, const QString& why) {
    return QStringLiteral("%1 is not a run state of this program (%2)").arg(path, why);
}

} // namespace

QString runStateFileName(const QString& resultsFile) { return besideResultsFile(resultsFile, QStringLiteral("_run.json")); }

QString stateFileElsewhere(const QString& stateFolder, const QString& resultsFile) {
    const QByteArray hash = QCryptographicHash::hash(QFileInfo(resultsFile).absoluteFilePath().toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(8);
    QString folder = stateFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + testStem(resultsFile) + QLatin1Char('_') + QString::fromLatin1(hash) + QStringLiteral("_run.json");
}

QString runRecordsFileName(const QString& stateFile) {
    QString path = stateFile;
    if (path.endsWith(QLatin1String(".json")))
        path.chop(5);
    return path + QStringLiteral(".records");
}

void removeRunState(FileLayer& files, const QString& stateFile) {
    files.remove(stateFile);
    files.remove(runRecordsFileName(stateFile));
}

void removeRunState(const QString& stateFile) { removeRunState(*makePosixFileLayer(), stateFile); }

RecordBlocks::RecordBlocks(std::vector<MeasurementRecord> records) {
    for (MeasurementRecord& r : records)
        push_back(std::move(r));
}

void RecordBlocks::push_back(MeasurementRecord r) {
    if (size_ % kBlock == 0) {
        blocks_.push_back(std::make_shared<std::vector<MeasurementRecord>>());
        blocks_.back()->reserve(kBlock);
    } else if (blocks_.back().use_count() > 1) {
        // A copy reads this block: it keeps what it has, the run goes on in a block of its own.
        auto own = std::make_shared<std::vector<MeasurementRecord>>();
        own->reserve(kBlock);
        own->assign(blocks_.back()->begin(), blocks_.back()->end());
        blocks_.back() = std::move(own);
    }
    blocks_.back()->push_back(std::move(r));
    ++size_;
}

std::vector<MeasurementRecord> RecordBlocks::toVector() const {
    std::vector<MeasurementRecord> out;
    out.reserve(size_);
    for (const auto& block : blocks_)
        out.insert(out.end(), block->begin(), block->end());
    return out;
}

namespace {

template <class Records>
QByteArray recordLines(const Records& measurements, std::size_t from) {
    QByteArray lines;
    for (std::size_t i = from; i < measurements.size(); ++i)
        lines += QJsonDocument(toJson(measurements[i])).toJson(QJsonDocument::Compact) + '\n';
    return lines;
}

QByteArray stateBytes(const SavedRun& run, std::size_t measurements);

template <class Records>
bool saveState(FileLayer& files, const QString& path, const SavedRun& run, const Records& measurements,
               QString* error, std::size_t* recordsOnDisk) {
    // The records first: a state never counts more of them than the file holds.
    const std::size_t from = std::min(*recordsOnDisk, measurements.size());
    const QString recordsPath = runRecordsFileName(path);
    const QByteArray lines = recordLines(measurements, from);
    const FileResult records = from == 0 ? files.replace(recordsPath, lines)
                                         : files.append(recordsPath, lines, FileLayer::Create::IfMissing, nullptr, nullptr);
    if (!records) {
        *error = QStringLiteral("Run state not written: %1").arg(records.reason);
        *recordsOnDisk = 0; // written afresh next time
        return false;
    }
    *recordsOnDisk = measurements.size();
    if (const FileResult main = files.replace(path, stateBytes(run, measurements.size())); !main) {
        *error = QStringLiteral("Run state not written: %1").arg(main.reason);
        return false;
    }
    return true;
}

} // namespace

QByteArray runRecordLines(const std::vector<MeasurementRecord>& measurements, std::size_t from) {
    return recordLines(measurements, from);
}

QByteArray runStateBytes(const SavedRun& run) { return stateBytes(run, run.measurements.size()); }

namespace {

QByteArray stateBytes(const SavedRun& run, std::size_t measurements) {
    QJsonArray cells;
    for (const CellState& c : run.cells)
        cells.append(QJsonObject{{"off", c.off},
                                 {"brokeThrough", c.brokeThrough},
                                 {"breakMeasurement", c.breakMeasurement},
                                 {"breakElapsedMs", c.breakElapsedMs},
                                 {"timeText", c.timeText}});
    QJsonArray otherRows;
    for (const WaitingRows& w : run.otherRows)
    {
        QJsonObject o{{"file", w.file}, {"size", w.size}, {"bytes", base64(w.bytes)}, {"create", w.create}, {"rows", w.rows}};
        if (!w.beside.isEmpty())
            o.insert("beside", w.beside);
        otherRows.append(o);
    }
    QJsonArray files;
    for (const WaitingFile& w : run.files)
        files.append(QJsonObject{{"path", w.path}, {"bytes", base64(w.bytes)}, {"results", w.results},
                                 {"measurement", w.measurement}, {"raw", w.raw}});
    QJsonArray journal;
    for (const WaitingLines& w : run.journal) {
        QJsonArray lines;
        for (const JournalEntry& e : w.lines)
            lines.append(toJson(e));
        journal.append(QJsonObject{{"journal", w.journal}, {"lines", lines}});
    }
    const QJsonObject o{
        {"format", kFormat},
        {"resultsFile", run.resultsFile},
        {"started", run.started.toString(Qt::ISODateWithMs)},
        {"testId", run.testId},
        {"saved", run.saved.toString(Qt::ISODateWithMs)},
        {"runStart", run.runStart},
        {"strtCount", run.strtCount},
        {"strtCycles", run.strtCycles},
        {"strtMessungen", run.strtMessungen},
        {"runZelle", run.runZelle},
        {"runCount", run.runCount},
        {"runCycles", run.runCycles},
        {"runMessungen", run.runMessungen},
        {"runAktiv", run.runAktiv},
        {"offCount", run.offCount},
        {"cells", cells},
        {"keepMeasuring", run.keepMeasuring},
        {"fileRun", run.fileRun},
        {"resultsSize", run.resultsSize},
        {"rowsToWrite", base64(run.rowsToWrite)},
        {"resultsNew", run.resultsNew},
        {"finished", run.finished},
        {"hasRun", run.hasRun},
        {"measurements", static_cast<qint64>(measurements)},
        {"otherRows", otherRows},
        {"files", files},
        {"journal", journal},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

bool saveRunState(FileLayer& files, const QString& path, const SavedRun& run, QString* error,
                  std::size_t* recordsOnDisk) {
    return saveState(files, path, run, run.measurements, error, recordsOnDisk);
}

bool saveRunState(FileLayer& files, const QString& path, const SavedRun& run, const RecordBlocks& records,
                  QString* error, std::size_t* recordsOnDisk) {
    return saveState(files, path, run, records, error, recordsOnDisk);
}

bool saveRunState(const QString& path, const SavedRun& run, QString* error, std::size_t* recordsOnDisk) {
    return saveRunState(*makePosixFileLayer(), path, run, error, recordsOnDisk);
}

std::optional<SavedRun> loadRunState(FileLayer& files, const QString& path, QString* error, RunStateDamage* damage) {
    RunStateDamage seen;
    // Whatever the main file says, the whole lines of the records file are what can be restored.
    QByteArray recordBytes;
    const bool recordsRead = bool(files.read(runRecordsFileName(path), &recordBytes));
    for (const QByteArray& line : recordBytes.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject())
            break;
        seen.records.push_back(recordFrom(doc.object()));
    }
    auto fail = [&](const QString& text) -> std::optional<SavedRun> {
        *error = text;
        if (damage)
            *damage = std::move(seen);
        return std::nullopt;
    };

    QByteArray bytes;
    if (const FileResult read = files.read(path, &bytes); !read)
        return fail(read.reason);
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    const QJsonObject o = doc.object();
    const int format = o["format"].toInt();
    if (parse.error != QJsonParseError::NoError || (format != 1 && format != kFormat) ||
        !o["resultsFile"].isString() || !o["cells"].isArray() || o["cells"].toArray().size() != 3)
        return fail(notAState(path, parse.error != QJsonParseError::NoError ? parse.errorString()
                                                                            : QStringLiteral("fields missing")));
    SavedRun run;
    run.resultsFile = o["resultsFile"].toString();
    run.started = QDateTime::fromString(o["started"].toString(), Qt::ISODateWithMs);
    run.testId = o["testId"].toString();
    run.saved = QDateTime::fromString(o["saved"].toString(), Qt::ISODateWithMs);
    run.runStart = o["runStart"].toInt();
    run.strtCount = o["strtCount"].toInt();
    run.strtCycles = o["strtCycles"].toInt();
    run.strtMessungen = o["strtMessungen"].toInt();
    run.runZelle = o["runZelle"].toInt();
    run.runCount = o["runCount"].toInt();
    run.runCycles = o["runCycles"].toInt();
    run.runMessungen = o["runMessungen"].toInt();
    run.runAktiv = o["runAktiv"].toInt();
    run.offCount = o["offCount"].toInt();
    const QJsonArray cells = o["cells"].toArray();
    for (int k = 0; k < 3; ++k) {
        const QJsonObject c = cells[k].toObject();
        run.cells[k] = CellState{c["off"].toBool(), c["brokeThrough"].toBool(), c["breakMeasurement"].toInt(),
                                 c["breakElapsedMs"].toInteger(-1), c["timeText"].toString()};
    }
    run.keepMeasuring = o["keepMeasuring"].toBool();
    // A state written before runs were numbered belongs to a file's first run.
    run.fileRun = std::max(1, o["fileRun"].toInt(1));
    run.resultsSize = o["resultsSize"].toInteger();
    run.rowsToWrite = fromBase64(o["rowsToWrite"]);
    run.resultsNew = o["resultsNew"].toBool();
    run.finished = o["finished"].toBool();
    run.hasRun = o["hasRun"].toBool(true);
    for (const QJsonValue& v : o["otherRows"].toArray()) {
        const QJsonObject w = v.toObject();
        run.otherRows.push_back({w["file"].toString(), w["size"].toInteger(), fromBase64(w["bytes"]),
                                 w["create"].toBool(), w["rows"].toInt(), w["beside"].toString()});
    }
    for (const QJsonValue& v : o["files"].toArray()) {
        const QJsonObject w = v.toObject();
        run.files.push_back({w["path"].toString(), fromBase64(w["bytes"]), w["results"].toString(),
                             w["measurement"].toInt(), w["raw"].toBool(true)});
    }
    for (const QJsonValue& v : o["journal"].toArray()) {
        const QJsonObject w = v.toObject();
        WaitingLines lines{w["journal"].toString(), {}};
        for (const QJsonValue& e : w["lines"].toArray())
            lines.lines.push_back(entryFrom(e.toObject()));
        run.journal.push_back(std::move(lines));
    }
    seen.mainReadable = true;
    // The first `measurements` lines of the records file (a kill between the two writes may have
    // left one more there).
    const qint64 count = o["measurements"].toInteger(-1);
    seen.recordsExpected = count > 0 ? std::size_t(count) : 0;
    if (count < 0 || (count > 0 && !recordsRead) || qint64(seen.records.size()) < count)
        return fail(notAState(path, QStringLiteral("%1 does not hold its %2 measurement records")
                                        .arg(runRecordsFileName(path))
                                        .arg(count)));
    run.measurements.assign(seen.records.begin(), seen.records.begin() + count);
    if (run.hasRun && (!run.started.isValid() || run.runStart < 1 || run.runStart > 6 || run.runZelle < 1 ||
                       run.runZelle > 6 || run.resultsSize < 0))
        return fail(notAState(path, QStringLiteral("values out of range")));
    return run;
}

std::optional<SavedRun> loadRunState(const QString& path, QString* error) {
    return loadRunState(*makePosixFileLayer(), path, error);
}

RowsRestored restoreRows(FileLayer& files, const WaitingRows& rows, QString* error, FileIdentity* after) {
    FileResult looked;
    const std::optional<FileIdentity> id = files.identity(rows.file, &looked);
    if (!id && rows.create) {
        // The file was never made: it is made now, header block first.
        const FileResult made = files.append(rows.file, rows.bytes, FileLayer::Create::New, nullptr, after);
        if (!made) {
            *error = made.reason;
            return RowsRestored::Failed;
        }
        return RowsRestored::Appended;
    }
    if (!id) {
        *error = looked.reason;
        return RowsRestored::Failed;
    }
    if (id->size < rows.size) {
        *error = QStringLiteral("%1 is shorter than when the run was interrupted").arg(rows.file);
        return RowsRestored::FileChanged;
    }
    QByteArray tail;
    if (const FileResult read = files.read(rows.file, &tail, rows.size); !read) {
        *error = read.reason;
        return RowsRestored::Failed;
    }
    if (tail == rows.bytes) {
        if (after)
            *after = *id;
        return RowsRestored::AlreadyThere;
    }
    if (!rows.bytes.startsWith(tail)) {
        *error = QStringLiteral("%1 holds other rows than the interrupted run wrote last").arg(rows.file);
        return RowsRestored::FileChanged;
    }
    // The rows, or the part of them the program did not get to write.
    const QByteArray rest = rows.bytes.mid(tail.size());
    const FileIdentity expected = *id;
    if (const FileResult appended = files.append(rows.file, rest, FileLayer::Create::No, &expected, after); !appended) {
        *error = appended.reason;
        return appended.changed ? RowsRestored::FileChanged : RowsRestored::Failed;
    }
    return RowsRestored::Appended;
}

RowsRestored restoreRows(const SavedRun& run, QString* error) {
    return restoreRows(*makePosixFileLayer(), WaitingRows{run.resultsFile, run.resultsSize, run.rowsToWrite, run.resultsNew, 0, {}},
                       error);
}

} // namespace korvat
