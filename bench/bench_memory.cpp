// Resident memory over days of running: the real window (offscreen) with KorvatApp against the
// in-process instrument with both converters, on the manual clock. Two cases: 72 hours of
// monitoring (both detectors streaming, the status poll running and filling the log memo, the
// chart following the newest sample), and an 8-hour run of all six positions with a results file
// and raw-data files, ticked every 90 ms as the program's timer does. Monitoring is ticked every
// 900 ms of simulated time, so three days take minutes instead of most of an hour: each tick then
// drains nine samples per converter, repaints once and polls one status query (bench_tick covers
// the 90 ms cadence). Reported: VmRSS at the start (after ten warm-up minutes) and at the end, and
// the size of the signal series themselves (the run side's vectors and the chart's traces), which
// are what the operator keeps. Goals: monitoring grows under 10 MB a day (72 hours, and thirty days
// ticked every 4.5 s of simulated time); a run grows under 5 MB beyond the series.

#include "bench/BenchMain.h"
#include "bench/InProcessSetup.h"
#include "app/KorvatApp.h"
#include "ui/MeasurementChart.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"
#include "util/Clock.h"
#include "util/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <benchmark/benchmark.h>
#include <cmath>
#include <fstream>
#include <string>

using namespace korvat;

namespace {

constexpr double kGrowthGoalMb = 5.0;
constexpr double kMonitoringGrowthPerDayGoalMb = 10.0;

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

// Dialogs that answer at once and keep what they were asked to show: a box during an unattended
// run would be a finding of its own.
class QuietDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString&) override { shown << text; }
    void information(const QString& text) override { shown << text; }
    void error(const QString& text) override { shown << text; }
    bool question(const QString& text) override {
        shown << text;
        return false;
    }
    QString saveFileName(const QString&, const QString&) override { return fileName; }
    QString openFileName(const QString&, const QString&) override { return {}; }

    QStringList shown;
    QString fileName;
};

// The program as it runs: window, core, instrument and clock.
struct Running {
    explicit Running(std::vector<IniFile::Entry> extra) : setup(std::move(extra)) {
        form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
        form.show();
        app = std::make_unique<KorvatApp>(KorvatApp::Environment{
            presenter, dialogs, setup.clock, setup.instrument.mainLine(), setup.instrument.fpdLine(),
            setup.programDir});
        presenter.attach(*app);
        started = app->FormCreate([this](int offset) { form.TranslateForm(offset); }) ==
                  StartupOutcome::Running;
        QApplication::processEvents();
    }

    // One timer period: the bytes that arrived, the tick, the repaint it asked for.
    void tick() {
        setup.clock.advance(period);
        QApplication::processEvents();
        app->Timer1Timer();
        QApplication::processEvents();
    }

    void runFor(Millis duration) {
        const Millis end = setup.clock.monotonicNow() + duration;
        while (setup.clock.monotonicNow() < end)
            tick();
    }

    // The signal series in MB: the run side's vectors (x and y) and the chart's traces and points.
    double seriesMb() const {
        const Acquisition& a = app->acquisition();
        double bytes = 0;
        for (const Series* s : {&a.Series1, &a.Series2, &a.Serie3, &a.Serie4})
            bytes += static_cast<double>(s->x.capacity() + s->y.capacity()) * sizeof(double);
        bytes += static_cast<double>(form.chart()->seriesBytes());
        return bytes / (1024.0 * 1024.0);
    }

    bench::InProcessSetup setup;
    TForm1 form;
    Presenter presenter{form};
    QuietDialogs dialogs;
    std::unique_ptr<KorvatApp> app;
    bool started = false;
    Millis period{90};
};

struct Snapshot {
    double rss, series;
};

void report(benchmark::State& state, const Running& p, const Snapshot& start, const Snapshot& end,
            double days = 0) {
    // Replies waiting at the end: none pile up when the poll and the tick keep pace.
    if (const LineQueue* replies = p.app->link().ReplyQueue())
        state.counters["replies_waiting"] = static_cast<double>(replies->size());
    const double growth = end.rss - start.rss;
    const double beyond = growth - (end.series - start.series);
    state.counters["rss_start_MB"] = start.rss;
    state.counters["rss_end_MB"] = end.rss;
    state.counters["series_MB"] = end.series;
    state.counters["growth_MB"] = growth;
    state.counters["growth_beyond_series_MB"] = beyond;
    if (days > 0) {
        // Monitoring: what the operator keeps is the signal, so the goal is the growth itself.
        const double perDay = growth / days;
        state.counters["growth_MB_per_day"] = perDay;
        if (perDay >= kMonitoringGrowthPerDayGoalMb)
            state.SkipWithError(QStringLiteral("memory grew %1 MB a day (goal < %2 MB)")
                                    .arg(perDay, 0, 'f', 1)
                                    .arg(kMonitoringGrowthPerDayGoalMb)
                                    .toStdString()
                                    .c_str());
        return;
    }
    if (beyond >= kGrowthGoalMb)
        state.SkipWithError(QStringLiteral("memory grew %1 MB beyond the series (goal < %2 MB)")
                                .arg(beyond, 0, 'f', 1)
                                .arg(kGrowthGoalMb)
                                .toStdString()
                                .c_str());
}

