// The evaluation step on prepared signals: calibration take-over, concentration and rate by
// position, the breakthrough rule and the rows of a switched-off cell, no peak, both detectors,
// and the factors and areas that would divide by zero.

#include "evaluation/SyntheticPeak.h"
#include "support/AppFixture.h"
#include "util/NumberText.h"

#include <QLocale>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::InjectionPeak;

namespace {

struct EvalFixture : ::testing::Test {
    EvalFixture() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~EvalFixture() override { QLocale::setDefault(QLocale::c()); }

    void start(const QStringList& extraIni = {}, bool fpd = false) {
        sim::InstrumentOptions o;
        o.twoConverters = fpd;
        f = std::make_unique<AppFixture>(o);
        QStringList ini = {"Language/Code=DE", "Calibration/FIDCalArea=400000", "Calibration/FID/ppm=100",
                           "Calibration/CalFlow=50", "Measurement/SampleFlow1=60",
                           "Measurement/SampleFlow2=70", "Measurement/SampleFlow3=80",
                           "Measurement/LimitFID=1"};
        if (fpd)
            ini << "DeviceTyp/Typ=FIDFPD";
        f->writeIni(ini + extraIni);
        ASSERT_EQ(f->start(), StartupOutcome::Running);
        run().runStartzeitMono = f->clock.monotonicNow();
        const Input info[] = {Input::Info1, Input::Info2, Input::Info3};
        for (int k = 1; k <= 3; ++k)
            f->type(info[k - 1], QString("Glove %1").arg(k));
    }
    RunModel& run() { return f->app().run(); }
    ResultComputation& results() { return f->app().results(); }

