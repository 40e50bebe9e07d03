// The archive as the archive window reads it, without a window: a test taken back out of the
// archive shows the figures its run showed and reports as its results file does; the list's
// filters (chemical, material, date range, instrument) and its weakest-specimen columns; the
// curves of several tests for one chart; and the questions asked off the asking thread, also of
// a server that never answers.

#include "app/ArchiveSession.h"
#include "evaluation/PermeationMetrics.h"
#include "run/Archive.h"
#include "run/ArchiveImport.h"
#include "run/ArchivedRun.h"
#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "support/AppFixture.h"
#include "support/ArchiveRun.h"
#include "support/ArchiveBackend.h"
#include "support/PostgresServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUuid>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace korvat;
using korvat::test::ArchiveBackendTest;
using korvat::test::Backend;
using korvat::test::backendName;
using korvat::test::AppFixture;
using korvat::test::PostgresServer;

namespace {

void runWithArchive(AppFixture& f, const QString& csv, const QStringList& materials) {
    korvat::test::runWithArchive(f, csv, materials, f.dir + "archive.sqlite");
}

std::optional<ArchivedTest> loadFrom(const QString& where, const QString& id) {
    QString error;
    std::unique_ptr<Archive> archive = Archive::open(where, &error);
    EXPECT_TRUE(archive) << error.toStdString();
    if (!archive)
        return std::nullopt;
    std::optional<ArchivedTest> t = archive->load(id, &error);
    EXPECT_TRUE(t) << error.toStdString();
    return t;
}

void expectSameFigures(const CellSummary& a, const CellSummary& b) {
    SCOPED_TRACE(testing::Message() << "cell " << a.cell << (a.detector == Detector::FID ? " FID" : " FPD"));
    EXPECT_EQ(a.cell, b.cell);
    EXPECT_EQ(a.detector, b.detector);
    EXPECT_EQ(a.sampleName, b.sampleName);
    EXPECT_EQ(a.chemical, b.chemical);
    EXPECT_EQ(a.specimen.material, b.specimen.material);
    EXPECT_EQ(a.calibrated, b.calibrated);
    ASSERT_EQ(a.series.size(), b.series.size());
    for (std::size_t i = 0; i < a.series.size(); ++i) {
        EXPECT_NEAR(a.series[i].minutes, b.series[i].minutes, 1e-9);
        EXPECT_DOUBLE_EQ(a.series[i].rate, b.series[i].rate);
    }
    EXPECT_EQ(a.metrics.measurements, b.metrics.measurements);
    EXPECT_EQ(a.metrics.bt01.first, b.metrics.bt01.first);
    EXPECT_EQ(a.metrics.bt10.first, b.metrics.bt10.first);
    EXPECT_EQ(a.metrics.bt01.interpolated.has_value(), b.metrics.bt01.interpolated.has_value());
    if (a.metrics.bt01.interpolated && b.metrics.bt01.interpolated) {
        EXPECT_NEAR(*a.metrics.bt01.interpolated, *b.metrics.bt01.interpolated, 1e-9);
    }
    EXPECT_EQ(performanceLevelText(a.metrics.level), performanceLevelText(b.metrics.level));
    EXPECT_NEAR(a.metrics.cumulative, b.metrics.cumulative, 1e-9);
    EXPECT_EQ(a.metrics.steady.has_value(), b.metrics.steady.has_value());
    EXPECT_EQ(a.decision, b.decision);
}

ArchivedCell fidCell(int k, const QString& material, const QString& chemical, std::optional<double> bt10, double held) {
    ArchivedCell c;
    c.cell = k;
    c.detector = QStringLiteral("FID");
    c.material = material;
    c.chemical = chemical;
    c.bt10Minutes = bt10;
    c.brokeThrough = bt10.has_value();
    c.heldMinutes = held;
    // The cell's own level, as the run's figures give it.
    const int level = levelForBreakthrough(bt10.value_or(held));
    c.level = bt10 ? QString::number(level) : QStringLiteral(">= %1").arg(level);
    c.levelLowest = level;
    c.levelHighest = bt10 ? level : 6;
    return c;
}

// A cell that broke through at or before its first measurement: no interpolated time, a range.
ArchivedCell brokeAtOnce(int k, const QString& material, const QString& chemical) {
    ArchivedCell c = fidCell(k, material, chemical, std::nullopt, 0);
    c.brokeThrough = true;
    c.level = QStringLiteral("0-1");
    c.levelLowest = 0;
    c.levelHighest = 1;
    return c;
}

ArchivedTest synthetic(const QString& serial, const QString& file, const QDateTime& started, std::vector<ArchivedCell> cells) {
    ArchivedTest t;
    t.testId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    t.instrument = serial;
    t.resultsFile = QStringLiteral("/lab/") + file;
    t.started = started;
    t.detector = QStringLiteral("FID");
    t.plannedMinutes = 480;
    t.source = QStringLiteral("import");
    t.cells = std::move(cells);
    return t;
}

// Runs the event loop until `done` or a generous bound (a failing test must end).
template <typename F>
bool waitFor(F done, int boundMs = 60'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < boundMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

} // namespace

// The run wrote itself into the archive as it went; taken back out, its cells show the curves and
// figures the run itself showed at its end, and its specimens come back with it.
TEST(ArchivedRun, ShowsTheFiguresItsRunShowed) {
    AppFixture f;
    runWithArchive(f, f.dir + "Nitril.csv", {"Nitril 0.12", "Nitril 0.12", "Latex"});
    const std::optional<ArchivedTest> t = loadFrom(f.archiveFile, f.app().run().testId);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->source, QStringLiteral("run"));
    const std::vector<CellSummary> live = f.app().run().summaries();
    const std::vector<CellSummary> archived = summariesOf(*t);
    ASSERT_EQ(archived.size(), live.size());
    ASSERT_FALSE(live.empty());
    for (std::size_t i = 0; i < live.size(); ++i)
        expectSameFigures(archived[i], live[i]);
    const RunParameters p = parametersOf(*t);
    EXPECT_EQ(p.cell(3).specimen.material, QStringLiteral("Latex"));
    EXPECT_EQ(p.measuringSeconds, 30);
    EXPECT_EQ(testNameOf(t->resultsFile, t->fileRun), QStringLiteral("Nitril"));
    EXPECT_EQ(testNameOf(QStringLiteral("C:\\Lab\\Glove7.csv"), 2), QStringLiteral("Glove7 #2"));
}

