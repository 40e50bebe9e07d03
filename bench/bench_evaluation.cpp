// The evaluation step at the end of a measurement: slope series, FID search with refinement and
// area, FPD search. It runs inside one 90 ms tick, so even an hour-long window (36,000 points)
// must stay far below that.

#include "bench/BenchMain.h"
#include "evaluation/PeakSearch.h"
#include "tests/evaluation/SyntheticPeak.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

using namespace korvat;

namespace {

// One evaluation as the run's evaluation step performs it.
EvaluationState evaluate(const Series& signal, Series& serie3, const DetectionSettings& settings,
                         EvaluationState st) {
    serie3.clear();
    AddSlopePoints(signal, serie3);
    st.FIDBaseDraw = false;
    PeakAndArea(st, TDeviceTyp::FID, signal, serie3, settings);
    SearchFPDPeak(st, signal, settings);
    return st;
}

void BM_Evaluation(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const Series signal = test::InjectionPeak{}.make(points);
    const DetectionSettings settings;
    Series serie3;

    // A fast search that misses the peak would be worth nothing: check the figures first.
    const EvaluationState once = evaluate(signal, serie3, settings, {});
    const double truth = test::InjectionPeak{}.areaInSamples();
    if (once.NoPeak || std::abs(once.FIDArea - truth) > 0.03 * truth ||
        std::abs(once.FPDArea - truth) > 0.03 * truth) {
        state.SkipWithError("the injection peak was not found with its area");
        return;
    }

    EvaluationState st;
    for (auto _ : state) {
        st = evaluate(signal, serie3, settings, st);
        benchmark::DoNotOptimize(st);
    }
    state.SetItemsProcessed(state.iterations() * points);
}
BENCHMARK(BM_Evaluation)->Arg(600)->Arg(36000)->Unit(benchmark::kMicrosecond);

// The slope series alone: five-point regressions over the whole window.
void BM_SlopeSeries(benchmark::State& state) {
    const Series signal = test::InjectionPeak{}.make(static_cast<int>(state.range(0)));
    Series serie3;
    for (auto _ : state) {
        serie3.clear();
        AddSlopePoints(signal, serie3);
        benchmark::DoNotOptimize(serie3.y.data());
    }
    // One slope from each signal index on the fifth, the steepest on the peak's rise.
    const auto steepest = std::max_element(serie3.y.begin(), serie3.y.end());
    if (serie3.size() != signal.size() - 4 || steepest == serie3.y.end() || !(*steepest > 0)) {
        state.SkipWithError("the slope series is not one point per signal index");
        return;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SlopeSeries)->Arg(600)->Arg(36000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
