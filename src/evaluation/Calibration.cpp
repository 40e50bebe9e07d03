#include "evaluation/Calibration.h"

#include "util/CodePage.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace korvat {

namespace {

const QString kTitle = QStringLiteral("number;detector;date;ppm;area;used;serial");
const QString kDateForm = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QString detectorName(Detector d) { return d == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD"); }

double square(double v) { return v * v; }

// Points of `detector` up to `upTo` (every point when it is not valid), in time order.
std::vector<CalibrationPoint> pointsOf(std::span<const CalibrationPoint> history, Detector detector,
                                       const QDateTime& upTo, bool usedOnly) {
    std::vector<CalibrationPoint> out;
    for (const CalibrationPoint& p : history)
        if (p.detector == detector && (!usedOnly || p.used) && (!upTo.isValid() || !p.moment.isValid() || p.moment <= upTo))
            out.push_back(p);
    std::stable_sort(out.begin(), out.end(),
                     [](const CalibrationPoint& a, const CalibrationPoint& b) { return a.moment < b.moment; });
    return out;
}

QString cNumber(double v) { return QLocale::c().toString(v, 'g', 15); }

std::optional<double> readNumber(const QString& text) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

bool sameLevel(double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max(std::fabs(a), std::fabs(b));
}

bool CalibrationCurve::valid() const {
    return slope > 0 && std::isfinite(slope) && std::isfinite(offset);
}

double CalibrationCurve::ppmUncertainty(double ppm) const {
    if (!valid())
        return 0;
    const double variance = varOffset + ppm * ppm * varSlope + 2 * ppm * covariance;
    return variance > 0 ? std::sqrt(variance) / slope : 0;
}

std::vector<double> CalibrationCurve::residuals() const {
    std::vector<double> out;
    out.reserve(points.size());
    for (const CalibrationPoint& p : points)
        out.push_back(p.area - areaAt(p.ppm));
    return out;
}

CalibrationCurve fitCalibrationCurve(Detector detector, std::span<const CalibrationPoint> points, double repeatability) {
    CalibrationCurve c;
    c.detector = detector;
    c.repeatability = repeatability;
    c.points.assign(points.begin(), points.end());
    if (points.empty())
        return c;
    c.number = points.front().number;
    for (const CalibrationPoint& p : points)
        if (!c.date.isValid() || p.moment > c.date)
            c.date = p.moment;
    std::vector<double> levels;
    for (const CalibrationPoint& p : points)
        if (std::none_of(levels.begin(), levels.end(), [&p](double l) { return sameLevel(l, p.ppm); }))
            levels.push_back(p.ppm);
    c.levels = static_cast<int>(levels.size());
    const double n = static_cast<double>(points.size());

    if (c.levels == 1) {
        // Through the origin: the proportional calibration.
        double sum = 0;
        for (const CalibrationPoint& p : points)
            sum += p.area;
        const double x = points.front().ppm;
        c.slope = sum / n / x;
        double scatter = 0;
        if (points.size() > 1) {
            for (const CalibrationPoint& p : points)
                scatter += square(p.area - sum / n);
            c.residualSd = std::sqrt(scatter / (n - 1));
        }
        for (const CalibrationPoint& p : points)
            c.varSlope += std::max(square(repeatability * p.area), square(c.residualSd.value_or(0))) / square(n * x);
        return c;
    }

    double mx = 0, my = 0;
    for (const CalibrationPoint& p : points) {
        mx += p.ppm;
        my += p.area;
    }
    mx /= n;
    my /= n;
    double sxx = 0, sxy = 0, syy = 0;
    for (const CalibrationPoint& p : points) {
        sxx += square(p.ppm - mx);
        sxy += (p.ppm - mx) * (p.area - my);
        syy += square(p.area - my);
    }
    c.slope = sxy / sxx;
    c.offset = my - c.slope * mx;
    double ssr = 0;
    for (const CalibrationPoint& p : points)
        ssr += square(p.area - c.areaAt(p.ppm));
    c.rSquared = syy > 0 ? 1 - ssr / syy : 1.0;
    if (points.size() > 2)
        c.residualSd = std::sqrt(ssr / (n - 2));
    // slope = Σ c_i y_i, offset = Σ d_i y_i: their variances from each point's.
    for (const CalibrationPoint& p : points) {
        const double sigma2 = std::max(square(repeatability * p.area), square(c.residualSd.value_or(0)));
        const double ci = (p.ppm - mx) / sxx;
        const double di = 1 / n - mx * ci;
        c.varSlope += ci * ci * sigma2;
        c.varOffset += di * di * sigma2;
        c.covariance += ci * di * sigma2;
    }
    return c;
}

CalibrationCurve oneLevelCurve(Detector detector, double ppm, double area, double repeatability) {
    CalibrationPoint p;
    p.detector = detector;
    p.ppm = ppm;
    p.area = area;
    if (!(ppm > 0) || !(area > 0)) {
        CalibrationCurve c;
        c.detector = detector;
        c.repeatability = repeatability;
        return c;
    }
    return fitCalibrationCurve(detector, std::span<const CalibrationPoint>(&p, 1), repeatability);
}

std::optional<Repeatability> repeatabilityOf(std::span<const CalibrationPoint> history, Detector detector,
                                             const QDateTime& upTo) {
    const std::vector<CalibrationPoint> points = pointsOf(history, detector, upTo, true);
    std::vector<std::vector<double>> groups; // response factors per level, in time order
    std::vector<double> levels;
    for (const CalibrationPoint& p : points) {
        if (!(p.ppm > 0) || !(p.area > 0))
            continue;
        auto it = std::find_if(levels.begin(), levels.end(), [&p](double l) { return sameLevel(l, p.ppm); });
        if (it == levels.end()) {
            levels.push_back(p.ppm);
            groups.emplace_back();
            it = levels.end() - 1;
        }
        groups[static_cast<std::size_t>(it - levels.begin())].push_back(p.responseFactor());
    }
    double squares = 0;
    int dof = 0;
    for (std::vector<double>& g : groups) {
        if (g.size() > kRepeatabilityWindow)
            g.erase(g.begin(), g.end() - kRepeatabilityWindow);
        if (g.size() < 2)
            continue;
        double mean = 0;
        for (double v : g)
            mean += v;
        mean /= static_cast<double>(g.size());
        for (double v : g)
            squares += square(v / mean - 1);
        dof += static_cast<int>(g.size()) - 1;
    }
    if (dof == 0)
        return std::nullopt;
    return Repeatability{std::sqrt(squares / dof), dof};
}

ControlChart controlChart(std::span<const CalibrationPoint> history, Detector detector, double level,
                          const QDateTime& upTo) {
    ControlChart chart;
    chart.detector = detector;
    chart.level = level;
    for (const CalibrationPoint& p : pointsOf(history, detector, upTo, false))
        if (sameLevel(p.ppm, level) && p.ppm > 0)
            chart.points.push_back({p.moment, p.responseFactor(), p.number});
    if (chart.points.empty())
        return chart;
    const std::size_t earlier = chart.points.size() - 1;
    const std::size_t from = earlier > kControlChartWindow ? earlier - kControlChartWindow : 0;
    const double count = static_cast<double>(earlier - from);
    if (count >= 2) {
        double mean = 0;
        for (std::size_t i = from; i < earlier; ++i)
            mean += chart.points[i].responseFactor;
        mean /= count;
        double squares = 0;
        for (std::size_t i = from; i < earlier; ++i)
            squares += square(chart.points[i].responseFactor - mean);
        chart.centre = mean;
        chart.sd = std::sqrt(squares / (count - 1));
    }
    if (count < kControlChartMinimum) {
        chart.state = ControlChart::State::NotEnoughHistory;
        return chart;
    }
    const double deviation = std::fabs(chart.points.back().responseFactor - *chart.centre);
    if (!(*chart.sd > 0))
        chart.state = deviation == 0 ? ControlChart::State::InControl : ControlChart::State::OutOfControl;
    else if (deviation <= 2 * *chart.sd)
        chart.state = ControlChart::State::InControl;
    else if (deviation <= 3 * *chart.sd)
        chart.state = ControlChart::State::Warning;
    else
        chart.state = ControlChart::State::OutOfControl;
    return chart;
}

QString controlChartToken(ControlChart::State state) {
    switch (state) {
    case ControlChart::State::None: return {};
    case ControlChart::State::NotEnoughHistory: return QStringLiteral("not enough history");
    case ControlChart::State::InControl: return QStringLiteral("in control");
    case ControlChart::State::Warning: return QStringLiteral("warning");
    case ControlChart::State::OutOfControl: return QStringLiteral("out of control");
    }
    return {};
}

std::optional<ControlChart::State> controlChartStateFromToken(const QString& token) {
    for (ControlChart::State s : {ControlChart::State::None, ControlChart::State::NotEnoughHistory,
                                  ControlChart::State::InControl, ControlChart::State::Warning,
                                  ControlChart::State::OutOfControl})
        if (controlChartToken(s) == token)
            return s;
    return std::nullopt;
}

QString calibrationHistoryPath(const QString& settingsFile) {
    return QFileInfo(settingsFile).absolutePath() + QLatin1Char('/') + QString::fromLatin1(kCalibrationHistoryName);
}

CalibrationHistoryRead parseCalibrationHistory(const QByteArray& bytes, const QString& path) {
    CalibrationHistoryRead read;
    read.exists = true;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = fromCp1252(bytes); // saved by a spreadsheet in the program's code page
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || (i == 0 && line.startsWith(QStringLiteral("number;"))))
            continue;
        const QStringList f = line.split(QLatin1Char(';'));
        auto bad = [&](const QString& why) {
            read.problems << QStringLiteral("%1, line %2: %3; the line is left out").arg(path).arg(i + 1).arg(why);
        };
        if (f.size() < 6) {
            bad(QStringLiteral("%1 fields where a point has 7").arg(f.size()));
            continue;
        }
        CalibrationPoint p;
        bool ok = false;
        p.number = f[0].trimmed().toInt(&ok);
        if (!ok || p.number < 1) {
            bad(QStringLiteral("\"%1\" is not a calibration number").arg(f[0]));
            continue;
        }
        if (f[1].trimmed() == QLatin1String("FID"))
            p.detector = Detector::FID;
        else if (f[1].trimmed() == QLatin1String("FPD"))
            p.detector = Detector::FPD;
        else {
            bad(QStringLiteral("\"%1\" is no detector (FID or FPD)").arg(f[1]));
            continue;
        }
        p.moment = QDateTime::fromString(f[2].trimmed(), kDateForm);
        if (!p.moment.isValid()) {
            bad(QStringLiteral("\"%1\" is not a date (yyyy-MM-ddTHH:mm:ss)").arg(f[2]));
            continue;
        }
        const auto ppm = readNumber(f[3]);
        const auto area = readNumber(f[4]);
        if (!ppm || !(*ppm > 0)) {
            bad(QStringLiteral("\"%1\" is not a concentration above 0").arg(f[3]));
            continue;
        }
        if (!area || !(*area > 0)) {
            bad(QStringLiteral("\"%1\" is not an area above 0").arg(f[4]));
            continue;
        }
        p.ppm = *ppm;
        p.area = *area;
        const QString used = f[5].trimmed();
        if (used != QLatin1String("0") && used != QLatin1String("1")) {
            bad(QStringLiteral("\"%1\" is not 0 or 1 (used)").arg(f[5]));
            continue;
        }
        p.used = used == QLatin1String("1");
        p.serial = f.mid(6).join(QLatin1Char(','));
        read.points.push_back(p);
    }
    return read;
}

