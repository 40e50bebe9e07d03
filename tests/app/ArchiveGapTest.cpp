// A test whose archive lacks measurements (a write a kill cut off): importing its results file
// again adds what is missing, each measurement once, instead of passing the test over; a lab
// server that already had the test gets the filled gap too; and a run resumed after a real kill
// sends the archive every measurement it lacks.

#include "evaluation/MeasurementExport.h"
#include "run/Archive.h"
#include "run/ArchiveImport.h"
#include "run/RunState.h"
#include "support/AppFixture.h"
#include "support/ArchiveRun.h"
#include "support/ArchiveBackend.h"
#include "support/PostgresServer.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::ArchiveBackendTest;
using korvat::test::Backend;
using korvat::test::backendName;
using korvat::test::AppFixture;
using korvat::test::PostgresServer;

namespace {

QList<int> numbersOf(const ArchivedTest& t) {
    QList<int> out;
    for (const ExportRecord& r : t.measurements)
        out << r.measurement;
    return out;
}

QList<int> oneTo(int n) {
    QList<int> out;
    for (int i = 1; i <= n; ++i)
        out << i;
    return out;
}

// The test of a finished run's results file, with the measurements numbered in `left` taken out.
ArchivedTest withGaps(const ArchivedTest& whole, const QList<int>& left) {
    ArchivedTest t = whole;
    std::erase_if(t.measurements, [&](const ExportRecord& r) { return left.contains(r.measurement); });
    return t;
}

class ArchiveGapOn : public ArchiveBackendTest {};

} // namespace

