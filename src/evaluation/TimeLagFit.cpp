#include "evaluation/TimeLagFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace korvat {

namespace {

constexpr double kPi = std::numbers::pi;

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
    Trial out;
    out.lag = lag;
    out.steady = gg > 0 ? rg / gg : 0;
    out.squares = gg > 0 ? rr - rg * rg / gg : rr;
    return out;
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

    // A coarse look over time lags from a hundredth of the first measurement to ten times the
    // last, then a golden-section search around the best of them.
    const double lo = t.front() / 100, hi = t.back() * 10;
    constexpr int kGrid = 24;
    std::array<Trial, kGrid> grid;
    int best = 0;
    for (int i = 0; i < kGrid; ++i) {
        grid[static_cast<std::size_t>(i)] = trial(t, r, lo * std::pow(hi / lo, double(i) / (kGrid - 1)));
        if (grid[static_cast<std::size_t>(i)].squares < grid[static_cast<std::size_t>(best)].squares)
            best = i;
    }
    if (best == 0 || best == kGrid - 1)
        return std::nullopt; // the measurements do not tell the time lag
    double a = std::log(grid[static_cast<std::size_t>(best - 1)].lag);
    double b = std::log(grid[static_cast<std::size_t>(best + 1)].lag);
    const double golden = (std::sqrt(5.0) - 1) / 2;
    double c = b - golden * (b - a), d = a + golden * (b - a);
    Trial tc = trial(t, r, std::exp(c)), td = trial(t, r, std::exp(d));
    // To a tenth of a per cent of the time lag: far finer than the rates tell it.
    while (b - a > 1e-3) {
        if (tc.squares < td.squares) {
            b = d;
            d = c;
            td = tc;
            c = b - golden * (b - a);
            tc = trial(t, r, std::exp(c));
        } else {
            a = c;
            c = d;
            tc = td;
            d = a + golden * (b - a);
            td = trial(t, r, std::exp(d));
        }
    }
    const Trial& found = tc.squares < td.squares ? tc : td;
    if (!(found.steady > 0))
        return std::nullopt;
    TimeLagFit fit;
    fit.steadyRate = found.steady;
    fit.lagMinutes = found.lag;
    fit.points = static_cast<int>(t.size());
    fit.residual = std::sqrt(std::max(0.0, found.squares) / static_cast<double>(t.size()));
    fit.extrapolated = !steady;
    if (thicknessCm && *thicknessCm > 0)
        fit.diffusivity = *thicknessCm * *thicknessCm / (6 * found.lag * 60);
    return fit;
}

} // namespace korvat
