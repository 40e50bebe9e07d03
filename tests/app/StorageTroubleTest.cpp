// The program and its files when the disk gives trouble, and after: rows that wait when the
// window is closed are kept and said, and the next start writes them (also when the run had
// ended); a run state that does not read is said with what of it could be restored, a results
// file cut inside a row gets the row completed or the piece set apart (never a row glued on), and
// a continued run is an event that touches the data, with an outcome that has no row marked.
// The program ends "the program was ended" once, however often it is closed.

#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFileReader.h"
#include "evaluation/TestFiles.h"
#include "run/EventJournal.h"
#include "run/ReportData.h"
#include "run/Recorder.h"
#include "run/RunState.h"
#include "shell/IniFile.h"
#include "support/AppFixture.h"
#include "support/FaultyFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::DiskFault;
using korvat::test::FaultyFiles;
using korvat::test::readBytes;
using korvat::test::writeFile;

namespace {

const QStringList kIni = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                          "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                          "Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1"};

void tick(AppFixture& f) {
    f.clock.advance(Millis(90));
    QCoreApplication::processEvents();
    f.app().Timer1Timer();
}

void tickUntil(AppFixture& f, const std::function<bool()>& done) {
    const Millis limit = f.clock.monotonicNow() + Millis(4 * 3600 * 1000);
    while (!done() && f.clock.monotonicNow() < limit)
        tick(f);
}

// Starts a run of `cycles` measurements of cell 1 into `csv` (the file chosen first).
void startRun(AppFixture& f, const QString& csv, int cycles) {
    f.writeIni(kIni);
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    f.dialogs.nextFileName = csv;
    f.app().btnSpeichernClick();
    f.type(Input::Start, "4");
    f.type(Input::Count, "1");
    f.type(Input::Cycles, QString::number(cycles));
    f.app().sequencer().btnStartClick();
}

// The running numbers of a results file's rows (its last run).
QList<int> rowNumbers(const QString& csv) {
    QList<int> numbers;
    const ResultsFileRead read = readResultsFile(csv);
    if (read.ok)
        for (const ResultRow& r : read.runs.back().rows)
            numbers << r.runAktiv;
    return numbers;
}

bool listed(const AppFixture& f, EventKind kind, const QString& text = {}) {
    return std::any_of(f.view.events.begin(), f.view.events.end(),
                       [&](const RunEvent& e) { return e.kind == kind && e.text.contains(text); });
}

} // namespace

