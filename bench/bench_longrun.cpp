// The tick that ends a measurement deep into a keep-measuring run: the run's figures, the run
// state it hands the recorder and everything else that tick does must not grow with the run.
// Each case continues a run (as after a restart) whose state holds `range(0)` measurements of
// zero gas, reference gas, reference cell and the three cells, then times the ticks that end
// the next 36 measurements against the in-process instrument (both detectors, every sample
// cell broken through and measured on). The disk work is left out: the recorder runs on its
// own thread, as in the program, on a file layer whose fsync returns at once. Reported: the
// median of those ticks in real time and in the tick thread's processor time (which other
// programs on the machine do not stretch), and apart from them the first one after the restart
// (real and processor time), whose state write is the first of the continued run: the recorder
// then writes the records file afresh. Goals: the medians at 10,000 and 40,000 measurements
// within 20 % of those at 10; the first tick never waits for the records to be copied.
//
// The run is made once for real (one cycle, its results file, header and state), then its
// records are repeated cycle by cycle, with running numbers and times moved on, into a state
// of the length asked for.

#include "bench/BenchMain.h"
#include "bench/InProcessSetup.h"
#include "bench/NullUi.h"
#include "app/KorvatApp.h"
#include "run/RunState.h"
#include "util/Clock.h"
#include "util/FileLayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>

using namespace korvat;

namespace {

// A disk that never waits for the platter: what is timed is the program, not the disk.
class NoSync final : public SystemCalls {
public:
    int fsync(int) override { return 0; }
};

// Answers yes: the run is continued.
class YesDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString&) override { shown << text; }
    void information(const QString& text) override { shown << text; }
    void error(const QString& text) override { shown << text; }
    bool question(const QString&) override { return true; }
    QString saveFileName(const QString&, const QString&) override { return fileName; }
    QString openFileName(const QString&, const QString&) override { return fileName; }
    QStringList shown;
    QString fileName;
};

constexpr int kPositions = 6;
constexpr std::size_t kTimed = 36;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void tick(KorvatApp& app, ManualClock& clock) {
    clock.advance(Millis(90));
    QCoreApplication::processEvents();
    app.Timer1Timer();
}

