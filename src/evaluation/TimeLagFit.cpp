#include "evaluation/TimeLagFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace korvat {

namespace {

constexpr double kPi = std::numbers::pi;
// Residuals closer than this share of the rates' sum of squares are the same residual.
constexpr double kTie = 1e-10;

// J/J_ss at τ = D t / l² (t = 6 τ t_lag). Above τ = 0.25 the series as written converges within a
// few terms; below it the equivalent short-time form does (the same switch the virtual instrument
// makes). Each needs one exponential: the terms are its powers.
double shapeAtTau(double tau) {
    if (!(tau > 0))
        return 0;
    if (tau >= 0.25) {
        const double q = std::exp(-kPi * kPi * tau);
        // Σ (−1)ⁿ q^(n²): q^((n+1)²) = q^(n²) · q^(2n+1).
        double term = q, step = q * q * q, sum = 0, sign = -1;
        for (int n = 1; n < 12 && term > 1e-17; ++n) {
            sum += sign * term;
            term *= step;
            step *= q * q;
            sign = -sign;
        }
        return 1 + 2 * sum;
    }
    // 2/√(πτ) Σ_{m≥0} exp(−(2m+1)²/(4τ)).
    const double p = std::exp(-1 / (4 * tau));
    double term = p, step = p * p * p * p * p * p * p * p, sum = 0;
    const double p8 = step;
    for (int m = 0; m < 8 && term > 1e-300; ++m) {
        sum += term;
        term *= step;
        step *= p8;
    }
    return 2 / std::sqrt(kPi * tau) * sum;
}

// The shape over x = t / t_lag from a table (linear between its points, well within the rates'
// own accuracy): the fit evaluates it for every measurement at every trial time lag.
class ShapeTable {
public:
    static constexpr double kEnd = 24; // τ = 4: within 1e-17 of the steady state
    static constexpr int kSteps = 1 << 14;
    ShapeTable() {
        for (int i = 0; i <= kSteps; ++i)
            values_[static_cast<std::size_t>(i)] = shapeAtTau(kEnd * i / kSteps / 6);
    }
    double operator()(double x) const {
        if (!(x > 0))
            return 0;
        if (x >= kEnd)
            return 1;
        const double at = x * (kSteps / kEnd);
        const auto i = static_cast<std::size_t>(at);
        const double f = at - static_cast<double>(i);
        return values_[i] + f * (values_[i + 1] - values_[i]);
    }

private:
    std::array<double, kSteps + 1> values_{};
};

const ShapeTable& table() {
    static const ShapeTable t;
    return t;
}

struct Trial {
    double lag = 0, steady = 0, squares = 0;
};

// The least squares from the sums of one trial, J_ss in closed form.
Trial closeTrial(double lag, double rg, double gg, double rr) {
    Trial out;
    out.lag = lag;
    out.steady = gg > 0 ? rg / gg : 0;
    out.squares = gg > 0 ? rr - rg * rg / gg : rr;
    return out;
}


// The least squares for one time lag, J_ss in closed form: Σ r g / Σ g².
Trial trial(std::span<const double> t, std::span<const double> r, double lag) {
    const ShapeTable& g = table();
    double rg = 0, gg = 0, rr = 0;
    const double inverse = 1 / lag;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double s = g(t[i] * inverse);
        rg += r[i] * s;
        gg += s * s;
        rr += r[i] * r[i];
    }
    return closeTrial(lag, rg, gg, rr);
}

// The coarse look tries time lags on a fixed ladder: a hundredth of the first measurement's time,
// then each rung √2 above the one below, up to the first rung at or above ten times the last
// measurement's. The rungs do not move when a measurement comes in, so a cell's fit over weeks can
// keep the sums of every rung running (TimeLagPoints) instead of visiting its measurements again.
double rungLag(double lowest, int k) {
    const double base = k % 2 != 0 ? lowest * std::numbers::sqrt2 : lowest;
    return std::ldexp(base, k / 2);
}

// The rungs the coarse look tries for measurements from `first` to `last`.
int rungsFor(double first, double last) {
    const double lowest = first / 100, highest = last * 10;
    int k = 0;
    while (k < 4096 && rungLag(lowest, k) < highest)
        ++k;
    return k + 1;
}

