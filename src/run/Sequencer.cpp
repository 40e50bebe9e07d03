#include "run/Sequencer.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "link/StatusPoll.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Events.h"
#include "run/Inputs.h"
#include "run/Records.h"
#include "run/ResultComputation.h"
#include "run/RunProgress.h"
#include "run/RunView.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/NumberText.h"
#include "run/Recorder.h"
#include "evaluation/MeasurementExport.h"
#include "evaluation/Requirement.h"
#include "run/ArchiveImport.h"
#include "run/RawDataFile.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <QFile>
#include <QLoggingCategory>
#include <map>

Q_LOGGING_CATEGORY(lcRun, "korvat.run")

namespace korvat {

namespace {
// How much longer than the window state 6 waits for the converter to end its burst.
constexpr Millis kConverterGrace{30000};
// The converter's status while a burst is open.
constexpr int kConverterBusy = 118;
} // namespace

Sequencer::Sequencer(Deps deps) : d_(deps) {
    evaluation_ = [](Sequencer& s) { s.recordMeasurement(); };
}

QString Sequencer::T(int n) const { return LoadLangText(d_.ID, n); }

void Sequencer::setStatus(const QString& text) { d_.view.statusText(text); }

int Sequencer::elapsedSeconds() const {
    return static_cast<int>((d_.clock.monotonicNow() - d_.run.runStartCycle).count() / 1000);
}

// The position by the name its lamp carries ("Zelle 2" for position 5), not by its number.
QString Sequencer::phaseText(int entry) const {
    return T(entry) + QStringLiteral(": ") + T(101) + QLatin1Char(' ') + QString::number(d_.run.cycleNumber()) +
           QLatin1Char(' ') + positionName(d_.run.runZelle, d_.ID);
}

void Sequencer::refreshRunTime(bool withDelay) {
    RunModel& run = d_.run;
    const QTime wall = d_.clock.wallNow().time();
    const int second = wall.msecsSinceStartOfDay() / 1000;
    if (second == run.runLaufzeit)
        return;
    run.runLaufzeit = second;
    const Millis now = d_.clock.monotonicNow();
    d_.view.runTimeShown(formatDuration((now - run.runStartzeitMono).count()));
    if (!withDelay)
        return;
    d_.view.delayShown(formatDuration((run.delayStart - now).count()));
    if (now >= run.delayStart)
        btnStartClick();
}

void Sequencer::tickStages() {
    if (d_.run.delayTag == 1)
        refreshRunTime(true);
    if (d_.run.running() && d_.run.delayTag == 0) {
        refreshRunTime(false);
        stepState();
    }
}

void Sequencer::stepState() {
    switch (d_.run.runTag()) {
    case RunTag::FillCell: return state1();
    case RunTag::FlushCell: return state2();
    case RunTag::FillLoop: return state13();
    case RunTag::Inject: return state3();
    case RunTag::PrepareNext: return state4();
    case RunTag::Acquire: return state5();
    case RunTag::WaitConverter: return state6();
    case RunTag::Evaluate: return state7();
    case RunTag::Idle: return;
    }
}

void Sequencer::state1() {
    const Settings& s = d_.settings;
    RunModel& run = d_.run;
    run.runStartCycle = d_.clock.monotonicNow();
    setStatus(phaseText(103));
    bool skipped = false;
    switch (run.runZelle) {
    case 1:
        d_.valves.ValveSet(11);
        run.sChemikalie = QStringLiteral("Zerogas");
        break;
    case 2:
    case 3:
        d_.valves.ValveSet(run.runZelle + 10);
        d_.valves.ValveSet(run.runZelle);
        run.sChemikalie = QStringLiteral("Refgas");
        break;
    default: {
        // The cell's substance and factors as the run started with them; a switched-off cell's
        // turn records them too, so its row names its own chemical.
        const CellParameters& cell = run.parameters.cell(run.runZelle - 3);
        run.FIDSampleFactor = cell.fidFactor;
        run.FPDFactor = cell.fpdFactor;
        run.sChemikalie = cell.chemical;
        if (run.cellOff(run.runZelle)) {
            skipped = true;
            break;
        }
        d_.valves.ValveSet(run.runZelle + 10);
        d_.valves.ValveSet(run.runZelle);
        break;
    }
    }
    if (run.runZelle <= 3) {
        run.FIDSampleFactor = s.FIDCalFactor;
        run.FPDFactor = s.FPDCalFactor;
    }
    d_.view.chemicalShown(run.sChemikalie);
    if (skipped) {
        run.setRunTag(RunTag::Evaluate);
        return;
    }
    d_.valves.DispSet(run.runZelle + 10);
    run.setRunTag(RunTag::FlushCell);
}

void Sequencer::state2() {
    if (elapsedSeconds() <= d_.settings.SampleTime)
        return;
    d_.valves.loop(true);
    setStatus(phaseText(102));
    d_.run.setRunTag(RunTag::FillLoop);
}

void Sequencer::state13() {
    RunModel& run = d_.run;
    if (elapsedSeconds() <= d_.settings.SampleTime + d_.settings.InjectionTime)
        return;
    d_.acquisition.runZeit = 0;
    d_.acquisition.runZeit2 = 0;
    d_.valves.ValveReset(run.runZelle + 10);
    // A sample cell keeps its bank-2 valve open: the cell stays flushed between measurements.
    if (run.runZelle == 2 || run.runZelle == 3)
        d_.valves.ValveReset(run.runZelle);
    run.setRunTag(RunTag::Inject);
}

void Sequencer::state3() {
    RunModel& run = d_.run;
    if (elapsedSeconds() <= d_.settings.SampleTime + d_.settings.InjectionTime)
        return;
    if (LineQueue* q = d_.link.DataQueue1())
        q->clear();
    d_.view.startShown(QStringLiteral("Start um ") + formatTimeOfDay(run.runStartzeit.time()));
    setStatus(T(100) + QStringLiteral(": ") + QString::number(run.measurementNumber()) + QLatin1Char(' ') + T(101) +
              QLatin1Char(' ') + QString::number(run.cycleNumber()) + QLatin1Char(' ') +
              positionName(run.runZelle, d_.ID));
    d_.valves.loop(false);
    run.eval.FIDBaseDraw = false;
    run.eval.FPDBaseDraw = false;
    d_.view.chordsChanged();
    d_.acquisition.clearSeries(0);
    d_.acquisition.clearSeries(1);
    d_.acquisition.Serie3.clear();
    d_.acquisition.Serie4.clear();
    for (const QString& c : kStartBurst)
        d_.link.SendCommand(d_.link.ComPort1(), c);
    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        if (LineQueue* q = d_.link.DataQueue2())
            q->clear();
        for (const QString& c : kStartBurst)
            d_.link.SendCommand(d_.link.ComPort2(), c);
    }
    d_.view.curvesChanged();
    run.setRunTag(RunTag::PrepareNext);
}

