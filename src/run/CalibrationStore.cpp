#include "run/CalibrationStore.h"

#include <algorithm>
#include <cmath>

namespace korvat {

void CalibrationStore::load(const QString& settingsFile) {
    path_ = calibrationHistoryPath(settingsFile);
    CalibrationHistoryRead read = readCalibrationHistory(path_);
    points_ = std::move(read.points);
    problems_ = read.problems;
}

bool CalibrationStore::save(QString* error) {
    if (path_.isEmpty())
        return true;
    return writeCalibrationHistory(path_, points_, error);
}

bool CalibrationStore::add(Detector detector, double ppm, double area, const QDateTime& moment, const QString& serial,
                           QString* error) {
    CalibrationPoint p;
    p.number = calibrationNumberFor(points_, detector, ppm);
    p.detector = detector;
    p.moment = moment;
    p.ppm = ppm;
    p.area = area;
    p.serial = serial;
    points_.push_back(p);
    return save(error);
}

bool CalibrationStore::setUsed(Detector detector, int index, bool used, QString* error) {
    const std::vector<CalibrationPoint> current = currentCalibration(points_, detector);
    if (index < 0 || index >= static_cast<int>(current.size()))
        return false;
    if (!used && std::count_if(current.begin(), current.end(), [](const CalibrationPoint& p) { return p.used; }) <= 1 &&
        current[static_cast<std::size_t>(index)].used)
        return false; // a calibration keeps at least one point
    int seen = 0;
    for (CalibrationPoint& p : points_) {
        if (p.detector != detector || p.number != current.front().number)
            continue;
        if (seen++ == index) {
            if (p.used == used)
                return true;
            p.used = used;
            break;
        }
    }
    return save(error);
}

std::optional<CalibrationPoint> CalibrationStore::newestUsed(Detector detector) const {
    std::optional<CalibrationPoint> newest;
    for (const CalibrationPoint& p : currentCalibration(points_, detector))
        if (p.used && (!newest || p.moment >= newest->moment))
            newest = p;
    return newest;
}

CalibrationInForce CalibrationStore::inForce(Detector detector, int calArea, double calPpm) const {
    CalibrationInForce c;
    c.repeatability = repeatabilityOf(points_, detector);
    const double repeatability = c.repeatability ? c.repeatability->relative : 0;
    std::vector<CalibrationPoint> used;
    for (const CalibrationPoint& p : currentCalibration(points_, detector))
        if (p.used)
            used.push_back(p);
    const std::optional<CalibrationPoint> newest = newestUsed(detector);
    const bool fits = newest && std::trunc(newest->area) == static_cast<double>(calArea);
    if (fits) {
        CalibrationCurve curve = fitCalibrationCurve(detector, used, repeatability);
        if (!curve.multiLevel()) {
            // One level: the settings' ppm is the one in use (the operator may have corrected it).
            CalibrationCurve one = oneLevelCurve(detector, calPpm, calArea, repeatability);
            one.number = curve.number;
            one.date = curve.date;
            one.points.front().number = curve.number;
            one.points.front().moment = curve.date;
            curve = one;
        }
        c.curve = curve;
    }
    double level = 0;
    for (const CalibrationPoint& p : used)
        level = std::max(level, p.ppm);
    if (!(level > 0))
        level = calPpm;
    const ControlChart chart = controlChart(points_, detector, level);
    c.chartLevel = level;
    c.chartState = chart.state;
    c.chartCentre = chart.centre;
    c.chartSd = chart.sd;
    if (!chart.points.empty())
        c.chartLast = chart.points.back().responseFactor;
    return c;
}

CalibrationDisplay CalibrationStore::display(Detector detector, int calArea, double calPpm) const {
    CalibrationDisplay d;
    d.detector = detector;
    d.current = currentCalibration(points_, detector);
    d.inForce = inForce(detector, calArea, calPpm);
    d.chart = controlChart(points_, detector, d.inForce.chartLevel);
    return d;
}

} // namespace korvat