CalibrationHistoryRead readCalibrationHistory(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        CalibrationHistoryRead read;
        read.exists = true;
        read.problems << QStringLiteral("%1: %2").arg(path, file.errorString());
        return read;
    }
    return parseCalibrationHistory(file.readAll(), path);
}

QByteArray calibrationHistoryBytes(std::span<const CalibrationPoint> points) {
    QString text = kTitle + QStringLiteral("\r\n");
    for (const CalibrationPoint& p : points) {
        QString serial = p.serial;
        serial.replace(QLatin1Char(';'), QLatin1Char(',')).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += QStringList{QString::number(p.number), detectorName(p.detector), p.moment.toString(kDateForm),
                            cNumber(p.ppm), cNumber(p.area), p.used ? QStringLiteral("1") : QStringLiteral("0"), serial}
                    .join(QLatin1Char(';')) +
                QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

bool writeCalibrationHistory(const QString& path, std::span<const CalibrationPoint> points, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = calibrationHistoryBytes(points);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Calibration history not written: %1 (%2)").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::vector<CalibrationPoint> currentCalibration(std::span<const CalibrationPoint> history, Detector detector) {
    int number = 0;
    for (const CalibrationPoint& p : history)
        if (p.detector == detector)
            number = std::max(number, p.number);
    std::vector<CalibrationPoint> out;
    for (const CalibrationPoint& p : history)
        if (p.detector == detector && p.number == number)
            out.push_back(p);
    return out;
}

int calibrationNumberFor(std::span<const CalibrationPoint> history, Detector detector, double ppm) {
    const std::vector<CalibrationPoint> current = currentCalibration(history, detector);
    if (current.empty())
        return 1;
    const bool levelKnown =
        std::any_of(current.begin(), current.end(), [ppm](const CalibrationPoint& p) { return sameLevel(p.ppm, ppm); });
    return current.front().number + (levelKnown ? 1 : 0);
}

} // namespace korvat
