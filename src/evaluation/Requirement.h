#pragma once
// What a run may be asked to show, and the rule by which its result is judged. A requirement is
// either an EN ISO 374-1 performance level ("level >= 3": the standardized breakthrough at
// 1.0 ug/cm²/min later than 60 minutes for every specimen) or no breakthrough at a threshold
// within a time ("no breakthrough at 0.1 within 240 min"). The result is pass, fail or not
// decidable under the decision rule stated with it (ILAC-G8):
// - simple acceptance: the measured value against the limit;
// - guarded acceptance: pass only when the value clears the limit by its expanded uncertainty
//   U (k = 2), fail only when it misses it by U; in between not decidable.
// A specimen whose test ended before the time asked for, or a detector that does not see the
// chemical or has no calibration, is not decidable either.

#include <QLocale>
#include <QString>
#include <optional>

namespace korvat {

enum class DecisionRule { Simple, Guarded };

struct Requirement {
    enum class Kind { None, Level, NoBreakthrough };
    Kind kind = Kind::None;
    int level = 0;          // Level: 1..6
    double threshold = 1.0; // NoBreakthrough: 0.1 or 1.0 ug/cm²/min
    double minutes = 0;     // NoBreakthrough: from the contact
    DecisionRule rule = DecisionRule::Simple;

    bool operator==(const Requirement&) const = default;
    bool any() const { return kind != Kind::None; }
    // The breakthrough threshold and the time the requirement comes down to: a level n asks for
    // no breakthrough at 1.0 within its limit (10, 30, 60, 120, 240, 480 min).
    double thresholdAsked() const;
    double minutesAsked() const;
};

// The settings' and header's tokens: "none", "level >= 3", "no breakthrough at 0.1 within 240 min"
// (numbers with `locale`'s decimal separator), and back (a decimal comma or point).
QString requirementToken(const Requirement& r, const QLocale& locale = QLocale::c());
std::optional<Requirement> requirementFromToken(const QString& text);
// "simple" / "guarded".
QString decisionRuleToken(DecisionRule rule);
std::optional<DecisionRule> decisionRuleFromToken(const QString& text);

enum class Decision { None, Pass, Fail, NotDecidable };
// "pass", "fail", "not decidable"; empty for None.
QString decisionToken(Decision d);
// Every specimen passes: pass; one fails: fail; otherwise not decidable.
Decision combineDecisions(Decision a, Decision b);

} // namespace korvat
