#include "evaluation/RunningSummaries.h"

#include "util/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <queue>

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

// The median of what was added, as the middle of the sorted values (the mean of the two middle
// ones for an even count): the lower half in a max-heap, the upper half in a min-heap.
class RunningMedian {
public:
    void add(double v) {
        if (lower_.empty() || v <= lower_.top())
            lower_.push(v);
        else
            upper_.push(v);
        if (lower_.size() > upper_.size() + 1) {
            upper_.push(lower_.top());
            lower_.pop();
        } else if (upper_.size() > lower_.size()) {
            lower_.push(upper_.top());
            upper_.pop();
        }
    }
    bool empty() const { return lower_.empty(); }
    double median() const {
        return lower_.size() > upper_.size() ? lower_.top() : (lower_.top() + upper_.top()) / 2.0;
    }

private:
    std::priority_queue<double> lower_;
    std::priority_queue<double, std::vector<double>, std::greater<>> upper_;
};

// Mean and spread of values added one by one (Welford's recurrence: no cancellation however many).
struct RunningSpread {
    std::size_t n = 0;
    double mean = 0, squares = 0;
    void add(double v) {
        ++n;
        const double delta = v - mean;
        mean += delta / static_cast<double>(n);
        squares += delta * (v - mean);
    }
    // Three standard deviations; nullopt for fewer than two values.
    std::optional<double> threeSigma() const {
        if (n < 2)
            return std::nullopt;
        return 3.0 * std::sqrt(std::max(0.0, squares) / static_cast<double>(n - 1));
    }
};

// The blanks and the calibration of one detector: the same for every cell.
struct DetectorState {
    bool calibrated = false;
    RunningSpread blankAreas;
    RunningSpread blankPpm; // through a curve of several levels
};

// Where the cumulative permeation at a fixed time is read: the first measurement at or after it.
struct CumulativeMark {
    double minutes = 0;
    std::optional<std::size_t> at;
    double between = 0; // the intervals between measurements up to there (not the contact's)
};

// One sample cell and detector.
struct Track {
    int cell = 0;
    Detector detector = Detector::FID;
    bool any = false;
    QString sampleName, chemical;
    std::vector<RatePoint> series;
    std::vector<int> flagged;
    double flow = 0;
    RunningMedian perArea;
    double smallestSum = 0;
    std::size_t smallestCount = 0;
    bool noiseComplete = true;
    // The series' figures.
    std::optional<std::size_t> cross01, cross10;
    RunningMedian intervals;
    double between = 0; // Σ of the trapezoids between consecutive measurements
    std::array<CumulativeMark, 2> marks{CumulativeMark{60, std::nullopt, 0}, CumulativeMark{480, std::nullopt, 0}};
    bool ordered = true;
    // Sums over the first i measurements (index i) for the steady-state window, times taken from
    // the first measurement's.
    std::vector<long double> st{0.0L}, sr{0.0L}, stt{0.0L}, str{0.0L}, srr{0.0L};
    double highestWithin = 0; // the highest rate within the time a requirement asks for
    TimeLagPoints lag;
    // The last fit and what it was made from: a summary of a cell whose series and blanks did
    // not change since (another cell was measured) does not fit again.
    struct Fitted {
        std::size_t points = 0;
        double baseline = 0;
        std::optional<double> thickness;
        bool steady = false;
        std::optional<TimeLagFit> fit;
    };
    mutable std::optional<Fitted> fitted;
    const std::optional<TimeLagFit>& fit(double baseline, std::optional<double> thickness, bool steady) const {
        if (!fitted || fitted->points != lag.size() || fitted->baseline != baseline || fitted->thickness != thickness ||
            fitted->steady != steady)
            fitted = Fitted{lag.size(), baseline, thickness, steady, lag.fit(baseline, thickness, steady)};
        return fitted->fit;
    }
};

struct Window {
    SteadyState steady;
    double squares = 0; // the rates' squared deviations from the steady-state rate
};