void Sequencer::state4() {
    const Settings& s = d_.settings;
    RunModel& run = d_.run;
    if (elapsedSeconds() <= s.SampleTime + s.InjectionTime + 1)
        return;
    int& next = run.runNextZelle;
    next = run.runMessungen > 1 ? run.runZelle + 1 : 0;
    while (next > 0) {
        if (next >= run.runStart + run.strtCount)
            next = run.runStart;
        switch (next) {
        case 1:
            d_.valves.ValveSet(11);
            break;
        case 2:
        case 3:
            d_.valves.ValveSet(next + 10);
            d_.valves.ValveSet(next);
            break;
        case 4:
        case 5:
            if (run.cellOff(next)) {
                ++next;
                continue;
            }
            d_.valves.ValveSet(next + 10);
            d_.valves.ValveSet(next);
            run.Flow = next == 4 ? s.SampleFlow1 : s.SampleFlow2;
            break;
        case 6:
            // A switched-off cell 3 ends the search without wrapping.
            if (!run.cellOff(6)) {
                d_.valves.ValveSet(16);
                d_.valves.ValveSet(6);
                run.Flow = s.SampleFlow3;
            }
            break;
        default:
            break;
        }
        next = 0;
    }
    run.setRunTag(RunTag::Acquire);
}

