// korvat-eval --summary on the results file of a real run: the lab's figures it prints from the
// file (and from the raw-data files beside it) are the ones the run showed live and wrote into its
// summary file, field for field. Two runs go into the same file, the second below the first
// without a header of its own: the figures are those of the last run. The first run measures the
// zero gas and both detectors; the second does not measure zero gas. The detection limits come
// from the smallest peak the search finds, which counts the baseline noise korvat-eval takes from
// the raw-data files.

#include "evaluation/ResultsFileReader.h"
#include "model/Permeation.h"
#include "support/AppFixture.h"
#include "support/QtPrinters.h"
#include "support/SimProcess.h"
#include "util/CodePage.h"

#include <QCoreApplication>
#include <QProcess>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::LocaleGuard;
using korvat::test::readBytes;
using korvat::test::SimProcess;

namespace {

// The columns korvat-eval prints, as indexes into summaryFields.
constexpr int kPrinted[] = {kSumCell,       kSumDetector,    kSumSample,     kSumBt01First, kSumBt01,
                            kSumBt10First,  kSumBt10,        kSumResolution, kSumLevel,     kSumSteady,
                            kSumCumulative, kSumMdpr,        kSumDuration,   kSumBt01Below, kSumBt10Below,
                            kSumLevelBound, kSumContact,     kSumMassBasis,  kSumStatus,    kSumMaterial,
                            kSumThickness,  kSumLot,         kSumArea,       kSumURate01,   kSumURate10,
                            kSumUBt01,      kSumUBt10,       kSumUSteady,    kSumDiffusivity, kSumTimeLag,
                            kSumSteadyFit,  kSumFitResidual, kSumFit,        kSumDecision};
constexpr int kPrintedCount = static_cast<int>(std::size(kPrinted));

sim::InstrumentOptions instrument() {
    sim::InstrumentOptions o;
    o.twoConverters = true;
    o.permeation.enabled = true;
    o.permeation.timeFactor = 20;
    o.permeation.sulfurCompound = true;
    o.permeation.fpdFactor = 40;
    o.permeation.cells = {sim::PermeationCell{sim::findMaterialPreset(u"latex")->membrane},
                          sim::PermeationCell{sim::findMaterialPreset(u"nitrile")->membrane},
                          sim::PermeationCell{sim::findMaterialPreset(u"fkm")->membrane}};
    return o;
}

struct Cli {
    int exitCode = -1;
    QStringList out;
    QString err;
};

Cli summaryOf(const QString& ini, const QString& results) {
    QProcess p;
    p.start(SimProcess::binDir() + "/korvat-eval", {"--ini", ini, "--summary", results});
    Cli cli;
    if (!p.waitForFinished(30000))
        return cli;
    cli.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    cli.out = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    cli.err = QString::fromLocal8Bit(p.readAllStandardError());
    return cli;
}

class SummaryCliRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo::exists(SimProcess::binDir() + "/korvat-eval"))
            GTEST_SKIP() << "korvat-eval not built";
        f.writeIni({"Language/Code=DE", "DeviceTyp/Typ=FIDFPD", "Measurement/RawDataSave=1",
                    "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                    "Measurement/MeasurementTimePerCell/s=15", "Measurement/LimitFID=1", "Measurement/LimitFPD=0,5",
                    "Measurement/KeepMeasuring=1"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        QCoreApplication::processEvents();
        csv = f.dir + "Probe;7.csv"; // a ";" in the name: quoted in korvat-eval's lines
        f.dialogs.nextFileName = csv;
        f.app().btnSpeichernClick();
        // Edited after the file was chosen: the measuring time, the contacts, the chemical of
        // cell 1 with its molar mass. The run's own header block records them, and the figures
        // from the file are the live ones all the same.
        f.type(Input::Messzeit, "20");
        f.app().UpdateMesszeit();
        f.type(Input::Contact1, "2,5");
        f.type(Input::Contact3, "-1");
        ASSERT_TRUE(f.app().substanceFactors().EndDrag(SubstanceGrid::Hydrocarbons, Input::FIDFactor1, "Toluol", "1,00;92,14"));
        f.app().PageControlExit();
        ASSERT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
    }

    void runRange(const QString& start, const QString& count, const QString& cycles) {
        KorvatApp& app = f.app();
        f.type(Input::Start, start);
        f.type(Input::Count, count);
        f.type(Input::Cycles, cycles);
        app.sequencer().btnStartClick();
        ASSERT_TRUE(app.sequencer().running());
        const Millis until = f.clock.monotonicNow() + Millis(4 * 3600 * 1000);
        while (app.sequencer().running() && f.clock.monotonicNow() < until) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app.Timer1Timer();
        }
        ASSERT_FALSE(app.sequencer().running());
    }

    // korvat-eval's lines against the live summaries and the summary file beside the results.
    void expectTheLiveFigures(const Cli& cli) {
        const std::vector<CellSummary>& live = f.app().run().summaries();
        ASSERT_EQ(cli.exitCode, 0) << cli.err.toStdString();
        ASSERT_EQ(cli.out.size(), static_cast<qsizetype>(live.size()) + 1) << cli.out.join('\n').toStdString();
        EXPECT_EQ(cli.out[0], "file;cell;detector;sample;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;"
                              "cumulative;mdpr;duration;bt01_below;bt10_below;level_bound;contact;mass_basis;status;"
                              "material;thickness;lot;area;u_rate01;u_rate10;u_bt01;u_bt10;u_sspr;D;time_lag;sspr_fit;"
                              "fit_residual;fit;decision");

        const QString summaryFile = besideRun(csv, f.app().records().fileRun(), "_summary.csv");
        const QStringList stored = fromCp1252(readBytes(summaryFile)).split("\r\n", Qt::SkipEmptyParts);
        ASSERT_EQ(stored.size(), static_cast<qsizetype>(live.size()) + 1);
        const QString quotedName = '"' + csv + '"';
        for (std::size_t k = 0; k < live.size(); ++k) {
            SCOPED_TRACE(cli.out[k + 1].toStdString());
            // The file name holds ";": quoted, so the line splits into the file name and 19 fields.
            ASSERT_TRUE(cli.out[k + 1].startsWith(quotedName + ';'));
            const QStringList printed = cli.out[k + 1].mid(quotedName.size() + 1).split(';');
            const QStringList liveFields = summaryFields(live[k], QLocale::c());
            // The summary file has the run's decimal comma; no name in this run holds one.
            const QStringList storedFields = QString(stored[k + 1]).replace(',', '.').split(';');
            ASSERT_EQ(printed.size(), kPrintedCount);
            for (int c = 0; c < kPrintedCount; ++c) {
                const int field = kPrinted[c];
                EXPECT_EQ(printed[c], liveFields[field]) << summaryTitles()[field].toStdString();
                EXPECT_EQ(printed[c], storedFields[field]) << summaryTitles()[field].toStdString();
            }
        }
    }

    AppFixture f{instrument()};
    LocaleGuard german{QLocale(QLocale::German, QLocale::Germany)};
    QString csv;
};

} // namespace

