// The program with its real window (headless), real serial lines, the system clock and its 90 ms
// timer, against korvat-sim on pseudo-terminals running the permeation model sixty times faster
// than real time. Port A's device vanishes in the middle of the run and comes back; the program
// opens it again, the run goes on, every measurement gets its row, and the first cell breaks
// through within one cycle of the model's breakthrough time.

#include "evaluation/ResultsFileReader.h"
#include "model/Permeation.h"
#include "run/EventJournal.h"
#include "shell/IniFile.h"
#include "support/SimProcess.h"
#include "ui/Program.h"

#include <QEventLoop>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace korvat;
using namespace korvat::test;

TEST(PtyPermeationRun, TheRealProgramRunsThroughAVanishingLineAndBreaksTheFirstCell) {
    if (!SimProcess::available())
        GTEST_SKIP() << "korvat-sim not built";
    constexpr double kTimeFactor = 60.0;
    QElapsedTimer sinceSimStart;
    SimProcess sim;
    sinceSimStart.start();
    ASSERT_TRUE(sim.start({"--permeation", "--time-factor", "60", "--vanish-at", "20", "--back-after", "4"}));

    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
        ASSERT_TRUE(QFile::copy(SimProcess::binDir() + "/" + list, dir + list));
    ASSERT_TRUE(IniFile(dir + "Korvat.ini")
                    .writeEntries({{"Language", "Code", "DE"},
                                   {"DeviceTyp", "Typ", "FID"},
                                   {"Communication", "ComPortA", sim.linkA},
                                   {"Debug", "SetDebug", "1"},
                                   {"Calibration", "FIDCalArea", "450000"},
                                   {"Measurement", "MeasurementSampleTime/s", "2"},
                                   {"Measurement", "MeasurementInjectionTime/s", "1"},
                                   {"Measurement", "MeasurementTimePerCell/s", "10"},
                                   // korvat-sim's chemical, toluene, as the list gives it.
                                   {"Measurement", "FIDSampleFactorName1", "Toluol"},
                                   {"Measurement", "FIDSampleMolarMass1", "92.14"}}));

    Program program(dir);
    ASSERT_EQ(program.FormCreate(), StartupOutcome::Running);
    KorvatApp& app = program.app();
    app.rgStandardClick(1); // EN
    app.records().sDateiname = dir + "pty.csv";
    app.events().openJournal(dir + "pty_events.log", "pty run");
    TForm1& form = program.form();
    // The range as the operator sets it: the window shows it and the core keeps it.
    app.inputs().set(Input::Start, "4");
    app.inputs().set(Input::Count, "3");
    app.inputs().set(Input::Cycles, "2");
    ASSERT_EQ(form.text("editZyklen"), "2");
    const qint64 runStartSinceSim = sinceSimStart.elapsed();
    app.sequencer().btnStartClick();
    ASSERT_TRUE(app.sequencer().running());

    // The program runs on its own timer; the test only looks every fifth of a second.
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!app.sequencer().running() || t.elapsed() > 200'000)
            loop.quit();
    });
    look.start(200);
    loop.exec();
    ASSERT_FALSE(app.sequencer().running()) << "the run did not end";
    // The files are written on the recorder's own thread: what it was handed last is done soon.
    ASSERT_TRUE(app.recorder().settle(Millis(20000)));

    // The line came back and was used again.
    EXPECT_TRUE(sim.log().contains("vanished")) << sim.log().toStdString();
    EXPECT_TRUE(sim.log().contains("back on")) << sim.log().toStdString();
    EXPECT_FALSE(app.link().lineDown(app.link().ComPort1()));
    QFile debugLog(dir + "korvat-debug.log");
    ASSERT_TRUE(debugLog.open(QIODevice::ReadOnly));
    const QByteArray debug = debugLog.readAll();
    EXPECT_TRUE(debug.contains("line lost")) << debug.toStdString();
    EXPECT_TRUE(debug.contains("line open again")) << debug.toStdString();

    // The loss left lasting traces: the lamp, the event list, the journal with a sound chain, and
    // the measurement it happened in flagged in the summary file.
    EXPECT_TRUE(form.ledOn("ledWarning"));
    const QString portA = app.link().ComPort1().deviceName();
    int lostIn = 0;
    for (const RunEvent& e : app.events().listed())
        if (e.kind == EventKind::LineLost && e.port == portA)
            lostIn = e.measurement;
    EXPECT_GE(lostIn, 1);
    QFile journalFile(dir + "pty_events.log");
    ASSERT_TRUE(journalFile.open(QIODevice::ReadOnly));
    const QByteArray journal = journalFile.readAll();
    for (const char* kind : {"\tline-lost\t", "\tline-back\t", "\trun-start\t", "\trun-end\t"})
        EXPECT_TRUE(journal.contains(kind)) << kind;
    EXPECT_EQ(verifyJournal(dir + "pty_events.log").firstBadLine, 0);
    ASSERT_GE(lostIn, 1);
    const int lostCell = app.run().measurements()[lostIn - 1].runZelle - 3;
    QFile summary(dir + "pty_summary.csv");
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    bool flagged = false;
    const QList<QByteArray> summaryLines = summary.readAll().split('\n');
    const qsizetype flaggedColumn = summaryLines.value(0).trimmed().split(';').indexOf("flagged");
    ASSERT_GE(flaggedColumn, 0);
    for (const QByteArray& line : summaryLines) {
        const QList<QByteArray> f = line.trimmed().split(';');
        if (f.size() > flaggedColumn && f[0] == QByteArray::number(lostCell) && f[1] == "FID")
            flagged = f[flaggedColumn].split(' ').contains(QByteArray::number(lostIn));
    }
    EXPECT_TRUE(flagged) << "measurement " << lostIn << " of cell " << lostCell;

    // Every measurement has its row.
    const auto& results = app.run().measurements();
    ASSERT_EQ(results.size(), 6u);
    // The results file was made at Start with the run's header block (it was named, not chosen).
    const ResultsFileRead read = readResultsFile(app.records().sDateiname);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].rows.size(), 6u);

    // Nitrile in cell 1 breaks through under the EN limit after about 25 minutes of exposure,
    // 25 s here; its second turn comes after that.
    sim::PermeationOptions model; // korvat-sim's default cells, nitrile first
    model.timeFactor = kTimeFactor;
    const auto analytic = sim::cellBreakthrough(model, 1, 1.0);
    ASSERT_TRUE(analytic.has_value());
    int breaking = -1;
    for (std::size_t k = 0; k < results.size(); ++k)
        if (results[k].runZelle == 4 && results[k].breakTime != "--:--" && breaking < 0)
            breaking = static_cast<int>(k);
    ASSERT_GE(breaking, 0) << "cell 1 did not break through";
    EXPECT_TRUE(form.ledOn("ledSmpOff1"));
    const double programSeconds = (runStartSinceSim + results[breaking].elapsedMs) / 1000.0;
    const double cycleSeconds = (results[3].elapsedMs - results[0].elapsedMs) / 1000.0;
    EXPECT_NEAR(programSeconds, analytic->modelTime.count() / 1000.0, cycleSeconds);
}