void Sequencer::stopConverters() {
    d_.link.SendCommand(d_.link.ComPort1(), kStopBurst);
    if (d_.deviceTyp == TDeviceTyp::FIDFPD)
        d_.link.SendCommand(d_.link.ComPort2(), kStopBurst);
}

void Sequencer::state5() {
    const Settings& s = d_.settings;
    // The window the run started with: its rows' sample times count on it.
    if (elapsedSeconds() <= s.SampleTime + s.InjectionTime + d_.run.parameters.measuringSeconds)
        return;
    stopConverters();
    state6Since_ = d_.clock.monotonicNow();
    d_.run.setRunTag(RunTag::WaitConverter);
}

void Sequencer::state6() {
    if (!(d_.poll.intAD1Status == kConverterBusy && d_.acquisition.Sampling)) {
        d_.run.setRunTag(RunTag::Evaluate);
        return;
    }
    // The converter has not ended its burst long after the window: say so, ask it again to stop,
    // and evaluate what arrived.
    const Millis limit = Millis(d_.run.parameters.measuringSeconds * 1000) + kConverterGrace;
    if (d_.clock.monotonicNow() - state6Since_ <= limit)
        return;
    const QString text = QStringLiteral("%1: converter did not end its burst; measurement %2 evaluated as it is")
                             .arg(d_.link.ComPort1().deviceName())
                             .arg(d_.run.runAktiv);
    qCWarning(lcRun).noquote() << text;
    d_.link.logLine(d_.link.ComPort1().deviceName(), text);
    d_.events.add(EventKind::ConverterTimeout, text, d_.link.ComPort1().deviceName(), d_.run.runAktiv);
    setStatus(text);
    stopConverters();
    d_.run.setRunTag(RunTag::Evaluate);
}

void Sequencer::state7() {
    RunModel& run = d_.run;
    if (evaluation_)
        evaluation_(*this);
    ++run.runAktiv;
    d_.valves.DispReset(run.runZelle + 10);
    --run.runMessungen;
    --run.runCount;
    bool more = true;
    if (run.runCount > 0 && run.offCount > 0) {
        ++run.runZelle;
    } else {
        --run.runCycles;
        run.runCount = run.strtCount;
        if (run.runCycles > 0 && run.offCount > 0)
            run.runZelle = run.runStart;
        else
            more = false;
    }
    commitMeasurement(!more);
    if (more) {
        run.setRunTag(RunTag::FillCell);
        return;
    }
    endRun(T(105), stopPressed_ ? QStringLiteral("stopped by the operator") : QStringLiteral("completed"));
}

namespace {

QString outcomeText(const MeasurementRecord& r, TDeviceTyp deviceTyp) {
    if (r.skipped)
        return QStringLiteral("position %1: cell switched off, not measured").arg(r.runZelle);
    QString text = QStringLiteral("cycle %1, position %2 (%3): FID area %4, %5 ppm, rate %6")
                       .arg(r.cycle)
                       .arg(r.runZelle)
                       .arg(r.sChemikalie)
                       .arg(r.FIDArea, 0, 'g', 10)
                       .arg(r.FIDppm, 0, 'g', 6)
                       .arg(r.FIDMessMenge, 0, 'g', 6);
    if (deviceTyp == TDeviceTyp::FIDFPD)
        text += QStringLiteral("; FPD area %1, rate %2").arg(r.FPDArea, 0, 'g', 10).arg(r.FPDMessMenge, 0, 'g', 6);
    if (r.NoPeak)
        text += QStringLiteral("; no FID peak");
    if (r.brokeThrough)
        text += QStringLiteral("; breakthrough");
    if (r.lineDown)
        text += QStringLiteral("; a line was down");
    if (r.flagged)
        text += QStringLiteral("; flagged");
    return text;
}

} // namespace


