// The figures of a run's cells from its rows and the parameters it started with: sample times
// from each cell's contact, a detector counting from its calibration (and none without one), an
// FPD that does not see the chemical, the blank's rate at the contact and the detection limit,
// the mass basis, and what the summary file's fields say about all of it.

#include "evaluation/CellSummary.h"
#include "evaluation/PeakSearch.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

constexpr int kMeasuring = 15;

// A row of `position` whose window closed `minutes` after Start plus the measuring time, so its
// sample time is `minutes` of the run.
ResultRow row(int position, int number, double minutes, double fidRate, double fidArea, double fidPpm = 0,
              double fpdRate = 0, double fpdArea = 0) {
    ResultRow r;
    r.runZelle = position;
    r.marker = QLatin1Char(' ');
    r.sChemikalie = QStringLiteral("Toluol");
    r.FIDSampleFactor = 1;
    r.Flow = 100;
    r.elapsedMs = static_cast<qint64>(minutes * 60000) + kMeasuring * 1000;
    r.FIDppm = fidPpm != 0 ? fidPpm : fidRate * 100;
    r.FIDMessMenge = fidRate;
    r.FIDArea = fidArea;
    r.FPDMessMenge = fpdRate;
    r.FPDArea = fpdArea;
    r.sampleName = QStringLiteral("Probe");
    r.runAktiv = number;
    return r;
}

std::vector<const ResultRow*> pointers(const std::vector<ResultRow>& rows) {
    std::vector<const ResultRow*> out;
    for (const ResultRow& r : rows)
        out.push_back(&r);
    return out;
}

RunParameters calibrated() {
    RunParameters p;
    p.known = true;
    p.measuringSeconds = kMeasuring;
    p.fidCalPpm = 100;
    p.fidCalArea = 450000;
    p.fpdCalPpm = 10;
    p.fpdCalArea = 40000;
    p.sampleArea = 19.6;
    for (CellParameters& c : p.cells) {
        c.chemical = QStringLiteral("Toluol");
        c.molarMass = 92.14;
        c.fpdSubstance = QStringLiteral("Toluol");
    }
    return p;
}

const CellSummary* find(const std::vector<CellSummary>& all, int cell, Detector d) {
    for (const CellSummary& s : all)
        if (s.cell == cell && s.detector == d)
            return &s;
    return nullptr;
}

} // namespace

// Cell 1 met the chemical 5 minutes before Start, cell 3 three minutes after it: their sample
// times count from there, and a measurement before the contact is none of the figures.
TEST(CellSummary, SampleTimesCountFromEachCellsContact) {
    RunParameters p = calibrated();
    p.cells[0].contactMinutes = 5;
    p.cells[2].contactMinutes = -3;
    const std::vector<ResultRow> rows = {row(4, 1, 2, 0.05, 500), row(6, 2, 2.5, 0.0, 0), row(4, 3, 12, 0.5, 5000),
                                         row(6, 4, 12.5, 0.2, 2000)};
    const auto all = summarizeCells(pointers(rows), p, false, DetectionSettings{});
    const CellSummary* one = find(all, 1, Detector::FID);
    const CellSummary* three = find(all, 3, Detector::FID);
    ASSERT_TRUE(one && three);
    EXPECT_EQ(one->series, (std::vector<RatePoint>{{7, 0.05}, {17, 0.5}}));
    EXPECT_EQ(three->series, (std::vector<RatePoint>{{9.5, 0.2}}));
    EXPECT_EQ(summaryFields(*one, QLocale::c())[kSumContact], "5.0");
    EXPECT_EQ(summaryFields(*three, QLocale::c())[kSumContact], "-3.0");
    // Crossed 0.1 between the two measurements of cell 1, from its contact.
    ASSERT_TRUE(one->metrics.bt01.interpolated);
    EXPECT_NEAR(*one->metrics.bt01.interpolated, 7 + 10 * 0.05 / 0.45, 1e-9);
}

