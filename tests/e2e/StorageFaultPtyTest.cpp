// The real program (its window headless, QtSerialLine, the system clock and its 90 ms timer)
// against korvat-sim on pseudo-terminals, with the results folder behind a file layer that fails
// on command: full, read-only, taken away, and hanging for 60 s, each then released. What the
// instrument receives (korvat-sim's log) shows the status poll keeping its rhythm throughout; in
// the end every row is in the results file once, every raw-data file is whole and loads, the
// journal's chain holds and its hashes match the rows and raw-data files, the summary is the
// run's; and the window said so from the first measurement the disk refused until it was over.

#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFileReader.h"
#include "run/EventJournal.h"
#include "shell/IniFile.h"
#include "support/AppFixture.h"
#include "support/FaultyFiles.h"
#include "support/SimProcess.h"
#include "ui/Program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

using namespace korvat;
using namespace korvat::test;

namespace {

// A fault and when it is set and released: after `from` measurements are recorded and the window
// shows no trouble left from the fault before; released
// 4 s after `until` are recorded (the window has shown the last refusal by then), or `forMs` of
// real time after it was set.
struct Fault {
    DiskFault fault;
    std::size_t from;
    std::size_t until = 0;
    qint64 forMs = 0;
};

struct Sample {
    qint64 at;
    bool lamp;
    DiskFault fault;
};

struct Outcome {
    std::vector<Sample> samples;
    std::vector<std::pair<qint64, qint64>> faultTimes; // set, released (ms since the run's start)
    QDateTime firstFaultWall;                           // when the first fault was set
};

class StorageFaultPty : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SimProcess::available())
            GTEST_SKIP() << "korvat-sim not built";
        ASSERT_TRUE(sim.start({}));
        dir = folder.path() + "/";
        lab = dir + "lab";
        csv = lab + "/Night.csv";
        ASSERT_TRUE(QDir().mkpath(lab));
        for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
            ASSERT_TRUE(QFile::copy(SimProcess::binDir() + "/" + list, dir + list));
        ASSERT_TRUE(IniFile(dir + "Korvat.ini")
                        .writeEntries({{"Language", "Code", "DE"},
                                       {"DeviceTyp", "Typ", "FID"},
                                       {"Communication", "ComPortA", sim.linkA},
                                       {"Calibration", "FIDCalArea", "450000"},
                                       {"Measurement", "RawDataSave", "1"},
                                       {"Measurement", "MeasurementSampleTime/s", "1"},
                                       {"Measurement", "MeasurementInjectionTime/s", "1"},
                                       {"Measurement", "MeasurementTimePerCell/s", "5"}}));
    }

    // Runs `cycles` cycles of the three cells through the faults; the test looks every 100 ms.
    Outcome run(int cycles, std::vector<Fault> faults) {
        Outcome out;
        Program program(dir, files.layer);
        EXPECT_EQ(program.FormCreate(), StartupOutcome::Running);
        KorvatApp& app = program.app();
        app.records().sDateiname = csv;
        app.events().openJournal(lab + "/Night_events.log", "storage faults over pseudo-terminals");
        app.inputs().set(Input::Start, "4");
        app.inputs().set(Input::Count, "3");
        app.inputs().set(Input::Cycles, QString::number(cycles));
        app.sequencer().btnStartClick();
        EXPECT_TRUE(app.sequencer().running());
        QElapsedTimer t;
        t.start();
        std::size_t next = 0;
        bool on = false;
        qint64 setAt = 0;
        qint64 reachedAt = -1; // when the count that releases the fault was reached
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            const std::size_t done = app.run().measurements().size();
            // A fault begins once the window has shown the last one over: a lamp still lit from
            // it would be taken for this one's (the retry that clears it comes every 5 s).
            const bool lit = program.form().ledOn("ledStorage");
            if (!on && next < faults.size() && done >= faults[next].from && !lit) {
                files.calls->set(faults[next].fault);
                on = true;
                setAt = t.elapsed();
                if (!out.firstFaultWall.isValid())
                    out.firstFaultWall = QDateTime::currentDateTime();
            } else if (on && faults[next].until > 0 && done >= faults[next].until && reachedAt < 0) {
                reachedAt = t.elapsed();
            } else if (on && ((reachedAt >= 0 && t.elapsed() - reachedAt >= 4000) ||
                              (faults[next].forMs > 0 && t.elapsed() - setAt >= faults[next].forMs))) {
                reachedAt = -1;
                files.calls->set(DiskFault::None);
                out.faultTimes.push_back({setAt, t.elapsed()});
                on = false;
                ++next;
            }
            out.samples.push_back({t.elapsed(), lit, files.calls->fault()});
            if (!app.sequencer().running() || t.elapsed() > 280'000)
                loop.quit();
        });
        look.start(100);
        loop.exec();
        files.calls->set(DiskFault::None);
        EXPECT_FALSE(app.sequencer().running()) << "the run did not end";
        // Whatever waited goes in with the next retry (every few seconds): the window follows.
        QElapsedTimer settle;
        settle.start();
        while (program.form().ledOn("ledStorage") && settle.elapsed() < 30'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_FALSE(program.form().ledOn("ledStorage")) << program.form().text("lblStorage").toStdString();
        EXPECT_TRUE(app.recorder().settle(Millis(10'000)));
        // Korvat.ini follows the recorder at the next tick.
        QElapsedTimer ticks;
        ticks.start();
        while (ticks.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        out.samples.push_back({t.elapsed(), program.form().ledOn("ledStorage"), DiskFault::None});
        measured = app.run().measurements().size();
        summary = app.records().summaryBytes(app.run().summaries());
        stateLeft = IniFile(dir + "Korvat.ini").readString(key::RunState, QString());
        fileWaitingListed = filesWrittenListed = false;
        for (const RunEvent& e : app.events().listed()) {
            fileWaitingListed = fileWaitingListed || e.kind == EventKind::FileWaiting;
            filesWrittenListed = filesWrittenListed || e.kind == EventKind::FilesWritten;
        }
        return out;
    }

    // The gaps between the instrument's receipts of the first status query (the measuring
    // cell's temperature), before the first fault and from then on, in seconds.
    std::pair<double, double> pollGaps(const QDateTime& firstFault) const {
        double before = 0, after = 0;
        QDateTime last;
        for (const QString& line : sim.log().split('\n')) {
            const QStringList f = line.split(' ');
            if (f.size() < 3 || f[1] != "A" || f[2] != "<SG")
                continue;
            const QDateTime at = QDateTime::fromString(f[0], Qt::ISODateWithMs);
            if (last.isValid()) {
                const double gap = last.msecsTo(at) / 1000.0;
                (at <= firstFault ? before : after) = std::max(at <= firstFault ? before : after, gap);
            }
            last = at;
        }
        std::fprintf(stderr, "status poll <SG: longest gap %.3f s before the first fault, %.3f s from it on\n", before, after);
        return {before, after};
    }

    // Everything the run wrote, checked.
    void checkFiles() {
        const ResultsFileRead read = readResultsFile(csv);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.runs.size(), 1u);
        QList<int> numbers, expected;
        for (const ResultRow& r : read.runs[0].rows)
            numbers << r.runAktiv;
        for (int n = 1; n <= int(measured); ++n)
            expected << n;
        EXPECT_EQ(numbers, expected) << "every row once, in order";
        for (int n = 1; n <= int(measured); ++n) {
            Series a, b, c;
            const RawLoadResult loaded = loadRawData(lab + QStringLiteral("/Night_%1.txt").arg(n), a, b, c);
            EXPECT_TRUE(loaded.ok) << loaded.error.toStdString();
            EXPECT_EQ(int(a.size()) + 1, loaded.count) << n;
        }
        const QString journal = lab + "/Night_events.log";
        const JournalCheck check = verifyJournal(journal);
        EXPECT_EQ(check.firstBadLine, 0) << check.reason.toStdString();
        const std::vector<JournalMismatch> mismatches = verifyJournalData(journal);
        EXPECT_TRUE(mismatches.empty()) << (mismatches.empty() ? std::string() : mismatches[0].text.toStdString());
        EXPECT_EQ(readBytes(journal).count("\tmeasurement\t"), int(measured));
        EXPECT_EQ(readBytes(lab + "/Night_summary.csv"), summary);
        EXPECT_EQ(stateLeft, QString()) << "the run ended and nothing waits: no state is left";
        EXPECT_TRUE(QDir(lab).entryList({"*korvat-tmp*"}, QDir::Files | QDir::Hidden).isEmpty());
        EXPECT_TRUE(fileWaitingListed);
        EXPECT_TRUE(filesWrittenListed);
    }

    // From the first moment the lamp lit during a fault until the fault was released, it stayed
    // lit; it lit within `within` ms of the fault's start; and it was out at the end.
    void checkTold(const Outcome& out, qint64 within) {
        for (const auto& [set, released] : out.faultTimes) {
            qint64 lit = -1;
            for (const Sample& s : out.samples) {
                if (s.at < set || s.at > released)
                    continue;
                if (lit < 0 && s.lamp)
                    lit = s.at;
                if (lit >= 0) {
                    EXPECT_TRUE(s.lamp) << "the lamp went out at " << s.at << " ms, the fault lasted until " << released;
                }
            }
            ASSERT_GE(lit, 0) << "the fault from " << set << " ms was never shown";
            EXPECT_LE(lit - set, within) << "shown " << (lit - set) << " ms after the fault began";
        }
        ASSERT_FALSE(out.samples.empty());
        EXPECT_FALSE(out.samples.back().lamp);
    }

    SimProcess sim;
    QTemporaryDir folder;
    QString dir, lab;
    QString csv;
    FaultyFiles files{folder.path() + "/lab"};
    std::size_t measured = 0;
    QByteArray summary;
    QString stateLeft;
    bool fileWaitingListed = false, filesWrittenListed = false;
};

} // namespace

// Full, read-only and taken away, one after the other, each over the end of at least one
// measurement, then released.
TEST_F(StorageFaultPty, FullReadOnlyAndRemovedThenReleased) {
    const Outcome out = run(3, {{DiskFault::Full, 1, 3}, {DiskFault::ReadOnly, 4, 5}, {DiskFault::Removed, 6, 8}});
    ASSERT_EQ(out.faultTimes.size(), 3u);
    EXPECT_EQ(measured, 9u);
    const auto [before, during] = pollGaps(out.firstFaultWall);
    ASSERT_GT(before, 0.5);
    EXPECT_LE(during, before + 1.0) << "the status poll's rhythm broke: " << during << " s against " << before << " s";
    checkFiles();
    // A measurement takes about 8 s: the lamp is lit by the end of the first one the disk refuses.
    checkTold(out, 12'000);
}

// The share does not answer for a minute: the instrument is driven and measured on, the window
// says the disk does not answer, and everything goes in once it answers again.
TEST_F(StorageFaultPty, HangingForAMinuteThenReleased) {
    const Outcome out = run(4, {{DiskFault::Hang, 2, 0, 60'000}});
    ASSERT_EQ(out.faultTimes.size(), 1u);
    EXPECT_EQ(measured, 12u);
    const auto [before, during] = pollGaps(out.firstFaultWall);
    ASSERT_GT(before, 0.5);
    EXPECT_LE(during, before + 1.0) << "the status poll's rhythm broke: " << during << " s against " << before << " s";
    checkFiles();
    // The first write into the hanging folder comes with the next measurement's end (or a
    // journal line before it), and a write that has not come back for 3 s is shown.
    checkTold(out, 16'000);
}