TEST(StorageTrouble, RowsWaitingAtCloseAreKeptAndSaidAndTheNextStartWritesThem) {
    AppFixture first;
    const QString lab = first.dir + "lab";
    ASSERT_TRUE(QDir().mkpath(lab));
    FaultyFiles faulty(lab);
    first.files = faulty.layer;
    const QString csv = lab + "/Night.csv";
    startRun(first, csv, 4);
    tickUntil(first, [&] { return first.app().run().measurements().size() == 1; });
    faulty.calls->set(DiskFault::Full);
    tickUntil(first, [&] { return !first.app().sequencer().running(); });
    ASSERT_EQ(first.app().run().measurements().size(), 4u);

    // Shown until it is over: the lamp, the line with the file and what waits.
    EXPECT_TRUE(first.view.storage.trouble);
    EXPECT_EQ(first.view.storage.rows, 3u);
    EXPECT_EQ(first.view.storage.rawFiles, 3u);
    EXPECT_TRUE(first.view.storage.text.contains("Night")) << first.view.storage.text.toStdString();
    EXPECT_TRUE(listed(first, EventKind::FileWaiting));
    EXPECT_TRUE(first.view.warning);

    // Closed twice, as the window does (its close, then its end): one box, one program-end.
    first.app().FormClose();
    first.app().FormClose();
    const QString kept = stateFileElsewhere(first.dir, csv);
    ASSERT_EQ(first.dialogs.boxes.size(), 1) << first.dialogs.texts().join('|').toStdString();
    const QString said = first.dialogs.boxes[0].text;
    EXPECT_TRUE(said.contains("3 Zeile(n) und 3 Rohdatendatei(en)")) << said.toStdString();
    EXPECT_TRUE(said.contains(kept)) << said.toStdString();
    EXPECT_TRUE(QFile::exists(kept));
    EXPECT_EQ(IniFile(first.dir + "Korvat.ini").readString(key::RunState, QString()), kept);
    EXPECT_EQ(rowNumbers(csv), QList<int>{1});

    // The disk has room again; the next start writes everything and says so.
    faulty.calls->set(DiskFault::None);
    AppFixture second({}, first.dir);
    second.writeIni(kIni);
    ASSERT_EQ(second.start(), StartupOutcome::Running);
    EXPECT_TRUE(second.dialogs.boxes.isEmpty()) << second.dialogs.texts().join('|').toStdString();
    EXPECT_FALSE(second.app().sequencer().running());
    EXPECT_TRUE(listed(second, EventKind::RowLate, "written now"));
    EXPECT_EQ(rowNumbers(csv), (QList<int>{1, 2, 3, 4}));
    for (int n = 1; n <= 4; ++n) {
        Series a, b, c;
        EXPECT_TRUE(loadRawData(lab + QStringLiteral("/Night_%1.txt").arg(n), a, b, c).ok) << n;
    }
    EXPECT_TRUE(readBytes(lab + "/Night_summary.csv").contains(";4;")) << "the summary counts 4 measurements";
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_FALSE(QFile::exists(runStateFileName(csv)));
    EXPECT_EQ(IniFile(first.dir + "Korvat.ini").readString(key::RunState, QString()), QString());
    const QString journal = lab + "/Night_events.log";
    const JournalCheck check = verifyJournal(journal);
    EXPECT_EQ(check.firstBadLine, 0) << check.reason.toStdString();
    EXPECT_EQ(readBytes(journal).count("\tprogram-end\t"), 1);
    EXPECT_EQ(readBytes(journal).count("\trun-end\t"), 2); // the run's own and the next start's note
    EXPECT_TRUE(verifyJournalData(journal).empty());
}

namespace {

// A run killed after measurement 3 of 6 (the program simply stops: its state stays), with the
// results file and the state then damaged by `damage`.
struct Interrupted {
    AppFixture first;
    QString csv = first.dir + "Glove.csv";
    QString state = runStateFileName(csv);
    std::optional<SavedRun> saved;

    void run() {
        startRun(first, csv, 6);
        tickUntil(first, [&] { return first.app().run().runAktiv == 4 && first.app().run().runTag() == RunTag::FillCell; });
        QString error;
        saved = loadRunState(state, &error);
        ASSERT_TRUE(saved) << error.toStdString();
    }
    // The results file as it was before measurement 3's row, then `tail`.
    void resultsEndWith(const QByteArray& tail) {
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(saved->resultsSize));
        f.seek(saved->resultsSize);
        f.write(tail);
    }
    void cut(const QString& path, qint64 keep) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(keep));
    }
};

} // namespace

