// A whole 8-hour test with three cells and all six positions (the EN 16523 length) through the
// real sequencer against the in-process instrument, with the manual clock: wall time (goal under
// 10 s) and memory growth (goal flat, under 50 MB).

#include "bench/BenchMain.h"
#include "bench/NullUi.h"
#include "bench/InProcessSetup.h"
#include "shell/KorvatApp.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <string>

using namespace korvat;

namespace {

// Resident memory of this process in MB.
double residentMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void BM_EightHourRun(benchmark::State& state) {
    bench::InProcessSetup setup({{"Measurement", "RawDataSave", "1"},
                                 // The phase lengths of a newly created Korvat.ini.
                                 {"Measurement", "MeasurementSampleTime/s", "15"},
                                 {"Measurement", "MeasurementInjectionTime/s", "15"},
                                 {"Measurement", "MeasurementTimePerCell/s", "30"}});
    ManualClock& clock = setup.clock;
    const QString& programDir = setup.programDir;
    bench::NullView view;
    bench::NullDialogs dialogs;
    KorvatApp app({view, dialogs, clock, setup.instrument.mainLine(), setup.instrument.fpdLine(), programDir});
    if (app.FormCreate({}) != StartupOutcome::Running) {
        state.SkipWithError("start-up failed");
        return;
    }
    app.sDateiname = programDir + "run8h.csv";
    constexpr Millis kEightHours{8 * 3600 * 1000};
    const double before = residentMb();
    double peak = before;
    long ticks = 0;
    for (auto _ : state) {
        Sequencer& seq = app.sequencer();
        // Six positions, cycles enough for eight hours; the run stops itself at the end.
        view.texts["editStart"] = "1";
        view.texts["editAnzahl"] = "6";
        view.texts["editZyklen"] = "1000";
        seq.btnStartClick();
        const Millis end = clock.monotonicNow() + kEightHours;
        while (clock.monotonicNow() < end) {
            clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app.Timer1Timer();
            if (++ticks % 20000 == 0)
                peak = std::max(peak, residentMb());
        }
        seq.btnStopClick();
        while (seq.running()) {
            clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app.Timer1Timer();
        }
    }
    state.counters["measurements"] = static_cast<double>(app.sequencer().measurements.size());
    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["rss_growth_MB"] = peak - before;
}
BENCHMARK(BM_EightHourRun)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
