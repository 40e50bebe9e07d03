// Start-up against korvat-sim on pseudo-terminals: the identification exchange alone, and the
// whole start-up from creating the window to showing it. Goal: the rest of start-up adds less
// than 0.5 s to the exchange.

#include "link/Link.h"
#include "link/QtSerialLine.h"
#include "shell/IniFile.h"
#include "ui/Program.h"
#include "util/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace korvat;

namespace {

struct Sim {
    QTemporaryDir dir;
    QProcess process;
    QString linkA, linkB;

    bool start() {
        linkA = dir.filePath("portA");
        linkB = dir.filePath("portB");
        process.start(QCoreApplication::applicationDirPath() + "/../bin/korvat-sim",
                      {"--fidfpd", "--link-a", linkA, "--link-b", linkB, "--log", dir.filePath("sim.log")});
        QByteArray out;
        while (!out.contains("READY\n")) {
            if (!process.waitForReadyRead(10000))
                return false;
            out += process.readAllStandardOutput();
        }
        return true;
    }
    ~Sim() {
        process.terminate();
        process.waitForFinished(5000);
    }
};

Sim& sim() {
    static Sim s;
    static const bool started = s.start();
    if (!started)
        std::abort();
    return s;
}

class SilentDialogs final : public Dialogs {
public:
    void message(const QString&, const QString&) override {}
    void information(const QString&) override {}
    void error(const QString&) override {}
    QString saveFileName(const QString&, const QString&) override { return {}; }
    QString openFileName(const QString&, const QString&) override { return {}; }
};

void BM_IdentificationExchange(benchmark::State& state) {
    SystemClock clock;
    SilentDialogs dialogs;
    TForm1 form; // only as the log sink
    QtSerialLine com1, com2;
    Link link(com1, com2, clock, dialogs, form);
    link.createQueues(false);
    com1.setDeviceName(sim().linkA);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        link.OpenComPort(com1);
        const QString reply = link.SendAndWait(com1, "\r\n<SN\r\n");
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
        QFile::copy(QCoreApplication::applicationDirPath() + "/../bin/" + list, programDir + list);
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