    // One evaluation of `fid` (and `fpd`) as measured at `position`, `minutes` into the run, with
    // its breakthrough applied and its record kept.
    MeasurementRecord measure(int position, const Series& fid, const Series& fpd = {}, int minutes = 10) {
        const Millis target = run().runStartzeitMono + Millis(minutes * 60'000LL);
        if (target > f->clock.monotonicNow())
            f->clock.advance(target - f->clock.monotonicNow());
        Acquisition& acq = f->app().acquisition();
        acq.Series1 = fid;
        acq.Series2 = fpd;
        acq.Serie3.clear();
        run().runZelle = position;
        run().FIDSampleFactor = sampleFactor;
        run().FPDFactor = 1.0;
        f->app().sequencer().recordMeasurement();
        return run().measurements().back();
    }
    static Series peak(double area = 45000.0, unsigned seed = 1) {
        InjectionPeak p;
        p.area = area;
        p.seed = seed;
        return p.make(600);
    }
    static Series flat() {
        InjectionPeak p;
        p.area = 0.0;
        p.noise = 0;
        return p.make(600);
    }
    QString shown(Detector d) { return f->view.results.value(d); }

    std::unique_ptr<AppFixture> f;
    double sampleFactor = 1.0;
};

} // namespace

TEST_F(EvalFixture, CalibrationTakesTheTruncatedAreaOverOnceAndUsesItAtOnce) {
    start({"Calibration/FIDCalArea=0"});
    f->app().inputs().toggled(Check::IsobutanCalib, true);
    Series s = peak();
    for (double& y : s.y)
        y += 0.07; // fractional samples make a fractional area
    const MeasurementRecord r = measure(2, s);
    const double area = r.FIDArea;
    ASSERT_GT(area, 1000);
    ASSERT_NE(area, std::trunc(area));
    EXPECT_EQ(f->app().settings().FIDCalArea, static_cast<int>(std::trunc(area)));
    EXPECT_EQ(f->app().ini().readInteger("Calibration", "FIDCalArea", -1), static_cast<int>(std::trunc(area)));
    EXPECT_FALSE(f->app().inputs().checked(Check::IsobutanCalib));
    EXPECT_EQ(f->view.calibrated.value(Detector::FID), true);
    EXPECT_DOUBLE_EQ(r.FIDppm, area / std::trunc(area) * 100.0);
    EXPECT_EQ(shown(Detector::FID), formatFixed(r.FIDppm, 7, 2) + " ppm");
    EXPECT_EQ(r.FIDMessMenge, 0.0); // the reference gas gets a concentration, not a rate

    // The box acts once: the next measurement keeps the stored area.
    const MeasurementRecord again = measure(2, peak(20000.0));
    EXPECT_EQ(f->app().settings().FIDCalArea, static_cast<int>(std::trunc(area)));
    EXPECT_LT(again.FIDppm, r.FIDppm);
}

TEST_F(EvalFixture, AnUncalibratedDetectorRecordsNoRateAndCalibratesNothingBelowItsLimit) {
    // A stored area of exactly 1000 counts as uncalibrated; a measured area must exceed 1000 to
    // be taken over.
    start({"Calibration/FIDCalArea=1000"});
    f->view.results[Detector::FID] = "before";
    results().FIDppm = 12.5; // a concentration from before: an uncalibrated row must not repeat it
    const MeasurementRecord r = measure(4, peak());
    EXPECT_FALSE(r.NoPeak);
    EXPECT_EQ(r.FIDMessMenge, 0.0);
    EXPECT_EQ(r.FIDppm, 0.0);
    // Neither the label's value from before nor a rate of 0: it says why there is none.
    EXPECT_EQ(shown(Detector::FID), "nicht kalibriert");
    EXPECT_FALSE(f->view.cellOff(1));

    f->app().inputs().toggled(Check::IsobutanCalib, true);
    measure(2, peak(50.0)); // too small to be found or too small to calibrate
    EXPECT_EQ(f->app().settings().FIDCalArea, 1000);
    EXPECT_TRUE(f->app().inputs().checked(Check::IsobutanCalib));
}

TEST_F(EvalFixture, ConcentrationAndRateFollowThePositionsFlowAndFactors) {
    start({"Measurement/SampleArea(cm\u00b2)=20"});
    const struct {
        int position;
        double flow;
        double factor;
    } cases[] = {{1, 200.0, 1.0}, {3, 50.0, 1.0}, {4, 60.0, 2.0}, {5, 70.0, 0.5}, {6, 80.0, 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        sampleFactor = c.factor;
        const MeasurementRecord r = measure(c.position, peak());
        ASSERT_FALSE(r.NoPeak);
        EXPECT_EQ(r.Flow, c.flow);
        const double ppm = (r.FIDArea / 400000.0) * c.factor * 100.0;
        EXPECT_DOUBLE_EQ(r.FIDppm, ppm);
        EXPECT_DOUBLE_EQ(r.FIDMessMenge, 0.00241 * ppm * c.flow / 20.0);
        EXPECT_EQ(shown(Detector::FID), formatFixed(r.FIDMessMenge, 7, 2) + " ug/cm\u00b2/min");
    }
    // The worked example: 10 ppm at 100 ml/min over 20 cm2 is 0.1205, shown with two decimals.
    EXPECT_EQ(formatFixed(0.00241 * 10 * 100 / 20, 7, 2) + " ug/cm\u00b2/min", "0,12 ug/cm\u00b2/min");
}

// A rate is a mass: the cell's ppm times its chemical's molar mass over 24.1 L/mol; a chemical
// without a molar mass keeps the detector's historical constant (the FID's isobutane equivalent,
// the FPD's 0.00251). The reference positions measure the calibration gases and keep them too.
TEST_F(EvalFixture, TheRateUsesTheMolarMassOfTheCellsChemical) {
    start({"Calibration/FPDCalArea=400000", "Calibration/FPD/ppm=10", "Measurement/LimitFID=1000",
           "Measurement/LimitFPD=1000"},
          true);
    const struct {
        int position;
        std::optional<double> fid, fpd; // the molar masses the cell's substances have
        double fidPerPpm, fpdPerPpm;    // ug/ml per ppm
    } cases[] = {
        {4, 92.14, 62.13, 92.14 / 24100, 62.13 / 24100},
        {5, std::nullopt, std::nullopt, 0.00241, 0.00251},
        {6, 32.04, std::nullopt, 32.04 / 24100, 0.00251},
        {3, 92.14, 62.13, 0.00241, 0.00251}, // the reference cell: cell parameters do not apply
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        for (CellParameters& cell : run().parameters.cells) {
            cell.molarMass = c.fid;
            cell.fpdMolarMass = c.fpd;
        }
        const MeasurementRecord r = measure(c.position, peak(), peak());
        ASSERT_GT(r.FIDppm, 0.0);
        EXPECT_NEAR(r.FIDMessMenge, c.fidPerPpm * r.FIDppm * r.Flow / 19.6, 1e-12 * r.FIDMessMenge);
        const double fpdPpm = r.FPDArea / 400000.0 * 10.0;
        EXPECT_NEAR(r.FPDMessMenge, c.fpdPerPpm * fpdPpm * r.Flow / 19.6, 1e-12 * r.FPDMessMenge);
    }
}

TEST_F(EvalFixture, ARateAboveTheLimitBreaksTheCellOnceAndLaterTurnsRecordItAsOff) {
    start({"Measurement/SampleArea(cm\u00b2)=20"});
    // Find the rate this peak gives at cell 2, then set the limit exactly to it: equal does not break.
    const double rate = measure(5, peak(), {}, 10).FIDMessMenge;
    ASSERT_GT(rate, 0.0);
    f->app().inputs().edited(Input::LimitFID, QLocale().toString(rate, 'g', 17));
    f->app().UpdateDurchbruchschwelle();
    run().offCount = 3;
    MeasurementRecord r = measure(5, peak(), {}, 20);
    EXPECT_EQ(r.marker, QChar(' '));
    EXPECT_EQ(r.breakTime, "--:--");
    EXPECT_FALSE(f->view.cellOff(2));
    EXPECT_EQ(f->view.cellTime(2), "00:20:00");

    // A slightly larger rate breaks through in the measurement that produced it.
    f->app().valves().ValveSet(5); // the cell is being flushed
    const std::uint8_t open = f->app().valves().regs().V2Byte;
    r = measure(5, peak(45100.0), {}, 30);
    EXPECT_GT(r.FIDMessMenge, rate);
    EXPECT_EQ(r.marker, QChar('*'));
    EXPECT_EQ(r.breakTime, "00:30:00");
    EXPECT_EQ(r.sampleName, "Glove 2");
    // The record says what happened: this measurement broke the cell (it was measured, not skipped).
    EXPECT_TRUE(r.brokeThrough);
    EXPECT_FALSE(r.skipped);
    EXPECT_TRUE(f->view.cellOff(2));
    EXPECT_EQ(run().cell(2).breakElapsedMs, 30 * 60'000);
    EXPECT_EQ(run().cell(2).breakMeasurement, r.runAktiv);
    EXPECT_EQ(run().offCount, 2);
    const std::uint8_t closed = f->app().valves().regs().V2Byte; // its valve was closed
    EXPECT_NE(closed, open);
    f->app().valves().ValveReset(5);
    EXPECT_EQ(f->app().valves().regs().V2Byte, closed);

    // Later turns of the cell: marked, rate and area 0, no break time; the label keeps the time.
    r = measure(5, peak(90000.0), {}, 40);
    EXPECT_TRUE(r.skipped);
    EXPECT_FALSE(r.brokeThrough);
    EXPECT_EQ(r.marker, QChar('*'));
    EXPECT_EQ(r.breakTime, "--:--");
    EXPECT_EQ(r.FIDMessMenge, 0.0);
    EXPECT_EQ(r.FIDArea, 0.0);
    EXPECT_EQ(f->view.cellTime(2), "00:30:00");
    EXPECT_EQ(run().offCount, 2);
}

TEST_F(EvalFixture, NoPeakRecordsZerosWithTheRowsNamesAndMarks) {
    start({"Measurement/LimitFID=1000"});
    const struct {
        int position;
        const char* name;
        const char* breakTime;
        const char* label;
    } cases[] = {{2, "Refgas", "", "0,00 ppm"}, {6, "Glove 3", "--:--", "0,00 ug/cm\u00b2/min"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        measure(c.position, peak()); // leaves non-zero values behind
        const MeasurementRecord r = measure(c.position, flat());
        EXPECT_TRUE(r.NoPeak);
        EXPECT_EQ(r.FIDArea, 0.0);
        EXPECT_EQ(r.FIDppm, 0.0);
        EXPECT_EQ(r.FIDMessMenge, 0.0);
        EXPECT_EQ(r.sampleName, c.name);
        EXPECT_EQ(r.marker, QChar(' '));
        EXPECT_EQ(r.breakTime, c.breakTime);
        EXPECT_EQ(shown(Detector::FID), c.label);
    }
}

TEST_F(EvalFixture, BothDetectorsTheFPDStepDecidesTheRowsMarkAndBreakTime) {
    start({"Calibration/FPDCalArea=400000", "Calibration/FPD/ppm=10", "Measurement/LimitFPD=1000",
           "Measurement/LimitFID=0,5"},
          true);
    // The FID rate of cell 1 passes its limit; the FPD step then finds the cell lit.
    run().offCount = 3;
    const MeasurementRecord r = measure(4, peak(), peak(), 15);
    EXPECT_TRUE(f->view.cellOff(1));
    EXPECT_EQ(run().offCount, 2);
    EXPECT_EQ(r.marker, QChar('*'));
    EXPECT_EQ(r.breakTime, "--:--");
    EXPECT_EQ(r.FPDMessMenge, 0.0);
    EXPECT_EQ(r.FPDArea, 0.0);
    EXPECT_EQ(f->view.cellTime(1), "00:15:00");

    // A reference position gets "--:--" too, and the FPD concentration in ppm.
    const MeasurementRecord ref = measure(2, peak(), peak(), 20);
    EXPECT_EQ(ref.breakTime, "--:--");
    EXPECT_GT(ref.FPDArea, 10000);
    EXPECT_DOUBLE_EQ(ref.FPDMessMenge, ref.FPDArea * 10.0 / 400000.0);
    EXPECT_EQ(shown(Detector::FPD), formatFixed(ref.FPDMessMenge, 7, 2) + " ppm");

    // Cell 3's FPD rate: calibration factor over sample factor, the FID step's flow.
    const MeasurementRecord c3 = measure(6, peak(100.0), peak(), 25);
    EXPECT_EQ(c3.Flow, 80.0);
    EXPECT_DOUBLE_EQ(c3.FPDMessMenge, 0.00251 * (c3.FPDArea / 400000.0 * 10.0) * 80.0 / 19.6);
    EXPECT_EQ(c3.marker, QChar(' '));
}

TEST_F(EvalFixture, TheFPDRateUsesTheCellsFlowAlsoWhenTheFIDSeesNothing) {
    start({"Calibration/FPDCalArea=400000", "Calibration/FPD/ppm=10", "Measurement/LimitFPD=1000"}, true);
    measure(1, peak(), flat()); // zero gas runs at 200 ml/min
    const MeasurementRecord r = measure(6, flat(), peak());
    EXPECT_TRUE(r.FIDppm == 0.0);
    EXPECT_EQ(r.Flow, 80.0);
    EXPECT_DOUBLE_EQ(r.FPDMessMenge, 0.00251 * (r.FPDArea / 400000.0 * 10.0) * 80.0 / 19.6);
    EXPECT_TRUE(r.NoPeak); // the FID's verdict, not the FPD search's
}

TEST_F(EvalFixture, SulfurCalibrationNeedsAnAcceptedPeakAboveTenThousand) {
    start({}, true);
    f->app().inputs().toggled(Check::SulfurCalib, true);
    measure(2, peak(), flat());
    EXPECT_EQ(f->app().settings().FPDCalArea, 0);
    EXPECT_TRUE(f->app().inputs().checked(Check::SulfurCalib));

    Series s = peak(3000.0);
    for (double& y : s.y)
        y += 0.09;
    const MeasurementRecord r = measure(2, peak(), s);
    ASSERT_GT(r.FPDArea, 10000);
    EXPECT_EQ(f->app().settings().FPDCalArea, static_cast<int>(std::trunc(r.FPDArea)));
    EXPECT_EQ(f->app().ini().readInteger("Calibration", "FPDCalArea", -1), static_cast<int>(std::trunc(r.FPDArea)));
    EXPECT_FALSE(f->app().inputs().checked(Check::SulfurCalib));
    EXPECT_EQ(f->view.calibrated.value(Detector::FPD), true);
}

TEST_F(EvalFixture, AZeroFactorFromTheFileRecordsRateZeroWithAWarningInsteadOfFailing) {
    const struct {
        const char* ini;
        int position;
    } cases[] = {{"Measurement/FIDCalFactor=0", 4}, {"Measurement/FIDCalFactor=0", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        start({c.ini});
        const MeasurementRecord r = measure(c.position, peak());
        EXPECT_FALSE(r.NoPeak);
        EXPECT_EQ(r.FIDMessMenge, 0.0);
        EXPECT_TRUE(std::isfinite(r.FIDppm));
        EXPECT_FALSE(r.warning.isEmpty());
        EXPECT_FALSE(f->view.cellOff(1));
        EXPECT_TRUE(f->view.log.last().contains("not above zero")) << f->view.log.last().toStdString();
    }
}
