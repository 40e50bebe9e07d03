#include "run/Sequencer.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "link/StatusPoll.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "shell/FormView.h"
#include "shell/StringTable.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcRun, "korvat.run")

namespace korvat {

namespace {
// How much longer than the window state 6 waits for the converter to end its burst.
constexpr Millis kConverterGrace{30000};
} // namespace

Sequencer::Sequencer(Deps deps) : d_(deps) {
    evaluation_ = [](Sequencer& s) { s.recordMeasurement(); };
}

QString Sequencer::T(int n) const { return LoadLangText(d_.ID, n); }

void Sequencer::setStatus(const QString& text) { d_.view.setStatusText(text); }

int Sequencer::elapsedSeconds() const {
    return static_cast<int>((d_.clock.monotonicNow() - runStartCycle).count() / 1000);
}

QString Sequencer::phaseText(int entry) const {
    return T(entry) + QStringLiteral(": ") + T(101) + QLatin1Char(' ') + QString::number(cycleNumber()) +
           QLatin1Char(' ') + T(77) + QLatin1Char(' ') + QString::number(runZelle);
}

bool Sequencer::cellOff(int position) const {
    return position >= 4 && position <= 6 && d_.view.ledOn(QStringLiteral("ledSmpOff%1").arg(position - 3));
}

void Sequencer::refreshRunTime(bool withDelay) {
    const QTime wall = d_.clock.wallNow().time();
    const int second = wall.msecsSinceStartOfDay() / 1000;
    if (second == runLaufzeit)
        return;
    runLaufzeit = second;
    const Millis now = d_.clock.monotonicNow();
    d_.view.setText(QStringLiteral("lblRuntime"), formatDuration((now - runStartzeitMono).count()));
    if (!withDelay)
        return;
    d_.view.setText(QStringLiteral("lblDelay"), formatDuration((delayStart - now).count()));
    if (now >= delayStart)
        btnStartClick();
}

void Sequencer::tickStages() {
    if (delayTag == 1)
        refreshRunTime(true);
    if (runTag > 0 && delayTag == 0) {
        refreshRunTime(false);
        stepState();
    }
}

void Sequencer::stepState() {
    switch (runTag) {
    case 1: return state1();
    case 2: return state2();
    case 13: return state13();
    case 3: return state3();
    case 4: return state4();
    case 5: return state5();
    case 6: return state6();
    case 7: return state7();
    default: return;
    }
}

void Sequencer::state1() {
    const Settings& s = d_.settings;
    runStartCycle = d_.clock.monotonicNow();
    setStatus(phaseText(103));
    bool skipped = false;
    switch (runZelle) {
    case 1:
        d_.valves.ValveSet(11);
        sChemikalie = QStringLiteral("Zerogas");
        break;
    case 2:
    case 3:
        d_.valves.ValveSet(runZelle + 10);
        d_.valves.ValveSet(runZelle);
        sChemikalie = QStringLiteral("Refgas");
        break;
    default: {
        const int k = runZelle - 3;
        if (cellOff(runZelle)) {
            skipped = true;
            break;
        }
        d_.valves.ValveSet(runZelle + 10);
        d_.valves.ValveSet(runZelle);
        const double fid[] = {s.FIDFactor1, s.FIDFactor2, s.FIDFactor3};
        const double fpd[] = {s.FPDFactor1, s.FPDFactor2, s.FPDFactor3};
        FIDSampleFactor = fid[k - 1];
        FPDFactor = fpd[k - 1];
        sChemikalie = d_.view.editLabel(QStringLiteral("lblEditFact%1").arg(k));
        break;
    }
    }
    if (runZelle <= 3) {
        FIDSampleFactor = s.FIDCalFactor;
        FPDFactor = s.FPDCalFactor;
    }
    d_.view.setText(QStringLiteral("lblFIDInfo"), sChemikalie);
    if (skipped) {
        runTag = 7;
        return;
    }
    d_.valves.DispSet(runZelle + 10);
    runTag = 2;
}

void Sequencer::state2() {
    if (elapsedSeconds() <= d_.settings.SampleTime)
        return;
    SerialLine& port = d_.link.ComPort1();
    d_.link.SendCommand(port, QStringLiteral("<D1\r"));
    d_.view.setLedOn(QStringLiteral("ledLoop"), true);
    ClearBit(d_.regs.DispByte, 3);
    d_.link.SendCommand(port, QStringLiteral("<LS%1\r").arg(hex2(d_.regs.DispByte)));
    setStatus(phaseText(102));
    runTag = 13;
}

void Sequencer::state13() {
    if (elapsedSeconds() <= d_.settings.SampleTime + d_.settings.InjectionTime)
        return;
    d_.acquisition.runZeit = 0;
    d_.acquisition.runZeit2 = 0;
    d_.valves.ValveReset(runZelle + 10);
    // A sample cell keeps its bank-2 valve open: the cell stays flushed between measurements.
    if (runZelle == 2 || runZelle == 3)
        d_.valves.ValveReset(runZelle);
    runTag = 3;
}

void Sequencer::state3() {
    if (elapsedSeconds() <= d_.settings.SampleTime + d_.settings.InjectionTime)
        return;
    if (LineQueue* q = d_.link.DataQueue1())
        q->clear();
    d_.view.setText(QStringLiteral("lblStartrun"),
                    QStringLiteral("Start um ") + formatTimeOfDay(runStartzeit.time()));
    setStatus(T(100) + QStringLiteral(": ") + QString::number(measurementNumber()) + QLatin1Char(' ') + T(101) +
              QLatin1Char(' ') + QString::number(cycleNumber()) + QLatin1Char(' ') + T(77) + QLatin1Char(' ') +
              QString::number(runZelle));
    SerialLine& port1 = d_.link.ComPort1();
    d_.link.SendCommand(port1, QStringLiteral("<D0\r"));
    d_.view.setLedOn(QStringLiteral("ledLoop"), false);
    SetBit(d_.regs.DispByte, 3);
    d_.link.SendCommand(port1, QStringLiteral("<LS%1\r").arg(hex2(d_.regs.DispByte)));
    eval.FIDBaseDraw = false;
    eval.FPDBaseDraw = false;
    d_.view.repaintChartOverlay();
    d_.acquisition.clearSeries(0);
    d_.acquisition.clearSeries(1);
    d_.acquisition.Serie3.clear();
    d_.acquisition.Serie4.clear();
    const QString start[] = {QStringLiteral("<12B1100\r"), QStringLiteral("<12W1100\r"),
                             QStringLiteral("<12Z1100\r")};
    for (const QString& c : start)
        d_.link.SendCommand(port1, c);
    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        if (LineQueue* q = d_.link.DataQueue2())
            q->clear();
        for (const QString& c : start)
            d_.link.SendCommand(d_.link.ComPort2(), c);
    }
    d_.view.replotChart();
    runTag = 4;
}

