#pragma once
// Detector samples: the tick drains both data queues into the signal series, keeps the burst flag
// and shows the latest value of each channel. The series are the run's own data; the chart only
// mirrors them, and the evaluation reads them from here.

#include "evaluation/Series.h"
#include "shell/Config.h"

#include <array>
#include <vector>

namespace korvat {

class Link;
class RunView;

class Acquisition {
public:
    struct Deps {
        Link& link;
        RunView& view;
        const Settings& settings;
        const int& ID;
        const TDeviceTyp& deviceTyp;
    };
    explicit Acquisition(Deps deps) : d_(deps) {}

    // Stage 2 of the tick: port 1 always, port 2 in the two-detector configuration.
    void drain(TDeviceTyp deviceTyp);
    // Empties a signal series (0 = Series1, 1 = Series2) and its curve on the chart.
    void clearSeries(int index);

    // Monitoring: both converters stream outside a run and the chart follows the newest sample.
    void btnMonitorClick();
    void MonitorOn();
    void MonitorOff();
    bool monitoring() const { return btnMonitorTag == 57; }
    // 55: not monitoring, the button offers to start; 57: monitoring.
    int btnMonitorTag = 55;

    // The signal of the measurement under way (empty while monitoring: the chart alone keeps that).
    Series Series1; // FID, port 1
    Series Series2; // FPD, port 2
    Series Serie3;  // slope of Series1 (evaluation)
    Series Serie4;
    int runZeit = 0;  // points appended to Series1 since the last reset
    int runZeit2 = 0; // points appended to Series2
    // A converter burst is open: one of the two converters has sent a line of its burst and not
    // yet the "]" that ends it. Each converter ends its own burst, in whatever order.
    bool Sampling = false;
    // Data lines dropped as garbled since the series was last cleared (port 1, port 2).
    std::array<int, 2> droppedLines{};

private:
    void drainPort(int port);

    // Whether each converter's (port 1, port 2) last line was inside its burst.
    std::array<bool, 2> burstOpen_{};
    // The samples of one drain while monitoring, on their way to the chart.
    Series monitorBatch_;

    Deps d_;
};

} // namespace korvat
