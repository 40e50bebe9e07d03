#include "evaluation/GroupSummary.h"

#include "util/NumberText.h"

#include <algorithm>
#include <cmath>

namespace korvat {

namespace {

struct Value {
    double value = 0;
    std::optional<StandardUncertainty> u;
};

double meanOf(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

std::optional<double> sdOf(const std::vector<double>& v) {
    if (v.size() < 2)
        return std::nullopt;
    const double m = meanOf(v);
    double squares = 0;
    for (double x : v)
        squares += (x - m) * (x - m);
    return std::sqrt(squares / static_cast<double>(v.size() - 1));
}

// The uncertainty of a mean of n values: the independent parts average down, the common part
// (the calibration every specimen shares) does not.
std::optional<double> meanUncertainty(const std::vector<Value>& values) {
    double independent = 0, common = 0;
    for (const Value& v : values) {
        if (!v.u)
            return std::nullopt;
        independent += v.u->independent() * v.u->independent();
        common += v.u->common;
    }
    const double n = static_cast<double>(values.size());
    return std::sqrt(independent / (n * n) + (common / n) * (common / n));
}

// Mean, sd and minimum of values that all are exact.
GroupFigure exactFigure(const std::vector<Value>& values) {
    GroupFigure f;
    f.count = static_cast<int>(values.size());
    if (values.empty())
        return f;
    std::vector<double> v;
    for (const Value& x : values)
        v.push_back(x.value);
    f.mean = meanOf(v);
    f.sd = sdOf(v);
    const auto lowest = std::min_element(values.begin(), values.end(),
                                         [](const Value& a, const Value& b) { return a.value < b.value; });
    f.min = lowest->value;
    if (lowest->u)
        f.uMin = lowest->u->value;
    f.uMean = meanUncertainty(values);
    return f;
}

GroupFigure breakthroughFigure(const std::vector<const CellSummary*>& cells, bool ten) {
    std::vector<Value> exact;
    std::optional<double> atMost, above; // the lowest bracket "≤ first", the lowest time held
    for (const CellSummary* c : cells) {
        const Breakthrough& b = ten ? c->metrics.bt10 : c->metrics.bt01;
        if (b.interpolated)
            exact.push_back({*b.interpolated, ten ? c->uBt10 : c->uBt01});
        else if (b.first)
            atMost = std::min(atMost.value_or(*b.first), *b.first);
        else
            above = std::min(above.value_or(c->heldMinutes), c->heldMinutes);
    }
    const int count = static_cast<int>(cells.size());
    if (!atMost && !above) {
        GroupFigure f = exactFigure(exact);
        f.count = count;
        return f;
    }
    GroupFigure f;
    f.count = count;
    // The lowest time some specimen certainly broke through by, and whether it is only a bound.
    std::optional<double> upper;
    bool bound = false;
    std::optional<double> u;
    for (const Value& v : exact)
        if (!upper || v.value < *upper) {
            upper = v.value;
            u = v.u ? std::optional<double>(v.u->value) : std::nullopt;
        }
    if (atMost && (!upper || *atMost <= *upper)) {
        upper = atMost;
        bound = true;
        u.reset();
    }
    if (!upper) {
        f.min = above;
        f.minBound = QStringLiteral(">");
        return f;
    }
    // A specimen that held beyond `above` without breaking through may still lie below `upper`.
    if (above && *above < *upper)
        bound = true;
    f.min = upper;
    if (bound)
        f.minBound = QStringLiteral("<=");
    else
        f.uMin = u;
    return f;
}

PerformanceLevel groupLevel(const std::vector<const CellSummary*>& cells) {
    PerformanceLevel out;
    if (cells.empty())
        return out;
    // Each specimen's level lies in [lowest, highest] (one not broken through: up to 6); the
    // group's, the least of them, in [least lowest, least highest].
    bool allAtLeast = true;
    int lowest = 6, highest = 6;
    std::optional<double> bound;
    for (const CellSummary* c : cells) {
        const PerformanceLevel& l = c->metrics.level;
        if (l.kind == PerformanceLevel::Kind::None)
            return {};
        const bool atLeast = l.kind == PerformanceLevel::Kind::AtLeast;
        lowest = std::min(lowest, l.lowest);
        highest = std::min(highest, atLeast ? 6 : l.highest);
        allAtLeast = allAtLeast && atLeast;
        if (atLeast)
            bound = std::min(bound.value_or(l.boundMinutes), l.boundMinutes);
    }
    if (allAtLeast) {
        out.kind = PerformanceLevel::Kind::AtLeast;
        out.lowest = out.highest = lowest;
        out.boundMinutes = bound.value_or(0);
        return out;
    }
    out.lowest = lowest;
    out.highest = highest;
    out.kind = lowest == highest ? PerformanceLevel::Kind::Exact : PerformanceLevel::Kind::Range;
    return out;
}

QString groupKey(const QString& text) { return text.simplified().toCaseFolded(); }

} // namespace

std::vector<GroupSummary> summarizeGroups(std::span<const CellSummary> cells) {
    std::vector<GroupSummary> groups;
    std::vector<std::pair<QString, QString>> keys; // material, chemical of group number i + 1
    for (const CellSummary& c : cells) {
        if (c.specimen.material.trimmed().isEmpty())
            continue;
        const std::pair<QString, QString> k{groupKey(c.specimen.material), groupKey(c.chemical)};
        auto known = std::find(keys.begin(), keys.end(), k);
        if (known == keys.end()) {
            keys.push_back(k);
            known = keys.end() - 1;
        }
        const int number = static_cast<int>(known - keys.begin()) + 1;
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const GroupSummary& x) { return x.number == number && x.detector == c.detector; });
        if (g == groups.end()) {
            GroupSummary fresh;
            fresh.number = number;
            fresh.detector = c.detector;
            fresh.material = c.specimen.material.simplified();
            fresh.chemical = c.chemical;
            groups.push_back(fresh);
            g = groups.end() - 1;
        }
        g->cells.push_back(c.cell);
    }
    std::stable_sort(groups.begin(), groups.end(), [](const GroupSummary& a, const GroupSummary& b) {
        return a.number != b.number ? a.number < b.number : a.detector < b.detector;
    });
    for (GroupSummary& g : groups) {
        std::vector<const CellSummary*> members, measured;
        for (const CellSummary& c : cells)
            if (c.detector == g.detector && std::find(g.cells.begin(), g.cells.end(), c.cell) != g.cells.end()) {
                members.push_back(&c);
                if (c.calibrated && !c.series.empty())
                    measured.push_back(&c);
            }
        for (const CellSummary* c : members)
            g.decision = combineDecisions(g.decision, c->decision);
        if (measured.size() != members.size())
            continue; // a specimen without figures: no statistics over the others alone
        g.bt01 = breakthroughFigure(measured, false);
        g.bt10 = breakthroughFigure(measured, true);
        std::vector<Value> steady, cumulative, diffusivity;
        for (const CellSummary* c : measured) {
            if (c->metrics.steady) {
                Value v{c->metrics.steady->rate, std::nullopt};
                if (c->uSteady)
                    v.u = StandardUncertainty{c->uSteady->value * v.value, c->uSteady->common * v.value};
                steady.push_back(v);
            }
            cumulative.push_back({c->metrics.cumulative, std::nullopt});
            if (c->fit && c->fit->diffusivity)
                diffusivity.push_back({*c->fit->diffusivity, std::nullopt});
        }
        g.steady = exactFigure(steady);
        g.cumulative = exactFigure(cumulative);
        g.diffusivity = exactFigure(diffusivity);
        bool seen = std::all_of(measured.begin(), measured.end(), [](const CellSummary* c) { return c->seesChemical; });
        if (seen)
            g.level = groupLevel(measured);
    }
    return groups;
}