void Sequencer::state4() {
    const Settings& s = d_.settings;
    if (elapsedSeconds() <= s.SampleTime + s.InjectionTime + 1)
        return;
    runNextZelle = runMessungen > 1 ? runZelle + 1 : 0;
    while (runNextZelle > 0) {
        if (runNextZelle >= runStart + strtCount)
            runNextZelle = runStart;
        switch (runNextZelle) {
        case 1:
            d_.valves.ValveSet(11);
            break;
        case 2:
        case 3:
            d_.valves.ValveSet(runNextZelle + 10);
            d_.valves.ValveSet(runNextZelle);
            break;
        case 4:
        case 5:
            if (cellOff(runNextZelle)) {
                ++runNextZelle;
                continue;
            }
            d_.valves.ValveSet(runNextZelle + 10);
            d_.valves.ValveSet(runNextZelle);
            Flow = runNextZelle == 4 ? s.SampleFlow1 : s.SampleFlow2;
            break;
        case 6:
            // A switched-off cell 3 ends the search without wrapping.
            if (!cellOff(6)) {
                d_.valves.ValveSet(16);
                d_.valves.ValveSet(6);
                Flow = s.SampleFlow3;
            }
            break;
        default:
            break;
        }
        runNextZelle = 0;
    }
    runTag = 5;
}