std::optional<Window> steadyWindow(const Track& t) {
    const std::vector<RatePoint>& s = t.series;
    const std::size_t n = s.size();
    if (n == 0)
        return std::nullopt;
    const double last = s.back().minutes;
    const double span = std::max(kSteadyStateMinutes, kSteadyStateShare * last);
    // The shortest tail that spans the window and holds enough measurements.
    const auto spans = [&](std::size_t from) { return last - s[from].minutes >= span; };
    const auto least = static_cast<std::size_t>(kSteadyStateMeasurements);
    std::size_t from = 0;
    if (t.ordered) {
        if (n < least)
            return std::nullopt;
        std::size_t lo = 0, hi = n - least + 1; // the first index in [lo, hi) that does not span
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (spans(mid))
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == 0)
            return std::nullopt;
        from = lo - 1;
    } else {
        from = n;
        while (true) {
            if (from == 0)
                return std::nullopt;
            --from;
            if (n - from >= least && spans(from))
                break;
        }
    }
    const long double w = static_cast<long double>(n - from);
    const long double sumT = t.st[n] - t.st[from], sumR = t.sr[n] - t.sr[from];
    const long double tt = t.stt[n] - t.stt[from] - sumT * sumT / w;
    const long double tr = t.str[n] - t.str[from] - sumT * sumR / w;
    const long double rr = t.srr[n] - t.srr[from] - sumR * sumR / w;
    const double mr = static_cast<double>(sumR / w);
    if (!(mr > 0) || !(tt > 0))
        return std::nullopt;
    const double length = last - s[from].minutes;
    const double trend = static_cast<double>(tr / tt) * length / mr;
    if (!(std::fabs(trend) <= kSteadyStateTrend))
        return std::nullopt;
    return Window{SteadyState{mr, static_cast<int>(n - from), s[from].minutes, trend},
                  std::max(0.0, static_cast<double>(rr))};
}

std::optional<double> cumulativeAt(const Track& t, const CumulativeMark& mark, double contactRate) {
    const std::vector<RatePoint>& s = t.series;
    if (s.empty() || mark.minutes > s.back().minutes || mark.minutes < 0 || !mark.at)
        return std::nullopt;
    const std::size_t j = *mark.at;
    const RatePoint q = j == 0 ? RatePoint{0.0, contactRate} : s[j - 1];
    const RatePoint& p = s[j];
    const double sum = j == 0 ? 0.0 : s[0].minutes * (s[0].rate + contactRate) / 2.0 + mark.between;
    if (p.minutes <= q.minutes)
        return sum;
    const double r = q.rate + (p.rate - q.rate) * (mark.minutes - q.minutes) / (p.minutes - q.minutes);
    return sum + (mark.minutes - q.minutes) * (q.rate + r) / 2.0;
}

} // namespace

bool isMeasurement(const ResultRow& row, Detector detector) {
    return !(row.marker == QLatin1Char('*') && rateOf(row, detector) == 0 && areaOf(row, detector) == 0);
}

struct RunningSummaries::State {
    RunParameters p;
    DetectionSettings detection;
    std::vector<Detector> detectors;
    std::array<DetectorState, 2> perDetector;
    std::vector<Track> tracks; // cell 1 FID, cell 1 FPD, cell 2 FID, …
    std::size_t rows = 0;

    DetectorState& of(Detector d) { return perDetector[d == Detector::FID ? 0 : 1]; }
    const DetectorState& of(Detector d) const { return perDetector[d == Detector::FID ? 0 : 1]; }
    double smallestPeak(Detector d) const {
        return d == Detector::FID ? smallestFidPeakArea(detection) : smallestFpdPeakArea(detection);
    }
    void addBlank(Detector d, double area);
    void addPoint(Track& t, const RatePoint& point);
    // The summary of a track; `held` is the track's series (the caller brings it up to date).
    CellSummary summary(const Track& t, std::vector<RatePoint> held) const;
};

RunningSummaries::RunningSummaries(const RunParameters& parameters, bool twoDetectors,
                                   const DetectionSettings& detection)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.p = parameters;
    s.detection = parameters.detection.value_or(detection);
    s.detectors = twoDetectors ? std::vector<Detector>{Detector::FID, Detector::FPD} : std::vector<Detector>{Detector::FID};
    for (Detector d : s.detectors)
        s.of(d).calibrated = parameters.calibrated(d);
    for (int cell = 1; cell <= 3; ++cell)
        for (Detector d : s.detectors) {
            Track t;
            t.cell = cell;
            t.detector = d;
            s.tracks.push_back(std::move(t));
        }
}

RunningSummaries::~RunningSummaries() = default;
RunningSummaries::RunningSummaries(RunningSummaries&&) noexcept = default;
RunningSummaries& RunningSummaries::operator=(RunningSummaries&&) noexcept = default;

std::size_t RunningSummaries::rows() const { return state_->rows; }

void RunningSummaries::State::addBlank(Detector d, double area) {
    DetectorState& ds = of(d);
    ds.blankAreas.add(area);
    // Through a curve of several levels a blank's rate is its concentration times the cell's
    // rate per ppm (which depends on the cell's flow): the concentrations are what is kept.
    const CalibrationInForce& cal = p.calibration(d);
    if (cal.multiLevel())
        ds.blankPpm.add(p.calibrated(d) && area > 0 ? std::max(0.0, cal.curve->ppmOf(area)) : 0.0);
}