// A coarse look over the rungs, then a golden-section search around the best of them; nullopt
// when the best lies at the edge of what the measurements can tell. Residuals within `tie` of
// each other count as equal: where the shape is 1 for every measurement (time lags far below the
// first) the trials give the same residual but for the rounding of their sums, and no rounding
// may pick a time lag there.
template <class RungAt, class TrialAt>
std::optional<Trial> searchLag(int rungs, double tie, RungAt rungAt, TrialAt trialAt) {
    if (rungs < 3)
        return std::nullopt;
    Trial best = rungAt(0);
    int bestAt = 0;
    Trial below = best, above = best; // the rungs either side of the best
    Trial previous = best;
    for (int k = 1; k < rungs; ++k) {
        const Trial t = rungAt(k);
        if (k == bestAt + 1)
            above = t;
        if (t.squares < best.squares - tie) {
            below = previous;
            best = t;
            bestAt = k;
        }
        previous = t;
    }
    if (bestAt == 0 || bestAt == rungs - 1)
        return std::nullopt; // the measurements do not tell the time lag
    double a = std::log(below.lag);
    double b = std::log(above.lag);
    const double golden = (std::sqrt(5.0) - 1) / 2;
    double c = b - golden * (b - a), d = a + golden * (b - a);
    Trial tc = trialAt(std::exp(c)), td = trialAt(std::exp(d));
    // To a tenth of a per cent of the time lag: far finer than the rates tell it.
    while (b - a > 1e-3) {
        if (tc.squares < td.squares - tie) {
            b = d;
            d = c;
            td = tc;
            c = b - golden * (b - a);
            tc = trialAt(std::exp(c));
        } else {
            a = c;
            c = d;
            tc = td;
            d = a + golden * (b - a);
            td = trialAt(std::exp(d));
        }
    }
    return tc.squares < td.squares - tie ? tc : td;
}

std::optional<TimeLagFit> fitFrom(const std::optional<Trial>& found, std::size_t points,
                                  std::optional<double> thicknessCm, bool steady) {
    if (!found || !(found->steady > 0))
        return std::nullopt;
    TimeLagFit fit;
    fit.steadyRate = found->steady;
    fit.lagMinutes = found->lag;
    fit.points = static_cast<int>(points);
    fit.residual = std::sqrt(std::max(0.0, found->squares) / static_cast<double>(points));
    fit.extrapolated = !steady;
    if (thicknessCm && *thicknessCm > 0)
        fit.diffusivity = *thicknessCm * *thicknessCm / (6 * found->lag * 60);
    return fit;
}

} // namespace

double timeLagShape(double x) { return shapeAtTau(x / 6); }

std::optional<TimeLagFit> fitTimeLag(std::span<const RatePoint> series, double baseline,
                                     std::optional<double> thicknessCm, bool steady) {
    std::vector<double> t, r;
    t.reserve(series.size());
    r.reserve(series.size());
    double highest = 0;
    for (const RatePoint& p : series) {
        if (!(p.minutes > 0))
            continue;
        t.push_back(p.minutes);
        r.push_back(p.rate - baseline);
        highest = std::max(highest, p.rate - baseline);
    }
    if (t.size() < 5 || !(highest > 0))
        return std::nullopt;
    if (std::count_if(r.begin(), r.end(), [highest](double v) { return v >= 0.1 * highest; }) < 3)
        return std::nullopt;
    double rr = 0;
    for (double v : r)
        rr += v * v;
    const double lowest = t.front() / 100;
    const auto trialAt = [&](double lag) { return trial(t, r, lag); };
    const auto found = searchLag(
        rungsFor(t.front(), t.back()), kTie * rr, [&](int k) { return trialAt(rungLag(lowest, k)); }, trialAt);
    return fitFrom(found, t.size(), thicknessCm, steady);
}

namespace {
// Rungs are kept running up to ten times this many minutes from the start (about two years): a
// run never pays for a new rung by visiting its measurements again before then.
constexpr double kRungsAhead = 1e6;
} // namespace