void Sequencer::recordMeasurement() {
    MeasurementRecord r = d_.results.evaluate();
    for (int port = 1; port <= 2; ++port) {
        const int dropped = std::exchange(d_.acquisition.droppedLines[port - 1], 0);
        if (dropped == 0)
            continue;
        const QString device = port == 1 ? d_.link.ComPort1().deviceName() : d_.link.ComPort2().deviceName();
        d_.events.add(EventKind::LinesDropped,
                      QStringLiteral("%1: %2 garbled data line(s) dropped during measurement %3").arg(device).arg(dropped).arg(r.runAktiv),
                      device, r.runAktiv);
    }
    const std::optional<Millis> lastEvent = d_.events.lastDataEvent();
    r.flagged = r.lineDown || !r.warning.isEmpty() || (lastEvent && *lastEvent >= d_.run.runStartCycle);
    applyBreakthrough(r);
    // The raw-data file's bytes are made now, from the window as it was measured; the recorder
    // writes them with the measurement's row. A switched-off cell's turn measured nothing: no
    // raw-data file pretends it did.
    QString rawNote;
    rawData_.reset();
    if (!r.skipped)
        rawData_ = d_.records.rawData(r, d_.acquisition.Series1, d_.acquisition.Series2, d_.run.eval, &rawNote);
    if (!rawNote.isEmpty())
        d_.events.add(EventKind::ValueWarning, rawNote, {}, r.runAktiv);
    outcome_ = outcomeText(r, d_.deviceTyp);
    toCommit_ = r;
    d_.run.record(std::move(r));
    updateSummaries();
}

void Sequencer::updateSummaries() {
    // The lab's figures from the run's rows, live and in the summary file beside the results. Each
    // row goes into them once; they start again for a new run (or a resumed one) and when what
    // they were made with changed.
    const std::vector<MeasurementRecord>& rows = d_.run.measurements();
    const bool two = d_.deviceTyp == TDeviceTyp::FIDFPD;
    const DetectionSettings detection = DetectionSettings::from(d_.settings);
    if (!figures_ || figures_->generation != d_.run.recordsGeneration() || figures_->twoDetectors != two ||
        (!d_.run.parameters.detection && !(figures_->detection == detection)) ||
        figures_->summaries.rows() > rows.size())
        figures_.emplace(Figures{RunningSummaries(d_.run.parameters, two, detection), d_.run.recordsGeneration(),
                                 two, detection});
    for (std::size_t i = figures_->summaries.rows(); i < rows.size(); ++i)
        figures_->summaries.add(rows[i]);
    d_.run.setSummaries(figures_->summaries);
}

void Sequencer::commitMeasurement(bool finished) {
    if (!toCommit_)
        return;
    const MeasurementRecord r = std::move(*toCommit_);
    toCommit_.reset();
    std::optional<Records::RawData> raw = std::exchange(rawData_, std::nullopt);
    FinishedMeasurement m;
    m.now = d_.clock.wallNow();
    m.resultsFile = d_.records.sDateiname;
    m.measurement = r.runAktiv;
    QString outcome = std::exchange(outcome_, QString());
    if (!m.resultsFile.isEmpty()) {
        m.row = d_.records.rowBytes(r);
        m.summaryPath = d_.records.summaryPath();
        m.summary = d_.records.summaryBytes(d_.run.summaries(), d_.run.parameters.requirement);
        // The state without its records, then the records the recorder does not hold yet.
        const std::vector<MeasurementRecord>& records = d_.run.measurements();
        const quint64 epoch = d_.records.recorderStateEpoch();
        const bool follows = handed_ && handed_->generation == d_.run.recordsGeneration() &&
                             handed_->epoch == epoch && handed_->records <= records.size();
        m.recordsFrom = follows ? handed_->records : 0;
        m.state = savedRun(finished, m.recordsFrom);
        handed_ = Handed{records.size(), d_.run.recordsGeneration(), epoch};
        // The outcome carries what it was recorded as, so a row or raw-data file changed later
        // is found (korvat-eval --verify-journal).
        outcome += rowHashText(m.row);
        if (raw) {
            m.rawPath = raw->path;
            m.raw = raw->bytes;
            outcome += rawHashText(raw->path, raw->bytes);
        }
        const ExportRecord e = exportRecord(r, raw ? raw->path : QString(), raw ? raw->bytes : QByteArray());
        m.exportFile = d_.records.exportPath();
        m.exportRow = exportRowLine(e);
        if (archiveSink_)
            archiveSink_(archivedTest(), {e});
    }
    d_.events.add(EventKind::Measurement, outcome, {}, r.runAktiv);
    d_.records.commit(std::move(m));
}