TEST(StorageTrouble, ARunStateThatDoesNotReadIsSaidWithWhatCouldBeRestored) {
    const struct {
        const char* what;
        bool cutRecords;
        QList<int> rows;
        const char* inText;
    } cases[] = {
        {"the state cut", false, {1, 2, 3}, "1 row(s) restored"},
        {"its records cut", true, {1, 2}, "2 measurement record(s)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Interrupted i;
        i.run();
        if (testing::Test::HasFatalFailure())
            return;
        i.resultsEndWith({}); // measurement 3's row had not reached the file
        if (c.cutRecords) {
            const QByteArray records = readBytes(runRecordsFileName(i.state));
            i.cut(runRecordsFileName(i.state), records.lastIndexOf('\n', records.size() - 2) + 10);
        } else {
            i.cut(i.state, QFileInfo(i.state).size() / 2);
        }
        AppFixture second({}, i.first.dir);
        second.writeIni(kIni);
        ASSERT_EQ(second.start(), StartupOutcome::Running);
        ASSERT_EQ(second.dialogs.boxes.size(), 1) << second.dialogs.texts().join('|').toStdString();
        EXPECT_EQ(second.dialogs.boxes[0].kind, "error");
        const QString text = second.dialogs.boxes[0].text;
        EXPECT_TRUE(text.contains("does not read")) << text.toStdString();
        EXPECT_TRUE(text.contains(c.inText)) << text.toStdString();
        EXPECT_TRUE(text.contains("up to measurement 2")) << text.toStdString();
        EXPECT_TRUE(listed(second, EventKind::RunStateDamaged));
        EXPECT_TRUE(second.view.warning);
        EXPECT_FALSE(second.app().sequencer().running());
        EXPECT_EQ(rowNumbers(i.csv), c.rows);
        EXPECT_FALSE(QFile::exists(i.state));
        EXPECT_TRUE(QFile::exists(i.state + ".damaged"));
        EXPECT_EQ(IniFile(i.first.dir + "Korvat.ini").readString(key::RunState, QString()), QString());
    }
}

TEST(StorageTrouble, AResultsFileCutInsideARowGetsItCompletedOrThePieceSetApart) {
    const struct {
        const char* what;
        bool ownRow; // the piece is the beginning of the row the records give back
    } cases[] = {{"the row's own beginning", true}, {"something else", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Interrupted i;
        i.run();
        if (testing::Test::HasFatalFailure())
            return;
        const QByteArray piece = c.ownRow ? i.saved->rowsToWrite.left(i.saved->rowsToWrite.size() / 2) : QByteArray("3;x");
        i.resultsEndWith(piece);
        i.cut(i.state, 10);
        AppFixture second({}, i.first.dir);
        second.writeIni(kIni);
        ASSERT_EQ(second.start(), StartupOutcome::Running);
        // Every row whole and once, none glued to a piece.
        EXPECT_EQ(rowNumbers(i.csv), (QList<int>{1, 2, 3}));
        const QByteArray bytes = readBytes(i.csv);
        EXPECT_TRUE(bytes.endsWith(i.saved->rowsToWrite)) << bytes.right(200).toStdString();
        const QString aside = besideResultsFile(i.csv, QStringLiteral("_cut-row-%1.txt").arg(i.saved->resultsSize));
        EXPECT_EQ(QFile::exists(aside), !c.ownRow);
        if (!c.ownRow) {
            EXPECT_EQ(readBytes(aside), piece);
        }
        EXPECT_TRUE(listed(second, EventKind::RowLate));
    }
}

TEST(StorageTrouble, AContinuedRunIsAnEventOfTheDataAndAnOutcomeWithoutItsRowIsMarked) {
    Interrupted i;
    i.run();
    if (testing::Test::HasFatalFailure())
        return;
    // The outcome of measurement 4 reached the journal, its state and row did not (the state's
    // write had failed): that outcome was never recorded.
    const QString journal = i.first.dir + "Glove_events.log";
    {
        EventJournal j;
        ASSERT_TRUE(j.open(journal));
        ASSERT_TRUE(j.append({i.first.clock.wallNow(), "measurement", {}, 4,
                              "cycle 4, position 4 (x): FID area 1, 1 ppm, rate 1" + rowHashText("4;never\r\n")}));
    }
    AppFixture second({}, i.first.dir);
    second.writeIni(kIni);
    second.clock.shiftWallClock(Millis(2 * 3600 * 1000));
    second.dialogs.answer = true;
    ASSERT_EQ(second.start(), StartupOutcome::Running);
    ASSERT_TRUE(second.app().sequencer().running());
    // Listed, lamp lit, with the gap.
    EXPECT_TRUE(listed(second, EventKind::RunResumed, "no measurement from " + i.saved->saved.toString(Qt::ISODate)))
        << (second.view.events.empty() ? std::string() : second.view.events.front().text.toStdString());
    EXPECT_TRUE(second.view.warning);
    EXPECT_TRUE(listed(second, EventKind::MeasurementDiscarded, "measurement 4"));
    tickUntil(second, [&] { return !second.app().sequencer().running(); });
    EXPECT_EQ(rowNumbers(i.csv), (QList<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(verifyJournal(journal).firstBadLine, 0);
    // The discarded outcome is not taken for a row that went missing.
    EXPECT_TRUE(verifyJournalData(journal).empty());
    // The report's events section has the interruption too, by its kind in the report's language.
    const ReportData report = gatherReportData(i.csv, 1000);
    ASSERT_TRUE(report.ok) << report.error.toStdString();
    EXPECT_TRUE(std::any_of(report.events.begin(), report.events.end(),
                            [](const QString& e) { return e.contains("Run continued"); }))
        << report.events.join('\n').toStdString();
}
