// The sample-info page: choosing the results file, loading a stored raw-data file back into the
// chart and evaluating it, and the description's input rule.

#include "evaluation/SyntheticPeak.h"
#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "support/AppFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::writeFile;
using korvat::test::readBytes;
using korvat::test::LocaleGuard;

namespace {

struct PageFixture : ::testing::Test {
    void start(const QString& typ = "FID", const QStringList& extra = {}) {
        sim::InstrumentOptions o;
        o.twoConverters = typ == "FIDFPD";
        f = std::make_unique<AppFixture>(o);
        f->writeIni(QStringList{"Language/Code=DE", "DeviceTyp/Typ=" + typ, "Measurement/DataDir=" + f->dir + "data"} +
                    extra);
        ASSERT_EQ(f->start(), StartupOutcome::Running);
    }
    KorvatApp& app() { return f->app(); }
    // A one-detector raw-data file of an injection peak, as a measurement writes it.
    QString rawFile(const QString& name) {
        test::InjectionPeak p;
        const Series s = p.make(600);
        const QString path = f->dir + name;
        writeFile(path, rawDataContent(TDeviceTyp::FID, s, {}, PeakValues{}, QLocale::c()));
        return path;
    }
    std::unique_ptr<AppFixture> f;
};

} // namespace

TEST_F(PageFixture, ChoosingTheResultsFileWritesItsHeaderOnceAndRemembersTheFolder) {
    start();
    QDir(f->dir).mkdir("results");
    f->dialogs.nextFileName = f->dir + "results/Glove.txt";
    app().btnSpeichernClick();
    EXPECT_EQ(f->dialogs.lastFolder, f->dir + "data"); // nothing chosen yet: the data folder
    EXPECT_EQ(f->dialogs.lastFilter, "*.csv | *.CSV");
    const QString csv = f->dir + "results/Glove.csv";
    EXPECT_EQ(app().records().sDateiname, csv);
    EXPECT_EQ(f->view.infos.value(InfoLabel::ResultsFile), csv);
    EXPECT_EQ(app().ini().readString("Measurement", "DataDir", "-"), f->dir + "results");
    EXPECT_FALSE(QFile::exists(f->dir + "results/Glove.txt"));
    const QList<QByteArray> lines = readBytes(csv).split('\n');
    // 23 lines of the one-detector header, each with CR LF: with the parameters the figures depend on.
    ASSERT_EQ(lines.size(), 24);
    EXPECT_TRUE(lines[0].startsWith("Datei:;" + csv.toLatin1() + ";Datum:;"));
    EXPECT_EQ(lines[10], "Probenfl\xe4" "che:;19,6 cm\xb2;Geplante Pr\xfc" "fdauer:;480 min\r");
    EXPECT_EQ(lines[13], "Zelle 1:;Isobutan;Faktor:;1;Molmasse:;Isobutan-\xc4quivalent;Kontakt vor Start:;0 min\r");
    EXPECT_EQ(lines[22], "Zelle;Bruch;Bruchzeit;Chemikalie;Faktor;(ml/min);Messzeit;ppm;ppm/rate Isobutan;"
                         "Fl\xe4" "che;Probeninfo;Datum;Zeit\r");

    // Choosing it again (the dialog now keeps its own folder) writes no second header.
    writeFile(csv, "old content\r\n");
    app().btnSpeichernClick();
    EXPECT_EQ(f->dialogs.lastFolder, "");
    EXPECT_EQ(readBytes(csv), "old content\r\n");

    // Cancelling changes nothing.
    f->dialogs.nextFileName.clear();
    app().btnSpeichernClick();
    EXPECT_EQ(app().records().sDateiname, csv);
    EXPECT_TRUE(f->dialogs.boxes.isEmpty());
}

TEST_F(PageFixture, ALoadedFileIsShownAndEvaluatedAndMayCalibrate) {
    start();
    const QString path = rawFile("Glove_3.txt");
    f->app().inputs().toggled(Check::IsobutanCalib, true);
    f->dialogs.nextFileName = path;
    app().btnLadenClick();
    EXPECT_EQ(f->view.infos.value(InfoLabel::RawDataFile), path);
    const Acquisition& acq = app().acquisition();
    EXPECT_EQ(acq.Series1.size(), 599u); // the 600th point is the one the writer leaves out
    EXPECT_EQ(f->view.seriesData[0].second, acq.Series1.y);
    const EvaluationState& st = app().run().eval;
    EXPECT_FALSE(st.NoPeak);
    EXPECT_TRUE(st.FIDBaseDraw);
    EXPECT_NEAR(st.FIDArea, 450000, 0.05 * 450000);
    EXPECT_EQ(app().settings().FIDCalArea, static_cast<int>(st.FIDArea));
    EXPECT_EQ(app().ini().readInteger("Calibration", "FIDCalArea", -1), static_cast<int>(st.FIDArea));
    EXPECT_FALSE(f->app().inputs().checked(Check::IsobutanCalib));
    EXPECT_GT(f->view.overlayRepaints, 0);
}