// The report of an archived test, its results file gone: every result line and remark as the
// report from the results file gave them, in both languages, and it says it came from the archive.
TEST(ArchivedRun, ReportsFromTheArchiveAloneAsFromItsResultsFile) {
    AppFixture f;
    runWithArchive(f, f.dir + "Butyl.csv", {"Butyl", "Butyl", "Butyl"});
    for (int language : {kGermanOffset, kEnglishOffset}) {
        SCOPED_TRACE(language);
        const ReportData fromFile = gatherReportData(f.dir + "Butyl.csv", language);
        ASSERT_TRUE(fromFile.ok) << fromFile.error.toStdString();
        const std::optional<ArchivedTest> t = loadFrom(f.archiveFile, f.app().run().testId);
        ASSERT_TRUE(t);
        ArchivedTest moved = *t;
        moved.resultsFile = QStringLiteral("/nowhere/Butyl.csv");
        const ReportData fromArchive = archivedReportData(moved, language);
        ASSERT_TRUE(fromArchive.ok) << fromArchive.error.toStdString();
        ASSERT_FALSE(fromFile.results.empty());
        EXPECT_EQ(fromArchive.resultCaptions, fromFile.resultCaptions);
        EXPECT_EQ(fromArchive.results, fromFile.results);
        EXPECT_EQ(fromArchive.remarks, fromFile.remarks);
        EXPECT_EQ(fromArchive.chartDetectors, fromFile.chartDetectors);
        EXPECT_EQ(fromArchive.specimens.front(), fromFile.specimens.front());
        EXPECT_EQ(fromArchive.sectionTitles, fromFile.sectionTitles);
        EXPECT_EQ(fromArchive.identification[1], fromFile.identification[1]); // the serial number
        ASSERT_EQ(fromArchive.cells.size(), fromFile.cells.size());
        EXPECT_FALSE(fromArchive.notes.isEmpty());
    }
    ArchivedTest empty = *loadFrom(f.archiveFile, f.app().run().testId);
    empty.measurements.clear();
    EXPECT_FALSE(archivedReportData(empty, kEnglishOffset).ok);
}

