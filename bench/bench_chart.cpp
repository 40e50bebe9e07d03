// Chart repaint with an hour (36,000 points) and a day (864,000 points) of monitoring in the FID
// series, for the visible 300 s window and for the whole range. Goal: under 16 ms a repaint.

#include "bench/BenchMain.h"
#include "ui/MeasurementChart.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <cmath>

using namespace korvat;

namespace {

void fill(TForm1& form, int points) {
    QVector<double> x(points), y(points);
    for (int i = 0; i < points; ++i) {
        x[i] = i / 10.0;
        y[i] = 1500 + 3 * std::sin(i * 0.37) + (i % 600 < 30 ? 4000 * std::exp(-(i % 600) / 8.0) : 0);
    }
    form.setSeriesData(0, x, y);
}

void BM_ChartRepaint(benchmark::State& state) {
    TForm1 form;
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    form.show();
    const int points = static_cast<int>(state.range(0));
    fill(form, points);
    form.setLeftAxisRange(0, 10000);
    const bool whole = state.range(1) != 0;
    form.setBottomAxisMax(whole ? points / 10.0 : 300.0);
    if (!whole)
        form.chart()->xAxis->setRange(points / 10.0 - 300.0, points / 10.0); // the latest 300 s
    QApplication::processEvents();
    for (auto _ : state)
        form.chart()->replot(QCustomPlot::rpImmediateRefresh);
    state.SetLabel(whole ? "whole range" : "latest 300 s");
}
BENCHMARK(BM_ChartRepaint)
    ->Args({36000, 0})
    ->Args({36000, 1})
    ->Args({864000, 0})
    ->Args({864000, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