TEST_F(PageFixture, AFileThatBreaksOffKeepsWhatWasReadNamesTheLineAndIsNotEvaluated) {
    start("FIDFPD");
    const QString path = f->dir + "broken.txt";
    writeFile(path, "0\r\n600\r\n1500\r\n1502\r\n15x3\r\n1500\r\n");
    EvaluationState& st = app().run().eval;
    st.FIDArea = 1234;
    st.FPDArea = 50000;
    f->app().inputs().toggled(Check::SulfurCalib, true);
    f->dialogs.nextFileName = path;
    app().btnLadenClick();
    ASSERT_EQ(f->dialogs.boxes.size(), 1);
    EXPECT_TRUE(f->dialogs.boxes[0].text.contains(path));
    EXPECT_TRUE(f->dialogs.boxes[0].text.contains("line 5"));
    EXPECT_EQ(app().acquisition().Series1.y, (std::vector<double>{1500, 1502}));
    EXPECT_EQ(f->view.seriesData[0].second, (std::vector<double>{1500, 1502}));
    EXPECT_EQ(st.FIDArea, 1234);
    EXPECT_EQ(app().settings().FPDCalArea, 0); // the sulfur step does not run either
    EXPECT_TRUE(f->app().inputs().checked(Check::SulfurCalib));
}

TEST_F(PageFixture, ACancelledLoadStillTakesTheSulfurCalibrationOverWhereAnFPDIsFitted) {
    const struct {
        const char* typ;
        int expected;
    } cases[] = {{"FIDFPD", 50000}, {"FID", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typ);
        start(c.typ);
        app().run().eval.FPDArea = 50000.9;
        app().run().eval.NoPeak = true;
        f->app().inputs().toggled(Check::SulfurCalib, true);
        f->dialogs.nextFileName.clear();
        app().btnLadenClick();
        EXPECT_EQ(app().settings().FPDCalArea, c.expected);
        EXPECT_EQ(f->app().inputs().checked(Check::SulfurCalib), c.expected == 0);
        EXPECT_EQ(app().run().eval.NoPeak, c.expected == 0); // the FPD step clears it
    }
}

TEST_F(PageFixture, NoFileIsLoadedDuringARunSoTheMeasurementKeepsItsOwnCurve) {
    start();
    app().sequencer().btnStartClick();
    ASSERT_TRUE(app().sequencer().running());
    app().acquisition().Series1.y = {1, 2, 3};
    f->dialogs.nextFileName = rawFile("Glove_3.txt");
    app().btnLadenClick();
    EXPECT_EQ(app().acquisition().Series1.y, (std::vector<double>{1, 2, 3}));
    ASSERT_EQ(f->dialogs.boxes.size(), 1);
    EXPECT_EQ(f->dialogs.boxes[0].kind, "information");
}

TEST(SampleInfoPage, DescriptionLinesBreakAtSixtyAndStopAtTheSixth) {
    using K = KorvatApp::DescriptionKey;
    const struct {
        bool enter;
        int line, column;
        K expected;
    } cases[] = {{false, 0, 59, K::Keep},   {false, 0, 60, K::ReplaceWithEnter},
                 {false, 7, 60, K::ReplaceWithEnter}, // the line limit does not apply here
                 {true, 4, 10, K::Keep},    {true, 5, 0, K::Discard},
                 {true, 0, 75, K::Keep}};
    for (const auto& c : cases)
        EXPECT_EQ(KorvatApp::memoDescriptionKeyPress(c.enter, c.line, c.column), c.expected)
            << c.enter << " " << c.line << " " << c.column;
}

// What the operator wrote into the description is there again after a restart; the designed
// text nobody touched leaves the settings file as it was.
TEST(SampleInfoPage, TheDescriptionIsKeptAcrossARestart) {
    const QString designed = "Zeile 1\r\nZeile 2\r\nZeile 3\r\nZeile 4\r\nZeile 5\r\n";
    const struct {
        QString typed;
        QString shownAfterRestart; // "": the memo keeps what the window designed
    } cases[] = {
        {"Nitril 0,4 mm\r\nZeile 2\r\nAceton; 23 °C\r\nZeile 4\r\nZeile 5\r\n",
         "Nitril 0,4 mm\r\nZeile 2\r\nAceton; 23 °C\r\nZeile 4\r\nZeile 5\r\n"},
        {"Nur eine Zeile", "Nur eine Zeile\r\n\r\n\r\n\r\n\r\n"},
        {designed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        QByteArray ini;
        {
            AppFixture before;
            before.writeIni({"Language/Code=DE"});
            ASSERT_EQ(before.start(), StartupOutcome::Running);
            before.type(Input::Description, designed);
            before.type(Input::Description, c.typed);
            before.app().FormClose(); // also what a closing window leaves
            ini = readBytes(before.dir + "Korvat.ini");
        }
        EXPECT_EQ(ini.contains("Description1"), !c.shownAfterRestart.isEmpty());
        AppFixture after;
        writeFile(after.dir + "Korvat.ini", ini);
        after.writeIni({"Language/Code=DE"}); // its own instrument's lines, the rest as left
        ASSERT_EQ(after.start(), StartupOutcome::Running);
        EXPECT_EQ(after.view.inputs.value(Input::Description), c.shownAfterRestart);
    }
}
