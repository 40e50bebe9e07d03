#include "run/Acquisition.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "shell/FormView.h"
#include "util/NumberText.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAcquisition, "korvat.run.acquisition")

namespace korvat {

void Acquisition::drain(TDeviceTyp deviceTyp) {
    drainPort(1);
    if (deviceTyp == TDeviceTyp::FIDFPD)
        drainPort(2);
}

void Acquisition::clearSeries(int index) {
    (index == 0 ? Series1 : Series2).clear();
    view_.clearSeries(index);
}

void Acquisition::drainPort(int port) {
    LineQueue* queue = port == 1 ? link_.DataQueue1() : link_.DataQueue2();
    if (!queue || queue->empty())
        return;
    Series& series = port == 1 ? Series1 : Series2;
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
            const QString device = port == 1 ? link_.ComPort1().deviceName() : link_.ComPort2().deviceName();
            const QString text = QStringLiteral("%1: data line dropped: %2").arg(device, line);
            qCWarning(lcAcquisition).noquote() << text;
            link_.logLine(device, text);
            continue;
        }
        Sampling = sample->marker != ']';
        series.x.push_back(counter / 10.0);
        series.y.push_back(sample->value);
        ++counter;
        last = sample->value;
        any = true;
    }
    if (!any)
        return;
    view_.setText(port == 1 ? QStringLiteral("editFIDLevel") : QStringLiteral("editFPDLevel"),
                  formatFixed(last, 7, 0));
    const std::span<const double> x(series.x);
    const std::span<const double> y(series.y);
    view_.appendSeries(port - 1, x.subspan(first), y.subspan(first));
    view_.replotChart();
}

} // namespace korvat