// Several tests on one chart: each test's calibrated FID cells, named by the test and its materials.
TEST(ArchivedRun, OverlaysTheCurvesOfSeveralTests) {
    AppFixture a, b;
    runWithArchive(a, a.dir + "Nitril.csv", {"Nitril", "Nitril", "Nitril"});
    runWithArchive(b, b.dir + "Latex.csv", {"Latex", "Latex"});
    std::vector<ArchivedTest> tests = {*loadFrom(a.archiveFile, a.app().run().testId),
                                       *loadFrom(b.archiveFile, b.app().run().testId)};
    const std::vector<OverlayCurve> curves = overlayCurves(tests);
    ASSERT_FALSE(curves.empty());
    std::map<int, int> perTest;
    for (const OverlayCurve& c : curves) {
        ++perTest[c.test];
        EXPECT_FALSE(c.points.empty());
        EXPECT_EQ(c.label, overlayLabelOf(tests[std::size_t(c.test)]));
    }
    EXPECT_EQ(perTest.size(), 2u);
    EXPECT_EQ(overlayLabelOf(tests[0]), QStringLiteral("Nitril: Nitril"));
    EXPECT_EQ(overlayLabelOf(tests[1]), QStringLiteral("Latex: Latex"));
    // The curve of a test's cell is that cell's series.
    const std::vector<CellSummary> first = summariesOf(tests[0]);
    EXPECT_EQ(curves.front().points, first.front().series);
}

namespace {

class ArchiveListOn : public ArchiveBackendTest {};

} // namespace

// The list's filters, one at a time and together, and what a row says of the weakest specimen.
TEST_P(ArchiveListOn, FiltersByChemicalMaterialDateRangeAndInstrument) {
    QString error;
    std::unique_ptr<Archive> archive = Archive::open(where, &error);
    ASSERT_TRUE(archive) << error.toStdString();
    const QDateTime jan(QDate(2026, 1, 10), QTime(9, 0), QTimeZone::utc());
    const ArchivedTest tests[] = {
        synthetic("SN-A", "Jan.csv", jan, {fidCell(1, "Nitril", "Toluol", 95.0, 95), fidCell(2, "Nitril", "Toluol", 70.0, 70),
                                           brokeAtOnce(3, "Nitril", "Toluol")}),
        synthetic("SN-B", "Feb.csv", jan.addDays(30), {fidCell(1, "Butyl", "Toluol", std::nullopt, 480), fidCell(2, "Butyl", "Toluol", std::nullopt, 300)}),
        synthetic("SN-B", "Mar.csv", jan.addDays(60), {fidCell(1, "Nitril", "Methanol", 12.0, 12)}),
    };
    for (const ArchivedTest& t : tests)
        ASSERT_EQ(archive->store(t, &error), Archive::Stored::Added) << error.toStdString();

    auto names = [&](const ArchiveFilter& f) {
        QStringList out;
        for (const TestListing& l : archive->find(f, &error))
            out << testNameOf(l.resultsFile, l.fileRun);
        return out;
    };
    ArchiveFilter chemical, material, since, until, range, serial, all;
    chemical.chemical = QStringLiteral("toluol");
    material.material = QStringLiteral("NITRIL");
    since.since = jan.addDays(1);
    until.until = jan.addDays(31);
    range.since = jan.addDays(1);
    range.until = jan.addDays(31);
    serial.serial = QStringLiteral("SN-B");
    all = serial;
    all.material = QStringLiteral("Nitril");
    all.chemical = QStringLiteral("Methanol");
    all.since = jan;
    all.until = jan.addDays(90);
    const struct {
        const char* what;
        ArchiveFilter filter;
        QStringList expected;
    } cases[] = {
        {"none", {}, {"Jan", "Feb", "Mar"}},
        {"chemical", chemical, {"Jan", "Feb"}},
        {"material", material, {"Jan", "Mar"}},
        {"since", since, {"Feb", "Mar"}},
        {"until", until, {"Jan", "Feb"}},
        {"range", range, {"Feb"}},
        {"serial", serial, {"Feb", "Mar"}},
        {"all", all, {"Mar"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(names(c.filter), c.expected);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    }

    const std::vector<TestListing> listed = archive->find({});
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].cells, 3);
    EXPECT_EQ(listed[0].lowestBt10, std::optional<double>(70.0));
    EXPECT_EQ(listed[0].level, levelForBreakthrough(70));
    EXPECT_FALSE(listed[0].levelAtLeast);
    // The weakest specimen broke through before its first measurement: its own level says so.
    EXPECT_EQ(listed[0].levelText, QStringLiteral("0-1"));
    EXPECT_EQ(listed[1].levelText, QStringLiteral(">= 5"));
    EXPECT_EQ(listed[2].levelText, QStringLiteral("1"));
    EXPECT_EQ(listed[1].lowestBt10, std::nullopt);
    EXPECT_EQ(listed[1].heldMinutes, std::optional<double>(300.0));
    EXPECT_EQ(listed[1].level, levelForBreakthrough(300));
    EXPECT_TRUE(listed[1].levelAtLeast);
    EXPECT_EQ(listed[2].level, levelForBreakthrough(12));

    EXPECT_EQ(archive->names(Archive::Names::Chemicals), (QStringList{"Methanol", "Toluol"}));
    EXPECT_EQ(archive->names(Archive::Names::Materials), (QStringList{"Butyl", "Nitril"}));
    EXPECT_EQ(archive->names(Archive::Names::Instruments), (QStringList{"SN-A", "SN-B"}));
}

