#include "run/Records.h"

#include "evaluation/GroupSummary.h"
#include "evaluation/MeasurementExport.h"
#include "evaluation/RawDataLoader.h"
#include "link/Link.h"
#include "link/LinkView.h"
#include "run/Events.h"
#include "run/RunModel.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/CodePage.h"
#include "util/NumberText.h"

#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRecords, "korvat.run.records")

namespace korvat {

namespace {

// A write that has not come back after this long is a disk that does not answer.
constexpr Millis kNotAnswering{3000};
// What waits is tried again this often (and at once with every new measurement).
constexpr Millis kRetryEvery{5000};
// The program's end waits this long for the last writes, and as long again to keep what waits.
constexpr Millis kCloseBound{1500};

QByteArray headerBytes(const QStringList& header) {
    QByteArray bytes;
    for (const QString& line : header)
        bytes += toCp1252(line) + "\r\n";
    return bytes;
}

} // namespace

QString Records::T(int n) const { return LoadLangText(d_.ID, n); }

void Records::report(const QString& text) {
    qCWarning(lcRecords).noquote() << text;
    d_.view.statusText(text);
    d_.view.logLine(text);
    d_.link.logLine(d_.link.ComPort1().deviceName(), text);
    d_.events.add(EventKind::FileWaiting, text);
}

bool Records::createFile(const QString& path, const QStringList& header, QString* error, bool* existed) {
    FileLayer& files = d_.recorder.files();
    *existed = false;
    error->clear();
    // Looked at now, so the operator hears at once of a file that cannot be made; the recorder
    // makes it (or takes it as it is) and keeps the header with it until it can.
    FileResult looked;
    if (files.identity(path, &looked)) {
        *existed = true;
    } else if (looked.error == EISDIR) {
        *error = QStringLiteral("Results file not created: %1 (a folder has that name)").arg(path);
        return false;
    } else if (!files.exists(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("Results file not created: %1 (%2)")
                     .arg(path, QStringLiteral("its folder is not there; the header waits with the file"));
    }
    d_.recorder.takeResultsFile(path, headerBytes(header), {}, d_.clock.wallNow());
    watch();
    return error->isEmpty();
}

void Records::beginRun(const RunFilePlan& plan, const QStringList& header) {
    fileRun_ = plan.fileRun;
    if (sDateiname.isEmpty())
        return;
    const QByteArray bytes = headerBytes(header);
    d_.recorder.takeResultsFile(sDateiname, bytes, plan.needsHeader ? bytes : QByteArray(), d_.clock.wallNow());
    takeExport();
}

QByteArray Records::rowBytes(const MeasurementRecord& r) const {
    return toCp1252(resultRowText(r, d_.deviceTyp, fileNumberLocale(d_.ID), QLocale())) + "\r\n";
}

std::optional<Records::RawData> Records::rawData(const MeasurementRecord& r, const Series& fid, const Series& fpd,
                                                 const EvaluationState& eval, QString* why) const {
    why->clear();
    if (sDateiname.isEmpty() || !d_.settings.RawDataSave)
        return std::nullopt;
    RawData raw{rawDataFileName(sDateiname, fileRun_, r.runAktiv),
                rawDataContent(d_.deviceTyp, fid, fpd, peakValuesOf(eval), fileNumberLocale(d_.ID))};
    if (d_.deviceTyp == TDeviceTyp::FIDFPD && fid.size() != fpd.size())
        *why = QStringLiteral("%1 holds the first %2 points of both detectors: the FID series had %3, the FPD series %4")
                   .arg(QFileInfo(raw.path).fileName())
                   .arg(std::min(fid.size(), fpd.size()))
                   .arg(fid.size())
                   .arg(fpd.size());
    // Every raw-data file the program writes must load again: one that would not is not written.
    Series a, b, c;
    const RawLoadResult loaded = loadRawData(raw.path, raw.bytes, a, b, c);
    if (!loaded.ok) {
        *why = QStringLiteral("%1 not written: it would not load (%2)").arg(raw.path, loaded.after);
        return std::nullopt;
    }
    return raw;
}

QString Records::exportPath() const {
    return sDateiname.isEmpty() ? QString() : exportFileName(sDateiname, fileRun_);
}

void Records::takeExport() {
    if (!sDateiname.isEmpty())
        d_.recorder.takeExport(exportPath(), exportHeaderLine(), sDateiname, d_.clock.wallNow());
}

QString Records::summaryPath() const { return besideRun(sDateiname, fileRun_, QStringLiteral("_summary.csv")); }

QByteArray Records::summaryBytes(const std::vector<CellSummary>& summaries, const Requirement& requirement) const {
    const QStringList lines = summaryFileLines(summaries, requirement, fileNumberLocale(d_.ID));
    QByteArray bytes = toCp1252(lines.join(QStringLiteral("\r\n")));
    bytes.append("\r\n");
    return bytes;
}

void Records::commit(FinishedMeasurement m) { d_.recorder.commit(std::move(m)); }

quint64 Records::recorderStateEpoch() const { return d_.recorder.stateEpoch(); }

void Records::runOver() { d_.recorder.runOver(d_.clock.wallNow()); }

bool Records::flushAtClose(QString* error) {
    d_.recorder.retry(d_.clock.wallNow());
    const bool quiet = d_.recorder.settle(kCloseBound);
    watch();
    const RecorderHealth h = d_.recorder.health();
    if (quiet && !h.waiting)
        return true;
    // Whatever still waits is kept, in the state folder (the results folder may be what fails),
    // and the next start writes it.
    QString keepError;
    QString keptIn = d_.recorder.keep(kCloseBound, d_.clock.wallNow(), &keepError);
    if (keptIn.isEmpty() && quiet)
        keptIn = h.stateFile;
    const QString reason = h.reason.isEmpty() ? QStringLiteral("the disk does not answer") : h.reason;
    const qulonglong rows = d_.recorder.rowsWaiting(), raw = d_.recorder.rawFilesWaiting();
    if (keptIn.isEmpty()) {
        *error = T(174).arg(rows).arg(raw).arg(reason, keepError);
        return false;
    }
    d_.ini.writeString(key::RunState, keptIn);
    stateInIni_ = keptIn;
    *error = T(173).arg(rows).arg(raw).arg(reason, keptIn);
    return false;
}

void Records::watch() {
    const Millis mono = d_.clock.monotonicNow();
    // Once a tick: the wall clock (a time-zone lookup) only when something is to be said.
    QDateTime wallTime;
    auto wall = [&] {
        if (!wallTime.isValid())
            wallTime = d_.clock.wallNow();
        return wallTime;
    };
    for (const RecorderNote& note : d_.recorder.takeNotes()) {
        d_.view.logLine(note.text);
        d_.link.logLine(d_.link.ComPort1().deviceName(), note.text);
        if (note.kind == EventKind::FileWaiting || note.kind == EventKind::ResultsFileChanged)
            d_.view.statusText(note.text);
        d_.events.add(note.kind, note.text, {}, note.measurement);
    }

    // A write that does not come back: the disk does not answer. What waits is kept in the
    // state folder meanwhile (the keeper does not wait for the hanging write).
    const Recorder::Busy busy = d_.recorder.busy();
    if (busy.active && busy.serial != busySerial_) {
        busySerial_ = busy.serial;
        busySince_ = mono;
        busySinceWall_ = wall();
        busyFile_ = busy.file;
    }
    if (busy.active && busy.serial == busySerial_ && !notAnswering_ && mono - busySince_ >= kNotAnswering &&
        busy.realElapsed >= kNotAnswering) {
        notAnswering_ = true;
        kept_ = false;
        const QString text = QStringLiteral("The disk of %1 has not answered since %2").arg(busy.file, formatTimeOfDay(busySinceWall_.time()));
        report(text);
    }
    if (notAnswering_ && !kept_) {
        kept_ = true;
        d_.recorder.keep(Millis(0), wall());
    }
    if (notAnswering_ && (!busy.active || busy.serial != busySerial_)) {
        notAnswering_ = false;
        const QString text = QStringLiteral("The disk of %1 answers again after %2")
                                 .arg(busyFile_,
                                      formatDuration(busySinceWall_.msecsTo(wall())));
        d_.view.logLine(text);
        d_.events.add(EventKind::FilesWritten, text);
    }

    if (d_.recorder.healthSerial() != healthSerial_) {
        healthSerial_ = d_.recorder.healthSerial();
        health_ = d_.recorder.health();
    }
    // Korvat.ini points at the run state wherever it is kept (written on this thread only).
    if (!stateInIniRead_) {
        stateInIniRead_ = true;
        stateInIni_ = d_.ini.readString(key::RunState, QString());
    }
    if (health_.stateFile != stateInIni_) {
        if (d_.ini.writeString(key::RunState, health_.stateFile))
            stateInIni_ = health_.stateFile;
    }
    if ((health_.waiting || notAnswering_) && mono - lastRetry_ >= kRetryEvery) {
        lastRetry_ = mono;
        d_.recorder.retry(wall());
    }
    show(health_, notAnswering_);
}

void Records::show(const RecorderHealth& h, bool notAnswering) {
    StorageState s;
    s.trouble = h.waiting || notAnswering;
    s.notAnswering = notAnswering;
    s.refused = h.refused;
    if (s.trouble) {
        s.since = notAnswering && !h.waiting ? busySinceWall_ : h.since;
        s.file = notAnswering && !h.waiting ? busyFile_ : h.file;
        s.rows = h.rows;
        s.rawFiles = h.rawFiles;
        // The line shows file names, its tooltip the whole.
        auto texts = [&](bool whole) {
            auto name = [&](const QString& file) { return whole ? file : QFileInfo(file).fileName(); };
            QStringList parts;
            if (notAnswering)
                parts << T(170).arg(formatTimeOfDay(busySinceWall_.time()), name(busyFile_));
            if (h.refused)
                parts << T(171) + QStringLiteral(" (") + name(h.file) + QLatin1Char(')');
            // The reason names the file itself: said once.
            const QString reason = h.reason.startsWith(h.file + QStringLiteral(": ")) ? h.reason.mid(h.file.size() + 2) : h.reason;
            if (h.waiting)
                parts << T(169)
                             .arg(formatTimeOfDay(h.since.time()), name(h.file), reason)
                             .arg(qulonglong(h.rows))
                             .arg(qulonglong(h.rawFiles))
                             .arg(qulonglong(h.others));
            if (whole && !h.stateFile.isEmpty())
                parts << T(172).arg(h.stateFile);
            return parts.join(QStringLiteral("; "));
        };
        s.text = texts(false);
        s.detail = texts(true);
        s.keptIn = h.stateFile;
    }
    if (s == storage_)
        return;
    storage_ = s;
    d_.view.storageShown(s);
}

} // namespace korvat
