#include "run/RunState.h"

#include "evaluation/ResultsFile.h"

#include <QFile>
#include <algorithm>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <unistd.h>

namespace korvat {

namespace {

constexpr int kFormat = 1;

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

} // namespace

QString runStateFileName(const QString& resultsFile) { return besideResultsFile(resultsFile, QStringLiteral("_run.json")); }

QString runRecordsFileName(const QString& stateFile) {
    QString path = stateFile;
    if (path.endsWith(QLatin1String(".json")))
        path.chop(5);
    return path + QStringLiteral(".records");
}

void removeRunState(const QString& stateFile) {
    QFile::remove(stateFile);
    QFile::remove(runRecordsFileName(stateFile));
}

bool saveRunState(const QString& path, const SavedRun& run, QString* error, std::size_t* recordsOnDisk) {
    // The records first: a state never counts more of them than the file holds.
    {
        const std::size_t from = std::min(*recordsOnDisk, run.measurements.size());
        QFile records(runRecordsFileName(path));
        const QIODevice::OpenMode mode = from == 0 ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::Append;
        QByteArray lines;
        for (std::size_t i = from; i < run.measurements.size(); ++i)
            lines += QJsonDocument(toJson(run.measurements[i])).toJson(QJsonDocument::Compact) + '\n';
        if (!records.open(mode) || records.write(lines) != lines.size() || !records.flush()) {
            *error = QStringLiteral("Run state %1 not written: %2").arg(records.fileName(), records.errorString());
            *recordsOnDisk = 0; // written afresh next time
            return false;
        }
        ::fsync(records.handle());
        *recordsOnDisk = run.measurements.size();
    }
    QJsonArray cells;
    for (const CellState& c : run.cells)
        cells.append(QJsonObject{{"off", c.off},
                                 {"brokeThrough", c.brokeThrough},
                                 {"breakMeasurement", c.breakMeasurement},
                                 {"breakElapsedMs", c.breakElapsedMs},
                                 {"timeText", c.timeText}});
    const QJsonObject o{
        {"format", kFormat},
        {"resultsFile", run.resultsFile},
        {"started", run.started.toString(Qt::ISODateWithMs)},
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
        {"rowsToWrite", QString::fromLatin1(run.rowsToWrite.toBase64())},
        {"finished", run.finished},
        {"measurements", static_cast<qint64>(run.measurements.size())},
    };
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(o).toJson(QJsonDocument::Compact);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        *error = QStringLiteral("Run state %1 not written: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    ::fsync(file.handle());
    if (!file.commit()) {
        *error = QStringLiteral("Run state %1 not written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<SavedRun> loadRunState(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    const QJsonObject o = doc.object();
    if (parse.error != QJsonParseError::NoError || o["format"].toInt() != kFormat ||
        !o["resultsFile"].isString() || !o["cells"].isArray() || o["cells"].toArray().size() != 3) {
        *error = QStringLiteral("%1 is not a run state of this program (%2)")
                     .arg(path, parse.error != QJsonParseError::NoError ? parse.errorString() : QStringLiteral("fields missing"));
        return std::nullopt;
    }
    SavedRun run;
    run.resultsFile = o["resultsFile"].toString();
    run.started = QDateTime::fromString(o["started"].toString(), Qt::ISODateWithMs);
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
    run.rowsToWrite = QByteArray::fromBase64(o["rowsToWrite"].toString().toLatin1());
    run.finished = o["finished"].toBool();
    // The first `measurements` lines of the records file (a kill between the two writes may have
    // left one more there).
    const qint64 count = o["measurements"].toInteger(-1);
    QFile records(runRecordsFileName(path));
    if (count > 0 && !records.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: its records %2: %3").arg(path, records.fileName(), records.errorString());
        return std::nullopt;
    }
    while (count > 0 && static_cast<qint64>(run.measurements.size()) < count && !records.atEnd()) {
        const QJsonDocument line = QJsonDocument::fromJson(records.readLine());
        if (!line.isObject())
            break;
        run.measurements.push_back(recordFrom(line.object()));
    }
    if (count < 0 || static_cast<qint64>(run.measurements.size()) != count) {
        *error = QStringLiteral("%1 is not a run state of this program (%2 does not hold its %3 measurement records)")
                     .arg(path, records.fileName())
                     .arg(count);
        return std::nullopt;
    }
    if (!run.started.isValid() || run.runStart < 1 || run.runStart > 6 || run.runZelle < 1 || run.runZelle > 6 ||
        run.resultsSize < 0) {
        *error = QStringLiteral("%1 is not a run state of this program (values out of range)").arg(path);
        return std::nullopt;
    }
    return run;
}

RowsRestored restoreRows(const SavedRun& run, QString* error) {
    QFile file(run.resultsFile);
    if (!file.open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("%1: %2").arg(run.resultsFile, file.errorString());
        return RowsRestored::Failed;
    }
    const qint64 size = file.size();
    if (size < run.resultsSize) {
        *error = QStringLiteral("%1 is shorter than when the run was interrupted").arg(run.resultsFile);
        return RowsRestored::FileChanged;
    }
    file.seek(run.resultsSize);
    const QByteArray tail = file.readAll();
    if (tail == run.rowsToWrite)
        return RowsRestored::AlreadyThere;
    if (!run.rowsToWrite.startsWith(tail)) {
        *error = QStringLiteral("%1 holds other rows than the interrupted run wrote last").arg(run.resultsFile);
        return RowsRestored::FileChanged;
    }
    // The rows, or the part of them the program did not get to write.
    const QByteArray rest = run.rowsToWrite.mid(tail.size());
    if (!file.seek(size) || file.write(rest) != rest.size() || !file.flush()) {
        *error = QStringLiteral("%1: %2").arg(run.resultsFile, file.errorString());
        return RowsRestored::Failed;
    }
    ::fsync(file.handle());
    return RowsRestored::Appended;
}

} // namespace korvat