// Stored with gaps, imported whole: the missing measurements are added (and counted), the rest
// stays; importing once more changes nothing.
TEST_P(ArchiveGapOn, ImportFillsTheMeasurementsATestLacks) {
    AppFixture run;
    korvat::test::runWithArchive(run, run.dir + "Glove.csv", {"Nitril"}, run.dir + "own.sqlite");
    const ImportedFile imported = archivedTestsOf(run.dir + "Glove.csv");
    ASSERT_TRUE(imported.ok) << imported.error.toStdString();
    ASSERT_EQ(imported.tests.size(), 1u);
    const ArchivedTest& whole = imported.tests[0];
    const int all = int(whole.measurements.size());
    ASSERT_GE(all, 6);

    QString error;
    std::unique_ptr<Archive> archive = Archive::open(where, &error);
    ASSERT_TRUE(archive) << error.toStdString();
    ASSERT_EQ(archive->store(withGaps(whole, {3, 5, all}), &error), Archive::Stored::Added) << error.toStdString();
    EXPECT_EQ(archive->find({}).front().measurements, all - 3);

    int filled = -1;
    EXPECT_EQ(archive->store(whole, &error, &filled), Archive::Stored::Completed) << error.toStdString();
    EXPECT_EQ(filled, 3);
    std::optional<ArchivedTest> back = archive->load(whole.testId, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(numbersOf(*back), oneTo(all));
    EXPECT_EQ(back->measurements, whole.measurements);
    EXPECT_EQ(archive->find({}).front().measurements, all);

    filled = -1;
    EXPECT_EQ(archive->store(whole, &error, &filled), Archive::Stored::AlreadyThere);
    EXPECT_EQ(archive->find({}).front().measurements, all);
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveGapOn, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

// The lab server got the test with its gap; once the local file is filled, the next pass sends
// the measurements in the gap too, not only those after the server's last.
TEST(ArchiveGap, AFilledGapReachesTheServer) {
    AppFixture run;
    korvat::test::runWithArchive(run, run.dir + "Glove.csv", {"Nitril"}, run.dir + "own.sqlite");
    const ImportedFile imported = archivedTestsOf(run.dir + "Glove.csv");
    ASSERT_TRUE(imported.ok) << imported.error.toStdString();
    const ArchivedTest& whole = imported.tests[0];
    const int all = int(whole.measurements.size());

    QTemporaryDir folder;
    QString error;
    std::unique_ptr<Archive> local = Archive::open(folder.path() + "/local.sqlite", &error);
    std::unique_ptr<Archive> lab = Archive::open(folder.path() + "/lab.sqlite", &error);
    ASSERT_TRUE(local && lab) << error.toStdString();
    ASSERT_EQ(local->store(withGaps(whole, {2, 4}), &error), Archive::Stored::Added);
    ASSERT_EQ(local->syncTo(*lab, &error), 1) << error.toStdString();
    EXPECT_EQ(lab->countUpTo(whole.testId, all), all - 2);
    EXPECT_EQ(local->unsent(), 0);

    ASSERT_EQ(local->store(whole, &error), Archive::Stored::Completed);
    EXPECT_EQ(local->unsent(), 1);
    ASSERT_EQ(local->syncTo(*lab, &error), 1) << error.toStdString();
    std::optional<ArchivedTest> there = lab->load(whole.testId, &error);
    ASSERT_TRUE(there) << error.toStdString();
    EXPECT_EQ(numbersOf(*there), oneTo(all));
    EXPECT_EQ(lab->find({}).front().measurements, all);
    EXPECT_EQ(local->unsent(), 0);
}

namespace {

const QStringList kIni = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                          "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                          "Measurement/LimitFID=0.1", "Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1"};

void tick(AppFixture& f) {
    f.clock.advance(Millis(90));
    QCoreApplication::processEvents();
    f.app().Timer1Timer();
}

// The first program: runs with its archive until measurement 4 is recorded and settled, and is
// killed.
[[noreturn]] void runUntilKilled(const QString& dir) {
    AppFixture f({}, dir);
    f.archiveFile = dir + "archive.sqlite";
    f.writeIni(kIni);
    if (f.start() != StartupOutcome::Running)
        std::abort();
    f.dialogs.nextFileName = dir + "Glove.csv";
    f.app().btnSpeichernClick();
    f.type(Input::Start, "4");
    f.type(Input::Count, "3");
    f.type(Input::Cycles, "3");
    f.app().sequencer().btnStartClick();
    while (f.app().run().measurements().size() < 4 && f.app().sequencer().running())
        tick(f);
    if (!f.app().recorder().settle(Millis(10'000)) || !f.app().archive()->settle(Millis(10'000)))
        std::abort();
    std::raise(SIGKILL);
    std::abort();
}

struct ArchiveResume : ::testing::Test {
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        const QByteArray var = "KORVAT_ARCHIVE_RESUME_DIR";
        if (qEnvironmentVariableIsEmpty(var)) {
            folder = std::make_unique<QTemporaryDir>();
            qputenv(var, folder->path().toUtf8());
        }
        dir = QString::fromUtf8(qgetenv(var)) + "/";
    }
    void TearDown() override {
        if (folder)
            qunsetenv("KORVAT_ARCHIVE_RESUME_DIR");
    }
    std::unique_ptr<QTemporaryDir> folder;
    QString dir;
};

} // namespace

// Killed after four measurements, two of whose archive writes were cut off (taken out here as
// the kill would have left them), and resumed: the archive ends with every measurement of the
// run once, the raw-data hashes of the export among them.
TEST_F(ArchiveResume, TheResumedRunSendsWhatTheArchiveLacks) {
    EXPECT_EXIT(runUntilKilled(dir), ::testing::KilledBySignal(SIGKILL), "");
    QString error;
    const std::optional<SavedRun> saved = loadRunState(runStateFileName(dir + "Glove.csv"), &error);
    ASSERT_TRUE(saved) << error.toStdString();
    {
        std::unique_ptr<Archive> archive = Archive::open(dir + "archive.sqlite", &error);
        ASSERT_TRUE(archive) << error.toStdString();
        ASSERT_EQ(archive->lastMeasurement(saved->testId), 4);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gap"));
        db.setDatabaseName(dir + "archive.sqlite");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("DELETE FROM measurements WHERE measurement IN (2, 4)")));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE tests SET measurement_count = measurement_count - 2")));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("gap"));

    AppFixture f({}, dir);
    f.archiveFile = dir + "archive.sqlite";
    f.writeIni(kIni);
    f.dialogs.answer = true;
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    ASSERT_TRUE(f.app().sequencer().running());
    const Millis limit = f.clock.monotonicNow() + Millis(3600 * 1000);
    while (f.app().sequencer().running() && f.clock.monotonicNow() < limit)
        tick(f);
    ASSERT_FALSE(f.app().sequencer().running());
    ASSERT_TRUE(f.app().recorder().settle(Millis(10'000)));
    ASSERT_TRUE(f.app().archive()->settle(Millis(20'000)));

    std::unique_ptr<Archive> archive = Archive::open(dir + "archive.sqlite", &error);
    ASSERT_TRUE(archive) << error.toStdString();
    const std::optional<ArchivedTest> t = archive->load(saved->testId, &error);
    ASSERT_TRUE(t) << error.toStdString();
    EXPECT_EQ(numbersOf(*t), oneTo(9));
    EXPECT_EQ(archive->find({}).front().measurements, 9);
    // The measurements sent again are those the export recorded, every digit and hash.
    const ExportRead exported = readExport(korvat::test::readBytes(dir + "Glove_measurements.csv"));
    ASSERT_TRUE(exported.ok) << exported.error.toStdString();
    EXPECT_EQ(t->measurements, exported.records);
    EXPECT_FALSE(t->measurements[1].rawSha256.isEmpty());
}
