// Whole runs against the in-process instrument that write a results file: one row per
// measurement, calibration on the reference gas, concentrations of each cell's gas, a cell that
// breaks through and is then recorded as switched off.

#include "evaluation/MeasurementExport.h"
#include "evaluation/ResultsFileReader.h"
#include "support/AppFixture.h"
#include "support/TickRun.h"
#include "support/SummaryText.h"
#include "util/NumberText.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QUuid>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include <unistd.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

// A number of the results file: a German run writes a decimal comma, whatever the test's locale.
double number(const QString& text) { return parseDecimal(text).value_or(std::nan("")); }

struct RunResults : ::testing::Test {
    void start(const QStringList& extraIni = {}) {
        QStringList ini = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                           "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                           "Measurement/LimitFID=0.1"};
        f.writeIni(ini + extraIni);
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        QCoreApplication::processEvents();
    }
    KorvatApp& app() { return f.app(); }
    void range(int first, int count, int cycles) {
        f.app().inputs().edited(Input::Start, QString::number(first));
        f.app().inputs().edited(Input::Count, QString::number(count));
        f.app().inputs().edited(Input::Cycles, QString::number(cycles));
    }
    void chooseResults(const QString& path) {
        f.dialogs.nextFileName = path;
        app().btnSpeichernClick();
    }
    void runToEnd() {
        app().sequencer().btnStartClick();
        tickToEnd();
    }
    void tickToEnd() {
        const Millis until = f.clock.monotonicNow() + Millis(4 * 3600 * 1000);
        while (app().sequencer().running() && f.clock.monotonicNow() < until) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app().Timer1Timer();
        }
    }
    // The rows below the header block (the title line is the last header line).
    QList<QStringList> rows(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QList<QStringList> out;
        bool body = false;
        for (const QByteArray& l : lines) {
            if (l.isEmpty())
                continue;
            EXPECT_TRUE(l.endsWith('\r'));
            const QString text = QString::fromLatin1(l.chopped(1));
            if (body)
                out << text.split(';');
            else
                body = text.startsWith("Zelle;Bruch;Bruchzeit;");
        }
        return out;
    }

    AppFixture f;
};

} // namespace

TEST_F(RunResults, EveryMeasurementGetsItsRowAndTheBrokenCellIsMarked) {
    start();
    const QString csv = f.dir + "Glove.csv";
    chooseResults(csv);
    f.app().inputs().toggled(Check::IsobutanCalib, true);
    range(2, 5, 2); // reference gas, reference cell, cells 1 to 3; twice
    runToEnd();

    const auto& results = app().run().measurements();
    ASSERT_EQ(results.size(), 10u) << f.dialogs.texts().join("|").toStdString() << " / " << f.view.status.toStdString();
    const QList<QStringList> r = rows(csv);
    ASSERT_EQ(r.size(), 10);
    const int positions[] = {2, 3, 4, 5, 6, 2, 3, 4, 5, 6};
    for (int k = 0; k < 10; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(r[k].size(), 14);
        EXPECT_EQ(r[k][0].toInt(), positions[k]);
        EXPECT_EQ(r[k][0].toInt(), results[k].runZelle);
        EXPECT_EQ(r[k][13].toInt(), k + 1); // the running number of the measurement
        EXPECT_EQ(number(r[k][9]), std::round(results[k].FIDArea));
    }
    // The reference gas calibrated itself: 100 ppm by definition, later cycles close to it.
    EXPECT_GT(app().settings().FIDCalArea, 100000);
    EXPECT_NEAR(number(r[0][7]), 100.0, 0.01);
    EXPECT_NEAR(number(r[5][7]), 100.0, 5.0);
    EXPECT_EQ(r[0][10], "Refgas");
    // Each cell's gas: 1, 5 and 40 ppm (the smallest peak loses some of its foot to the baseline
    // noise); rates 0.00241 x ppm x 100 ml/min / 19.6 cm2.
    const double ppm[] = {1.0, 5.0, 40.0};
    for (int cell = 0; cell < 3; ++cell) {
        EXPECT_NEAR(number(r[2 + cell][7]), ppm[cell], 0.1 * ppm[cell] + 0.5);
        EXPECT_NEAR(number(r[2 + cell][8]), 0.00241 * number(r[2 + cell][7]) * 100 / 19.6, 0.0011);
    }
    // Cell 3 (40 ppm, about 0.49 ug/cm2/min) passed the limit of 0.1 in the first cycle.
    EXPECT_EQ(r[4][1], "*");
    EXPECT_EQ(r[4][2], f.view.cellTime(3));
    EXPECT_NE(r[4][2], "--:--");
    EXPECT_EQ(r[3][1], " ");
    EXPECT_EQ(r[3][2], "--:--");
    // Its later turn is recorded as switched off, without a new injection.
    EXPECT_EQ(r[9][1], "*");
    EXPECT_EQ(r[9][2], "--:--");
    EXPECT_EQ(number(r[9][8]), 0.0);
    EXPECT_EQ(number(r[9][9]), 0.0);
    EXPECT_TRUE(app().run().measurements()[9].skipped);
    EXPECT_TRUE(f.view.cellOff(3));
    EXPECT_FALSE(f.view.cellOff(2));
}

