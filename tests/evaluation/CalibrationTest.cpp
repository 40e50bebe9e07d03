// The calibration curve of one or more levels, the reference gas's repeatability and the control
// chart of the response factor from the history, and the history file beside the settings.

#include "evaluation/Calibration.h"
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace korvat;

namespace {

const QDateTime kDay0(QDate(2026, 1, 5), QTime(8, 0));

CalibrationPoint point(double ppm, double area, int number = 1, int day = 0, Detector d = Detector::FID) {
    CalibrationPoint p;
    p.number = number;
    p.detector = d;
    p.moment = kDay0.addDays(day);
    p.ppm = ppm;
    p.area = area;
    p.serial = QStringLiteral("SN4A01-0815");
    return p;
}

} // namespace

// A peak that loses a constant area: area = 0.969 · 4500 · ppm − 1811 counts. One level goes
// through the origin (as the proportional calibration always did); two or more take the loss into
// the offset, and the low concentration reads right again.
TEST(CalibrationCurve, OneLevelIsProportionalAndTwoLevelsTakeTheLossIntoTheOffset) {
    auto area = [](double ppm) { return 0.969 * 4500 * ppm - 1811; };
    struct Case {
        const char* what;
        std::vector<double> levels;
        double lowPpmReadAs5; // what 5 ppm reads as
        double tolerance;
    } cases[] = {
        {"one level at 500 ppm", {500}, 5 * (area(5) / area(500) * 500) / 5, 1e-9},
        {"500 and 10 ppm", {500, 10}, 5, 1e-9},
        {"500, 100 and 10 ppm", {500, 100, 10}, 5, 1e-9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<CalibrationPoint> points;
        for (double ppm : c.levels)
            points.push_back(point(ppm, area(ppm)));
        const CalibrationCurve curve = fitCalibrationCurve(Detector::FID, points, 0.01);
        ASSERT_TRUE(curve.valid());
        EXPECT_EQ(curve.levels, static_cast<int>(c.levels.size()));
        EXPECT_NEAR(curve.ppmOf(area(5)), c.lowPpmReadAs5, c.tolerance * 5);
        if (c.levels.size() == 1) {
            EXPECT_EQ(curve.offset, 0);
            EXPECT_FALSE(curve.rSquared);
            EXPECT_LT(curve.ppmOf(area(5)), 4.6); // the single point reads 5 ppm low: the bias
        } else {
            EXPECT_NEAR(curve.slope, 0.969 * 4500, 1e-6);
            EXPECT_NEAR(curve.offset, -1811, 1e-6);
            ASSERT_TRUE(curve.rSquared);
            EXPECT_NEAR(*curve.rSquared, 1, 1e-12);
            for (double r : curve.residuals())
                EXPECT_NEAR(r, 0, 1e-6);
        }
        EXPECT_GT(curve.ppmUncertainty(5), 0);
    }
}

// Scattered points: the residuals sum to zero, R² is below 1 and the curve's uncertainty grows
// away from the points' centre.
TEST(CalibrationCurve, ScatterGivesResidualsRSquaredAndAnUncertaintyThatGrowsOffCentre) {
    const std::vector<CalibrationPoint> points = {point(10, 41000), point(10, 42500), point(100, 434000),
                                                  point(500, 2'178'000), point(500, 2'165'000)};
    const CalibrationCurve curve = fitCalibrationCurve(Detector::FID, points, 0.005);
    const std::vector<double> residuals = curve.residuals();
    ASSERT_EQ(residuals.size(), points.size());
    double sum = 0;
    for (double r : residuals)
        sum += r;
    EXPECT_NEAR(sum, 0, 1e-6);
    ASSERT_TRUE(curve.rSquared && curve.residualSd);
    EXPECT_LT(*curve.rSquared, 1);
    EXPECT_GT(*curve.rSquared, 0.999);
    EXPECT_GT(curve.ppmUncertainty(1000), curve.ppmUncertainty(200));
}

// The history's repeatability pools the levels' relative scatter; the control chart judges the
// newest response factor against the earlier ones' centre and s.
TEST(CalibrationHistory, RepeatabilityAndTheControlChartsStates) {
    // Ten calibrations at 100 ppm, response factor 4500 ± 1 %, then the newest one.
    const double earlier[] = {4500, 4545, 4455, 4500, 4545, 4455, 4500, 4545, 4455, 4500};
    std::vector<CalibrationPoint> base;
    for (int i = 0; i < 10; ++i)
        base.push_back(point(100, earlier[i] * 100, i + 1, i));
    double mean = 0, squares = 0;
    for (double v : earlier)
        mean += v / 10;
    for (double v : earlier)
        squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / 9);

    const auto r = repeatabilityOf(base, Detector::FID);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->relative, sd / mean, 1e-9);
    EXPECT_EQ(r->degreesOfFreedom, 9);

    struct Case {
        const char* what;
        double newest; // in s of the earlier points from their centre
        ControlChart::State state;
    } cases[] = {
        {"on the centre", 0, ControlChart::State::InControl},
        {"1.9 s high", 1.9, ControlChart::State::InControl},
        {"2.5 s low", -2.5, ControlChart::State::Warning},
        {"3.5 s high", 3.5, ControlChart::State::OutOfControl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<CalibrationPoint> history = base;
        history.push_back(point(100, (mean + c.newest * sd) * 100, 11, 11));
        const ControlChart chart = controlChart(history, Detector::FID, 100);
        EXPECT_EQ(chart.state, c.state);
        ASSERT_EQ(chart.points.size(), 11u);
        ASSERT_TRUE(chart.centre && chart.sd);
        EXPECT_NEAR(*chart.centre, mean, 1e-9);
        EXPECT_NEAR(*chart.sd, sd, 1e-9);
    }
    // Too little history gives no limits; another level or detector is another chart.
    const std::vector<CalibrationPoint> few(base.begin(), base.begin() + 3);
    EXPECT_EQ(controlChart(few, Detector::FID, 100).state, ControlChart::State::NotEnoughHistory);
    EXPECT_TRUE(controlChart(base, Detector::FID, 500).points.empty());
    EXPECT_TRUE(controlChart(base, Detector::FPD, 100).points.empty());
    for (auto state : {ControlChart::State::NotEnoughHistory, ControlChart::State::InControl,
                       ControlChart::State::Warning, ControlChart::State::OutOfControl})
        EXPECT_EQ(controlChartStateFromToken(controlChartToken(state)), state);
}