ExportRecord Sequencer::exportRecord(const MeasurementRecord& r, const QString& rawPath, const QByteArray& raw) const {
    const RunModel& run = d_.run;
    ExportRecord e;
    e.testId = run.testId;
    e.instrument = d_.results.serialNumber();
    e.measurement = r.runAktiv;
    e.cycle = r.cycle;
    e.moment = r.moment;
    e.elapsedMinutes = double(r.elapsedMs) / 60000.0;
    e.position = r.runZelle;
    if (r.runZelle >= 4 && r.runZelle <= 6) {
        const int k = r.runZelle - 3;
        e.cell = k;
        const Specimen& specimen = run.parameters.cell(k).specimen;
        e.material = specimen.material;
        e.lot = specimen.lot;
        e.thicknessMm = specimen.thicknessMm;
        e.areaCm2 = run.parameters.cellArea(k);
    }
    e.sampleName = r.sampleName;
    e.chemical = r.sChemikalie;
    const bool twoDetectors = d_.deviceTyp == TDeviceTyp::FIDFPD;
    e.detector = twoDetectors ? QStringLiteral("FID+FPD") : QStringLiteral("FID");
    e.flow = r.Flow;
    e.fidArea = r.FIDArea;
    e.fidPpm = r.FIDppm;
    e.fidRate = r.FIDMessMenge;
    if (twoDetectors) {
        e.fpdArea = r.FPDArea;
        e.fpdRate = r.FPDMessMenge;
    }
    e.breakthrough = r.brokeThrough;
    e.switchedOff = r.skipped;
    e.noPeak = r.NoPeak;
    e.event = r.flagged;
    if (!rawPath.isEmpty()) {
        e.rawFile = QFileInfo(rawPath).fileName();
        e.rawSha256 = QString::fromLatin1(QCryptographicHash::hash(raw, QCryptographicHash::Sha256).toHex());
    }
    return e;
}

std::vector<ExportRecord> Sequencer::exportRecordsSoFar() const {
    std::map<int, ExportRecord> written;
    QFile file(d_.records.exportPath());
    if (file.open(QIODevice::ReadOnly)) {
        ExportRead read = readExport(file.readAll());
        // A line a kill cut short spoils the read: every row is then made again below.
        if (read.ok)
            for (ExportRecord& e : read.records)
                if (e.testId == d_.run.testId)
                    written[e.measurement] = std::move(e);
    }
    std::vector<ExportRecord> out;
    for (const MeasurementRecord& m : d_.run.measurements()) {
        if (const auto it = written.find(m.runAktiv); it != written.end()) {
            out.push_back(it->second);
            continue;
        }
        QString rawPath;
        QByteArray raw;
        if (!m.skipped) {
            const QString path = rawDataFileName(d_.records.sDateiname, d_.records.fileRun(), m.runAktiv);
            QFile rawFile(path);
            if (rawFile.open(QIODevice::ReadOnly)) {
                rawPath = path;
                raw = rawFile.readAll();
            }
        }
        out.push_back(exportRecord(m, rawPath, raw));
    }
    return out;
}

ArchivedTest Sequencer::archivedTest() const {
    const RunModel& run = d_.run;
    const RunParameters& p = run.parameters;
    ArchivedTest t;
    t.testId = run.testId;
    t.instrument = d_.results.serialNumber();
    t.resultsFile = QFileInfo(d_.records.sDateiname).absoluteFilePath();
    t.fileRun = d_.records.fileRun();
    t.started = run.runStartzeit;
    t.detector = d_.deviceTyp == TDeviceTyp::FIDFPD ? QStringLiteral("FID+FPD") : QStringLiteral("FID");
    t.measuringSeconds = p.measuringSeconds;
    t.plannedMinutes = p.plannedMinutes;
    t.sampleArea = p.sampleArea;
    t.fidCalPpm = p.fidCalPpm;
    t.fidCalArea = p.fidCalArea;
    t.fpdCalPpm = p.fpdCalPpm;
    t.fpdCalArea = p.fpdCalArea;
    t.requirement = requirementToken(p.requirement);
    t.source = QStringLiteral("run");
    for (const CellSummary& s : run.summaries())
        t.cells.push_back(archivedCellOf(s));
    return t;
}

