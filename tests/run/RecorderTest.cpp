// The recorder, the one writer of a run's files, over a folder that fails on command (a full
// disk, a read-only one, a folder taken away, one that hangs): the order its writes keep, nothing
// half-written under a file's own name, rows that wait in order and go in once, a results file
// that is not the one it wrote getting nothing, a journal line cut back and the chain going on,
// the state kept in the state folder meanwhile, a caller that never waits for a hanging disk, and
// temporary files of a killed program cleared away.

#include "run/Recorder.h"

#include "evaluation/TestFiles.h"
#include "support/AppFixture.h"
#include "support/FaultyFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvat;
using korvat::test::DiskFault;
using korvat::test::FaultyFiles;
using korvat::test::readBytes;
using korvat::test::writeFile;

namespace {

const QDateTime kStart(QDate(2026, 3, 2), QTime(22, 0, 0));

struct Disk : ::testing::Test {
    QTemporaryDir dir;
    QString folder = dir.path() + "/share";
    QString stateFolder = dir.path() + "/state/";
    QString csv = folder + "/Glove.csv";
    QString journal = folder + "/Glove_events.log";
    FaultyFiles faulty{folder};
    std::unique_ptr<Recorder> recorder;
    const QByteArray header = "Datei:;Glove.csv\r\nZelle;Bruch\r\n";

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(folder));
        make(RecorderDispatch::Inline);
    }
    void make(RecorderDispatch dispatch) {
        recorder.reset();
        recorder = std::make_unique<Recorder>(Recorder::Options{faulty.layer, dispatch, stateFolder});
    }
    QString at(const QString& name) const { return folder + "/" + name; }
    static QByteArray row(int n) { return QStringLiteral("%1; ;;Toluol;0,57;%1\r\n").arg(n).toLatin1(); }
    static QByteArray raw(int n) { return QStringLiteral("0\r\n3\r\n%1\r\n%1\r\n").arg(n).toLatin1(); }
    FinishedMeasurement measurement(int n, const QString& results = {}) const {
        const QString file = results.isEmpty() ? csv : results;
        FinishedMeasurement m;
        m.now = kStart.addSecs(60 * n);
        m.resultsFile = file;
        m.measurement = n;
        m.row = row(n);
        m.rawPath = besideRun(file, 1, QStringLiteral("_%1.txt").arg(n));
        m.raw = raw(n);
        m.summaryPath = besideRun(file, 1, QStringLiteral("_summary.csv"));
        m.summary = QStringLiteral("summary after %1\r\n").arg(n).toLatin1();
        SavedRun s;
        s.resultsFile = file;
        s.started = kStart;
        s.saved = m.now;
        s.runStart = 4;
        s.strtCount = 3;
        s.strtCycles = 10;
        s.runZelle = 4 + n % 3;
        s.runAktiv = n + 1;
        for (int k = 1; k <= n; ++k) {
            MeasurementRecord r;
            r.runAktiv = k;
            r.runZelle = 4;
            s.measurements.push_back(r);
        }
        m.state = s;
        return m;
    }
    void take(const QString& results = {}) {
        recorder->takeResultsFile(results.isEmpty() ? csv : results, header, {}, kStart);
    }
    void line(const QString& text) {
        recorder->journal({kStart, "measurement", {}, 0, text});
    }
    QStringList rowsOf(const QString& path) const {
        QStringList rows;
        for (const QByteArray& l : readBytes(path).split('\n'))
            if (!l.isEmpty() && l[0] >= '0' && l[0] <= '9')
                rows << QString::fromLatin1(l.left(l.indexOf(';')));
        return rows;
    }
    QStringList temporaries() const {
        QStringList found;
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            if (temporaryNameProcess(name))
                found << name;
        return found;
    }
    std::vector<RecorderNote> notes() { return recorder->takeNotes(); }
    static bool has(const std::vector<RecorderNote>& notes, EventKind kind) {
        return std::any_of(notes.begin(), notes.end(), [&](const RecorderNote& n) { return n.kind == kind; });
    }
};

} // namespace

