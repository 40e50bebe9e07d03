#pragma once
// Detector samples: the tick drains both data queues into the signal series, keeps the burst flag
// and shows the latest value of each channel. The series are the run's own data; the chart only
// mirrors them, and the evaluation reads them from here.

#include "shell/Config.h"

#include <vector>

namespace korvat {

class FormView;
class Link;

struct Series {
    std::vector<double> x, y;
    void clear() {
        x.clear();
        y.clear();
    }
    std::size_t size() const { return y.size(); }
};

class Acquisition {
public:
    Acquisition(Link& link, FormView& view) : link_(link), view_(view) {}

    // Stage 2 of the tick: port 1 always, port 2 in the two-detector configuration.
    void drain(TDeviceTyp deviceTyp);
    // Empties a signal series (0 = Series1, 1 = Series2) and its curve on the chart.
    void clearSeries(int index);

    Series Series1; // FID, port 1
    Series Series2; // FPD, port 2
    Series Serie3;  // slope of Series1 (evaluation)
    Series Serie4;
    int runZeit = 0;  // points appended to Series1 since the last reset
    int runZeit2 = 0; // points appended to Series2
    bool Sampling = false; // a converter burst is open

private:
    void drainPort(int port);

    Link& link_;
    FormView& view_;
};

} // namespace korvat