SavedRun Sequencer::savedRun(bool finished) const { return savedRun(finished, 0); }

SavedRun Sequencer::savedRun(bool finished, std::size_t recordsFrom) const {
    const RunModel& run = d_.run;
    SavedRun s;
    s.resultsFile = d_.records.sDateiname;
    s.started = run.runStartzeit;
    s.saved = d_.clock.wallNow();
    s.testId = run.testId;
    s.runStart = run.runStart;
    s.strtCount = run.strtCount;
    s.strtCycles = run.strtCycles;
    s.strtMessungen = run.strtMessungen;
    s.runZelle = run.runZelle;
    s.runCount = run.runCount;
    s.runCycles = run.runCycles;
    s.runMessungen = run.runMessungen;
    s.runAktiv = run.runAktiv;
    s.offCount = run.offCount;
    for (int k = 1; k <= 3; ++k)
        s.cells[k - 1] = run.cell(k);
    s.keepMeasuring = d_.settings.KeepMeasuring;
    s.fileRun = d_.records.fileRun();
    s.finished = finished;
    s.measurements.assign(run.measurements().begin() + static_cast<std::ptrdiff_t>(recordsFrom), run.measurements().end());
    return s;
}

void Sequencer::applyBreakthrough(const MeasurementRecord& r) {
    const int position = r.runZelle;
    if (position < 4 || position > 6 || r.skipped)
        return;
    RunModel& run = d_.run;
    const int k = position - 3;
    CellState cell = run.cell(k);
    // The cell's label keeps the elapsed time of its last measured turn until it breaks through,
    // and then keeps its break time.
    if (!cell.brokeThrough)
        cell.timeText = formatDuration(r.elapsedMs);
    if (r.brokeThrough) {
        cell.brokeThrough = true;
        cell.breakMeasurement = r.runAktiv;
        cell.breakElapsedMs = r.elapsedMs;
        d_.events.add(EventKind::Breakthrough,
                      QStringLiteral("cell %1 (%2) broke through at %3").arg(k).arg(r.sampleName, formatDuration(r.elapsedMs)),
                      {}, r.runAktiv);
        if (!d_.settings.KeepMeasuring) {
            d_.valves.ValveReset(position);
            --run.offCount;
            cell.off = true;
        }
    }
    run.setCell(k, cell);
}

void Sequencer::endRun(const QString& status, const QString& how) {
    // The last measurement's row goes out before the run is over (a stop during its evaluation).
    commitMeasurement(true);
    d_.events.add(EventKind::RunEnd, QStringLiteral("run ended: %1; %2 measurement(s) recorded").arg(how).arg(d_.run.measurements().size()));
    // The state goes once nothing of the run waits for its file.
    d_.records.runOver();
    setStatus(status);
    d_.run.setControls({.start = true, .delay = true, .stop = false});
    d_.valves.closeBanks();
    d_.run.setRunTag(RunTag::Idle);
}

void Sequencer::abortRun(const QString& reason) {
    const bool active = d_.run.running() || d_.run.delayTag > 0;
    qCCritical(lcRun).noquote() << "run stopped:" << reason;
    d_.link.logLine(d_.link.ComPort1().deviceName(), reason);
    if (!active) {
        setStatus(reason);
        return;
    }
    d_.run.delayTag = 0;
    const RunTag tag = d_.run.runTag();
    if (tag == RunTag::Inject || tag == RunTag::PrepareNext || tag == RunTag::Acquire || tag == RunTag::WaitConverter)
        stopConverters();
    endRun(T(105) + QStringLiteral(": ") + reason, QStringLiteral("stopped after a failure: ") + reason);
}

} // namespace korvat
