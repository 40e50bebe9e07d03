#include "evaluation/CellSummary.h"

#include "util/NumberText.h"

#include <algorithm>
#include <cmath>

namespace korvat {

Decision decideCell(const CellSummary& s, const Requirement& requirement) {
    double highest = 0;
    if (requirement.any())
        for (const RatePoint& p : s.series)
            if (p.minutes <= requirement.minutesAsked())
                highest = std::max(highest, p.rate);
    return decideCell(s, requirement, highest);
}

Decision decideCell(const CellSummary& s, const Requirement& requirement, double highestWithin) {
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
    return expanded(highestWithin, +1) < threshold ? Decision::Pass : Decision::NotDecidable;
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