void BM_TickEndingAMeasurementLateInALongRun(benchmark::State& state) {
    const auto target = static_cast<std::size_t>(state.range(0));
    bench::InProcessSetup setup({{"Language", "Code", "DE"},
                                 {"Calibration", "FIDCalArea", "450000"},
                                 {"Calibration", "FPDCalArea", "450000"},
                                 {"Measurement", "KeepMeasuring", "1"},
                                 {"Measurement", "LimitFID", "0.1"},
                                 {"Measurement", "MeasurementSampleTime/s", "5"},
                                 {"Measurement", "MeasurementInjectionTime/s", "3"},
                                 {"Measurement", "MeasurementTimePerCell/s", "30"}});
    ManualClock& clock = setup.clock;
    bench::NullView view;
    YesDialogs dialogs;
    auto files = makePosixFileLayer(std::make_shared<NoSync>());
    const QString csv = setup.programDir + "long.csv";
    std::optional<SavedRun> saved;
    {
        // One cycle for real; the program then ends without ending the run.
        KorvatApp first({view, dialogs, clock, setup.instrument.mainLine(), setup.instrument.fpdLine(),
                         setup.programDir, {}, {}, {}, files, RecorderDispatch::Inline});
        if (first.FormCreate({}) != StartupOutcome::Running) {
            state.SkipWithError("start-up failed");
            return;
        }
        dialogs.fileName = csv;
        first.btnSpeichernClick();
        first.inputs().edited(Input::Start, "1");
        first.inputs().edited(Input::Count, QString::number(kPositions));
        first.inputs().edited(Input::Cycles, "99");
        first.sequencer().btnStartClick();
        while (first.sequencer().running() && first.run().measurements().size() < kPositions)
            tick(first, clock);
        QString error;
        saved = loadRunState(runStateFileName(csv), &error);
        if (!saved || saved->measurements.size() != kPositions) {
            state.SkipWithError(("no run state after one cycle: " + error).toStdString().c_str());
            return;
        }
    }
    // The state of a run `target` measurements long (whole cycles).
    const std::size_t cycles = std::max<std::size_t>(1, target / kPositions);
    const std::vector<MeasurementRecord> cycle = saved->measurements;
    const qint64 perMeasurement = (cycle.back().elapsedMs - cycle.front().elapsedMs) / (kPositions - 1);
    saved->measurements.clear();
    for (std::size_t c = 0; c < cycles; ++c)
        for (const MeasurementRecord& r : cycle) {
            MeasurementRecord m = r;
            m.runAktiv = static_cast<int>(saved->measurements.size()) + 1;
            m.cycle = static_cast<int>(c) + 1;
            m.elapsedMs = r.elapsedMs + static_cast<qint64>(c) * kPositions * perMeasurement;
            saved->measurements.push_back(m);
        }
    const int done = static_cast<int>(saved->measurements.size());
    saved->strtCycles = static_cast<int>(cycles) + 99;
    saved->runCycles = 99;
    saved->strtMessungen = saved->strtCycles * kPositions;
    saved->runMessungen = 99 * kPositions;
    saved->runAktiv = done + 1;
    saved->started = clock.wallNow().addMSecs(-static_cast<qint64>(cycles) * kPositions * perMeasurement);
    saved->saved = clock.wallNow();
    QString error;
    std::size_t onDisk = 0;
    if (!saveRunState(*files, runStateFileName(csv), *saved, &error, &onDisk)) {
        state.SkipWithError(("state not written: " + error).toStdString().c_str());
        return;
    }

    // The first program's lines are still open: a program started again opens them afresh.
    setup.instrument.mainLine().close();
    setup.instrument.fpdLine().close();
    KorvatApp app({view, dialogs, clock, setup.instrument.mainLine(), setup.instrument.fpdLine(), setup.programDir,
                   {}, {}, {}, files, RecorderDispatch::OwnThread});
    if (app.FormCreate({}) != StartupOutcome::Running || !app.sequencer().running() ||
        app.run().measurements().size() != std::size_t(done)) {
        state.SkipWithError("the long run was not continued");
        return;
    }
    std::vector<double> endMs, endCpuMs, otherMs;
    for (auto _ : state) {
        const std::size_t until = app.run().measurements().size() + kTimed + 1;
        while (app.sequencer().running() && app.run().measurements().size() < until) {
            clock.advance(Millis(90));
            QCoreApplication::processEvents();
            const std::size_t before = app.run().measurements().size();
            QElapsedTimer t;
            const double cpu = threadCpuMs();
            t.start();
            app.Timer1Timer();
            const double ms = t.nsecsElapsed() / 1e6;
            if (app.run().measurements().size() > before) {
                endMs.push_back(ms);
                endCpuMs.push_back(threadCpuMs() - cpu);
            } else {
                otherMs.push_back(ms);
            }
        }
    }
    const bool settled = app.recorder().settle(Millis(120000));
    const auto percentile = [](std::vector<double> v, int p) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, v.size() * p / 100)];
    };
    state.counters["at_measurement"] = done + 1;
    if (!endMs.empty()) {
        state.counters["first_end_tick_ms"] = endMs.front();
        state.counters["first_end_tick_cpu_ms"] = endCpuMs.front();
        endMs.erase(endMs.begin());
        endCpuMs.erase(endCpuMs.begin());
    }
    state.counters["end_tick_median_ms"] = percentile(endMs, 50);
    state.counters["end_tick_cpu_median_ms"] = percentile(endCpuMs, 50);
    state.counters["end_tick_max_ms"] = endMs.empty() ? 0.0 : *std::max_element(endMs.begin(), endMs.end());
    state.counters["other_tick_p99_ms"] = percentile(otherMs, 99);
    state.counters["summaries"] = static_cast<double>(app.run().summaries().size());
    if (!settled)
        state.SkipWithError("the recorder did not finish");
    else if (endMs.size() != kTimed)
        state.SkipWithError("the run did not go on for the measurements to be timed");
    else if (app.run().summaries().size() != 6)
        state.SkipWithError("not every cell and detector has its figures");
    else if (!dialogs.shown.isEmpty())
        state.SkipWithError(("a message was shown: " + dialogs.shown.first()).toStdString().c_str());
}
BENCHMARK(BM_TickEndingAMeasurementLateInALongRun)
    ->Arg(10)
    ->Arg(10000)
    ->Arg(40000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
