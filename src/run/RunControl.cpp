// The operator's side of a run: Start, delayed start, Stop, and the start-delay text.

#include "evaluation/ResultsFileReader.h"
#include "link/Link.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Events.h"
#include "run/Inputs.h"
#include "run/Records.h"
#include "run/RawDataFile.h"
#include "run/Recorder.h"
#include "run/ResultComputation.h"
#include "run/RunSpec.h"
#include "run/RunView.h"
#include "run/Sequencer.h"

#include <QUuid>
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

#include <QFileInfo>
#include <QTime>
#include <cmath>

namespace korvat {

namespace {

// "hh:mm" (or "h:mm", with optional seconds) as a duration.
std::optional<Millis> parseDelay(const QString& text) {
    const QString t = text.trimmed();
    for (const char* format : {"h:mm", "h:mm:ss"}) {
        const QTime time = QTime::fromString(t, QString::fromLatin1(format));
        if (time.isValid())
            return Millis(time.msecsSinceStartOfDay());
    }
    return std::nullopt;
}

// The cells' part of the run's start in the journal: what the figures count from and weigh with.
QString cellsText(const RunParameters& p) {
    QString text = QStringLiteral("; planned %1 min").arg(p.plannedMinutes);
    for (int k = 1; k <= 3; ++k) {
        const CellParameters& c = p.cell(k);
        text += QStringLiteral("; cell %1: %2, factor %3, %4, contact %5 min before start")
                    .arg(k)
                    .arg(c.chemical)
                    .arg(c.fidFactor)
                    .arg(c.molarMass ? QStringLiteral("%1 g/mol").arg(*c.molarMass) : QStringLiteral("isobutane equivalent"))
                    .arg(c.contactMinutes);
    }
    return text;
}

} // namespace

void Sequencer::btnStartClick() {
    RunModel& run = d_.run;
    // The edits are converted before anything changes, so a bad text leaves the window as it was.
    const bool completingDelay = run.delayTag != 0;
    const Input edits[] = {Input::Start, Input::Count, Input::Cycles};
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QString text = d_.inputs.text(edits[i]);
        const auto v = parseInteger(text);
        if (!v) {
            const QString message = QStringLiteral("'%1' is not a valid integer value").arg(text);
            if (completingDelay) {
                // Inside the tick: no dialog; the delayed start is called off and said so.
                abortRun(message);
                return;
            }
            d_.dialogs.error(message);
            return;
        }
        values[i] = *v;
    }
    // The chemical's contact with each cell's specimen, as typed, whether or not its edit was left.
    const Input contactEdits[] = {Input::Contact1, Input::Contact2, Input::Contact3};
    double contacts[3] = {};
    for (int k = 0; k < 3; ++k) {
        const QString text = d_.inputs.text(contactEdits[k]);
        const auto v = text.trimmed().isEmpty() ? std::optional<double>(0.0) : parseFloat(text);
        if (!v || !std::isfinite(*v)) {
            const QString message =
                QStringLiteral("'%1' is not a valid contact time: minutes from the chemical's contact with the "
                               "specimen of cell %2 to the start")
                    .arg(text)
                    .arg(k + 1);
            if (completingDelay) {
                abortRun(message);
                return;
            }
            d_.dialogs.error(message);
            return;
        }
        contacts[k] = *v;
    }
    // The specimens' thickness and exposed area as typed: empty, or a number above 0.
    const Input specimenEdits[] = {Input::Thickness1, Input::Thickness2, Input::Thickness3,
                                   Input::Area1,      Input::Area2,      Input::Area3};
    for (std::size_t k = 0; k < std::size(specimenEdits); ++k) {
        const QString text = d_.inputs.text(specimenEdits[k]);
        if (specimenNumber(text))
            continue;
        const QString message =
            QStringLiteral("'%1' is not a valid %2 of the specimen of cell %3: a number above 0, or nothing")
                .arg(text, k < 3 ? QStringLiteral("thickness (mm)") : QStringLiteral("exposed area (cm\u00b2)"))
                .arg(k % 3 + 1);
        if (completingDelay) {
            abortRun(message);
            return;
        }
        d_.dialogs.error(message);
        return;
    }
    // The range is kept inside the valve block even when an edit's exit handler has not run
    // (a value straight from the file): a position outside 1..6 addresses no valve, lamp or cell.
    values[0] = clampStartzelle(values[0]);
    values[1] = clampAnzahlZellen(values[0], values[1]);
    // What the figures depend on is fixed now: the contacts as typed, the rest as set.
    const IniKey contactKeys[] = {key::ContactBeforeStart1, key::ContactBeforeStart2, key::ContactBeforeStart3};
    double* contactFields[] = {&d_.settings.ContactBeforeStart1, &d_.settings.ContactBeforeStart2,
                               &d_.settings.ContactBeforeStart3};
    for (int k = 0; k < 3; ++k) {
        if (*contactFields[k] == contacts[k])
            continue;
        *contactFields[k] = contacts[k];
        d_.ini.writeString(contactKeys[k], formatGeneral(contacts[k]));
    }
    run.parameters = startParameters(d_.settings, d_.inputs, d_.results.calibrations());
    // The specimens as the run takes them are the settings from now on, as the contacts are.
    {
        Settings& st = d_.settings;
        const struct {
            QString* text;
            const IniKey& key;
            Input input;
        } texts[] = {{&st.Material1, key::Material1, Input::Material1}, {&st.Material2, key::Material2, Input::Material2},
                     {&st.Material3, key::Material3, Input::Material3}, {&st.Lot1, key::Lot1, Input::Lot1},
                     {&st.Lot2, key::Lot2, Input::Lot2},                {&st.Lot3, key::Lot3, Input::Lot3},
                     {&st.Operator, key::Operator, Input::Operator}};
        for (const auto& t : texts) {
            const QString typed = d_.inputs.text(t.input);
            if (*t.text != typed) {
                *t.text = typed;
                d_.ini.writeString(t.key, typed);
            }
        }
        const struct {
            double* number;
            const IniKey& key;
            std::optional<double> value;
        } numbers[] = {
            {&st.Thickness1, key::Thickness1, run.parameters.cell(1).specimen.thicknessMm},
            {&st.Thickness2, key::Thickness2, run.parameters.cell(2).specimen.thicknessMm},
            {&st.Thickness3, key::Thickness3, run.parameters.cell(3).specimen.thicknessMm},
            {&st.ExposedArea1, key::ExposedArea1, run.parameters.cell(1).specimen.areaCm2},
            {&st.ExposedArea2, key::ExposedArea2, run.parameters.cell(2).specimen.areaCm2},
            {&st.ExposedArea3, key::ExposedArea3, run.parameters.cell(3).specimen.areaCm2},
        };
        for (const auto& n : numbers) {
            const double v = n.value.value_or(0);
            if (*n.number != v) {
                *n.number = v;
                d_.ini.writeString(n.key, formatGeneral(v));
            }
        }
    }
    // The run's files are decided before anything moves; a delayed start was put to the operator
    // when it was armed.
    const std::optional<RunFilePlan> files = planRunFiles();
    if (!completingDelay && files && !runFilesConfirmed(*files))
        return;
    d_.inputs.set(Input::Start, QString::number(values[0]));
    d_.inputs.set(Input::Count, QString::number(values[1]));

