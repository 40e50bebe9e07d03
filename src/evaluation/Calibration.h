#pragma once
// The detectors' calibration. Every measurement of a reference gas the operator takes over as a
// calibration is kept, with its date, in the calibration history beside the settings file, across
// runs. The points of one calibration (one or more levels) give the calibration curve
//
//   area = a · ppm + b
//
// by least squares over the levels the operator chose; with one level the curve goes through the
// origin (b = 0), which is the proportional calibration the program always had. The evaluated
// peak loses about the same area from every peak (its end is cut where the slope flattens, some
// counts above the baseline), so a single point reads small peaks low; a second level takes the
// loss into b. The history also gives the repeatability of the reference gas (the scatter of
// repeated calibrations at one level) and the control chart of the response factor (area per
// ppm), which shows drift before it spoils a test.

#include "evaluation/Detector.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <vector>

namespace korvat {

// One reference-gas measurement taken over as a calibration.
struct CalibrationPoint {
    int number = 0; // the calibration it belongs to, counted per detector from 1
    Detector detector = Detector::FID;
    QDateTime moment; // when it was taken over, local time
    double ppm = 0;   // the reference gas's concentration
    double area = 0;  // its peak area as taken over (a whole number)
    bool used = true; // chosen for the curve
    QString serial;   // the instrument's serial number
    bool operator==(const CalibrationPoint&) const = default;
    double responseFactor() const { return ppm > 0 ? area / ppm : 0; }
};

// Two concentrations are one level when they agree to a millionth (they are typed, not measured).
bool sameLevel(double a, double b);

struct CalibrationCurve {
    Detector detector = Detector::FID;
    int number = 0; // the calibration in the history; 0: known from the settings only
    QDateTime date; // its latest point
    std::vector<CalibrationPoint> points; // the points the curve goes through
    double slope = 0;                     // a: area per ppm
    double offset = 0;                    // b: area at 0 ppm (0 with one level)
    int levels = 0;
    std::optional<double> rSquared;   // from two levels on
    std::optional<double> residualSd; // scatter about the curve, from three points on (n − 2 degrees of freedom)
    // The relative standard uncertainty of one reference-gas area the uncertainties below rest on
    // (the history's repeatability; 0 when it is not known).
    double repeatability = 0;
    // Variances and covariance of slope and offset, from the points' uncertainties (each the
    // larger of the repeatability and the scatter about the curve).
    double varSlope = 0, varOffset = 0, covariance = 0;

    bool valid() const;
    bool multiLevel() const { return levels >= 2; }
    double ppmOf(double area) const { return (area - offset) / slope; }
    double areaAt(double ppm) const { return slope * ppm + offset; }
    // The curve's share in the standard uncertainty of a concentration read from it, ppm.
    double ppmUncertainty(double ppm) const;
    // Each point's area less the curve's, in the order of `points`.
    std::vector<double> residuals() const;
};

// The curve through `points` (those chosen): least squares, through the origin for a single
// level. `repeatability` is the relative standard uncertainty of one reference-gas area.
CalibrationCurve fitCalibrationCurve(Detector detector, std::span<const CalibrationPoint> points,
                                     double repeatability);
// The one-level calibration of the settings (calibration area at the calibration gas's ppm).
CalibrationCurve oneLevelCurve(Detector detector, double ppm, double area, double repeatability);

// The reference gas's repeatability: the relative standard deviation of the response factor
// among calibrations at the same level, pooled over the levels (the last kRepeatabilityWindow of
// each), with its degrees of freedom. Points after `upTo` (when valid) are not counted.
struct Repeatability {
    double relative = 0;
    int degreesOfFreedom = 0;
};
inline constexpr int kRepeatabilityWindow = 20;
std::optional<Repeatability> repeatabilityOf(std::span<const CalibrationPoint> history, Detector detector,
                                             const QDateTime& upTo = {});

// The control chart of the response factor at one level: every calibration at that level in
// time order; the centre line and s from the (at most kControlChartWindow) points before the
// newest, which is judged against them: within ±2 s in control, beyond ±2 s a warning, beyond
// ±3 s out of control. Fewer than kControlChartMinimum earlier points give no limits yet.
struct ControlChart {
    enum class State { None, NotEnoughHistory, InControl, Warning, OutOfControl };
    struct Point {
        QDateTime moment;
        double responseFactor = 0;
        int number = 0;
    };
    Detector detector = Detector::FID;
    double level = 0; // ppm
    std::vector<Point> points;
    std::optional<double> centre, sd;
    State state = State::None;
};
inline constexpr int kControlChartMinimum = 5;
inline constexpr int kControlChartWindow = 20;
ControlChart controlChart(std::span<const CalibrationPoint> history, Detector detector, double level,
                          const QDateTime& upTo = {});
// "in control", "warning", "out of control", "not enough history" (the files' tokens); empty for None.
QString controlChartToken(ControlChart::State state);
std::optional<ControlChart::State> controlChartStateFromToken(const QString& token);

// ---- the history file ------------------------------------------------------------------------

// Beside the settings file. UTF-8 (a file in the program's code page is read too), CR LF, a title
// line, then one line per point: number;detector;date;ppm;area;used;serial, the date as
// yyyy-MM-ddTHH:mm:ss local time, numbers with a decimal point whatever the language.
inline constexpr const char* kCalibrationHistoryName = "Korvat-calibration.csv";
QString calibrationHistoryPath(const QString& settingsFile);

struct CalibrationHistoryRead {
    bool exists = false;
    std::vector<CalibrationPoint> points;
    QStringList problems; // a line that does not read: the file, its line and why (the line is left out)
};
CalibrationHistoryRead parseCalibrationHistory(const QByteArray& bytes, const QString& path);
CalibrationHistoryRead readCalibrationHistory(const QString& path);
QByteArray calibrationHistoryBytes(std::span<const CalibrationPoint> points);
// Written whole under a temporary name and renamed, so a power cut never leaves half a history.
bool writeCalibrationHistory(const QString& path, std::span<const CalibrationPoint> points, QString* error);

// The points of the detector's current calibration (its highest number), used or not, in order.
std::vector<CalibrationPoint> currentCalibration(std::span<const CalibrationPoint> history, Detector detector);
// The calibration a new point at `ppm` belongs to: the current one while it has no point at that
// level (a further level of it), otherwise a new one (measuring a level again starts over).
int calibrationNumberFor(std::span<const CalibrationPoint> history, Detector detector, double ppm);

} // namespace korvat
