// A run killed (SIGKILL) at different moments and the program started again: answered yes, the run
// goes on where it stood and ends with every measurement's row exactly once, running numbers
// without gap or repeat, elapsed times counting from the original start; answered no, nothing is
// appended. The kill is real: each case's first part runs in a child process that kills itself.

#include "evaluation/MeasurementExport.h"
#include "run/EventJournal.h"
#include "run/RunState.h"
#include "support/AppFixture.h"
#include "support/SummaryText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

enum class KillAt { Flushing, Window, RowNotWritten, RowHalfWritten };

struct Case {
    const char* name;
    KillAt at;
    bool answer;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const QStringList kIni = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                          "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                          "Measurement/LimitFID=0.1"};
constexpr int kCells = 3, kCycles = 3; // positions 4 to 6, three times: nine measurements

void tick(AppFixture& f) {
    f.clock.advance(Millis(90));
    QCoreApplication::processEvents();
    f.app().Timer1Timer();
}

// The first program: starts the run and ticks until the moment of the kill.
[[noreturn]] void runUntilKilled(const QString& dir, KillAt at) {
    AppFixture f({}, dir);
    f.writeIni(kIni);
    if (f.start() != StartupOutcome::Running)
        std::abort();
    f.type(Input::Contact2, "4");
    f.dialogs.nextFileName = dir + "Glove.csv";
    f.app().btnSpeichernClick();
    f.type(Input::Start, "4");
    f.type(Input::Count, QString::number(kCells));
    f.type(Input::Cycles, QString::number(kCycles));
    f.app().sequencer().btnStartClick();
    const RunModel& run = f.app().run();
    auto reached = [&] {
        switch (at) {
        case KillAt::Flushing: return run.runAktiv == 4 && run.runTag() == RunTag::FlushCell;
        case KillAt::Window: return run.runAktiv == 5 && run.runTag() == RunTag::Acquire;
        default: return run.runAktiv == 4 && run.runTag() == RunTag::FillCell; // measurement 3 recorded
        }
    };
    while (!reached() && f.app().sequencer().running())
        tick(f);
    std::raise(SIGKILL);
    std::abort();
}

// The live figures against those of every record the run holds, made afresh.
std::string wholeRunFigures(AppFixture& f) {
    std::vector<const ResultRow*> rows;
    for (const MeasurementRecord& m : f.app().run().measurements())
        rows.push_back(&m);
    return test::exactText(summarizeCells(rows, f.app().run().parameters, f.app().DeviceTyp == TDeviceTyp::FIDFPD,
                                          DetectionSettings::from(f.app().settings())));
}

// The running numbers of the rows below the title line.
QList<int> runningNumbers(const QString& path) {
    QList<int> out;
    bool body = false;
    for (const QByteArray& l : test::readBytes(path).split('\n')) {
        const QString text = QString::fromLatin1(l).trimmed();
        if (text.isEmpty())
            continue;
        if (body)
            out << text.split(';').last().toInt();
        else
            body = text.startsWith("Zelle;Bruch;Bruchzeit;");
    }
    return out;
}

struct RunResume : ::testing::TestWithParam<Case> {
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // The child process runs this test again up to the kill: it must find the same folder.
        const QByteArray var = "KORVAT_RESUME_TEST_DIR";
        if (qEnvironmentVariableIsEmpty(var)) {
            folder = std::make_unique<QTemporaryDir>();
            qputenv(var, folder->path().toUtf8());
        }
        dir = QString::fromUtf8(qgetenv(var)) + "/";
    }
    void TearDown() override {
        if (folder)
            qunsetenv("KORVAT_RESUME_TEST_DIR");
    }
    std::unique_ptr<QTemporaryDir> folder;
    QString dir;
};

} // namespace

