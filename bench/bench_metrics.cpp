// The lab's figures of every cell, made again after every measurement (summarizeCells): three
// cells and the zero gas measured 1,000 times each with both detectors, a long test. It runs in
// the 90 ms tick after each measurement, and the window and the summary file wait for it; the
// budget is well under a millisecond per recomputation.

#include "bench/BenchMain.h"
#include "evaluation/CellSummary.h"
#include "evaluation/GroupSummary.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

using namespace korvat;

namespace {

constexpr int kMeasurements = 1000; // per position
constexpr int kMeasuringSeconds = 60;
constexpr double kCycleSeconds = 4 * 120.0; // zero gas and three cells, two minutes each

// A breakthrough curve that levels off: nothing, an S-shaped rise, then a steady rate with a
// little noise, as the permeation of a membrane gives it.
double rateAt(int cell, double minutes, int k) {
    const double lag = 30.0 * cell;       // minutes
    const double steady = 2.0 * cell + 1; // ug/cm²/min
    const double x = (minutes - lag) / (10.0 * cell);
    const double noise = 0.004 * std::sin(0.7 * k + cell); // within the ±5 % of the steady state
    return x <= 0 ? 0.0 : steady * (1 - std::exp(-x * x)) * (1 + noise);
}

std::vector<ResultRow> runRows() {
    std::vector<ResultRow> rows;
    int number = 1;
    for (int k = 0; k < kMeasurements; ++k) {
        for (int position = 1; position <= 4; ++position) {
            ResultRow r;
            r.runZelle = position == 1 ? 1 : position + 2;
            r.runAktiv = number++;
            r.elapsedMs = static_cast<qint64>((k * kCycleSeconds + position * 120.0) * 1000);
            r.Flow = position == 1 ? 200 : 100;
            const double minutes = sampleMinutes(r.elapsedMs, kMeasuringSeconds);
            // The zero gas: blanks that scatter by a few thousandths, as the file records them.
            const double rate = position == 1 ? 0.004 * (1 + std::sin(1.3 * k)) : rateAt(position - 1, minutes, k);
            r.FIDMessMenge = rate;
            r.FIDArea = rate * 3.6e5;
            r.FPDMessMenge = rate / 4;
            r.FPDArea = rate * 900;
            rows.push_back(r);
        }
    }
    return rows;
}

// The figures must be the right ones, or their speed is worth nothing.
bool plausible(const std::vector<CellSummary>& summaries) {
    if (summaries.size() != 6)
        return false;
    for (const CellSummary& s : summaries) {
        const CellMetrics& m = s.metrics;
        if (m.measurements != kMeasurements || !m.bt01.interpolated || !m.steady || !m.detectionLimit)
            return false;
        // The steady state's window is the last third of the test: a third of the measurements.
        if (m.steady->measurements < kMeasurements / 4)
            return false;
        const double steady = (2.0 * s.cell + 1) / (s.detector == Detector::FID ? 1 : 4);
        if (std::abs(m.steady->rate - steady) > 0.01 * steady)
            return false;
        // Beyond the lag the rate is about steady: the cumulative lies close to steady × time.
        if (std::abs(m.cumulative - steady * (m.testMinutes - 30.0 * s.cell)) > 0.05 * steady * m.testMinutes)
            return false;
    }
    return true;
}

void BM_SummarizeCells(benchmark::State& state) {
    const std::vector<ResultRow> rows = runRows();
    std::vector<const ResultRow*> pointers;
    for (const ResultRow& r : rows)
        pointers.push_back(&r);
    RunParameters parameters;
    parameters.measuringSeconds = kMeasuringSeconds;
    parameters.fidCalArea = parameters.fpdCalArea = 100000; // calibrated
    parameters.sampleArea = 19.6;
    if (!plausible(summarizeCells(pointers, parameters, true, DetectionSettings{}))) {
        state.SkipWithError("the figures of the cells are not the expected ones");
        return;
    }
    for (auto _ : state) {
        auto summaries = summarizeCells(pointers, parameters, true, DetectionSettings{});
        benchmark::DoNotOptimize(summaries);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(rows.size()));
    state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_SummarizeCells)->Unit(benchmark::kMicrosecond);

// Every figure of a group of three specimens (one material, three thicknesses): the cells'
// figures through a calibration curve of two levels with their uncertainties, the time-lag fit of
// each and the decision against a requirement, then the group's statistics. The budget is 1 ms.
void BM_GroupFigures(benchmark::State& state) {
    const std::vector<ResultRow> rows = runRows();
    std::vector<const ResultRow*> pointers;
    for (const ResultRow& r : rows)
        pointers.push_back(&r);
    RunParameters parameters;
    parameters.measuringSeconds = kMeasuringSeconds;
    parameters.fidCalArea = parameters.fpdCalArea = 100000;
    parameters.fidCalPpm = parameters.fpdCalPpm = 100;
    parameters.sampleArea = 19.6;
    for (int k = 0; k < 3; ++k)
        parameters.cells[static_cast<std::size_t>(k)].specimen =
            Specimen{QStringLiteral("Nitrile"), QStringLiteral("L1"), 0.3 + 0.05 * k, std::nullopt};
    for (Detector d : {Detector::FID, Detector::FPD}) {
        std::vector<CalibrationPoint> points(2);
        points[0].ppm = 100;
        points[0].area = 100000;
        points[1].ppm = 5;
        points[1].area = 4400;
        parameters.calibration(d).curve = fitCalibrationCurve(d, points, 0.01);
        parameters.calibration(d).repeatability = Repeatability{0.01, 9};
    }
    parameters.requirement = *requirementFromToken(QStringLiteral("level >= 2"));
    auto figures = [&] {
        std::vector<CellSummary> cells = summarizeCells(pointers, parameters, true, DetectionSettings{});
        std::vector<GroupSummary> groups = summarizeGroups(cells);
        return std::pair{std::move(cells), std::move(groups)};
    };
    {
        const auto [cells, groups] = figures();
        bool fitted = true;
        for (const CellSummary& s : cells)
            fitted = fitted && s.uBt01 && s.decision != Decision::None;
        if (groups.size() != 2 || groups[0].cells.size() != 3 || !groups[0].bt01.mean || !fitted) {
            state.SkipWithError("the group's figures are not the expected ones");
            return;
        }
    }
    for (auto _ : state) {
        auto result = figures();
        benchmark::DoNotOptimize(result);
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_GroupFigures)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(argc, argv, bench::Needs::Core);
}
