#pragma once
// The diffusion coefficient from a cell's rate curve. A membrane of thickness l that meets the
// chemical at time 0 and is swept clean on the other side lets through (Crank, the time-lag
// solution of Fick's second law)
//
//   J(t) = J_ss · [1 + 2 Σ_{n≥1} (−1)ⁿ exp(−D n² π² t / l²)],      time lag t_lag = l² / (6 D)
//
// so the shape of the rise fixes t_lag, and with the entered thickness D = l² / (6 t_lag). The
// fit takes the rates since the contact less the blank's rate, finds t_lag by least squares (the
// best J_ss for each t_lag follows in closed form) and gives J_ss, t_lag, D and the rates'
// root-mean-square residual. A cell measured to its steady state fixes J_ss by the data; before
// that J_ss is extrapolated from the rise, and says so.

#include "evaluation/PermeationMetrics.h"

#include <optional>
#include <span>
#include <vector>

namespace korvat {

struct TimeLagFit {
    double steadyRate = 0;             // J_ss, ug/cm²/min
    double lagMinutes = 0;             // t_lag
    std::optional<double> diffusivity; // D, cm²/s (needs the thickness)
    double residual = 0;               // root-mean-square residual of the rates, ug/cm²/min
    int points = 0;
    bool extrapolated = false; // the cell has no steady state yet: J_ss from the rise alone
};

// J(t) / J_ss at t = x · t_lag (x ≥ 0); 0 for x ≤ 0.
double timeLagShape(double x);

// Fits the rates measured since the contact (minutes > 0) less `baseline`. nullopt without a
// usable rise: fewer than five measurements, fewer than three at a tenth of the highest rate or
// more, or a best time lag at the edge of what the measurements can tell. `thicknessCm` gives D;
// `steady` says whether the cell reached its steady state.
std::optional<TimeLagFit> fitTimeLag(std::span<const RatePoint> series, double baseline,
                                     std::optional<double> thicknessCm, bool steady);

// The same fit over a cell's rates as they come in, one measurement at a time, for a run that goes
// on for weeks. The coarse look tries time lags on a fixed ladder, and each measurement goes into
// the running sums of every rung once (a few dozen rungs), so the coarse look costs the same at
// any length of the run. The fine search between two rungs visits only the measurements on the
// rise (t below 24 time lags; beyond that the shape is 1) and takes the rest from running sums:
// once the rise is measured a fit no longer grows with the run.
class TimeLagPoints {
public:
    void add(const RatePoint& p);
    std::optional<TimeLagFit> fit(double baseline, std::optional<double> thicknessCm, bool steady) const;
    std::size_t size() const { return t_.size(); }

private:
    struct Trial {
        double lag = 0, steady = 0, squares = 0;
    };
    Trial trial(double lag, double baseline, long double rr) const;
    // The sums of one rung of the coarse look over every measurement so far.
    struct Rung {
        double lag = 0, inverse = 0;
        long double g = 0, gg = 0, rg = 0; // Σ g, Σ g², Σ r g
    };
    static void addToRung(Rung& rung, double minutes, double rate);

    std::vector<double> t_, rate_;
    // Sums of the rates and their squares over the first i measurements (index i).
    std::vector<long double> sumRate_{0.0L}, sumSquare_{0.0L};
    bool ordered_ = true;           // sample times never went back: the rise is a prefix
    std::vector<double> highest_;   // the three highest rates, highest first
    double lowest_ = 0;             // the lowest rung: a hundredth of the first sample time
    std::vector<Rung> rungs_;
};

} // namespace korvat