// The figures the run shows and writes after each measurement are kept row by row: after every
// measurement of two runs in a row (zero gas, reference gas and the three cells; cells switched
// off after their breakthrough or measured on), they are those of all the run's records made
// afresh, and the second run's start from nothing. The run that switches cells off goes first:
// a cell switched off in one run is measured again in the next.
TEST_F(RunResults, TheLiveFiguresAreThoseOfTheWholeRunAfterEveryMeasurement) {
    start({"Calibration/FIDCalArea=450000"});
    chooseResults(f.dir + "Glove.csv");
    auto wholeRun = [this] {
        std::vector<const ResultRow*> rows;
        for (const MeasurementRecord& m : app().run().measurements())
            rows.push_back(&m);
        return test::exactText(summarizeCells(rows, app().run().parameters, app().DeviceTyp == TDeviceTyp::FIDFPD,
                                              DetectionSettings::from(app().settings())));
    };
    for (const bool keepMeasuring : {false, true}) {
        SCOPED_TRACE(keepMeasuring);
        f.toggle(Check::KeepMeasuring, keepMeasuring);
        app().chkboxKeepMeasuringClick();
        range(1, 6, 3);
        f.dialogs.answer = true; // a second run into the file
        app().sequencer().btnStartClick();
        ASSERT_TRUE(app().sequencer().running());
        std::size_t recorded = 0;
        const Millis until = f.clock.monotonicNow() + Millis(4 * 3600 * 1000);
        while (app().sequencer().running() && f.clock.monotonicNow() < until) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app().Timer1Timer();
            if (app().run().measurements().size() != recorded) {
                recorded = app().run().measurements().size();
                ASSERT_EQ(test::exactText(app().run().summaries()), wholeRun()) << recorded;
            }
        }
        EXPECT_EQ(recorded, 18u);
        // Cell 3 broke through in the first cycle: switched off, or measured on.
        const auto& last = app().run().measurements().back();
        EXPECT_EQ(last.runZelle, 6);
        EXPECT_EQ(last.skipped, !keepMeasuring);
        EXPECT_FALSE(app().run().summaries().empty());
    }
}

TEST_F(RunResults, AResultsFolderThatIsMissingAtFirstLosesNeitherHeaderNorRows) {
    start({"Calibration/FIDCalArea=450000"});
    const QString folder = f.dir + "later";
    chooseResults(folder + "/Run.csv");
    ASSERT_EQ(f.dialogs.boxes.size(), 1); // the operator is told at once
    range(4, 1, 2);
    app().sequencer().btnStartClick();
    // The first measurement ends while the folder is still missing.
    while (app().run().measurements().empty()) {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app().Timer1Timer();
    }
    EXPECT_EQ(app().resultRowsWaiting(), 1u);
    // The window says so until it is over, not only in the status line the next phase overwrites.
    EXPECT_TRUE(f.view.storage.trouble);
    EXPECT_TRUE(f.view.storage.text.contains("Run.csv")) << f.view.storage.text.toStdString();
    EXPECT_EQ(f.view.storage.rows, 1u);
    QDir(f.dir).mkdir("later");
    tickToEnd();
    EXPECT_EQ(app().resultRowsWaiting(), 0u);
    EXPECT_FALSE(f.view.storage.trouble);
    const QList<QStringList> r = rows(folder + "/Run.csv");
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r[0][13], "1");
    EXPECT_EQ(r[1][13], "2");
}