TEST_F(Disk, WritesRawDataStateRowSummaryAndJournalInThatOrder) {
    take();
    recorder->openJournal(journal, kStart);
    line("journal opened");
    const std::size_t before = faulty.calls->operations().size();
    recorder->commit(measurement(1));
    line("measurement 1");
    const std::vector<QString> ops = faulty.calls->operations();
    auto first = [&](const QString& op) {
        for (std::size_t i = before; i < ops.size(); ++i)
            if (ops[i] == op)
                return int(i);
        return -1;
    };
    const int rawAt = first("rename Glove_1.txt");
    const int stateAt = first("rename Glove_run.json");
    const int rowAt = first("write Glove.csv");
    const int summaryAt = first("rename Glove_summary.csv");
    const int journalAt = first("write Glove_events.log");
    for (int at : {rawAt, stateAt, rowAt, summaryAt, journalAt})
        ASSERT_GE(at, 0) << QStringList(QList<QString>(ops.begin(), ops.end())).join(" | ").toStdString();
    // The state says which row is due before the row goes in: a kill between the two neither
    // loses it nor writes it twice.
    EXPECT_LT(rawAt, stateAt);
    EXPECT_LT(stateAt, rowAt);
    EXPECT_LT(rowAt, summaryAt);
    EXPECT_LT(summaryAt, journalAt);
    QString error;
    const std::optional<SavedRun> state = loadRunState(runStateFileName(csv), &error);
    ASSERT_TRUE(state) << error.toStdString();
    EXPECT_EQ(state->resultsSize, header.size());
    EXPECT_EQ(state->rowsToWrite, row(1));
    EXPECT_EQ(readBytes(csv), header + row(1));
    EXPECT_EQ(readBytes(at("Glove_1.txt")), raw(1));
    EXPECT_EQ(verifyJournal(journal).lines, 2);
    EXPECT_FALSE(recorder->health().waiting);
    EXPECT_EQ(recorder->health().stateFile, runStateFileName(csv));
    // The run is over and nothing waits: its state goes.
    recorder->runOver(kStart);
    EXPECT_FALSE(QFile::exists(runStateFileName(csv)));
    EXPECT_FALSE(QFile::exists(runRecordsFileName(runStateFileName(csv))));
    EXPECT_EQ(recorder->health().stateFile, QString());
    EXPECT_EQ(temporaries(), QStringList());
}