void RunningSummaries::State::addPoint(Track& t, const RatePoint& point) {
    std::vector<RatePoint>& s = t.series;
    const std::size_t i = s.size();
    if (i > 0) {
        const RatePoint& q = s[i - 1];
        t.intervals.add(point.minutes - q.minutes);
        if (point.minutes < q.minutes)
            t.ordered = false;
    }
    for (CumulativeMark& mark : t.marks)
        if (!mark.at && mark.minutes <= point.minutes) {
            mark.at = i;
            mark.between = t.between;
        }
    if (i > 0)
        t.between += (point.minutes - s[i - 1].minutes) * (point.rate + s[i - 1].rate) / 2.0;
    if (!t.cross01 && point.rate >= kAstmThreshold)
        t.cross01 = i;
    if (!t.cross10 && point.rate >= kEnThreshold)
        t.cross10 = i;
    s.push_back(point);
    const long double x = static_cast<long double>(point.minutes) - s.front().minutes;
    const long double r = point.rate;
    t.st.push_back(t.st.back() + x);
    t.sr.push_back(t.sr.back() + r);
    t.stt.push_back(t.stt.back() + x * x);
    t.str.push_back(t.str.back() + x * r);
    t.srr.push_back(t.srr.back() + r * r);
    if (point.minutes <= p.requirement.minutesAsked())
        t.highestWithin = std::max(t.highestWithin, point.rate);
    t.lag.add(point);
}

void RunningSummaries::add(const ResultRow& r) {
    State& st = *state_;
    ++st.rows;
    for (Detector d : st.detectors) {
        DetectorState& ds = st.of(d);
        ds.calibrated = ds.calibrated || showsCalibration(r, d);
        if (r.runZelle == 1 && ds.calibrated)
            st.addBlank(d, areaOf(r, d));
    }
    if (r.runZelle < 4 || r.runZelle > 6)
        return;
    const int cell = r.runZelle - 3;
    const CellParameters& cp = st.p.cell(cell);
    for (Track& t : st.tracks) {
        if (t.cell != cell || !isMeasurement(r, t.detector))
            continue;
        t.any = true;
        t.sampleName = r.sampleName;
        t.chemical = r.sChemikalie;
        const double minutes = sampleMinutes(r.elapsedMs, st.p.measuringSeconds) + cp.contactMinutes;
        if (!st.of(t.detector).calibrated || minutes < 0)
            continue;
        const double rate = rateOf(r, t.detector), area = areaOf(r, t.detector);
        st.addPoint(t, {minutes, rate});
        t.flow = flowOf(r);
        if (area > 0 && rate > 0)
            t.perArea.add(rate / area);
        if (const auto& n = noiseOf(r, t.detector)) {
            t.smallestSum += std::max(st.smallestPeak(t.detector), *n);
            ++t.smallestCount;
        } else {
            t.noiseComplete = false;
        }
        if (r.flagged)
            t.flagged.push_back(r.runAktiv);
    }
}

