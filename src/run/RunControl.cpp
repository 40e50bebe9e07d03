// The operator's side of a run: Start, delayed start, Stop, and the start-delay text.

#include "link/Link.h"
#include "link/Registers.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Sequencer.h"
#include "shell/FormView.h"
#include "shell/IniFile.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"
#include "util/Utils.h"

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
    // The edits are converted before anything changes, so a bad text leaves the window as it was.
    const bool completingDelay = delayTag != 0;
    const struct {
        const char* edit;
        int* value;
    } edits[] = {{"editStart", &runStart}, {"editAnzahl", &strtCount}, {"editZyklen", &strtCycles}};
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QString text = d_.view.text(QString::fromLatin1(edits[i].edit));
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
    d_.view.setText(QStringLiteral("editStart"), QString::number(values[0]));
    d_.view.setText(QStringLiteral("editAnzahl"), QString::number(values[1]));

    eval.FIDBaseDraw = false;
    eval.FPDBaseDraw = false;
    d_.view.repaintChartOverlay();
    d_.view.replotChart();
    d_.acquisition.MonitorOff();
    d_.view.setEnabled(QStringLiteral("btnStart"), false);
    d_.view.setEnabled(QStringLiteral("btnDelay"), false);
    d_.view.setEnabled(QStringLiteral("btnStop"), true);
    d_.acquisition.Sampling = false;
    for (int k = 1; k <= 3; ++k)
        d_.view.setLedOn(QStringLiteral("ledSmpOff%1").arg(k), false);
    setStatus(T(83));
    if (BitIsSet(d_.regs.LastDByte, 0))
        d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<D0\r"));
    d_.valves.ValveSet(17);

    runStart = runZelle = values[0];
    runCount = strtCount = values[1];
    offCount = 0;
    for (int p = runStart; p < runStart + strtCount; ++p) {
        if (p > 3)
            d_.valves.ValveSet(p);
        ++offCount;
    }
    runCycles = strtCycles = values[2];
    runMessungen = strtMessungen = strtCount * strtCycles;
    measurements.clear();
    if (!completingDelay) {
        runStartzeit = d_.clock.wallNow();
        runStartzeitMono = d_.clock.monotonicNow();
    }
    runLaufzeit = runStartzeit.time().msecsSinceStartOfDay() / 1000;
    d_.view.setText(QStringLiteral("lblStartrun"), T(94) + formatTimeOfDay(runStartzeit.time()));
    for (int k = 1; k <= 3; ++k)
        d_.view.setText(QStringLiteral("lblRunToBreak%1").arg(k), T(46));
    delayTag = 0;
    runTag = 1;
    runAktiv = 1;
}

void Sequencer::btnDelayClick() {
    const QString text = d_.view.text(QStringLiteral("editStartdelay"));
    const auto delay = parseDelay(text);
    if (!delay) {
        d_.dialogs.error(QStringLiteral("'%1' is not a valid time").arg(text));
        return;
    }
    d_.view.setEnabled(QStringLiteral("btnDelay"), false);
    d_.view.setEnabled(QStringLiteral("btnStart"), false);
    d_.view.setEnabled(QStringLiteral("btnStop"), true);
    runStartzeit = d_.clock.wallNow();
    runStartzeitMono = d_.clock.monotonicNow();
    delayStart = runStartzeitMono + *delay;
    runLaufzeit = -1;
    delayTag = 1;
    runTag = 0;
    setStatus(T(89));
}

void Sequencer::btnStopClick() {
    if (runTag > 0) {
        setStatus(T(104));
        runCycles = 0;
        runCount = 0;
        d_.view.setEnabled(QStringLiteral("btnStop"), false);
        return;
    }
    if (delayTag > 0) {
        delayTag = 0;
        endRun(T(105));
    }
}

void Sequencer::editStartdelayExit() {
    d_.settings.Startdelay = d_.view.text(QStringLiteral("editStartdelay"));
    if (!d_.ini.writeString(QStringLiteral("Preferences"), QStringLiteral("Startdelay"), d_.settings.Startdelay))
        d_.dialogs.error(d_.ini.lastError());
}

} // namespace korvat
