// The operator's side of a run: Start, delayed start, Stop, and the start-delay text.

#include "link/Link.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Inputs.h"
#include "run/Records.h"
#include "run/RunView.h"
#include "run/Sequencer.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

#include <QTime>

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
    // The range is kept inside the valve block even when an edit's exit handler has not run
    // (a value straight from the file): a position outside 1..6 addresses no valve, lamp or cell.
    values[0] = clampStartzelle(values[0]);
    values[1] = clampAnzahlZellen(values[0], values[1]);
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
    run.setControls({.start = false, .delay = false, .stop = true});
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
        setStatus(T(104));
        run.runCycles = 0;
        run.runCount = 0;
        RunControls controls = run.controls();
        controls.stop = false;
        run.setControls(controls);
        return;
    }
    if (run.delayTag > 0) {
        run.delayTag = 0;
        endRun(T(105));
    }
}

void Sequencer::editStartdelayExit() {
    d_.settings.Startdelay = d_.inputs.text(Input::Startdelay);
    if (!d_.ini.writeString(key::Startdelay, d_.settings.Startdelay))
        d_.dialogs.error(d_.ini.lastError());
}

} // namespace korvat