// An FID without a calibration at Start counts from the row in which it first gave a value (the
// reference gas calibrating it); an FPD that never gets one gives no figures at all.
TEST(CellSummary, ADetectorCountsFromItsCalibrationAndGivesNoFiguresWithoutOne) {
    RunParameters p = calibrated();
    p.fidCalArea = 0;
    p.fpdCalArea = 0;
    std::vector<ResultRow> rows = {row(4, 1, 1, 0.0, 30000, 0.0), row(2, 2, 2, 0.0, 450000, 100.0),
                                   row(4, 3, 3, 0.3, 30000), row(4, 4, 4, 0.4, 40000)};
    const auto all = summarizeCells(pointers(rows), p, true, DetectionSettings{});
    const CellSummary* fid = find(all, 1, Detector::FID);
    const CellSummary* fpd = find(all, 1, Detector::FPD);
    ASSERT_TRUE(fid && fpd);
    EXPECT_TRUE(fid->calibrated);
    EXPECT_EQ(fid->series, (std::vector<RatePoint>{{3, 0.3}, {4, 0.4}})); // not the 0 before the calibration
    EXPECT_FALSE(fpd->calibrated);
    EXPECT_TRUE(fpd->series.empty());
    const QStringList f = summaryFields(*fpd, QLocale::c());
    EXPECT_EQ(f[kSumStatus], "not calibrated");
    for (int column : {kSumBt01First, kSumBt10, kSumLevel, kSumSteady, kSumCumulative, kSumMdpr, kSumDuration})
        EXPECT_EQ(f[column], "") << summaryTitles()[column].toStdString();
    EXPECT_EQ(f[kSumMeasurements], "0");

    // Calibrated at Start, the same rows are all figures.
    p.fidCalArea = 450000;
    const auto again = summarizeCells(pointers(rows), p, false, DetectionSettings{});
    EXPECT_EQ(find(again, 1, Detector::FID)->series.size(), 3u);
}

// The FPD's figures of a chemical it cannot see (its substance is not the cell's chemical) carry
// no level: a detector blind to the chemical says nothing of how long the specimen held.
TEST(CellSummary, AnFpdThatDoesNotSeeTheChemicalGivesNoLevel) {
    RunParameters p = calibrated();
    p.cells[0].fpdSubstance = QStringLiteral("THT");
    p.cells[0].fpdSeesChemical = false;
    const std::vector<ResultRow> rows = {row(4, 1, 10, 0.2, 2000, 0, 0.0, 0), row(4, 2, 500, 0.3, 3000, 0, 0.0, 0)};
    const auto all = summarizeCells(pointers(rows), p, true, DetectionSettings{});
    const CellSummary* fid = find(all, 1, Detector::FID);
    const CellSummary* fpd = find(all, 1, Detector::FPD);
    ASSERT_TRUE(fid && fpd);
    EXPECT_EQ(performanceLevelText(fid->metrics.level, true), ">= 6");
    EXPECT_EQ(fpd->metrics.level.kind, PerformanceLevel::Kind::None);
    const QStringList f = summaryFields(*fpd, QLocale::c());
    EXPECT_EQ(f[kSumLevel], "");
    EXPECT_EQ(f[kSumLevelBound], "");
    EXPECT_EQ(f[kSumStatus], "the FPD does not see the chemical");
    EXPECT_EQ(summaryFields(*fid, QLocale::c())[kSumLevelBound], "500.0");
}

