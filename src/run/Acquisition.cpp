#include "run/Acquisition.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "run/RunView.h"
#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAcquisition, "korvat.run.acquisition")

namespace korvat {

namespace {
// Monitoring shows the latest five minutes.
constexpr double kMonitorWidth = 300;
} // namespace

void Acquisition::drain(TDeviceTyp deviceTyp) {
    drainPort(1);
    if (deviceTyp == TDeviceTyp::FIDFPD)
        drainPort(2);
}

void Acquisition::clearSeries(int index) {
    (index == 0 ? Series1 : Series2).clear();
    droppedLines[index == 0 ? 0 : 1] = 0;
    // A new window: what the converter's last burst left open is no part of it.
    burstOpen_[index == 0 ? 0 : 1] = false;
    d_.view.seriesCleared(index);
}

void Acquisition::drainPort(int port) {
    LineQueue* queue = port == 1 ? d_.link.DataQueue1() : d_.link.DataQueue2();
    if (!queue || queue->empty())
        return;
    // While monitoring nothing evaluates the signal: the chart keeps it (compactly, for days), and
    // the samples pass through here only on their way to it.
    const bool passOn = monitoring();
    Series& series = passOn ? monitorBatch_ : port == 1 ? Series1 : Series2;
    if (passOn)
        series.clear();
    int& counter = port == 1 ? runZeit : runZeit2;
    const std::size_t first = series.size();
    int last = 0;
    bool any = false;
    while (!queue->empty()) {
        const QString line = std::move(queue->front());
        queue->pop_front();
        const auto sample = decodeDataLine(line);
        if (!sample) {
            // A garbled data line is reported and dropped; the window goes on without it.
            const QString device = port == 1 ? d_.link.ComPort1().deviceName() : d_.link.ComPort2().deviceName();
            const QString text = QStringLiteral("%1: data line dropped: %2").arg(device, line);
            qCWarning(lcAcquisition).noquote() << text;
            d_.link.logLine(device, text);
            ++droppedLines[port - 1];
            continue;
        }
        // The wait for the end of the burst must last until both converters have ended theirs:
        // the first "]" alone would let the evaluation run while the other converter still
        // sends lines of the window.
        burstOpen_[port - 1] = sample->marker != ']';
        Sampling = burstOpen_[0] || burstOpen_[1];
        series.x.push_back(counter / 10.0);
        series.y.push_back(sample->value);
        ++counter;
        last = sample->value;
        any = true;
    }
    if (!any)
        return;
    d_.view.levelShown(port == 1 ? Detector::FID : Detector::FPD, formatFixed(last, 7, 0));
    const std::span<const double> x(series.x);
    const std::span<const double> y(series.y);
    d_.view.seriesAppended(port - 1, x.subspan(first), y.subspan(first));
    d_.view.curvesChanged();
}

void Acquisition::btnMonitorClick() {
    if (btnMonitorTag == 55)
        MonitorOn();
    else
        MonitorOff();
}

void Acquisition::MonitorOn() {
    btnMonitorTag = 57;
    d_.view.monitorShown(LoadLangText(d_.ID, 57));
    runZeit = 0;
    runZeit2 = 0;
    d_.view.timeAxisShown(kMonitorWidth);
    d_.view.followNewestShown(true);
    clearSeries(0);
    if (LineQueue* q = d_.link.DataQueue1())
        q->clear();
    for (const QString& c : kStartBurst)
        d_.link.SendCommand(d_.link.ComPort1(), c);
    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        clearSeries(1);
        if (LineQueue* q = d_.link.DataQueue2())
            q->clear();
        for (const QString& c : kStartBurst)
            d_.link.SendCommand(d_.link.ComPort2(), c);
    }
    d_.view.curvesChanged();
}

void Acquisition::MonitorOff() {
    btnMonitorTag = 55;
    d_.view.monitorShown(LoadLangText(d_.ID, 55));
    runZeit = 0;
    // A run's window starts at 0 again, wherever monitoring had moved the view.
    d_.view.followNewestShown(false);
    d_.view.timeAxisShown(d_.settings.Messzeit);
    d_.link.SendCommand(d_.link.ComPort1(), kStopBurst);
    clearSeries(0);
    if (LineQueue* q = d_.link.DataQueue1())
        q->clear();
    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        d_.link.SendCommand(d_.link.ComPort2(), kStopBurst);
        clearSeries(1);
        if (LineQueue* q = d_.link.DataQueue2())
            q->clear();
    }
    d_.view.curvesChanged();
}

} // namespace korvat