TEST_P(RunResume, EveryMeasurementEndsUpInTheFileExactlyOnce) {
    const Case c = GetParam();
    EXPECT_EXIT(runUntilKilled(dir, c.at), ::testing::KilledBySignal(SIGKILL), "");
    const QString csv = dir + "Glove.csv";
    const QString statePath = runStateFileName(csv);
    QString error;
    const std::optional<SavedRun> saved = loadRunState(statePath, &error);
    ASSERT_TRUE(saved) << error.toStdString();

    // The kill between the run state and the row it announces (or in the middle of that row).
    if (c.at == KillAt::RowNotWritten || c.at == KillAt::RowHalfWritten) {
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_EQ(file.size(), saved->resultsSize + saved->rowsToWrite.size());
        file.resize(saved->resultsSize + (c.at == KillAt::RowHalfWritten ? saved->rowsToWrite.size() / 2 : 0));
    }
    // Each commit handed over only its new records; the state holds every one of the run's.
    ASSERT_GE(saved->measurements.size(), 3u);
    for (std::size_t i = 0; i < saved->measurements.size(); ++i)
        EXPECT_EQ(saved->measurements[i].runAktiv, int(i) + 1);
    const QByteArray resultsBefore = test::readBytes(csv);
    const QList<int> before = runningNumbers(csv);
    const QDateTime started = saved->started;

    // The program starts again, an hour later; meanwhile someone edited the measuring time and a
    // contact in the settings file.
    AppFixture f({}, dir);
    f.writeIni(kIni + QStringList{"Measurement/MeasurementTimePerCell/s=45", "Measurement/ContactBeforeStart2/min=9"});
    f.clock.shiftWallClock(Millis(3 * 3600 * 1000));
    f.dialogs.answer = c.answer;
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    ASSERT_EQ(f.dialogs.boxes.size(), 1);
    EXPECT_EQ(f.dialogs.boxes[0].kind, "question");
    EXPECT_TRUE(f.dialogs.boxes[0].text.contains(csv)) << f.dialogs.boxes[0].text.toStdString();

    const QString journal = dir + "Glove_events.log";
    if (!c.answer) {
        EXPECT_FALSE(f.app().sequencer().running());
        EXPECT_EQ(test::readBytes(csv), resultsBefore);
        EXPECT_FALSE(QFile::exists(statePath));
        EXPECT_TRUE(test::readBytes(journal).contains("\trun-abandoned\t"));
        EXPECT_EQ(verifyJournal(journal).firstBadLine, 0) << verifyJournal(journal).reason.toStdString();
        // The next start asks nothing.
        AppFixture again({}, dir);
        ASSERT_EQ(again.start(), StartupOutcome::Running);
        EXPECT_TRUE(again.dialogs.boxes.isEmpty());
        return;
    }

    ASSERT_TRUE(f.app().sequencer().running());
    EXPECT_EQ(f.app().run().runStartzeit, started);
    // The run goes on with the parameters it started with, as its header block records them.
    EXPECT_EQ(f.app().run().parameters.measuringSeconds, 30);
    EXPECT_EQ(f.app().run().parameters.cell(2).contactMinutes, 4.0);
    // The figures kept row by row go on from the records restored with the run.
    EXPECT_FALSE(f.app().run().summaries().empty());
    EXPECT_EQ(test::exactText(f.app().run().summaries()), wholeRunFigures(f));
    const Millis limit = f.clock.monotonicNow() + Millis(3600 * 1000);
    std::size_t recorded = f.app().run().measurements().size();
    while (f.app().sequencer().running() && f.clock.monotonicNow() < limit) {
        tick(f);
        if (f.app().run().measurements().size() != recorded) {
            recorded = f.app().run().measurements().size();
            ASSERT_EQ(test::exactText(f.app().run().summaries()), wholeRunFigures(f)) << recorded;
            // The state after each measurement holds every record, those restored and the new.
            if (f.app().sequencer().running()) {
                const std::optional<SavedRun> now = loadRunState(statePath, &error);
                ASSERT_TRUE(now) << error.toStdString();
                ASSERT_EQ(now->measurements.size(), recorded);
                for (std::size_t i = 0; i < recorded; ++i)
                    EXPECT_EQ(now->measurements[i].runAktiv, int(i) + 1);
            }
        }
    }
    ASSERT_FALSE(f.app().sequencer().running());

    QList<int> expected;
    for (int n = 1; n <= kCells * kCycles; ++n)
        expected << n;
    EXPECT_EQ(runningNumbers(csv), expected) << "before the restart: " << before.size() << " rows";
    // The export holds every measurement once too, all of them under the run's one test id.
    const ExportRead exported = readExport(test::readBytes(dir + "Glove_measurements.csv"));
    ASSERT_TRUE(exported.ok) << exported.error.toStdString();
    QList<int> exportedNumbers;
    QSet<QString> ids;
    for (const ExportRecord& e : exported.records) {
        exportedNumbers << e.measurement;
        ids.insert(e.testId);
    }
    EXPECT_EQ(exportedNumbers, expected);
    EXPECT_EQ(ids.size(), 1);
    EXPECT_FALSE(QFile::exists(statePath));
    // Elapsed times go on from the original start: the measurements after the restart are
    // hours later than those before it.
    const auto& records = f.app().run().measurements();
    ASSERT_EQ(records.size(), std::size_t(kCells * kCycles));
    EXPECT_GT(records.back().elapsedMs, 3 * 3600 * 1000);
    EXPECT_LT(records.front().elapsedMs, 3600 * 1000);
    const QByteArray log = test::readBytes(journal);
    EXPECT_TRUE(log.contains("\trun-resumed\t"));
    EXPECT_TRUE(log.contains("\trun-end\t"));
    EXPECT_EQ(verifyJournal(journal).firstBadLine, 0) << verifyJournal(journal).reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(KillPoints, RunResume,
                         ::testing::Values(Case{"Flushing", KillAt::Flushing, true},
                                           Case{"Window", KillAt::Window, true},
                                           Case{"RowNotWritten", KillAt::RowNotWritten, true},
                                           Case{"RowHalfWritten", KillAt::RowHalfWritten, true},
                                           Case{"RowNotWrittenAnsweredNo", KillAt::RowNotWritten, false},
                                           Case{"WindowAnsweredNo", KillAt::Window, false}),
                         [](const auto& info) { return std::string(info.param.name); });
