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

// Rates are written as F7.3, areas as F8.0, flows as F5.1.
double rateOf(const ResultRow& r, Detector d) { return recorded(d == Detector::FID ? r.FIDMessMenge : r.FPDMessMenge, 7, 3); }
double areaOf(const ResultRow& r, Detector d) { return recorded(d == Detector::FID ? r.FIDArea : r.FPDArea, 8, 0); }
double flowOf(const ResultRow& r) { return recorded(r.Flow, 5, 1); }
const std::optional<double>& noiseOf(const ResultRow& r, Detector d) {
    return d == Detector::FID ? r.fidNoiseArea : r.fpdNoiseArea;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

} // namespace

bool isMeasurement(const ResultRow& row, Detector detector) {
    return !(row.marker == QLatin1Char('*') && rateOf(row, detector) == 0 && areaOf(row, detector) == 0);
}

std::vector<CellSummary> summarizeCells(std::span<const ResultRow* const> rows, int measuringSeconds,
                                        bool twoDetectors) {
    std::vector<CellSummary> out;
    const std::vector<Detector> detectors =
        twoDetectors ? std::vector<Detector>{Detector::FID, Detector::FPD} : std::vector<Detector>{Detector::FID};
    for (int cell = 1; cell <= 3; ++cell) {
        for (Detector d : detectors) {
            CellSummary s;
            s.cell = cell;
            s.detector = d;
            double flow = 0;
            std::vector<double> perArea; // rate per unit of area at this cell: area -> rate
            std::vector<double> noiseAreas;
            for (const ResultRow* row : rows) {
                const ResultRow& r = *row;
                if (r.runZelle != cell + 3 || !isMeasurement(r, d))
                    continue;
                s.series.push_back({sampleMinutes(r.elapsedMs, measuringSeconds), rateOf(r, d)});
                s.sampleName = r.sampleName;
                s.chemical = r.sChemikalie;
                flow = flowOf(r);
                if (areaOf(r, d) > 0 && rateOf(r, d) > 0)
                    perArea.push_back(rateOf(r, d) / areaOf(r, d));
                if (const auto& n = noiseOf(r, d))
                    noiseAreas.push_back(*n);
                if (r.flagged)
                    s.flagged.push_back(r.runAktiv);
            }
            if (s.series.empty())
                continue;

            // The detection limit from the run's zero gas, else from the cell's own baseline.
            std::vector<double> blanks;
            double blankFlow = 0;
            for (const ResultRow* r : rows) {
                if (r->runZelle != 1)
                    continue;
                blanks.push_back(rateOf(*r, d));
                blankFlow = flowOf(*r);
            }
            std::optional<double> limit = detectionLimitFromBlanks(blanks, blankFlow, flow);
            if (limit) {
                s.detectionLimitFrom = CellSummary::Blank::ZeroGas;
            } else if (!perArea.empty() && !noiseAreas.empty()) {
                const double k = median(perArea);
                std::vector<double> noiseRates;
                for (double a : noiseAreas)
                    noiseRates.push_back(a * k);
                limit = detectionLimitFromNoise(noiseRates);
                s.detectionLimitFrom = CellSummary::Blank::Noise;
            }
            s.metrics = cellMetrics(s.series, limit);
            out.push_back(std::move(s));
        }
    }
    return out;
}

QStringList summaryTitles() {
    return {QStringLiteral("cell"),       QStringLiteral("detector"),     QStringLiteral("sample"),
            QStringLiteral("chemical"),   QStringLiteral("bt01_first"),   QStringLiteral("bt01"),
            QStringLiteral("bt10_first"), QStringLiteral("bt10"),         QStringLiteral("resolution"),
            QStringLiteral("level"),      QStringLiteral("sspr"),         QStringLiteral("cumulative"),
            QStringLiteral("cumulative60"), QStringLiteral("cumulative480"), QStringLiteral("mdpr"),
            QStringLiteral("duration"),   QStringLiteral("measurements"), QStringLiteral("flagged")};
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
    const QString level = m.level.brokeThrough ? QString::number(m.level.level)
                                               : QStringLiteral("> %1 min").arg(std::floor(m.testMinutes));
    // A ";" typed into a name would shift the columns, as in the results file.
    auto field = [](QString text) { return text.replace(QLatin1Char(';'), QLatin1Char(',')); };
    return {QString::number(s.cell),
            s.detector == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD"),
            field(s.sampleName),
            field(s.chemical),
            number(m.bt01.first, 1),
            number(m.bt01.interpolated, 1),
            number(m.bt10.first, 1),
            number(m.bt10.interpolated, 1),
            number(m.resolution, 1),
            level,
            number(m.steady ? std::optional<double>(m.steady->rate) : std::nullopt, 4),
            number(m.cumulative, 3),
            number(m.cumulative60, 3),
            number(m.cumulative480, 3),
            number(m.detectionLimit, 4),
            number(m.testMinutes, 1),
            QString::number(m.measurements),
            flaggedText(s.flagged)};
}

} // namespace korvat