void Sequencer::state5() {
    const Settings& s = d_.settings;
    if (elapsedSeconds() <= s.SampleTime + s.InjectionTime + s.Messzeit)
        return;
    d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<12Z0100\r"));
    if (d_.deviceTyp == TDeviceTyp::FIDFPD)
        d_.link.SendCommand(d_.link.ComPort2(), QStringLiteral("<12Z0100\r"));
    state6Since_ = d_.clock.monotonicNow();
    runTag = 6;
}

void Sequencer::state6() {
    if (!(d_.poll.intAD1Status == 118 && d_.acquisition.Sampling)) {
        runTag = 7;
        return;
    }
    // The converter has not ended its burst long after the window: say so, ask it again to stop,
    // and evaluate what arrived.
    const Millis limit = Millis(d_.settings.Messzeit * 1000) + kConverterGrace;
    if (d_.clock.monotonicNow() - state6Since_ <= limit)
        return;
    const QString text = QStringLiteral("%1: converter did not end its burst; measurement %2 evaluated as it is")
                             .arg(d_.link.ComPort1().deviceName())
                             .arg(runAktiv);
    qCWarning(lcRun).noquote() << text;
    d_.link.logLine(d_.link.ComPort1().deviceName(), text);
    setStatus(text);
    d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<12Z0100\r"));
    if (d_.deviceTyp == TDeviceTyp::FIDFPD)
        d_.link.SendCommand(d_.link.ComPort2(), QStringLiteral("<12Z0100\r"));
    runTag = 7;
}

void Sequencer::state7() {
    if (evaluation_)
        evaluation_(*this);
    ++runAktiv;
    d_.valves.DispReset(runZelle + 10);
    --runMessungen;
    --runCount;
    if (runCount > 0 && offCount > 0) {
        ++runZelle;
        runTag = 1;
        return;
    }
    --runCycles;
    runCount = strtCount;
    if (runCycles > 0 && offCount > 0) {
        runZelle = runStart;
        runTag = 1;
        return;
    }
    endRun(T(105));
}

void Sequencer::endRun(const QString& status) {
    setStatus(status);
    d_.view.setEnabled(QStringLiteral("btnDelay"), true);
    d_.view.setEnabled(QStringLiteral("btnStart"), true);
    d_.view.setEnabled(QStringLiteral("btnStop"), false);
    SerialLine& port = d_.link.ComPort1();
    d_.link.SendCommand(port, QStringLiteral("<V1SFF\r"));
    d_.regs.V1Byte = 0xFF;
    d_.link.SendCommand(port, QStringLiteral("<V2SFF\r"));
    d_.regs.V2Byte = 0xFF;
    runTag = 0;
}

void Sequencer::abortRun(const QString& reason) {
    const bool active = runTag > 0 || delayTag > 0;
    qCCritical(lcRun).noquote() << "run stopped:" << reason;
    d_.link.logLine(d_.link.ComPort1().deviceName(), reason);
    if (!active) {
        setStatus(reason);
        return;
    }
    delayTag = 0;
    if (runTag >= 3 && runTag <= 6) {
        d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<12Z0100\r"));
        if (d_.deviceTyp == TDeviceTyp::FIDFPD)
            d_.link.SendCommand(d_.link.ComPort2(), QStringLiteral("<12Z0100\r"));
    }
    endRun(T(105) + QStringLiteral(": ") + reason);
}

void Sequencer::recordMeasurement() {
    MeasurementRecord r;
    r.runAktiv = runAktiv;
    r.runZelle = runZelle;
    r.cycle = cycleNumber();
    r.skipped = cellOff(runZelle);
    r.at = d_.clock.wallNow();
    r.fidPoints = d_.acquisition.Series1.size();
    r.fpdPoints = d_.acquisition.Series2.size();
    measurements.push_back(r);

    if (d_.sDateiname.isEmpty() || !d_.settings.RawDataSave)
        return;
    const QByteArray content =
        rawDataContent(d_.deviceTyp, d_.acquisition.Series1, d_.acquisition.Series2, peakValuesOf(eval));
    if (!rawData_.write(rawDataFileName(d_.sDateiname, runAktiv), content)) {
        qCWarning(lcRun).noquote() << rawData_.error();
        d_.link.logLine(d_.link.ComPort1().deviceName(), rawData_.error());
        setStatus(rawData_.error());
    }
}

} // namespace korvat
