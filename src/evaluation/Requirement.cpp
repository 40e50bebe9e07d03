#include "evaluation/Requirement.h"

#include "util/NumberText.h"

#include <QRegularExpression>
#include <cmath>

namespace korvat {

namespace {
constexpr double kLevelMinutes[] = {10, 30, 60, 120, 240, 480};
} // namespace

double Requirement::thresholdAsked() const { return kind == Kind::Level ? 1.0 : threshold; }

double Requirement::minutesAsked() const {
    if (kind == Kind::Level)
        return level >= 1 && level <= 6 ? kLevelMinutes[level - 1] : 0;
    return minutes;
}

QString requirementToken(const Requirement& r, const QLocale& locale) {
    switch (r.kind) {
    case Requirement::Kind::None: return QStringLiteral("none");
    case Requirement::Kind::Level: return QStringLiteral("level >= %1").arg(r.level);
    case Requirement::Kind::NoBreakthrough:
        return QStringLiteral("no breakthrough at %1 within %2 min")
            .arg(formatFixed(r.threshold, 7, 1, locale), formatGeneral(r.minutes, locale));
    }
    return {};
}

std::optional<Requirement> requirementFromToken(const QString& text) {
    const QString t = text.simplified();
    Requirement r;
    if (t.isEmpty() || t == QLatin1String("none"))
        return r;
    static const QRegularExpression level(QStringLiteral("^level\\s*>=\\s*([1-6])$"));
    static const QRegularExpression breakthrough(
        QStringLiteral("^no breakthrough at ([0-9]+(?:[.,][0-9]+)?) within ([0-9]+(?:[.,][0-9]+)?) min$"));
    if (const auto m = level.match(t); m.hasMatch()) {
        r.kind = Requirement::Kind::Level;
        r.level = m.captured(1).toInt();
        return r;
    }
    if (const auto m = breakthrough.match(t); m.hasMatch()) {
        const auto threshold = parseDecimal(m.captured(1));
        const auto minutes = parseDecimal(m.captured(2));
        if (!threshold || !minutes || !(*minutes > 0))
            return std::nullopt;
        // Only the two thresholds every test is evaluated at.
        if (std::fabs(*threshold - 0.1) > 1e-9 && std::fabs(*threshold - 1.0) > 1e-9)
            return std::nullopt;
        r.kind = Requirement::Kind::NoBreakthrough;
        r.threshold = std::fabs(*threshold - 0.1) < 1e-9 ? 0.1 : 1.0;
        r.minutes = *minutes;
        return r;
    }
    return std::nullopt;
}

QString decisionRuleToken(DecisionRule rule) {
    return rule == DecisionRule::Guarded ? QStringLiteral("guarded") : QStringLiteral("simple");
}

std::optional<DecisionRule> decisionRuleFromToken(const QString& text) {
    const QString t = text.trimmed();
    if (t == QLatin1String("simple") || t.isEmpty())
        return DecisionRule::Simple;
    if (t == QLatin1String("guarded"))
        return DecisionRule::Guarded;
    return std::nullopt;
}

QString decisionToken(Decision d) {
    switch (d) {
    case Decision::None: return {};
    case Decision::Pass: return QStringLiteral("pass");
    case Decision::Fail: return QStringLiteral("fail");
    case Decision::NotDecidable: return QStringLiteral("not decidable");
    }
    return {};
}

Decision combineDecisions(Decision a, Decision b) {
    if (a == Decision::None)
        return b;
    if (b == Decision::None)
        return a;
    if (a == Decision::Fail || b == Decision::Fail)
        return Decision::Fail;
    if (a == Decision::NotDecidable || b == Decision::NotDecidable)
        return Decision::NotDecidable;
    return Decision::Pass;
}

} // namespace korvat