void BM_MonitoringForDays(benchmark::State& state) {
    const Millis duration{state.range(0) * 3600 * 1000};
    Running p({{"Language", "Code", "DE"}});
    if (!p.started) {
        state.SkipWithError("start-up failed");
        return;
    }
    p.period = Millis(state.range(1));
    Snapshot start{}, end{};
    for (auto _ : state) {
        p.app->acquisition().MonitorOn();
        // Ten minutes first: the paint buffers, glyph caches and queues have their working size.
        p.runFor(Millis(10 * 60 * 1000));
        start = {residentMb(), p.seriesMb()};
        p.runFor(duration - Millis(10 * 60 * 1000));
        end = {residentMb(), p.seriesMb()};
    }
    const double expected = static_cast<double>(duration.count()) / 100.0; // ten a second
    const MeasurementChart* chart = p.form.chart();
    const auto* memo = qobject_cast<QPlainTextEdit*>(p.form.control(QStringLiteral("LMDMemo1")));
    const double fid = static_cast<double>(chart->sampleCount(0)), fpd = static_cast<double>(chart->sampleCount(1));
    state.counters["fid_points"] = fid;
    state.counters["fpd_points"] = fpd;
    state.counters["memo_lines"] = memo ? memo->document()->blockCount() : -1;
    if (fid < 0.99 * expected || fpd < 0.99 * expected) {
        state.SkipWithError("the converters' data did not arrive");
        return;
    }
    if (!chart->followsNewest() || std::abs(chart->xAxis->range().upper - (fid - 1) / 10.0) > 1e-6) {
        state.SkipWithError("the chart did not follow the newest sample");
        return;
    }
    if (!p.dialogs.shown.isEmpty()) {
        state.SkipWithError(("a message box: " + p.dialogs.shown.first()).toStdString().c_str());
        return;
    }
    report(state, p, start, end, static_cast<double>(duration.count() - 10 * 60 * 1000) / 86400000.0);
}
// Hours, and the simulated time between ticks in ms.
// Once per process whatever --benchmark_repetitions says: a second pass would start on the heap the
// first one grew (the series are freed but their pages stay with the process) and measure that.
BENCHMARK(BM_MonitoringForDays)->Args({72, 900})->Args({720, 4500})->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

void BM_EightHourRunWithTheWindow(benchmark::State& state) {
    Running p({{"Language", "Code", "DE"},
               {"Measurement", "RawDataSave", "1"},
               {"Measurement", "MeasurementSampleTime/s", "15"},
               {"Measurement", "MeasurementInjectionTime/s", "15"},
               {"Measurement", "MeasurementTimePerCell/s", "30"}});
    if (!p.started) {
        state.SkipWithError("start-up failed");
        return;
    }
    // Raw-data files go beside the results file, in the benchmark's own folder.
    p.dialogs.fileName = p.setup.programDir + "Run8h.csv";
    p.app->btnSpeichernClick();
    constexpr Millis kEightHours{8 * 3600 * 1000};
    Snapshot start{}, end{};
    Sequencer& seq = p.app->sequencer();
    for (auto _ : state) {
        p.app->inputs().set(Input::Start, QStringLiteral("1"));
        p.app->inputs().set(Input::Count, QStringLiteral("6"));
        p.app->inputs().set(Input::Cycles, QStringLiteral("1000"));
        seq.btnStartClick();
        // The first cycle warms up what every measurement uses (evaluation, files, chords).
        p.runFor(Millis(10 * 60 * 1000));
        start = {residentMb(), p.seriesMb()};
        p.runFor(kEightHours - Millis(10 * 60 * 1000));
        seq.btnStopClick();
        while (seq.running())
            p.tick();
        end = {residentMb(), p.seriesMb()};
    }
    const std::size_t measurements = p.app->run().measurements().size();
    state.counters["measurements"] = static_cast<double>(measurements);
    state.counters["result_rows"] = static_cast<double>(p.app->run().measurements().size());
    state.counters["raw_files"] =
        static_cast<double>(QDir(p.setup.programDir).entryList({"Run8h_*.txt"}, QDir::Files).size());
    // 15 + 15 + 30 s and the converter's end: a measurement about every 62 s.
    if (measurements < 400 || p.app->run().measurements().size() != measurements) {
        state.SkipWithError("the run did not go through");
        return;
    }
    if (!p.dialogs.shown.isEmpty()) {
        state.SkipWithError(("a message box: " + p.dialogs.shown.first()).toStdString().c_str());
        return;
    }
    report(state, p, start, end);
}
BENCHMARK(BM_EightHourRunWithTheWindow)->Iterations(1)->Repetitions(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