// The blanks are the run's zero-gas measurements as areas, brought to the cell through its own
// rate per area: their mean is the rate the first interval starts from, three standard
// deviations the detection limit when that is above the smallest peak the search finds.
TEST(CellSummary, TheBlanksGiveTheFirstIntervalAndTheDetectionLimitThroughTheCell) {
    const double perArea = 0.0001; // the cell's rate per unit of area: 1.0 at 10000
    const DetectionSettings search;  // the smallest FID peak: 9 × 6² = 324
    const struct {
        const char* what;
        std::vector<double> blankAreas;
        double contactRate;
        std::optional<DetectionLimit> limit;
        const char* firstInterval;
    } cases[] = {
        {"no zero gas", {}, 0, DetectionLimit{324 * perArea, DetectionLimit::From::SmallestPeak},
         "from the contact at rate 0 (no zero gas measured)"},
        {"a quiet blank", {100, 110, 90}, 100 * perArea, DetectionLimit{324 * perArea, DetectionLimit::From::SmallestPeak},
         "from the contact at the blank's rate 0.0100"},
        {"a noisy blank", {0, 400, 800}, 400 * perArea, DetectionLimit{1200 * perArea, DetectionLimit::From::ZeroGas},
         "from the contact at the blank's rate 0.0400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ResultRow> rows;
        int n = 1;
        for (double area : c.blankAreas) {
            rows.push_back(row(1, n, n * 2.0, 0.0, area, 1.0)); // the zero gas; its ppm says "calibrated"
            ++n;
        }
        rows.push_back(row(4, n++, 20, 1.0, 10000));
        rows.push_back(row(4, n++, 40, 2.0, 20000));
        const auto all = summarizeCells(pointers(rows), calibrated(), false, search);
        const CellSummary* s = find(all, 1, Detector::FID);
        ASSERT_TRUE(s);
        EXPECT_NEAR(s->metrics.contactRate, c.contactRate, 1e-12);
        ASSERT_TRUE(s->metrics.detectionLimit.has_value());
        EXPECT_NEAR(s->metrics.detectionLimit->rate, c.limit->rate, 1e-12);
        EXPECT_EQ(s->metrics.detectionLimit->from, c.limit->from);
        EXPECT_NEAR(s->metrics.cumulative, 20 * (c.contactRate + 1.0) / 2 + 20 * 1.5, 1e-9);
        EXPECT_EQ(summaryFields(*s, QLocale::c())[kSumFirstInterval], c.firstInterval);
    }
}

// A cell that never showed a peak still gets its detection limit: through the calibration and
// the parameters the run started with (factor, molar mass, flow, sample area).
TEST(CellSummary, ACellWithoutAPeakTakesItsRatePerAreaFromTheParameters) {
    const std::vector<ResultRow> rows = {row(4, 1, 10, 0.0, 0), row(4, 2, 20, 0.0, 0)};
    const auto all = summarizeCells(pointers(rows), calibrated(), false, DetectionSettings{});
    const CellSummary* s = find(all, 1, Detector::FID);
    ASSERT_TRUE(s && s->metrics.detectionLimit);
    const double perArea = 100.0 / 450000 * 92.14 / 24100 * 100 / 19.6;
    EXPECT_NEAR(s->metrics.detectionLimit->rate, 324 * perArea, 1e-12);
}

TEST(CellSummary, TheMassBasisIsTheMolarMassOrTheDetectorsHistoricalConstant) {
    RunParameters p = calibrated();
    p.cells[1].molarMass.reset();
    p.cells[1].fpdMolarMass.reset();
    p.cells[0].fpdMolarMass = 62.13;
    const std::vector<ResultRow> rows = {row(4, 1, 10, 0.2, 2000, 0, 0.1, 1000), row(5, 2, 10, 0.2, 2000, 0, 0.1, 1000)};
    const auto all = summarizeCells(pointers(rows), p, true, DetectionSettings{});
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(summaryFields(*find(all, 1, Detector::FID), german)[kSumMassBasis], "92,14 g/mol");
    EXPECT_EQ(summaryFields(*find(all, 1, Detector::FPD), german)[kSumMassBasis], "62,13 g/mol");
    EXPECT_EQ(summaryFields(*find(all, 2, Detector::FID), german)[kSumMassBasis], "isobutane equivalent");
    EXPECT_EQ(summaryFields(*find(all, 2, Detector::FPD), german)[kSumMassBasis], "0,00251 ug/ml per ppm");
    EXPECT_DOUBLE_EQ(massPerPpm(92.14, Detector::FID), 92.14 / 24100);
    EXPECT_EQ(massPerPpm(std::nullopt, Detector::FID), 0.00241);
    EXPECT_EQ(massPerPpm(std::nullopt, Detector::FPD), 0.00251);
    EXPECT_EQ(summaryTitles().size(), static_cast<qsizetype>(kSumColumns));
}