// The same questions through the session: answered on the asking thread after the call returned.
TEST_P(ArchiveListOn, TheSessionAnswersOnTheAskingThread) {
    QString error;
    {
        std::unique_ptr<Archive> archive = Archive::open(where, &error);
        ASSERT_TRUE(archive) << error.toStdString();
        const QDateTime jan(QDate(2026, 1, 10), QTime(9, 0), QTimeZone::utc());
        ASSERT_EQ(archive->store(synthetic("SN-A", "Jan.csv", jan, {fidCell(1, "Nitril", "Toluol", 95.0, 95)}), &error),
                  Archive::Stored::Added);
    }
    QObject context;
    ArchiveSession session(where);
    std::optional<ArchiveListAnswer> listed;
    Qt::HANDLE answeredOn = nullptr;
    session.list({}, &context, [&](const ArchiveListAnswer& a) {
        listed = a;
        answeredOn = QThread::currentThreadId();
    });
    EXPECT_FALSE(listed); // nothing answers inside the call
    ASSERT_TRUE(waitFor([&] { return listed.has_value(); }));
    EXPECT_EQ(answeredOn, QThread::currentThreadId());
    ASSERT_TRUE(listed->ok) << listed->error.toStdString();
    ASSERT_EQ(listed->tests.size(), 1u);
    EXPECT_EQ(listed->chemicals, QStringList{"Toluol"});
    EXPECT_EQ(listed->instruments, QStringList{"SN-A"});

    std::optional<ArchiveLoadAnswer> loaded;
    session.load({listed->tests[0].testId, QStringLiteral("no-such-test")}, &context,
                 [&](const ArchiveLoadAnswer& a) { loaded = a; });
    ASSERT_TRUE(waitFor([&] { return loaded.has_value(); }));
    EXPECT_FALSE(loaded->ok);
    EXPECT_TRUE(loaded->error.contains(QStringLiteral("no-such-test")));
    loaded.reset();
    session.load({listed->tests[0].testId}, &context, [&](const ArchiveLoadAnswer& a) { loaded = a; });
    ASSERT_TRUE(waitFor([&] { return loaded.has_value(); }));
    ASSERT_TRUE(loaded->ok) << loaded->error.toStdString();
    EXPECT_EQ(loaded->tests[0].instrument, QStringLiteral("SN-A"));
}

INSTANTIATE_TEST_SUITE_P(Backends, ArchiveListOn, ::testing::Values(Backend::SQLite, Backend::PostgreSQL), backendName);

// A lab server that takes the connection and never answers, and one that is not there: the
// question returns at once, the answer comes later and says the archive could not be reached;
// "none" says the archive is off.
TEST(ArchiveSession, AServerThatDoesNotAnswerIsReportedNotWaitedFor) {
    QTemporaryDir folder;
    // A socket where the server's would be, listening but never answering.
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(folder.path() + "/.s.PGSQL.5432");
    ASSERT_LT(std::size_t(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    QDir().mkpath(folder.path() + "/empty");

    const struct {
        const char* what;
        QString where;
    } cases[] = {
        {"silent", QStringLiteral("postgresql://lab@/korvat?host=%1&connect_timeout=2").arg(folder.path())},
        {"absent", QStringLiteral("postgresql://lab@/korvat?host=%1/empty&connect_timeout=2").arg(folder.path())},
        {"off", archiveInUse(QStringLiteral(" none "), QStringLiteral("/x/archive.sqlite"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QObject context;
        ArchiveSession session(c.where);
        std::optional<ArchiveListAnswer> answer;
        session.list({}, &context, [&](const ArchiveListAnswer& a) { answer = a; });
        EXPECT_FALSE(answer);
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
        EXPECT_FALSE(answer->ok);
        EXPECT_FALSE(answer->error.isEmpty());
    }
    ::close(listener);
    EXPECT_EQ(archiveInUse(QString(), QStringLiteral("/x/archive.sqlite")), QStringLiteral("/x/archive.sqlite"));
    EXPECT_EQ(archiveInUse(QStringLiteral("postgresql://lab/db"), QStringLiteral("/x/a.sqlite")),
              QStringLiteral("postgresql://lab/db"));
}
