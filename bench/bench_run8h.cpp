// A whole 8-hour test with three cells and all six positions (the EN 16523 length) through the
// real sequencer against the in-process instrument on the manual clock: wall time (goal under
// 10 s) and memory growth (goal flat, under 50 MB). Both detectors, raw-data files on, the FID and
// FPD calibrated on the reference gas in the first cycle, and the instrument's permeation model in
// the cells, so rates are computed and the three cells break through during the run, each switched
// off from then on. With range(0) = 1 the window is there too (offscreen), drawing the samples
// as the program does: the chart repaints new samples at most once per
// MeasurementChart::kCurvesRepaintInterval of real time, so the compressed eight hours get far
// fewer repaints than eight real hours would (counted: chart_repaints); with 0 the core runs
// alone.
//
// Checked at the end: the number of measurements against the phase lengths, one results row in
// the file per measurement, both calibrations taken, all three cells broken through, no message.

#include "bench/BenchMain.h"
#include "bench/ChartProbe.h"
#include "bench/InProcessSetup.h"
#include "bench/NullUi.h"
#include "evaluation/PeakSearch.h"
#include "model/Permeation.h"
#include "app/KorvatApp.h"
#include "ui/Presenter.h"
#include "ui/MeasurementChart.h"
#include "ui/TForm1.h"
#include "util/Clock.h"

#include <QApplication>
#include <QFile>
#include <benchmark/benchmark.h>
#include <fstream>
#include <memory>
#include <set>
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

// Both converters, and toluene permeating three membranes that break through under the EN limit
// after about 25 minutes, 2.7 hours and 4.5 hours.
sim::InstrumentOptions permeatingInstrument() {
    sim::InstrumentOptions o = bench::InProcessSetup::twoConverters();
    o.permeation.enabled = true;
    o.permeation.cells = {sim::PermeationCell{sim::findMaterialPreset(u"nitrile")->membrane},
                          sim::PermeationCell{sim::findMaterialPreset(u"fkm")->membrane},
                          sim::PermeationCell{sim::findMaterialPreset(u"fkm")->membrane}};
    o.permeation.cells[2].membrane->thickness *= 1.3;
    return o;
}

// The phase lengths of a newly created Korvat.ini.
constexpr int kSampleSeconds = 15;
constexpr int kInjectionSeconds = 15;
constexpr int kMeasureSeconds = 30;

// The data rows of the results file (those below the column titles).
long resultFileRows(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    long rows = 0;
    bool body = false;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        if (body)
            ++rows;
        else
            body = line.startsWith("Zelle;Bruch;Bruchzeit;");
    }
    return rows;
}

void BM_EightHourRun(benchmark::State& state) {
    const bool withWindow = state.range(0) != 0;
    bench::InProcessSetup setup(
        {{"Language", "Code", "DE"},
         {"Measurement", "RawDataSave", "1"},
         {"Measurement", "MeasurementSampleTime/s", QString::number(kSampleSeconds)},
         {"Measurement", "MeasurementInjectionTime/s", QString::number(kInjectionSeconds)},
         {"Measurement", "MeasurementTimePerCell/s", QString::number(kMeasureSeconds)}},
        permeatingInstrument());
    ManualClock& clock = setup.clock;
    bench::NullView nullView;
    bench::NullDialogs dialogs;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<Presenter> presenter;
    bench::ChartProbe* probe = nullptr;
    if (withWindow) {
        form = std::make_unique<TForm1>();
        form->resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
        form->show();
        presenter = std::make_unique<Presenter>(*form);
        probe = new bench::ChartProbe(form->chart()->series(0)); // the chart owns it
    }
    MainView& view = withWindow ? static_cast<MainView&>(*presenter) : nullView;
    // The run's files are written on the recorder's own thread, as the program writes them.
    KorvatApp app({view, dialogs, clock, setup.instrument.mainLine(), setup.instrument.fpdLine(), setup.programDir,
                   {}, {}, {}, {}, RecorderDispatch::OwnThread});
    // The window's events and the chords over the chart, as the program wires them.
    if (presenter)
        presenter->attach(app);
    const auto translate = [&](int offset) {
        if (form)
            form->TranslateForm(offset);
    };
    if (app.FormCreate(translate) != StartupOutcome::Running) {
        state.SkipWithError("start-up failed");
        return;
    }
    app.rgStandardClick(1); // EN: 1.0 ug/cm2/min
    dialogs.fileName = setup.programDir + "run8h.csv";
    app.btnSpeichernClick();
    app.inputs().toggled(Check::IsobutanCalib, true);
    app.inputs().toggled(Check::SulfurCalib, true);

    constexpr Millis kEightHours{8 * 3600 * 1000};
    const double before = residentMb();
    double peak = before;
    long ticks = 0;
    auto tick = [&] {
        clock.advance(Millis(90));
        QApplication::processEvents(); // serial bytes, and with the window its repaints
        app.Timer1Timer();
        if (++ticks % 20000 == 0)
            peak = std::max(peak, residentMb());
    };
    for (auto _ : state) {
        Sequencer& seq = app.sequencer();
        // Six positions, cycles enough for eight hours (a range with the reference positions runs
        // all its cycles, so the time ends it).
        app.inputs().edited(Input::Start, "1");
        app.inputs().edited(Input::Count, "6");
        app.inputs().edited(Input::Cycles, "1000");
        seq.btnStartClick();
        const Millis end = clock.monotonicNow() + kEightHours;
        while (clock.monotonicNow() < end && seq.running())
            tick();
        seq.btnStopClick();
        while (seq.running())
            tick();
        QApplication::processEvents();
        // The run is over when its files are: what the recorder was handed last is written.
        app.recorder().settle(Millis(60000));
    }

    const auto& results = app.run().measurements();
    const long measurements = static_cast<long>(app.run().measurements().size());
    std::set<int> broken;
    for (const MeasurementRecord& r : results)
        if (r.brokeThrough)
            broken.insert(r.runZelle);
    state.counters["measurements"] = static_cast<double>(measurements);
    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["cells_broken"] = static_cast<double>(broken.size());
    state.counters["rss_growth_MB"] = peak - before;
    if (probe)
        state.counters["chart_repaints"] = static_cast<double>(probe->draws());
    state.SetLabel(withWindow ? "with the window" : "core alone");

    // A measured position takes its sampling, injection and measuring time and a little for the
    // converter's burst to end; a switched-off cell is passed quicker. So eight hours hold at least
    // as many measurements as full turns fit, and not more than twice that.
    const long fullTurns = kEightHours.count() / ((kSampleSeconds + kInjectionSeconds + kMeasureSeconds + 5) * 1000L);
    if (!dialogs.shown.isEmpty())
        state.SkipWithError(("a message was shown: " + dialogs.shown.first()).toStdString().c_str());
    else if (measurements < fullTurns || measurements > 2 * fullTurns)
        state.SkipWithError(QStringLiteral("%1 measurements do not fit eight hours (%2 full turns)")
                                .arg(measurements)
                                .arg(fullTurns)
                                .toStdString()
                                .c_str());
    else if (static_cast<long>(results.size()) != measurements || resultFileRows(app.records().sDateiname) != measurements)
        state.SkipWithError("the results file does not hold one row per measurement");
    else if (app.settings().FIDCalArea <= 0 || app.settings().FPDCalArea <= 0)
        state.SkipWithError("the reference gas did not calibrate both detectors");
    else if (broken.size() != 3)
        state.SkipWithError("not every cell broke through");
}
BENCHMARK(BM_EightHourRun)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