    run.eval.FIDBaseDraw = false;
    run.eval.FPDBaseDraw = false;
    d_.view.chordsChanged();
    d_.view.curvesChanged();
    d_.acquisition.MonitorOff();
    run.setControls({.start = false, .delay = false, .stop = true});
    d_.acquisition.Sampling = false;
    for (int k = 1; k <= 3; ++k) {
        CellState cell = run.cell(k);
        cell.off = false;
        cell.brokeThrough = false;
        cell.breakMeasurement = 0;
        cell.breakElapsedMs = -1;
        run.setCell(k, cell);
    }
    setStatus(T(83));
    d_.valves.injectIfLoopReported();
    d_.valves.ValveSet(17);

    run.runStart = run.runZelle = values[0];
    run.runCount = run.strtCount = values[1];
    run.offCount = 0;
    for (int p = run.runStart; p < run.runStart + run.strtCount; ++p) {
        if (p > 3)
            d_.valves.ValveSet(p);
        ++run.offCount;
    }
    run.runCycles = run.strtCycles = values[2];
    run.runMessungen = run.strtMessungen = run.strtCount * run.strtCycles;
    run.clearRecords();
    if (!completingDelay) {
        run.testId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        run.runStartzeit = d_.clock.wallNow();
        run.runStartzeitMono = d_.clock.monotonicNow();
    }
    run.runLaufzeit = run.runStartzeit.time().msecsSinceStartOfDay() / 1000;
    d_.view.startShown(T(94) + formatTimeOfDay(run.runStartzeit.time()));
    for (int k = 1; k <= 3; ++k) {
        CellState cell = run.cell(k);
        cell.timeText = T(46);
        run.setCell(k, cell);
    }
    run.delayTag = 0;
    run.runAktiv = 1;
    run.stoppedCycle = 0;
    stopPressed_ = false;
    toCommit_.reset();
    d_.records.beginRun(files.value_or(RunFilePlan{}), files ? runHeader_(files->fileRun) : QStringList());
    const Settings& s = d_.settings;
    d_.events.add(EventKind::RunStart,
                  QStringLiteral("run started at %1: positions %2 to %3, %4 cycle(s), measuring %5 s, flushing %6 s, "
                                 "injection %7 s, limit FID %8 FPD %9, keep measuring %10, results file %11, run %12 of the file")
                      .arg(run.runStartzeit.toString(Qt::ISODate))
                      .arg(run.runStart)
                      .arg(run.runStart + run.strtCount - 1)
                      .arg(run.strtCycles)
                      .arg(s.Messzeit)
                      .arg(s.SampleTime)
                      .arg(s.InjectionTime)
                      .arg(s.LimitFID)
                      .arg(s.LimitFPD)
                      .arg(s.KeepMeasuring ? QStringLiteral("on") : QStringLiteral("off"))
                      .arg(d_.records.sDateiname.isEmpty() ? QStringLiteral("(none)") : d_.records.sDateiname)
                      .arg(d_.records.fileRun()) +
                      cellsText(run.parameters));
    run.setRunTag(RunTag::FillCell);
}

