// Whole runs against the in-process instrument that write a results file: one row per
// measurement, calibration on the reference gas, concentrations of each cell's gas, a cell that
// breaks through and is then recorded as switched off.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct ResultsRun : ::testing::Test {
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

TEST_F(ResultsRun, EveryMeasurementGetsItsRowAndTheBrokenCellIsMarked) {
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
        EXPECT_EQ(r[k][9].toDouble(), std::round(results[k].FIDArea));
    }
    // The reference gas calibrated itself: 100 ppm by definition, later cycles close to it.
    EXPECT_GT(app().settings().FIDCalArea, 100000);
    EXPECT_NEAR(r[0][7].toDouble(), 100.0, 0.01);
    EXPECT_NEAR(r[5][7].toDouble(), 100.0, 5.0);
    EXPECT_EQ(r[0][10], "Refgas");
    // Each cell's gas: 1, 5 and 40 ppm (the smallest peak loses some of its foot to the baseline
    // noise); rates 0.00241 x ppm x 100 ml/min / 19.6 cm2.
    const double ppm[] = {1.0, 5.0, 40.0};
    for (int cell = 0; cell < 3; ++cell) {
        EXPECT_NEAR(r[2 + cell][7].toDouble(), ppm[cell], 0.1 * ppm[cell] + 0.5);
        EXPECT_NEAR(r[2 + cell][8].toDouble(), 0.00241 * r[2 + cell][7].toDouble() * 100 / 19.6, 0.0011);
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
    EXPECT_EQ(r[9][8].toDouble(), 0.0);
    EXPECT_EQ(r[9][9].toDouble(), 0.0);
    EXPECT_TRUE(app().run().measurements()[9].skipped);
    EXPECT_TRUE(f.view.cellOff(3));
    EXPECT_FALSE(f.view.cellOff(2));
}

TEST_F(ResultsRun, AResultsFolderThatIsMissingAtFirstLosesNeitherHeaderNorRows) {
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
    EXPECT_TRUE(f.view.status.contains("Run.csv")) << f.view.status.toStdString();
    QDir(f.dir).mkdir("later");
    tickToEnd();
    EXPECT_EQ(app().resultRowsWaiting(), 0u);
    const QList<QStringList> r = rows(folder + "/Run.csv");
    ASSERT_EQ(r.size(), 2);
    EXPECT_EQ(r[0][13], "1");
    EXPECT_EQ(r[1][13], "2");
}

TEST_F(ResultsRun, AResultsFolderThatTurnsUnwritableInMidRunAndBackLosesNoRow) {
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

TEST_F(ResultsRun, AWaitingFileKeepsItsHeaderWhenTheOperatorChoosesAnother) {
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