// A commit hands over only the records after those of the state the recorder holds; the state on
// disk holds them all. After a restore (a resumed run) all come again.
TEST_F(Disk, AStateGetsOnlyTheNewRecordsAndHoldsThemAll) {
    take();
    auto only = [this](int n, std::size_t from) {
        FinishedMeasurement m = measurement(n);
        m.state->measurements.erase(m.state->measurements.begin(),
                                    m.state->measurements.begin() + static_cast<std::ptrdiff_t>(from));
        m.recordsFrom = from;
        return m;
    };
    auto runningNumbers = [this] {
        QString error;
        const std::optional<SavedRun> state = loadRunState(runStateFileName(csv), &error);
        EXPECT_TRUE(state) << error.toStdString();
        std::vector<int> numbers;
        for (const MeasurementRecord& r : state ? state->measurements : std::vector<MeasurementRecord>{})
            numbers.push_back(r.runAktiv);
        return numbers;
    };
    const quint64 epoch = recorder->stateEpoch();
    recorder->commit(measurement(1));
    recorder->commit(only(2, 1));
    recorder->commit(only(3, 2));
    EXPECT_EQ(runningNumbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(recorder->stateEpoch(), epoch); // commits do not change it

    QString error;
    const std::optional<SavedRun> saved = loadRunState(runStateFileName(csv), &error);
    ASSERT_TRUE(saved) << error.toStdString();
    recorder->restore(*saved, runStateFileName(csv), true, false, kStart);
    EXPECT_NE(recorder->stateEpoch(), epoch);
    recorder->commit(only(4, 3));
    EXPECT_EQ(runningNumbers(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(rowsOf(csv), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(Disk, ANewResultsFileGetsItsHeaderAnExistingOneKeepsItsContent) {
    const QByteArray old = "Datei:;alt\r\n1;*;;alt\r\n";
    const struct {
        const char* what;
        std::optional<QByteArray> before;
        QByteArray expected;
    } cases[] = {
        {"new", std::nullopt, header + row(2) + row(3)},
        {"existing", old, old + row(2) + row(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = at(QString::fromLatin1(c.what) + ".csv");
        if (c.before)
            writeFile(file, *c.before);
        take(file);
        recorder->commit(measurement(2, file));
        recorder->commit(measurement(3, file));
        EXPECT_EQ(readBytes(file), c.expected);
    }
}

TEST_F(Disk, RowsWaitForAFolderThatIsNotThereAndGoInInOrder) {
    const QString later = dir.path() + "/later/Run.csv";
    recorder->takeResultsFile(later, header, {}, kStart);
    recorder->commit(measurement(1, later));
    recorder->commit(measurement(2, later));
    RecorderHealth h = recorder->health();
    EXPECT_TRUE(h.waiting);
    EXPECT_EQ(h.rows, 2u);
    EXPECT_EQ(h.rawFiles, 2u);
    EXPECT_TRUE(h.file.contains("Run.csv")) << h.file.toStdString();
    EXPECT_FALSE(h.reason.isEmpty());
    EXPECT_EQ(h.since, kStart);
    EXPECT_TRUE(has(notes(), EventKind::FileWaiting));
    EXPECT_FALSE(QFile::exists(later));
    // The state with the rows that wait went to the state folder.
    EXPECT_EQ(h.stateFile, stateFileElsewhere(stateFolder, later));
    EXPECT_TRUE(h.stateElsewhere);
    QString error;
    const std::optional<SavedRun> kept = loadRunState(h.stateFile, &error);
    ASSERT_TRUE(kept) << error.toStdString();
    EXPECT_TRUE(kept->resultsNew);
    EXPECT_EQ(kept->rowsToWrite, header + row(1) + row(2));
    EXPECT_EQ(kept->files.size(), 3u); // two raw-data files and the summary

    // Another results file is chosen meanwhile: its rows go in at once, the others keep waiting.
    take();
    recorder->commit(measurement(3));
    EXPECT_EQ(rowsOf(csv), QStringList{"3"});
    EXPECT_EQ(recorder->rowsWaiting(), 2u);

    ASSERT_TRUE(QDir().mkpath(dir.path() + "/later"));
    recorder->retry(kStart.addSecs(600));
    EXPECT_EQ(readBytes(later), header + row(1) + row(2));
    EXPECT_EQ(readBytes(dir.path() + "/later/Run_2.txt"), raw(2));
    EXPECT_FALSE(recorder->health().waiting);
    EXPECT_TRUE(has(notes(), EventKind::FilesWritten));
    EXPECT_FALSE(QFile::exists(stateFileElsewhere(stateFolder, later)));
}

TEST_F(Disk, AFaultLeavesNoPartialFileAndEverythingIsWrittenOnceItIsOver) {
    for (const DiskFault fault : {DiskFault::Full, DiskFault::ReadOnly, DiskFault::Removed}) {
        SCOPED_TRACE(test::diskFaultName(fault));
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(at(name));
        make(RecorderDispatch::Inline);
        take();
        recorder->openJournal(journal, kStart);
        line("journal opened");
        recorder->commit(measurement(1));
        line("measurement 1");
        const QByteArray results = readBytes(csv), log = readBytes(journal), summary = readBytes(at("Glove_summary.csv"));

        faulty.calls->set(fault);
        for (int n = 2; n <= 3; ++n) {
            recorder->commit(measurement(n));
            line(QStringLiteral("measurement %1").arg(n));
        }
        faulty.calls->set(DiskFault::None);
        // Nothing half-written under a file's own name, no temporary file left.
        EXPECT_EQ(readBytes(csv), results);
        EXPECT_EQ(readBytes(journal), log);
        EXPECT_EQ(readBytes(at("Glove_summary.csv")), summary);
        EXPECT_FALSE(QFile::exists(at("Glove_2.txt")));
        EXPECT_FALSE(QFile::exists(at("Glove_3.txt")));
        EXPECT_EQ(temporaries(), QStringList());
        const RecorderHealth h = recorder->health();
        EXPECT_TRUE(h.waiting);
        EXPECT_EQ(h.rows, 2u);
        EXPECT_EQ(h.rawFiles, 2u);
        EXPECT_GE(h.others, 3u); // the summary and journal lines
        EXPECT_EQ(h.stateFile, stateFileElsewhere(stateFolder, csv));
        EXPECT_TRUE(has(notes(), EventKind::FileWaiting));

        recorder->retry(kStart.addSecs(3600));
        EXPECT_EQ(rowsOf(csv), (QStringList{"1", "2", "3"}));
        EXPECT_EQ(readBytes(at("Glove_2.txt")), raw(2));
        EXPECT_EQ(readBytes(at("Glove_3.txt")), raw(3));
        EXPECT_EQ(readBytes(at("Glove_summary.csv")), "summary after 3\r\n");
        const JournalCheck check = verifyJournal(journal);
        EXPECT_EQ(check.firstBadLine, 0) << check.reason.toStdString();
        EXPECT_EQ(check.lines, 4);
        EXPECT_FALSE(recorder->health().waiting);
        EXPECT_TRUE(has(notes(), EventKind::FilesWritten));
        // The state is back beside the results, the one in the state folder has served.
        EXPECT_EQ(recorder->health().stateFile, runStateFileName(csv));
        EXPECT_FALSE(QFile::exists(stateFileElsewhere(stateFolder, csv)));
        EXPECT_EQ(temporaries(), QStringList());
    }
}

TEST_F(Disk, AResultsFileThatIsNotTheOneItWroteGetsNothingUntilChosenAgain) {
    const struct {
        const char* what;
        std::function<void(const QString&)> change;
        bool refused;
    } cases[] = {
        {"another file under its name", [](const QString& p) { writeFile(p, "someone else's\r\n"); QFile::remove(p); writeFile(p, "someone else's\r\n"); }, true},
        {"a line added by someone", [](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::Append));
             f.write("typed in\r\n");
         }, true},
        {"taken away", [](const QString& p) { QFile::remove(p); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(at(name));
        make(RecorderDispatch::Inline);
        take();
        recorder->commit(measurement(1));
        c.change(csv);
        const QByteArray changed = readBytes(csv);
        recorder->commit(measurement(2));
        recorder->commit(measurement(3));
        // Nothing goes there, nor beside it: the folder may not be the run's any more.
        EXPECT_EQ(readBytes(csv), changed);
        EXPECT_FALSE(QFile::exists(at("Glove_2.txt")));
        const RecorderHealth h = recorder->health();
        EXPECT_TRUE(h.waiting);
        EXPECT_EQ(h.refused, c.refused);
        EXPECT_EQ(h.rows, 2u);
        const std::vector<RecorderNote> said = notes();
        EXPECT_EQ(has(said, EventKind::ResultsFileChanged), c.refused);
        // Trying again changes nothing; choosing the file again takes it as it is.
        recorder->retry(kStart.addSecs(600));
        EXPECT_EQ(readBytes(csv), changed);
        take();
        EXPECT_EQ(readBytes(csv), (changed.isEmpty() ? header : changed) + row(2) + row(3));
        EXPECT_EQ(readBytes(at("Glove_3.txt")), raw(3));
        EXPECT_FALSE(recorder->health().waiting);
    }
}

TEST_F(Disk, AJournalLineThatFailsIsCutBackAndTheChainGoesOn) {
    take();
    recorder->openJournal(journal, kStart);
    for (int i = 1; i <= 3; ++i)
        line(QStringLiteral("line %1").arg(i));
    const QByteArray before = readBytes(journal);
    faulty.calls->set(DiskFault::Full);
    line("line 4, with a text long enough to be cut half-way by the full disk");
    line("line 5");
    faulty.calls->set(DiskFault::None);
    EXPECT_EQ(readBytes(journal), before);
    EXPECT_EQ(recorder->health().others, 2u);
    line("line 6");
    const JournalCheck check = verifyJournal(journal);
    EXPECT_EQ(check.firstBadLine, 0) << check.reason.toStdString();
    EXPECT_EQ(check.lines, 6);
    EXPECT_TRUE(readBytes(journal).contains("\tline 4, with"));
    // A journal that was there and went is not made anew in its place.
    QFile::remove(journal);
    line("line 7");
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_TRUE(recorder->health().waiting);
}

TEST_F(Disk, WithAHangingDiskTheCallerNeverWaitsAndWhatWaitsIsKeptElsewhere) {
    make(RecorderDispatch::OwnThread);
    take();
    recorder->commit(measurement(1));
    ASSERT_TRUE(recorder->settle(Millis(10000)));
    faulty.calls->set(DiskFault::Hang);
    // Each call returns while the disk holds the recorder's thread.
    for (int n = 2; n <= 4; ++n)
        recorder->commit(measurement(n));
    QDeadlineTimer deadline(10000);
    while (faulty.calls->hanging() == 0 && !deadline.hasExpired())
        QThread::msleep(5);
    ASSERT_GT(faulty.calls->hanging(), 0);
    EXPECT_TRUE(recorder->busy().active);
    EXPECT_FALSE(recorder->settle(Millis(50)));
    // What waits is written to the state folder by the keeper, past the hanging writer.
    QString error;
    const QString kept = recorder->keep(Millis(10000), kStart.addSecs(300), &error);
    ASSERT_EQ(kept, stateFileElsewhere(stateFolder, csv)) << error.toStdString();
    const std::optional<SavedRun> state = loadRunState(kept, &error);
    ASSERT_TRUE(state) << error.toStdString();
    EXPECT_TRUE(state->rowsToWrite.endsWith(row(4))) << state->rowsToWrite.toStdString();
    EXPECT_EQ(recorder->health().stateFile, kept);

    faulty.calls->set(DiskFault::None);
    ASSERT_TRUE(recorder->settle(Millis(10000)));
    EXPECT_EQ(rowsOf(csv), (QStringList{"1", "2", "3", "4"}));
    EXPECT_EQ(readBytes(at("Glove_4.txt")), raw(4));
    EXPECT_FALSE(recorder->health().waiting);
}

TEST_F(Disk, TemporaryFilesOfAKilledProgramAreRemovedAndOnlyThose) {
    // A process number that is not running: this one's child, gone.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    const QString dead = QFileInfo(temporaryNameFor(at("Glove_summary.csv"), child, 7)).fileName();
    const QString mine = QFileInfo(temporaryNameFor(at("Glove_3.txt"), ::getpid(), 99999)).fileName();
    for (const QString& name : {dead, mine, QStringLiteral("Glove.csv.bak"), QStringLiteral(".hidden")})
        writeFile(at(name), "x");
    take();
    recorder->commit(measurement(1));
    EXPECT_FALSE(QFile::exists(at(dead)));
    for (const QString& name : {mine, QStringLiteral("Glove.csv.bak"), QStringLiteral(".hidden")})
        EXPECT_TRUE(QFile::exists(at(name))) << name.toStdString();
}