std::optional<RunFilePlan> Sequencer::planRunFiles() const {
    if (d_.records.sDateiname.isEmpty() || !runHeader_)
        return std::nullopt;
    return korvat::planRunFiles(d_.records.sDateiname, runHeader_(1));
}

bool Sequencer::runFilesConfirmed(const RunFilePlan& plan) {
    const QString& path = d_.records.sDateiname;
    if (!plan.unreadable.isEmpty())
        return d_.dialogs.question(T(149).arg(path, plan.unreadable));
    if (plan.runsHeld > 0)
        return d_.dialogs.question(
            T(148).arg(path).arg(plan.runsHeld).arg(QFileInfo(rawDataFileName(path, plan.fileRun, 1)).fileName()));
    return true;
}

void Sequencer::resume(const SavedRun& saved) {
    RunModel& run = d_.run;
    d_.acquisition.MonitorOff();
    d_.acquisition.Sampling = false;
    run.setControls({.start = false, .delay = false, .stop = true});
    d_.records.sDateiname = saved.resultsFile;
    d_.records.setFileRun(saved.fileRun);
    // The export goes on below what it holds (rows it still waits for come with the state).
    d_.records.takeExport();
    run.runStart = saved.runStart;
    run.strtCount = saved.strtCount;
    run.strtCycles = saved.strtCycles;
    run.strtMessungen = saved.strtMessungen;
    run.runZelle = saved.runZelle;
    run.runCount = saved.runCount;
    run.runCycles = saved.runCycles;
    run.runMessungen = saved.runMessungen;
    run.runAktiv = saved.runAktiv;
    run.offCount = saved.offCount;
    for (int k = 1; k <= 3; ++k)
        run.setCell(k, saved.cells[k - 1]);
    // The parameters the run started with, as its header block in the results file records them
    // (the settings may have changed since); the settings' own where the file does not say.
    run.parameters = startParameters(d_.settings, d_.inputs, d_.results.calibrations());
    if (const ResultsFileRead read = readResultsFile(saved.resultsFile); read.ok && !read.runs.empty()) {
        const RunParameters& recorded = read.runs.back().parameters;
        if (recorded.known)
            run.parameters = recorded;
    }
    run.clearRecords();
    for (const MeasurementRecord& m : saved.measurements)
        run.record(m);
    updateSummaries();
    // The recorder was given the same state (Recorder::restore, before this): the next commit
    // hands over only the records after these.
    handed_ = Handed{run.measurements().size(), run.recordsGeneration(), d_.records.recorderStateEpoch()};
    if (d_.settings.KeepMeasuring != saved.keepMeasuring) {
        d_.settings.KeepMeasuring = saved.keepMeasuring;
        d_.ini.writeInteger(key::KeepMeasuring, saved.keepMeasuring ? 1 : 0);
    }
    d_.view.checkShown(Check::KeepMeasuring, saved.keepMeasuring);
    d_.inputs.set(Input::Start, QString::number(run.runStart));
    d_.inputs.set(Input::Count, QString::number(run.strtCount));
    d_.inputs.set(Input::Cycles, QString::number(run.strtCycles));

    // Elapsed and break times go on counting from the original start; the gap is in them.
    run.runStartzeit = saved.started;
    // A state from before runs had an id gets one now: the rest of the run carries it.
    run.testId = saved.testId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : saved.testId;
    const qint64 since = std::max<qint64>(0, saved.started.msecsTo(d_.clock.wallNow()));
    run.runStartzeitMono = d_.clock.monotonicNow() - Millis(since);
    run.runLaufzeit = -1;
    d_.view.startShown(T(94) + formatTimeOfDay(run.runStartzeit.time()));
    setStatus(T(83));

    // The instrument as the run had it: carrier gas on, the run's measured cells flushed.
    d_.valves.injectIfLoopReported();
    d_.valves.ValveSet(17);
    for (int p = run.runStart; p < run.runStart + run.strtCount; ++p)
        if (p > 3 && !run.cellOff(p))
            d_.valves.ValveSet(p);
    run.delayTag = 0;
    stopPressed_ = false;
    toCommit_.reset();
    run.stoppedCycle = 0;
    // The figures of what was measured before the interruption, at once.
    FinishedMeasurement summary;
    summary.now = d_.clock.wallNow();
    summary.resultsFile = d_.records.sDateiname;
    summary.summaryPath = d_.records.summaryPath();
    summary.summary = d_.records.summaryBytes(run.summaries(), run.parameters.requirement);
    d_.records.commit(std::move(summary));
    run.setRunTag(RunTag::FillCell);
}