TEST_F(RunResults, AResultsFolderThatTurnsUnwritableInMidRunAndBackLosesNoRow) {
    start({"Calibration/FIDCalArea=450000"});
    QDir(f.dir).mkdir("lab");
    const QString csv = f.dir + "lab/Night.csv";
    chooseResults(csv);
    range(4, 3, 3); // nine measurements
    app().sequencer().btnStartClick();
    auto tickUntilRows = [&](std::size_t n) {
        while (app().run().measurements().size() < n && app().sequencer().running()) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app().Timer1Timer();
        }
    };
    tickUntilRows(2);
    // Read-only folder and file; root is not stopped by permissions, so there the folder is
    // taken away instead (as when a network share drops out).
    const bool root = ::geteuid() == 0;
    const auto writable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (root) {
        ASSERT_TRUE(QDir(f.dir).rename("lab", "lab-away"));
    } else {
        ASSERT_TRUE(QFile::setPermissions(csv, QFileDevice::ReadOwner));
        ASSERT_TRUE(QFile::setPermissions(f.dir + "lab", QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    tickUntilRows(5);
    EXPECT_EQ(app().resultRowsWaiting(), 3u);
    EXPECT_FALSE(f.view.log.filter("Night.csv").isEmpty());
    if (root) {
        ASSERT_TRUE(QDir(f.dir).rename("lab-away", "lab"));
    } else {
        ASSERT_TRUE(QFile::setPermissions(f.dir + "lab", writable));
        ASSERT_TRUE(QFile::setPermissions(csv, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    tickToEnd();
    EXPECT_EQ(app().resultRowsWaiting(), 0u);
    const QList<QStringList> r = rows(csv);
    ASSERT_EQ(r.size(), 9);
    for (int k = 0; k < 9; ++k)
        EXPECT_EQ(r[k][13].toInt(), k + 1); // in order, none twice, none missing
    EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
}

TEST_F(RunResults, AWaitingFileKeepsItsHeaderWhenTheOperatorChoosesAnother) {
    start({"Calibration/FIDCalArea=450000"});
    chooseResults(f.dir + "share/First.csv"); // the share is not there yet
    range(4, 1, 1);
    runToEnd();
    ASSERT_EQ(app().resultRowsWaiting(), 1u);
    chooseResults(f.dir + "Second.csv");
    QDir(f.dir).mkdir("share");
    runToEnd();
    EXPECT_EQ(app().resultRowsWaiting(), 0u);
    for (const char* name : {"share/First.csv", "Second.csv"}) {
        SCOPED_TRACE(name);
        const QList<QStringList> r = rows(f.dir + name); // the rows below the column titles
        ASSERT_EQ(r.size(), 1);
        EXPECT_EQ(r[0][0], "4");
    }
}

namespace {

// Every file of a folder with its bytes.
std::map<QString, QByteArray> snapshot(const QString& folder) {
    std::map<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        files[name] = korvat::test::readBytes(folder + "/" + name);
    return files;
}

} // namespace

// Tests named as labs name them, each run twice into its results file: every file keeps the
// whole name, and the second run writes over nothing of the first (the results file and the
// journal only grow; raw-data files and summary of the first run stay byte for byte).
TEST_F(RunResults, ASecondRunIntoAResultsFileKeepsEveryByteOfTheFirst) {
    start({"Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1"});
    const struct {
        const char* folder;
        const char* chosen; // as typed in the save dialog
        const char* stem;
    } cases[] = {
        {"dots", "17.05.2024_Nitril", "17.05.2024_Nitril"},
        {"several", "17.05.2024.v2_Latex.csv", "17.05.2024.v2_Latex"},
        {"plain", "Glove7", "Glove7"},
        {"spaces", "Nitril Charge 3", "Nitril Charge 3"},
        {"umlauts", "Prüfling Größe", "Prüfling Größe"},
        {"folder.with.dots", "Glove", "Glove"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        const QString folder = f.dir + QString::fromUtf8(c.folder);
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString stem = folder + "/" + QString::fromUtf8(c.stem);
        chooseResults(folder + "/" + QString::fromUtf8(c.chosen));
        EXPECT_EQ(app().records().sDateiname, stem + ".csv");
        range(4, 2, 1);
        f.dialogs.boxes.clear();
        runToEnd();
        EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
        for (const char* suffix : {".csv", "_1.txt", "_2.txt", "_summary.csv", "_events.log"})
            EXPECT_TRUE(QFileInfo::exists(stem + suffix)) << suffix;
        const std::map<QString, QByteArray> first = snapshot(folder);

        // The operator is asked before the second run starts; "No" leaves everything as it was.
        f.dialogs.answer = false;
        app().sequencer().btnStartClick();
        EXPECT_FALSE(app().sequencer().running());
        ASSERT_EQ(f.dialogs.boxes.size(), 1);
        EXPECT_EQ(f.dialogs.boxes[0].kind, "question");
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains(stem + ".csv"));
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains(QString::fromUtf8(c.stem) + "_run2_1.txt"));
        EXPECT_EQ(snapshot(folder), first);

        f.dialogs.answer = true;
        runToEnd();
        const std::map<QString, QByteArray> second = snapshot(folder);
        for (const auto& [name, bytes] : first) {
            SCOPED_TRACE(name.toStdString());
            ASSERT_EQ(second.count(name), 1u);
            if ((name.endsWith(".csv") && !name.endsWith("_summary.csv")) || name.endsWith("_events.log"))
                EXPECT_TRUE(second.at(name).startsWith(bytes)); // appended to
            else
                EXPECT_EQ(second.at(name), bytes);
        }
        for (const char* suffix : {"_run2_1.txt", "_run2_2.txt", "_run2_summary.csv"})
            EXPECT_TRUE(QFileInfo::exists(stem + suffix)) << suffix;
        // The file reads as two runs, the second numbered in its own header block.
        const ResultsFileRead read = readResultsFile(stem + ".csv", QLocale());
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.runs.size(), 2u);
        EXPECT_EQ(read.runs[0].fileRun, 1);
        EXPECT_EQ(read.runs[1].fileRun, 2);
        EXPECT_EQ(read.runs[1].rows.size(), 2u);
        // The readers find the second run's raw data by its number.
        korvat::ResultsRun last = read.runs[1];
        QStringList notes;
        attachRawDataNoise(last, stem + ".csv", DetectionSettings{}, &notes);
        EXPECT_TRUE(notes.isEmpty()) << notes.join('|').toStdString();
    }
}

// Raw-data files of another test under the same name (its results file moved away without them)
// are never written over: the run takes the next free number.
TEST_F(RunResults, RawDataOfAnotherTestUnderTheNameAreNotWrittenOver) {
    start({"Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1"});
    korvat::test::writeFile(f.dir + "Glove_1.txt", "another test's measurement");
    chooseResults(f.dir + "Glove.csv");
    range(4, 1, 1);
    runToEnd();
    EXPECT_EQ(korvat::test::readBytes(f.dir + "Glove_1.txt"), "another test's measurement");
    EXPECT_TRUE(QFileInfo::exists(f.dir + "Glove_run2_1.txt"));
    const ResultsFileRead read = readResultsFile(f.dir + "Glove.csv", QLocale());
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].fileRun, 2);
}

// The measuring time changed between choosing the file and Start: the run's rows stand under a
// header block with the run's own parameters, so the offline figures use what the run used.
TEST_F(RunResults, ParametersChangedAfterTheFileWasChosenGetTheRunItsOwnHeaderBlock) {
    start({"Calibration/FIDCalArea=450000"});
    const QString csv = f.dir + "Changed.csv";
    chooseResults(csv);
    f.type(Input::Messzeit, "20");
    app().UpdateMesszeit();
    range(4, 1, 1);
    runToEnd();
    EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
    const ResultsFileRead read = readResultsFile(csv, QLocale());
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.runs.size(), 1u);
    EXPECT_EQ(read.runs[0].measuringSeconds, 20);
    EXPECT_EQ(read.runs[0].fileRun, 1);
    EXPECT_GT(read.runs[0].headerLine, 1); // the block written at the choice is still there above
    // Started again with nothing changed: no third block, only the question and run 2's block.
    f.dialogs.answer = true;
    runToEnd();
    const ResultsFileRead again = readResultsFile(csv, QLocale());
    ASSERT_TRUE(again.ok);
    ASSERT_EQ(again.runs.size(), 2u);
    EXPECT_EQ(again.runs[1].measuringSeconds, 20);
    EXPECT_EQ(QString::fromLatin1(korvat::test::readBytes(csv)).count("Messzeit pro Zelle"), 3);
}