QStringList groupTitles() {
    return {QStringLiteral("group"),   QStringLiteral("detector"),   QStringLiteral("material"), QStringLiteral("chemical"),
            QStringLiteral("cells"),   QStringLiteral("statistic"),  QStringLiteral("bt01"),     QStringLiteral("bt10"),
            QStringLiteral("sspr"),    QStringLiteral("cumulative"), QStringLiteral("D"),        QStringLiteral("u_bt01"),
            QStringLiteral("u_bt10"),  QStringLiteral("u_sspr"),     QStringLiteral("level"),    QStringLiteral("requirement"),
            QStringLiteral("rule"),    QStringLiteral("decision"),   QStringLiteral("note")};
}

std::vector<QStringList> groupLines(const GroupSummary& g, const Requirement& requirement, const QLocale& locale) {
    auto number = [&locale](std::optional<double> v, int decimals) {
        return v ? formatFixed(*v, 12, decimals, locale) : QString();
    };
    auto exponent = [&locale](std::optional<double> v) { return v ? formatExponent(*v, 3, locale) : QString(); };
    auto field = [](QString text) { return text.replace(QLatin1Char(';'), QLatin1Char(',')); };
    QStringList cellNumbers;
    for (int c : g.cells)
        cellNumbers << QString::number(c);
    auto relative = [](std::optional<double> u, std::optional<double> v) -> std::optional<double> {
        if (!u || !v || !(*v > 0))
            return std::nullopt;
        return 100 * *u / *v;
    };
    std::vector<QStringList> lines;
    for (const QString& statistic : {QStringLiteral("mean"), QStringLiteral("sd"), QStringLiteral("min")}) {
        QStringList f(kGrpColumns);
        f[kGrpGroup] = QString::number(g.number);
        f[kGrpDetector] = g.detector == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD");
        f[kGrpMaterial] = field(g.material);
        f[kGrpChemical] = field(g.chemical);
        f[kGrpCells] = cellNumbers.join(QLatin1Char(' '));
        f[kGrpStatistic] = statistic;
        auto pick = [&statistic](const GroupFigure& x) {
            return statistic == QLatin1String("mean") ? x.mean : statistic == QLatin1String("sd") ? x.sd : x.min;
        };
        auto time = [&](const GroupFigure& x) {
            const QString text = number(pick(x), 1);
            if (statistic == QLatin1String("min") && !x.minBound.isEmpty() && !text.isEmpty())
                return x.minBound + QLatin1Char(' ') + text;
            return text;
        };
        auto u = [&statistic](const GroupFigure& x) {
            return statistic == QLatin1String("mean") ? x.uMean : statistic == QLatin1String("min") ? x.uMin : std::nullopt;
        };
        f[kGrpBt01] = time(g.bt01);
        f[kGrpBt10] = time(g.bt10);
        f[kGrpSteady] = number(pick(g.steady), 4);
        f[kGrpCumulative] = number(pick(g.cumulative), 3);
        f[kGrpDiffusivity] = exponent(pick(g.diffusivity));
        f[kGrpUBt01] = number(u(g.bt01), 2);
        f[kGrpUBt10] = number(u(g.bt10), 2);
        f[kGrpUSteady] = number(relative(u(g.steady), pick(g.steady)), 1);
        f[kGrpLevel] = performanceLevelText(g.level, true);
        f[kGrpRequirement] = requirement.any() ? requirementToken(requirement, locale) : QString();
        f[kGrpRule] = requirement.any() ? decisionRuleToken(requirement.rule) : QString();
        f[kGrpDecision] = decisionToken(g.decision);
        if (g.cells.size() < 3)
            f[kGrpNote] = QStringLiteral("fewer than three specimens");
        lines.push_back(f);
    }
    return lines;
}

QStringList summaryFileLines(const std::vector<CellSummary>& cells, const Requirement& requirement,
                             const QLocale& locale) {
    QStringList lines{summaryTitles().join(QLatin1Char(';'))};
    for (const CellSummary& s : cells)
        lines << summaryFields(s, locale).join(QLatin1Char(';'));
    const std::vector<GroupSummary> groups = summarizeGroups(cells);
    if (!groups.empty()) {
        lines << groupTitles().join(QLatin1Char(';'));
        for (const GroupSummary& g : groups)
            for (const QStringList& line : groupLines(g, requirement, locale))
                lines << line.join(QLatin1Char(';'));
    }
    return lines;
}

} // namespace korvat
