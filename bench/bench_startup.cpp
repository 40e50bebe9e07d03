// Start-up against korvat-sim on pseudo-terminals: the identification exchange alone, and the
// whole start-up from creating the window to showing it. Goal: the rest of start-up adds less
// than 0.5 s to the exchange.

#include "bench/BenchMain.h"
#include "link/Commands.h"
#include "link/Link.h"
#include "link/QtSerialLine.h"
#include "shell/IniFile.h"
#include "ui/Program.h"
#include "bench/NullUi.h"
#include "tests/support/SimProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace korvat;

namespace {

test::SimProcess& sim() {
    static test::SimProcess s;
    static const bool started = s.start({"--fidfpd"});
    if (!started)
        std::abort();
    return s;
}

void BM_IdentificationExchange(benchmark::State& state) {
    SystemClock clock;
    bench::NullDialogs dialogs;
    bench::NullView view;
    QtSerialLine com1, com2;
    Link link(com1, com2, clock, dialogs, view);
    link.createQueues(false);
    com1.setDeviceName(sim().linkA);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        link.OpenComPort(com1);
        const QString reply = link.SendAndWait(com1, kIdentifySinglePort);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        com1.close();
        if (reply.isEmpty())
            state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_IdentificationExchange)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_StartupToWindowShown(benchmark::State& state) {
    QTemporaryDir dir;
    const QString programDir = dir.path() + "/";
    for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
        QFile::copy(test::SimProcess::binDir() + "/" + list, programDir + list);
    IniFile ini(programDir + "Korvat.ini");
    ini.writeEntries({{"Language", "Code", "DE"},
                      {"DeviceTyp", "Typ", "FIDFPD"},
                      {"Communication", "ComPortA", sim().linkA},
                      {"Communication", "ComPortB", sim().linkB}});
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        {
            Program program(programDir);
            if (program.FormCreate() != StartupOutcome::Running)
                state.SkipWithError("start-up failed");
            program.form().show();
            QApplication::processEvents();
            state.SetIterationTime(t.nsecsElapsed() / 1e9);
        }
        QApplication::processEvents();
    }
}
BENCHMARK(BM_StartupToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    // The benchmarks sit one folder away from the programs.
    qputenv("KORVAT_BIN_DIR", QByteArray(CMAKE_BIN_DIR));
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