// The results file, its raw-data files and summary write their numbers by the program's language,
// whatever locale the program was started under, and the header says which separator it is: a
// spreadsheet set to the file's language reads ppm 498,886 as 498.886, not 498886.
TEST(ResultsFileNumbers, FollowTheProgramsLanguageNotTheProcessLocale) {
    const struct {
        const char* code;
        QLocale process;
        char separator, other;
        const char* stated;
    } cases[] = {
        {"DE", QLocale::c(), ',', '.', ";Dezimaltrennzeichen:;,"},
        {"US", QLocale(QLocale::German, QLocale::Germany), '.', ',', ";Decimal separator:;."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        korvat::test::LocaleGuard guard(c.process);
        AppFixture f;
        f.writeIni({QStringLiteral("Language/Code=%1").arg(c.code), "Measurement/RawDataSave=1",
                    "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                    "Measurement/MeasurementTimePerCell/s=30", "Calibration/FIDCalArea=450000"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        f.dialogs.nextFileName = f.dir + "Numbers.csv";
        f.app().btnSpeichernClick();
        f.type(Input::Start, "2"); // the reference gas: ppm with decimals
        f.type(Input::Count, "1");
        f.type(Input::Cycles, "1");
        f.app().sequencer().btnStartClick();
        while (f.app().sequencer().running()) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            f.app().Timer1Timer();
        }
        const QStringList lines = QString::fromLatin1(korvat::test::readBytes(f.dir + "Numbers.csv")).split("\r\n");
        EXPECT_TRUE(lines[0].endsWith(c.stated)) << lines[0].toStdString();
        const QStringList row = lines[lines.size() - 2].split(';');
        ASSERT_EQ(row.size(), 14) << lines.join('\n').toStdString();
        for (int field : {4, 5, 7, 8}) { // factor, flow, ppm, rate
            EXPECT_TRUE(row[field].contains(c.separator)) << row[field].toStdString();
            EXPECT_FALSE(row[field].contains(c.other)) << row[field].toStdString();
        }
        // The raw-data file's last line is the peak's end level in its 23-character form.
        const QList<QByteArray> raw = korvat::test::readBytes(f.dir + "Numbers_1.txt").split('\n');
        ASSERT_GE(raw.size(), 2);
        const QByteArray level = raw[raw.size() - 2].trimmed();
        ASSERT_GE(level.size(), 3);
        EXPECT_EQ(level[1], c.separator) << level.toStdString();
        const ResultsFileRead read = readResultsFile(f.dir + "Numbers.csv");
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        EXPECT_EQ(read.runs.back().decimalPoint, QLatin1Char(c.separator));
        EXPECT_NEAR(read.runs.back().rows[0].FIDppm, number(row[7]), 1e-9);
    }
}

// The same run in German and in English, with the process's default locale following the
// language: the legacy results files differ (decimal comma, column titles), the exports hold the
// same but for the test id and what follows the language, and each export row holds what its results row holds, with the
// raw-data file's name and hash.
TEST(RunExport, TheSameRunGivesTheSameExportInEitherLanguage) {
    const struct {
        const char* code;
        QLocale locale;
    } languages[] = {{"DE", QLocale(QLocale::German, QLocale::Germany)},
                     {"US", QLocale(QLocale::English, QLocale::UnitedStates)}};
    std::vector<ExportRecord> comparable[2];
    int n = 0;
    for (const auto& language : languages) {
        SCOPED_TRACE(language.code);
        QLocale::setDefault(language.locale);
        AppFixture f;
        f.writeIni({QStringLiteral("Language/Code=") + language.code, "Measurement/MeasurementSampleTime/s=5",
                    "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                    "Measurement/LimitFID=0.1", "Calibration/FIDCalArea=450000", "Measurement/RawDataSave=1"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        f.dialogs.nextFileName = f.dir + "Glove.csv";
        f.app().btnSpeichernClick();
        f.app().inputs().edited(Input::Start, "2");
        f.app().inputs().edited(Input::Count, "5");
        f.app().inputs().edited(Input::Cycles, "2");
        f.app().sequencer().btnStartClick();
        korvat::test::tickRunToEnd(f);
        ASSERT_TRUE(f.app().recorder().settle(Millis(10'000)));
        QLocale::setDefault(QLocale::c());

        const QByteArray bytes = korvat::test::readBytes(f.dir + "Glove_measurements.csv");
        const ExportRead exported = readExport(bytes);
        ASSERT_TRUE(exported.ok) << exported.error.toStdString();
        const ResultsFileRead results = readResultsFile(f.dir + "Glove.csv");
        ASSERT_TRUE(results.ok) << results.error.toStdString();
        ASSERT_EQ(results.runs.size(), 1u);
        const auto& rows = results.runs[0].rows;
        ASSERT_EQ(exported.records.size(), 10u);
        ASSERT_EQ(rows.size(), exported.records.size());
        const QString id = exported.records[0].testId;
        EXPECT_FALSE(QUuid::fromString(id).isNull()) << id.toStdString();
        bool sawCell = false, sawPeak = false, sawOff = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ExportRecord& e = exported.records[i];
            const ResultRow& r = rows[i];
            SCOPED_TRACE(e.measurement);
            EXPECT_EQ(e.testId, id);
            EXPECT_EQ(e.instrument, QStringLiteral("SN4A01-0815"));
            EXPECT_EQ(e.measurement, r.runAktiv);
            EXPECT_EQ(e.position, r.runZelle);
            EXPECT_EQ(e.cell.has_value(), r.runZelle >= 4);
            EXPECT_EQ(e.chemical, r.sChemikalie);
            EXPECT_EQ(e.moment.toSecsSinceEpoch(), r.moment.toSecsSinceEpoch());
            // The results file rounds; the export keeps every digit.
            EXPECT_NEAR(e.fidArea, r.FIDArea, std::max(1.0, 1e-6 * r.FIDArea));
            EXPECT_NEAR(e.fidPpm, r.FIDppm, std::max(5e-3, 1e-4 * r.FIDppm));
            EXPECT_NEAR(e.fidRate, r.FIDMessMenge, 5e-4); // three decimals in the results file
            EXPECT_EQ(e.detector, QStringLiteral("FID"));
            EXPECT_FALSE(e.fpdArea.has_value());
            sawCell = sawCell || e.cell.has_value();
            sawPeak = sawPeak || e.fidPpm > 1;
            sawOff = sawOff || e.switchedOff;
            if (e.switchedOff) {
                // A switched-off cell's turn measured nothing and has no raw-data file.
                EXPECT_EQ(e.rawFile, QString());
                continue;
            }
            ASSERT_EQ(e.rawFile, QStringLiteral("Glove_%1.txt").arg(e.measurement));
            EXPECT_EQ(e.rawSha256, QString::fromLatin1(QCryptographicHash::hash(korvat::test::readBytes(f.dir + e.rawFile),
                                                                                 QCryptographicHash::Sha256)
                                                            .toHex()));
        }
        EXPECT_TRUE(sawCell);
        EXPECT_TRUE(sawPeak);
        EXPECT_TRUE(sawOff);
        // The default sample names and the raw-data files follow the language; nothing else does.
        for (ExportRecord e : exported.records) {
            e.testId.clear();
            e.sampleName.clear();
            e.rawSha256.clear();
            comparable[n].push_back(e);
        }
        ++n;
    }
    EXPECT_EQ(comparable[0], comparable[1]);
}
