#include "evaluation/CellSummary.h"

#include "util/NumberText.h"

#include <algorithm>
#include <cmath>

namespace korvat {

namespace {

// A value as the results file keeps it: what formatFixed(v, precision, decimals) writes, read
// back. Figures made from the results file (korvat-eval --summary) then agree with the live ones
// to the last digit, also where a rate lies within the file's rounding of a threshold. Done in
// numbers rather than through the text, as often as it runs: the product with the scale is split
// into its rounded value and its exact error, so halves are told exactly, and exact halves go
// away from zero as the text form rounds them.
double recorded(double v, int precision, int decimals) {
    static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
    if (!std::isfinite(v) || precision > 10 || decimals > 10 || !(std::fabs(v) < kPowers[precision]))
        return QLocale::c().toDouble(formatFixed(v, precision, decimals, QLocale::c()));
    const double scale = kPowers[decimals];
    const double p = v * scale;
    const double error = std::fma(v, scale, -p);
    const double below = std::floor(p);
    const double fraction = p - below;
    double k = below;
    if (fraction > 0.5 || (fraction == 0.5 && (error > 0 || (error == 0 && p > 0))))
        k = below + 1;
    return k / scale;
}

// Rates and ppm are written as F7.3, areas as F8.0, flows as F5.1.
double rateOf(const ResultRow& r, Detector d) { return recorded(d == Detector::FID ? r.FIDMessMenge : r.FPDMessMenge, 7, 3); }
double areaOf(const ResultRow& r, Detector d) { return recorded(d == Detector::FID ? r.FIDArea : r.FPDArea, 8, 0); }
double flowOf(const ResultRow& r) { return recorded(r.Flow, 5, 1); }
const std::optional<double>& noiseOf(const ResultRow& r, Detector d) {
    return d == Detector::FID ? r.fidNoiseArea : r.fpdNoiseArea;
}
// A detector that gave a value: it had a calibration (an uncalibrated one records 0 for its ppm
// and rate, at every position).
bool showsCalibration(const ResultRow& r, Detector d) {
    if (d == Detector::FID)
        return recorded(r.FIDppm, 7, 3) != 0 || rateOf(r, d) != 0;
    return rateOf(r, d) != 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

double mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

} // namespace

bool isMeasurement(const ResultRow& row, Detector detector) {
    return !(row.marker == QLatin1Char('*') && rateOf(row, detector) == 0 && areaOf(row, detector) == 0);
}

Decision decideCell(const CellSummary& s, const Requirement& requirement) {
    if (!requirement.any())
        return Decision::None;
    if (!s.calibrated || !s.seesChemical || s.series.empty())
        return Decision::NotDecidable;
    const double threshold = requirement.thresholdAsked();
    const double minutes = requirement.minutesAsked();
    const bool ten = threshold > 0.5;
    const Breakthrough& b = ten ? s.metrics.bt10 : s.metrics.bt01;
    const std::optional<StandardUncertainty>& u = ten ? s.uBt10 : s.uBt01;
    const bool guarded = requirement.rule == DecisionRule::Guarded;
    // A rate's value with its expanded uncertainty added (or taken off).
    auto expanded = [&s](double rate, double sign) {
        return rate + sign * kCoverage * s.uncertainty.relative(rate) * rate;
    };
    if (b.interpolated) {
        const double t = *b.interpolated;
        if (!guarded)
            return t > minutes ? Decision::Pass : Decision::Fail;
        if (!u)
            return Decision::NotDecidable;
        const double U = kCoverage * u->value;
        if (t - U > minutes)
            return Decision::Pass;
        if (t + U <= minutes)
            return Decision::Fail;
        return Decision::NotDecidable;
    }
    if (b.first) {
        // Broken through at or before the first measurement: a fail when that lies within the
        // time asked for (under guarded acceptance only when its rate is above the threshold by
        // its uncertainty); later, nothing says when it broke through.
        if (*b.first > minutes)
            return Decision::NotDecidable;
        if (!guarded || expanded(s.series.front().rate, -1) >= threshold)
            return Decision::Fail;
        return Decision::NotDecidable;
    }
    // Held without breaking through: for as long as asked? Under guarded acceptance every rate up
    // to then must stay below the threshold by its uncertainty.
    if (s.heldMinutes < minutes)
        return Decision::NotDecidable;
    if (!guarded)
        return Decision::Pass;
    double highest = 0;
    for (const RatePoint& p : s.series)
        if (p.minutes <= minutes)
            highest = std::max(highest, p.rate);
    return expanded(highest, +1) < threshold ? Decision::Pass : Decision::NotDecidable;
}

std::vector<CellSummary> summarizeCells(std::span<const ResultRow* const> rows, const RunParameters& p,
                                        bool twoDetectors, const DetectionSettings& fallbackDetection) {
    const DetectionSettings detection = p.detection.value_or(fallbackDetection);
    std::vector<CellSummary> out;
    const std::vector<Detector> detectors =
        twoDetectors ? std::vector<Detector>{Detector::FID, Detector::FPD} : std::vector<Detector>{Detector::FID};
    for (int cell = 1; cell <= 3; ++cell) {
        const CellParameters& cp = p.cell(cell);
        for (Detector d : detectors) {
            CellSummary s;
            s.cell = cell;
            s.detector = d;
            s.contactMinutes = cp.contactMinutes;
            s.specimen = cp.specimen;
            s.area = p.cellArea(cell);
            s.molarMass = d == Detector::FID ? cp.molarMass : cp.fpdMolarMass;
            s.seesChemical = d == Detector::FID || cp.fpdSeesChemical;
            bool any = false;
            bool calibrated = p.calibrated(d);
            double flow = 0;
            std::vector<double> perArea; // rate per unit of area at this cell
            std::vector<double> smallestAreas;
            bool noiseComplete = true;
            std::vector<double> blankAreas;
            for (const ResultRow* row : rows) {
                const ResultRow& r = *row;
                calibrated = calibrated || showsCalibration(r, d);
                if (r.runZelle == 1 && calibrated) {
                    blankAreas.push_back(areaOf(r, d));
                    continue;
                }
                if (r.runZelle != cell + 3 || !isMeasurement(r, d))
                    continue;
                any = true;
                s.sampleName = r.sampleName;
                s.chemical = r.sChemikalie;
                const double minutes = sampleMinutes(r.elapsedMs, p.measuringSeconds) + cp.contactMinutes;
                if (!calibrated || minutes < 0)
                    continue;
                s.series.push_back({minutes, rateOf(r, d)});
                flow = flowOf(r);
                if (areaOf(r, d) > 0 && rateOf(r, d) > 0)
                    perArea.push_back(rateOf(r, d) / areaOf(r, d));
                const double threshold = d == Detector::FID ? smallestFidPeakArea(detection) : smallestFpdPeakArea(detection);
                if (const auto& n = noiseOf(r, d))
                    smallestAreas.push_back(std::max(threshold, *n));
                else
                    noiseComplete = false;
                if (r.flagged)
                    s.flagged.push_back(r.runAktiv);
            }
            if (!any)
                continue;
            s.calibrated = calibrated;
            if (!calibrated || s.series.empty()) {
                // Not calibrated, or measured only before the contact: no figures.
                s.decision = decideCell(s, p.requirement);
                out.push_back(std::move(s));
                continue;
            }

            // Everything at the cell is a rate through the cell's calibration, factor, molar mass
            // and flow: the blanks and the smallest peak go there by their areas. With a curve of
            // several levels the rate is no longer proportional to the area: each area goes
            // through the curve (no peak stays 0).
            const bool curve = p.calibration(d).multiLevel();
            std::optional<double> k;
            if (curve)
                k = p.ratePerPpm(cell, d, flow);
            else if (!perArea.empty())
                k = median(perArea);
            else
                k = p.ratePerArea(cell, d, flow);
            auto toRate = [&](double area) {
                return curve ? p.rateOfArea(cell, d, flow, area).value_or(0) : area * *k;
            };
            std::optional<double> spread, smallest;
            double contactRate = 0;
            std::optional<double> blankSd;
            if (k) {
                const double threshold = d == Detector::FID ? smallestFidPeakArea(detection) : smallestFpdPeakArea(detection);
                if (curve) {
                    std::vector<double> blankRates;
                    for (double a : blankAreas)
                        blankRates.push_back(toRate(a));
                    spread = threeSigma(blankRates);
                    if (!blankRates.empty()) {
                        contactRate = mean(blankRates);
                        s.blankMeasured = true;
                    }
                } else {
                    if (const auto sigma = threeSigma(blankAreas))
                        spread = *sigma * *k;
                    if (!blankAreas.empty()) {
                        contactRate = mean(blankAreas) * *k;
                        s.blankMeasured = true;
                    }
                }
                if (spread)
                    blankSd = *spread / 3;
                smallest = toRate(noiseComplete && !smallestAreas.empty() ? mean(smallestAreas) : threshold);
            }
            s.metrics = cellMetrics(s.series, detectionLimit(spread, smallest), contactRate, p.plannedMinutes,
                                    s.seesChemical);
            const CellMetrics& m = s.metrics;
            s.heldMinutes = unbrokenMinutes(m.testMinutes, m.resolution, p.plannedMinutes);
            if (const auto perPpm = p.ratePerPpm(cell, d, flow)) {
                const CalibrationInForce& cal = p.calibration(d);
                s.uncertainty = RateUncertainty(p.curve(d), *perPpm,
                                                cal.repeatability ? std::optional<double>(cal.repeatability->relative)
                                                                  : std::nullopt,
                                                p.uncertainty, blankSd);
                s.uBt01 = breakthroughUncertainty(s.series, m.bt01, kAstmThreshold, s.uncertainty);
                s.uBt10 = breakthroughUncertainty(s.series, m.bt10, kEnThreshold, s.uncertainty);
                if (m.steady)
                    s.uSteady = steadyStateUncertainty(s.series, *m.steady, s.uncertainty);
            }
            const std::optional<double> thickness =
                cp.specimen.thicknessMm ? std::optional<double>(*cp.specimen.thicknessMm / 10) : std::nullopt;
            s.fit = fitTimeLag(s.series, contactRate, thickness, m.steady.has_value());
            s.decision = decideCell(s, p.requirement);
            out.push_back(std::move(s));
        }
    }
    return out;
}

QStringList summaryTitles() {
    return {QStringLiteral("cell"),          QStringLiteral("detector"),      QStringLiteral("sample"),
            QStringLiteral("chemical"),      QStringLiteral("bt01_first"),    QStringLiteral("bt01"),
            QStringLiteral("bt10_first"),    QStringLiteral("bt10"),          QStringLiteral("resolution"),
            QStringLiteral("level"),         QStringLiteral("sspr"),          QStringLiteral("cumulative"),
            QStringLiteral("cumulative60"),  QStringLiteral("cumulative480"), QStringLiteral("mdpr"),
            QStringLiteral("duration"),      QStringLiteral("measurements"),  QStringLiteral("flagged"),
            QStringLiteral("bt01_below"),    QStringLiteral("bt10_below"),    QStringLiteral("level_bound"),
            QStringLiteral("contact"),       QStringLiteral("mass_basis"),    QStringLiteral("first_interval"),
            QStringLiteral("status"),        QStringLiteral("material"),      QStringLiteral("thickness"),
            QStringLiteral("lot"),           QStringLiteral("area"),          QStringLiteral("u_rate01"),
            QStringLiteral("u_rate10"),      QStringLiteral("u_bt01"),        QStringLiteral("u_bt10"),
            QStringLiteral("u_sspr"),        QStringLiteral("D"),             QStringLiteral("time_lag"),
            QStringLiteral("sspr_fit"),      QStringLiteral("fit_residual"),  QStringLiteral("fit"),
            QStringLiteral("decision")};
}

namespace {
QString flaggedText(const std::vector<int>& numbers) {
    QStringList out;
    for (int n : numbers)
        out << QString::number(n);
    return out.join(QLatin1Char(' '));
}
} // namespace

QStringList summaryFields(const CellSummary& s, const QLocale& locale) {
    auto number = [&locale](std::optional<double> v, int decimals) {
        return v ? formatFixed(*v, 12, decimals, locale) : QString();
    };
    const CellMetrics& m = s.metrics;
    // A ";" typed into a name would shift the columns, as in the results file.
    auto field = [](QString text) { return text.replace(QLatin1Char(';'), QLatin1Char(',')); };
    QString basis;
    if (s.molarMass)
        basis = formatFixed(*s.molarMass, 12, 2, locale) + QStringLiteral(" g/mol");
    else if (s.detector == Detector::FID)
        basis = QStringLiteral("isobutane equivalent");
    else
        basis = formatFixed(kFpdMassPerPpm, 12, 5, locale) + QStringLiteral(" ug/ml per ppm");
    QStringList f(kSumColumns);
    f[kSumCell] = QString::number(s.cell);
    f[kSumDetector] = s.detector == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD");
    f[kSumSample] = field(s.sampleName);
    f[kSumChemical] = field(s.chemical);
    f[kSumContact] = number(s.contactMinutes, 1);
    f[kSumMassBasis] = basis;
    f[kSumFlagged] = flaggedText(s.flagged);
    f[kSumMaterial] = field(s.specimen.material);
    f[kSumThickness] = number(s.specimen.thicknessMm, 3);
    f[kSumLot] = field(s.specimen.lot);
    f[kSumArea] = number(s.area, 2);
    f[kSumDecision] = decisionToken(s.decision);
    if (!s.calibrated) {
        f[kSumStatus] = QStringLiteral("not calibrated");
        f[kSumMeasurements] = QString::number(0);
        return f;
    }
    if (s.uncertainty.known()) {
        f[kSumURate01] = number(100 * s.uncertainty.relative(kAstmThreshold), 1);
        f[kSumURate10] = number(100 * s.uncertainty.relative(kEnThreshold), 1);
    }
    f[kSumUBt01] = number(s.uBt01 ? std::optional<double>(s.uBt01->value) : std::nullopt, 2);
    f[kSumUBt10] = number(s.uBt10 ? std::optional<double>(s.uBt10->value) : std::nullopt, 2);
    f[kSumUSteady] = number(s.uSteady ? std::optional<double>(100 * s.uSteady->value) : std::nullopt, 1);
    if (s.fit) {
        if (s.fit->diffusivity)
            f[kSumDiffusivity] = formatExponent(*s.fit->diffusivity, 3, locale);
        f[kSumTimeLag] = number(s.fit->lagMinutes, 1);
        f[kSumSteadyFit] = number(s.fit->steadyRate, 4);
        f[kSumFitResidual] = number(s.fit->residual, 4);
        f[kSumFit] = s.fit->extrapolated ? QStringLiteral("extrapolated") : QStringLiteral("steady");
    }
    f[kSumBt01First] = number(m.bt01.first, 1);
    f[kSumBt01] = number(m.bt01.interpolated, 1);
    f[kSumBt10First] = number(m.bt10.first, 1);
    f[kSumBt10] = number(m.bt10.interpolated, 1);
    f[kSumResolution] = number(m.resolution, 1);
    f[kSumLevel] = performanceLevelText(m.level, true);
    f[kSumSteady] = number(m.steady ? std::optional<double>(m.steady->rate) : std::nullopt, 4);
    f[kSumCumulative] = m.measurements > 0 ? number(m.cumulative, 3) : QString();
    f[kSumCumulative60] = number(m.cumulative60, 3);
    f[kSumCumulative480] = number(m.cumulative480, 3);
    f[kSumMdpr] = number(m.detectionLimit ? std::optional<double>(m.detectionLimit->rate) : std::nullopt, 4);
    f[kSumDuration] = m.measurements > 0 ? number(m.testMinutes, 1) : QString();
    f[kSumMeasurements] = QString::number(m.measurements);
    f[kSumBt01Below] = number(m.bt01.lastBelow, 1);
    f[kSumBt10Below] = number(m.bt10.lastBelow, 1);
    f[kSumLevelBound] = m.level.kind == PerformanceLevel::Kind::AtLeast ? number(m.level.boundMinutes, 1) : QString();
    if (m.measurements > 0)
        f[kSumFirstInterval] = s.blankMeasured ? QStringLiteral("from the contact at the blank's rate %1").arg(number(m.contactRate, 4))
                                               : QStringLiteral("from the contact at rate 0 (no zero gas measured)");
    if (!s.seesChemical)
        f[kSumStatus] = QStringLiteral("the FPD does not see the chemical");
    return f;
}

} // namespace korvat