void Sequencer::btnDelayClick() {
    RunModel& run = d_.run;
    const QString text = d_.inputs.text(Input::Startdelay);
    const auto delay = parseDelay(text);
    if (!delay) {
        d_.dialogs.error(QStringLiteral("'%1' is not a valid time").arg(text));
        return;
    }
    if (const std::optional<RunFilePlan> files = planRunFiles(); files && !runFilesConfirmed(*files))
        return;
    run.setControls({.start = false, .delay = false, .stop = true});
    run.testId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.runStartzeit = d_.clock.wallNow();
    run.runStartzeitMono = d_.clock.monotonicNow();
    run.delayStart = run.runStartzeitMono + *delay;
    run.runLaufzeit = -1;
    run.delayTag = 1;
    run.setRunTag(RunTag::Idle);
    setStatus(T(89));
}

void Sequencer::btnStopClick() {
    RunModel& run = d_.run;
    if (run.running()) {
        stopPressed_ = true;
        setStatus(T(104));
        // The measurement under way keeps the cycle it belongs to.
        run.stoppedCycle = run.cycleNumber();
        run.runCycles = 0;
        run.runCount = 0;
        RunControls controls = run.controls();
        controls.stop = false;
        run.setControls(controls);
        return;
    }
    if (run.delayTag > 0) {
        run.delayTag = 0;
        endRun(T(105), QStringLiteral("delayed start called off by the operator"));
    }
}

void Sequencer::editStartdelayExit() {
    d_.settings.Startdelay = d_.inputs.text(Input::Startdelay);
    if (!d_.ini.writeString(key::Startdelay, d_.settings.Startdelay))
        d_.dialogs.error(d_.ini.lastError());
}

} // namespace korvat