CellSummary RunningSummaries::State::summary(const Track& t, std::vector<RatePoint> held) const {
    const int cell = t.cell;
    const Detector d = t.detector;
    const CellParameters& cp = p.cell(cell);
    const DetectorState& ds = of(d);
    CellSummary s;
    s.cell = cell;
    s.detector = d;
    s.contactMinutes = cp.contactMinutes;
    s.specimen = cp.specimen;
    s.area = p.cellArea(cell);
    s.molarMass = d == Detector::FID ? cp.molarMass : cp.fpdMolarMass;
    s.seesChemical = d == Detector::FID || cp.fpdSeesChemical;
    s.sampleName = t.sampleName;
    s.chemical = t.chemical;
    s.series = std::move(held);
    s.flagged = t.flagged;
    s.calibrated = ds.calibrated;
    if (!ds.calibrated || t.series.empty()) {
        // Not calibrated, or measured only before the contact: no figures.
        s.decision = decideCell(s, p.requirement, t.highestWithin);
        return s;
    }

    // Everything at the cell is a rate through the cell's calibration, factor, molar mass and
    // flow: the blanks and the smallest peak go there by their areas. With a curve of several
    // levels the rate is no longer proportional to the area: each area goes through the curve
    // (no peak stays 0).
    const double flow = t.flow;
    const bool curve = p.calibration(d).multiLevel();
    std::optional<double> k;
    if (curve)
        k = p.ratePerPpm(cell, d, flow);
    else if (!t.perArea.empty())
        k = t.perArea.median();
    else
        k = p.ratePerArea(cell, d, flow);
    std::optional<double> spread, smallest;
    double contactRate = 0;
    std::optional<double> blankSd;
    if (k) {
        const RunningSpread& blanks = curve ? ds.blankPpm : ds.blankAreas;
        if (const auto sigma = blanks.threeSigma())
            spread = curve ? *sigma * std::fabs(*k) : *sigma * *k;
        if (blanks.n > 0) {
            contactRate = blanks.mean * *k;
            s.blankMeasured = true;
        }
        if (spread)
            blankSd = *spread / 3;
        const double area = t.noiseComplete && t.smallestCount > 0
                                ? t.smallestSum / static_cast<double>(t.smallestCount)
                                : smallestPeak(d);
        smallest = curve ? p.rateOfArea(cell, d, flow, area).value_or(0) : area * *k;
    }

    const std::vector<RatePoint>& series = t.series;
    CellMetrics m;
    m.measurements = static_cast<int>(series.size());
    m.contactRate = contactRate;
    if (t.cross01)
        m.bt01 = breakthroughAt(series, *t.cross01, kAstmThreshold);
    if (t.cross10)
        m.bt10 = breakthroughAt(series, *t.cross10, kEnThreshold);
    m.resolution = t.intervals.empty() ? series.front().minutes : t.intervals.median();
    m.testMinutes = series.back().minutes;
    m.cumulative = series.front().minutes * (series.front().rate + contactRate) / 2.0 + t.between;
    if (s.seesChemical)
        m.level = performanceLevel(m.bt10, unbrokenMinutes(m.testMinutes, m.resolution, p.plannedMinutes));
    m.cumulative60 = cumulativeAt(t, t.marks[0], contactRate);
    m.cumulative480 = cumulativeAt(t, t.marks[1], contactRate);
    const std::optional<Window> window = steadyWindow(t);
    if (window)
        m.steady = window->steady;
    m.detectionLimit = detectionLimit(spread, smallest);
    s.metrics = m;
    s.heldMinutes = unbrokenMinutes(m.testMinutes, m.resolution, p.plannedMinutes);
    if (const auto perPpm = p.ratePerPpm(cell, d, flow)) {
        const CalibrationInForce& cal = p.calibration(d);
        s.uncertainty = RateUncertainty(p.curve(d), *perPpm,
                                        cal.repeatability ? std::optional<double>(cal.repeatability->relative)
                                                          : std::nullopt,
                                        p.uncertainty, blankSd);
        if (t.cross01 && *t.cross01 > 0)
            s.uBt01 = breakthroughUncertainty(series[*t.cross01 - 1], series[*t.cross01], m.bt01, kAstmThreshold,
                                              s.uncertainty);
        if (t.cross10 && *t.cross10 > 0)
            s.uBt10 = breakthroughUncertainty(series[*t.cross10 - 1], series[*t.cross10], m.bt10, kEnThreshold,
                                              s.uncertainty);
        if (window)
            s.uSteady = steadyStateUncertainty(window->squares, window->steady, s.uncertainty);
    }
    const std::optional<double> thickness =
        cp.specimen.thicknessMm ? std::optional<double>(*cp.specimen.thicknessMm / 10) : std::nullopt;
    s.fit = t.fit(contactRate, thickness, m.steady.has_value());
    s.decision = decideCell(s, p.requirement, t.highestWithin);
    return s;
}

std::vector<CellSummary> RunningSummaries::summaries() const {
    std::vector<CellSummary> out;
    refresh(out);
    return out;
}

void RunningSummaries::refresh(std::vector<CellSummary>& out) const {
    std::size_t j = 0;
    for (const Track& t : state_->tracks) {
        if (!t.any)
            continue;
        // A summary that holds the start of this track's series keeps it and gets the points
        // after it: a long run's series are not copied again after every measurement.
        std::vector<RatePoint> series;
        if (j < out.size()) {
            std::vector<RatePoint>& held = out[j].series;
            const std::size_t n = held.size();
            if (out[j].cell == t.cell && out[j].detector == t.detector && n <= t.series.size() &&
                (n == 0 || (held.front() == t.series.front() && held.back() == t.series[n - 1])))
                series = std::move(held);
        }
        series.insert(series.end(), t.series.begin() + static_cast<std::ptrdiff_t>(series.size()), t.series.end());
        CellSummary s = state_->summary(t, std::move(series));
        if (j < out.size())
            out[j] = std::move(s);
        else
            out.push_back(std::move(s));
        ++j;
    }
    out.resize(j);
}

std::vector<CellSummary> summarizeCells(std::span<const ResultRow* const> rows, const RunParameters& parameters,
                                        bool twoDetectors, const DetectionSettings& detection) {
    RunningSummaries running(parameters, twoDetectors, detection);
    for (const ResultRow* row : rows)
        running.add(*row);
    return running.summaries();
}

} // namespace korvat
