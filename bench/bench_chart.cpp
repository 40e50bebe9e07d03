// Chart repaint with an hour (36,000 points), a day (864,000), a week and thirty days of monitoring in both
// series (FID and FPD), the view following the newest sample with the latest 300 s or the whole
// range in sight, through the window's own path: a tick's new sample is appended to both series,
// the view moves on and the chart's curves are repainted (their layer alone); a change of the axes
// repaints everything. Goal: under 16 ms a repaint. The chart repaints new samples at most once
// per MeasurementChart::kCurvesRepaintInterval; its repaint clock is a manual one here, moved on
// by that interval before each tick's samples, so every timed tick is one repaint. Every timed
// repaint is checked to have drawn the curves and reached the screen, and the picture to show
// both series.

#include "bench/BenchMain.h"
#include "bench/ChartProbe.h"
#include "ui/MeasurementChart.h"
#include "ui/TForm1.h"
#include "util/Clock.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace korvat;

namespace {

constexpr double kSamplesPerSecond = 10.0;

// FID around 1500 with an injection peak every minute, FPD around 300 with a smaller one.
double fidAt(long i) {
    return 1500 + 3 * std::sin(i * 0.37) + (i % 600 < 30 ? 4000 * std::exp(-(i % 600) / 8.0) : 0);
}
double fpdAt(long i) {
    return 300 + 2 * std::cos(i * 0.41) + (i % 600 < 30 ? 1500 * std::exp(-(i % 600) / 6.0) : 0);
}

// A monitoring session of `points` samples in both series, the view following the newest sample
// with the latest 300 s or the whole session in sight, everything drawn once.
struct ChartSetup {
    explicit ChartSetup(long points, bool whole) : next(points) {
        form.chart()->setRepaintClock(clock);
        form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
        form.show();
        form.setLeftAxisRange(0, 10000);
        form.setChartFollowsNewest(true);
        form.setBottomAxisMax(whole ? points / kSamplesPerSecond : 300.0);
        std::vector<double> x(points), fid(points), fpd(points);
        for (long i = 0; i < points; ++i) {
            x[i] = i / kSamplesPerSecond;
            fid[i] = fidAt(i);
            fpd[i] = fpdAt(i);
        }
        form.appendSeries(0, x, fid);
        form.appendSeries(1, x, fpd);
        form.replotChart();
        QApplication::processEvents();
        QApplication::sendPostedEvents();
    }

    // One tick's new sample in both series, as monitoring appends it, and the repaint it asks for.
    void appendTick() {
        const double x[] = {next / kSamplesPerSecond};
        const double fid[] = {fidAt(next)};
        const double fpd[] = {fpdAt(next)};
        ++next;
        clock.advance(MeasurementChart::kCurvesRepaintInterval);
        form.appendSeries(0, x, fid);
        form.appendSeries(1, x, fpd);
        form.replotChart();
    }

    // The two curves are in the picture (both colours of the series).
    bool showsBothSeries() const {
        const QImage image = form.chart()->toPixmap().toImage();
        bool red = false, green = false;
        for (int y = 0; y < image.height() && !(red && green); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                red = red || p == qRgb(255, 0, 0);
                green = green || p == qRgb(0, 255, 0);
            }
        return red && green;
    }

    ManualClock clock;
    TForm1 form;
    bench::ChartProbe probe{form.chart()->series(0)};
    long next;
};

// The repaint the event loop runs next, and the paint event that puts it on the screen (posted
// by the repaint, so delivered after it).
void runRepaint() {
    QApplication::processEvents();
    QApplication::sendPostedEvents();
}

void check(benchmark::State& state, const ChartSetup& chart, long drawsBefore, long paintsBefore) {
    if (chart.probe.draws() - drawsBefore != state.iterations()) {
        state.SkipWithError("a timed repaint did not draw the curves");
        return;
    }
    if (chart.probe.paints() - paintsBefore < state.iterations()) {
        state.SkipWithError("a timed repaint did not reach the screen");
        return;
    }
    if (!chart.showsBothSeries())
        state.SkipWithError("the chart does not show both series");
}

// New samples: the curves' layer alone is repainted.
void BM_ChartNewSamples(benchmark::State& state) {
    const bool whole = state.range(1) != 0;
    ChartSetup chart(state.range(0), whole);
    const long draws = chart.probe.draws();
    const long paints = chart.probe.paints();
    for (auto _ : state) {
        chart.appendTick();
        runRepaint();
    }
    if (std::abs(chart.form.chart()->xAxis->range().upper - (chart.next - 1) / kSamplesPerSecond) > 1e-6) {
        state.SkipWithError("the view did not follow the newest sample");
        return;
    }
    check(state, chart, draws, paints);
    state.SetLabel(whole ? "whole range" : "latest 300 s");
}

// Axes changed: the whole chart is repainted.
void BM_ChartAxisChange(benchmark::State& state) {
    const bool whole = state.range(1) != 0;
    ChartSetup chart(state.range(0), whole);
    const double width = whole ? state.range(0) / kSamplesPerSecond : 300.0;
    const long draws = chart.probe.draws();
    const long paints = chart.probe.paints();
    int k = 0;
    for (auto _ : state) {
        chart.form.setBottomAxisMax(width + (++k % 2)); // a new scale each time
        runRepaint();
    }
    check(state, chart, draws, paints);
    state.SetLabel(whole ? "whole range" : "latest 300 s");
}

void chartArgs(benchmark::internal::Benchmark* b) {
    // An hour, a day, a week and thirty days of monitoring.
    b->Args({36000, 0})->Args({36000, 1})->Args({864000, 0})->Args({864000, 1});
    b->Args({6048000, 0})->Args({6048000, 1})->Args({25920000, 0})->Args({25920000, 1});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_ChartNewSamples)->Apply(chartArgs);
BENCHMARK(BM_ChartAxisChange)->Apply(chartArgs);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