// A take-over at a level the current calibration lacks is a further level of it; a level it has
// starts a new calibration.
TEST(CalibrationHistory, ALevelAlreadyThereStartsANewCalibration) {
    std::vector<CalibrationPoint> history;
    struct Step {
        double ppm;
        int number;
    } steps[] = {{500, 1}, {10, 1}, {100, 1}, {500, 2}, {10, 2}};
    for (const Step& s : steps) {
        const int number = calibrationNumberFor(history, Detector::FID, s.ppm);
        EXPECT_EQ(number, s.number) << s.ppm;
        history.push_back(point(s.ppm, s.ppm * 4500, number, static_cast<int>(history.size())));
    }
    EXPECT_EQ(calibrationNumberFor(history, Detector::FPD, 500), 1);
    const std::vector<CalibrationPoint> current = currentCalibration(history, Detector::FID);
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(current[0].ppm, 500);
    EXPECT_EQ(current[1].ppm, 10);
}

// The file: written and read back exactly, whatever the program's language; a line that does not
// read is named with its line and left out, the rest is kept.
TEST(CalibrationHistory, TheFileRoundTripsAndABadLineIsNamedAndLeftOut) {
    QTemporaryDir dir;
    const QString path = calibrationHistoryPath(dir.path() + "/Korvat.ini");
    EXPECT_TRUE(path.endsWith("/Korvat-calibration.csv"));
    std::vector<CalibrationPoint> points = {point(500, 2'178'123, 1, 0), point(10.5, 45'678, 1, 0),
                                            point(50, 123'456, 1, 1, Detector::FPD)};
    points[1].used = false;
    points[2].serial = QStringLiteral("Gerät Nr. 2");
    QString error;
    ASSERT_TRUE(writeCalibrationHistory(path, points, &error)) << error.toStdString();
    const QByteArray bytes = calibrationHistoryBytes(points);
    EXPECT_TRUE(bytes.startsWith("number;detector;date;ppm;area;used;serial\r\n"));
    EXPECT_TRUE(bytes.contains("10.5")) << bytes.toStdString();
    const CalibrationHistoryRead read = readCalibrationHistory(path);
    EXPECT_TRUE(read.exists);
    EXPECT_TRUE(read.problems.isEmpty()) << read.problems.join('|').toStdString();
    EXPECT_EQ(read.points, points);

    const struct {
        const char* line;
        const char* why;
    } bad[] = {
        {"1;XID;2026-01-05T08:00:00;500;2178123;1;SN", "detector"},
        {"1;FID;5.1.2026;500;2178123;1;SN", "date"},
        {"1;FID;2026-01-05T08:00:00;-5;2178123;1;SN", "ppm"},
        {"1;FID;2026-01-05T08:00:00;500;lots;1;SN", "area"},
        {"1;FID;2026-01-05T08:00:00", "short"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.why);
        QByteArray text = bytes;
        text.append(b.line).append("\r\n");
        const CalibrationHistoryRead r = parseCalibrationHistory(text, path);
        EXPECT_EQ(r.points, points);
        ASSERT_EQ(r.problems.size(), 1);
        EXPECT_TRUE(r.problems[0].contains(path)) << r.problems[0].toStdString();
        EXPECT_TRUE(r.problems[0].contains("5")) << r.problems[0].toStdString(); // its line
    }
    EXPECT_FALSE(readCalibrationHistory(dir.path() + "/none.csv").exists);
}