void TimeLagPoints::addToRung(Rung& rung, double minutes, double rate) {
    const double s = table()(minutes * rung.inverse);
    rung.g += s;
    rung.gg += static_cast<long double>(s) * s;
    rung.rg += static_cast<long double>(rate) * s;
}

void TimeLagPoints::add(const RatePoint& p) {
    if (!(p.minutes > 0))
        return;
    if (!t_.empty() && p.minutes < t_.back())
        ordered_ = false;
    t_.push_back(p.minutes);
    rate_.push_back(p.rate);
    sumRate_.push_back(sumRate_.back() + p.rate);
    sumSquare_.push_back(sumSquare_.back() + static_cast<long double>(p.rate) * p.rate);
    if (rungs_.empty())
        lowest_ = p.minutes / 100;
    for (Rung& rung : rungs_)
        addToRung(rung, p.minutes, p.rate);
    // A rung first needed (a run longer than kRungsAhead) starts from every measurement so far.
    const auto needed = static_cast<std::size_t>(rungsFor(t_.front(), std::max(t_.back(), kRungsAhead)));
    while (rungs_.size() < needed) {
        Rung rung;
        rung.lag = rungLag(lowest_, static_cast<int>(rungs_.size()));
        rung.inverse = 1 / rung.lag;
        for (std::size_t i = 0; i < t_.size(); ++i)
            addToRung(rung, t_[i], rate_[i]);
        rungs_.push_back(rung);
    }
    highest_.insert(std::upper_bound(highest_.begin(), highest_.end(), p.rate, std::greater<>()), p.rate);
    if (highest_.size() > 3)
        highest_.pop_back();
}

TimeLagPoints::Trial TimeLagPoints::trial(double lag, double baseline, long double rr) const {
    const ShapeTable& g = table();
    const double inverse = 1 / lag;
    // Where the shape has reached 1: from there on each measurement adds its rate to Σ r g and 1
    // to Σ g².
    std::size_t rise = t_.size();
    if (ordered_)
        rise = static_cast<std::size_t>(
            std::partition_point(t_.begin(), t_.end(), [&](double t) { return t * inverse < ShapeTable::kEnd; }) -
            t_.begin());
    double rg = 0, gg = 0;
    for (std::size_t i = 0; i < rise; ++i) {
        const double s = g(t_[i] * inverse);
        rg += (rate_[i] - baseline) * s;
        gg += s * s;
    }
    const std::size_t n = t_.size();
    const auto rest = static_cast<long double>(n - rise);
    rg += static_cast<double>(sumRate_[n] - sumRate_[rise] - rest * baseline);
    gg += static_cast<double>(rest);
    const ::korvat::Trial out = closeTrial(lag, rg, gg, static_cast<double>(rr));
    return {out.lag, out.steady, out.squares};
}

std::optional<TimeLagFit> TimeLagPoints::fit(double baseline, std::optional<double> thicknessCm, bool steady) const {
    const std::size_t n = t_.size();
    if (n < 5)
        return std::nullopt;
    // The rates less the baseline keep their order: the highest and the third highest of them.
    const double highest = std::max(0.0, highest_[0] - baseline);
    if (!(highest > 0) || !(highest_[2] - baseline >= 0.1 * highest))
        return std::nullopt;
    const long double b = baseline;
    const long double rr = sumSquare_[n] - 2 * b * sumRate_[n] + static_cast<long double>(n) * b * b;
    // The rungs from their running sums: Σ (r − b) g = Σ r g − b Σ g.
    const auto rungAt = [&](int k) {
        const Rung& rung = rungs_[static_cast<std::size_t>(k)];
        return closeTrial(rung.lag, static_cast<double>(rung.rg - b * rung.g), static_cast<double>(rung.gg),
                          static_cast<double>(rr));
    };
    const auto trialAt = [&](double lag) {
        const Trial t = trial(lag, baseline, rr);
        return ::korvat::Trial{t.lag, t.steady, t.squares};
    };
    const auto found = searchLag(rungsFor(t_.front(), t_.back()), kTie * static_cast<double>(rr), rungAt, trialAt);
    return fitFrom(found, n, thicknessCm, steady);
}

} // namespace korvat
