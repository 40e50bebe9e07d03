// The permeation view with three cells of 1,000 measurements each on both detectors (six rate
// curves, their cumulative curves and the figures' table): a whole repaint of the chart, on the
// linear and the logarithmic rate axis, and what one new measurement costs the view (figures
// compared, the changed curve and row updated, the chart repainted once). Goal: well under 16 ms
// each, so a measurement never holds up the 90 ms tick and zooming stays smooth. Every timed
// repaint is checked to have drawn the curves and reached the screen, and the view to hold all
// six curves with their 1,000 points.

#include "bench/BenchMain.h"
#include "bench/ChartProbe.h"
#include "ui/PermeationView.h"

#include <QApplication>
#include <QCheckBox>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

using namespace korvat;

namespace {

constexpr int kMeasurements = 1000;
constexpr double kMinutesApart = 0.5;

// An S-shaped rise to a steady state, breaking through later for each cell; the FPD sees a tenth.
std::vector<CellSummary> summaries(int measurements) {
    std::vector<CellSummary> out;
    for (int cell = 1; cell <= 3; ++cell) {
        for (Detector detector : {Detector::FID, Detector::FPD}) {
            CellSummary s;
            s.cell = cell;
            s.detector = detector;
            s.sampleName = QStringLiteral("Sample %1").arg(cell);
            const double steady = (detector == Detector::FID ? 40.0 : 4.0) / cell;
            const double lag = 60.0 * cell;
            for (int i = 1; i <= measurements; ++i) {
                const double t = i * kMinutesApart;
                const double rate = steady / (1 + std::exp(-(t - lag) / 15.0)) + 0.002 * std::sin(i * 0.7);
                s.series.push_back({t, std::max(0.0, rate)});
            }
            s.metrics = cellMetrics(s.series, DetectionLimit{0.005}, 0, 480);
            out.push_back(std::move(s));
        }
    }
    return out;
}

struct ViewSetup {
    explicit ViewSetup(bool logarithmic) {
        view.showSummaries(summaries(kMeasurements));
        view.setLogarithmic(logarithmic);
        view.setCumulativeShown(true);
        view.show();
        settle();
        if (QCPGraph* first = view.rateGraph(1, Detector::FID))
            probe = std::make_unique<bench::ChartProbe>(first);
    }

    static void settle() {
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }

    // All six curves with every measurement (one more when a new one came in; on the logarithmic
    // axis only those above rate 0, which are most).
    bool holdsEveryCurve() const {
        for (int cell = 1; cell <= 3; ++cell) {
            for (Detector d : {Detector::FID, Detector::FPD}) {
                const QCPGraph* rate = view.rateGraph(cell, d);
                const QCPGraph* cumulative = view.cumulativeGraph(cell, d);
                if (!rate || rate->data()->size() < kMeasurements * 9 / 10 || rate->data()->size() > kMeasurements + 1)
                    return false;
                if (!cumulative || cumulative->data()->size() < kMeasurements ||
                    cumulative->data()->size() > kMeasurements + 1)
                    return false;
            }
        }
        return probe && view.table()->rowCount() == 6;
    }

    PermeationView view;
    std::unique_ptr<bench::ChartProbe> probe;
};

bool checkDrawn(benchmark::State& state, const ViewSetup& setup, long draws, long paints) {
    if (setup.probe->draws() - draws != state.iterations()) {
        state.SkipWithError("a timed repaint did not draw the curves");
        return false;
    }
    if (setup.probe->paints() - paints < state.iterations()) {
        state.SkipWithError("a timed repaint did not reach the screen");
        return false;
    }
    return true;
}

// The whole chart drawn again, as zooming, dragging or a resize asks for it.
void BM_PermeationViewRepaint(benchmark::State& state) {
    const bool log = state.range(0) != 0;
    ViewSetup setup(log);
    if (!setup.holdsEveryCurve()) {
        state.SkipWithError("the view does not hold the six curves");
        return;
    }
    const long draws = setup.probe->draws();
    const long paints = setup.probe->paints();
    for (auto _ : state)
        setup.view.plot()->replot(QCustomPlot::rpImmediateRefresh);
    if (checkDrawn(state, setup, draws, paints))
        state.SetLabel(log ? "logarithmic rate axis" : "linear rate axis");
}
BENCHMARK(BM_PermeationViewRepaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A measurement of cell 3 comes in (and, to time the same work every time, goes again): the
// figures are compared, cell 3's curves, diamonds and row change, and the chart is repainted once.
void BM_PermeationViewNewMeasurement(benchmark::State& state) {
    ViewSetup setup(false);
    if (!setup.holdsEveryCurve()) {
        state.SkipWithError("the view does not hold the six curves");
        return;
    }
    const std::vector<CellSummary> before = summaries(kMeasurements);
    std::vector<CellSummary> after = before;
    for (CellSummary& s : after) {
        if (s.cell == 3) {
            s.series.push_back({(kMeasurements + 1) * kMinutesApart, s.series.back().rate * 1.01});
            s.metrics = cellMetrics(s.series, DetectionLimit{0.005}, 0, 480);
        }
    }
    const long draws = setup.probe->draws();
    const long paints = setup.probe->paints();
    bool next = true;
    for (auto _ : state) {
        setup.view.showSummaries(next ? after : before);
        next = !next;
        ViewSetup::settle();
    }
    if (!setup.holdsEveryCurve()) {
        state.SkipWithError("the view does not hold the six curves");
        return;
    }
    checkDrawn(state, setup, draws, paints);
}
BENCHMARK(BM_PermeationViewNewMeasurement)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return bench::runBenchmarks(argc, argv, bench::Needs::Widgets); }