TEST_F(SummaryCliRun, PrintsTheFiguresTheRunShowedLiveAndWroteBesideTheResults) {
    f.toggle(Check::IsobutanCalib, true);
    f.toggle(Check::SulfurCalib, true);
    // Long enough (some 35 minutes of the run) for a steady state's half-hour window.
    runRange("1", "6", "14");
    const std::vector<CellSummary> first = f.app().run().summaries();
    ASSERT_EQ(first.size(), 6u); // three cells, two detectors
    const Cli one = summaryOf(f.dir + "Korvat.ini", csv);
    expectTheLiveFigures(one);
    // The run breaks through and measures on: the figures are there to compare.
    int broke = 0, steady = 0;
    for (const CellSummary& s : first) {
        broke += s.metrics.bt10.interpolated.has_value();
        steady += s.metrics.steady.has_value();
        // The detection limit is there whatever the blanks gave: at least the smallest peak the
        // search can find.
        EXPECT_TRUE(s.metrics.detectionLimit.has_value()) << s.cell;
    }
    EXPECT_GE(broke, 2);
    EXPECT_GE(steady, 1);
    // The run's parameters as it started, not as the file was chosen.
    const ResultsFileRead read = readResultsFile(csv);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.runs.back().measuringSeconds, 20);
    EXPECT_EQ(read.runs.back().parameters.cell(1).contactMinutes, 2.5);
    EXPECT_EQ(read.runs.back().parameters.cell(1).molarMass, 92.14);
    EXPECT_EQ(read.runs.back().parameters.cell(3).contactMinutes, -1.0);
    EXPECT_EQ(first[0].contactMinutes, 2.5);
    EXPECT_EQ(first[0].molarMass, 92.14);

    // The second run goes below the first in the same file (the operator is asked first); no
    // zero gas this time. Its raw-data files and summary carry its number: the first run's stay.
    const QByteArray firstSummary = readBytes(f.dir + "Probe;7_summary.csv");
    const QByteArray firstRaw = readBytes(f.dir + "Probe;7_3.txt");
    ASSERT_FALSE(firstRaw.isEmpty());
    f.dialogs.answer = true;
    runRange("2", "5", "5");
    EXPECT_EQ(f.app().records().fileRun(), 2);
    EXPECT_EQ(f.dialogs.boxes.last().kind, "question");
    EXPECT_EQ(readBytes(f.dir + "Probe;7_summary.csv"), firstSummary);
    EXPECT_EQ(readBytes(f.dir + "Probe;7_3.txt"), firstRaw);
    EXPECT_TRUE(QFileInfo::exists(f.dir + "Probe;7_run2_3.txt"));
    const Cli two = summaryOf(f.dir + "Korvat.ini", csv);
    expectTheLiveFigures(two);
    EXPECT_TRUE(two.err.contains("holds 2 runs")) << two.err.toStdString();
    for (const CellSummary& s : f.app().run().summaries()) {
        // Without zero gas: the smallest peak the search finds.
        ASSERT_TRUE(s.metrics.detectionLimit.has_value()) << s.cell;
        EXPECT_EQ(s.metrics.detectionLimit->from, DetectionLimit::From::SmallestPeak) << s.cell;
        EXPECT_TRUE(s.metrics.detectionLimit.has_value()) << s.cell;
    }
}
