#include "evaluation/PeakSearch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace korvat {

namespace {

// Thresholds of the FID search, in signal units per sample.
constexpr double kRiseSlope = 9.0;
constexpr double kFallSlope = -3.0;
// The FPD search clears NoPeak only for an area above this.
constexpr double kFpdFoundArea = 100.0;

// Truncation toward zero that cannot overflow: settings and loaded files can hold anything, and a
// double outside the int range must not become undefined behaviour.
int truncToInt(double v) {
    if (std::isnan(v))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(std::trunc(v), lo, hi));
}

} // namespace

DetectionSettings DetectionSettings::from(const Settings& s) {
    DetectionSettings d;
    d.MinPeakStart = s.MinPeakStart;
    d.PeakTime = s.PeakTime;
    d.MinPeakWith = s.MinPeakWith;
    d.Loopflow = s.Loopflow;
    return d;
}

double Regression(std::span<const double> X, std::span<const double> Y) {
    const std::size_t n = X.size();
    double Sx = 0.0, Sy = 0.0, Sxy = 0.0, Sxx = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        Sx += X[k];
        Sy += Y[k];
        Sxy += X[k] * Y[k];
        Sxx += X[k] * X[k];
    }
    const double dn = static_cast<double>(n);
    return (dn * Sxy - Sy * Sx) / (dn * Sxx - Sx * Sx);
}

void AddSlopePoint(const Series& series1, Series& serie3, int i) {
    std::array<double, 5> X{}, Y{};
    for (int k = 0; k < 5; ++k) {
        const int idx = i - 4 + k;
        X[k] = idx;
        Y[k] = series1.y[idx];
    }
    serie3.x.push_back((i - 2) * 0.1);
    serie3.y.push_back(Regression(X, Y));
}

void AddSlopePoints(const Series& series1, Series& serie3) {
    const int n1 = static_cast<int>(series1.size());
    serie3.x.reserve(serie3.x.size() + std::max(n1 - 4, 0));
    serie3.y.reserve(serie3.y.size() + std::max(n1 - 4, 0));
    for (int i = 4; i < n1; ++i)
        AddSlopePoint(series1, serie3, i);
}

void CheckBaseline(EvaluationState& st, const Series& signal, int Peak) {
    const std::vector<double>& Y = signal.y;
    const int n = static_cast<int>(Y.size());
    const auto inside = [n](int i) { return i >= 0 && i < n; };
    if (!inside(st.PeakStartIndex) || !inside(st.PeakEndIndex))
        return;
    const auto baselineSlope = [&Y](int a, int b) {
        return (Y[b] - Y[a]) / static_cast<double>(b - a);
    };

    // Start side: a point between start and apex below the chord becomes the new start. The
    // apex may lie past the last point (it defaults to the expected peak time); only points that
    // exist are examined.
    const int lastBeforeApex = std::min(Peak, n - 1);
    for (bool moved = true; moved;) {
        moved = false;
        if (st.PeakEndIndex == st.PeakStartIndex)
            break;
        st.dm = baselineSlope(st.PeakStartIndex, st.PeakEndIndex);
        const int start = st.PeakStartIndex;
        if (start > lastBeforeApex)
            break;
        st.PeakStartLevel = Y[start];
        // The chord passes through the start itself, so only later points can move it.
        for (int i = start + 1; i <= lastBeforeApex; ++i) {
            const double chord = (i - start) * st.dm + st.PeakStartLevel;
            if (Y[i] < chord) {
                st.PeakStartIndex = i;
                moved = true;
                break;
            }
        }
    }

    // End side: a point between apex and end below the whole-number chord becomes the new end.
    // The end point itself is never a candidate: with whole-number signals its truncated chord
    // equals the signal anyway, and with a negative fractional value there (a loaded file) it
    // would "move" the end onto itself forever.
    for (bool moved = true; moved;) {
        moved = false;
        if (st.PeakEndIndex == st.PeakStartIndex)
            break;
        st.dm = baselineSlope(st.PeakStartIndex, st.PeakEndIndex);
        st.PeakEndLevel = Y[st.PeakEndIndex];
        const int end = st.PeakEndIndex;
        for (int i = std::max(Peak, 0); i < end; ++i) {
            const double chord = std::trunc((i - end) * st.dm + st.PeakEndLevel);
            if (chord > Y[i]) {
                st.PeakEndIndex = i;
                st.PeakEndLevel = Y[i];
                moved = true;
                break;
            }
        }
    }
}

int PeakApex(const Series& serie3, int iMax, int iMin, double PeakTime) {
    const std::vector<double>& S = serie3.y;
    const int n3 = static_cast<int>(S.size());
    int apex = truncToInt(PeakTime * 10.0);
    if (iMin > iMax) {
        // No early exit: with a noisy top the last turn before the steepest fall wins.
        for (int j = std::max(iMax, 0); j <= iMin && j + 1 < n3; ++j) {
            if (S[j] >= 0.0 && S[j + 1] < 0.0)
                apex = j;
        }
    }
    return apex;
}

void FIDChordAndArea(EvaluationState& st, const Series& series1) {
    st.FIDArea = 0.0;
    const std::vector<double>& Y = series1.y;
    const int n1 = static_cast<int>(Y.size());
    if (st.PeakStartIndex < 0 || st.PeakStartIndex >= n1 || st.PeakEndIndex < 0 ||
        st.PeakEndIndex >= n1)
        return;

    st.FIDStart = st.PeakStartIndex;
    st.FIDEnd = st.PeakEndIndex;
    st.FIDStartLevel = Y[st.PeakStartIndex];
    st.FIDEndLevel = Y[st.PeakEndIndex];
    // A refinement that closes the chord to a single point leaves nothing to integrate; without
    // this the slope would be 0/0 and the area NaN.
    const double chordSlope = st.FIDEnd != st.FIDStart
                                  ? (st.FIDEndLevel - st.FIDStartLevel) / (st.FIDEnd - st.FIDStart)
                                  : 0.0;
    st.FIDBaseDraw = true;

    double area = 0.0;
    for (int i = st.PeakStartIndex; i <= st.PeakEndIndex; ++i)
        area += Y[i] - (st.FIDStartLevel + (i - st.FIDStart) * chordSlope);
    st.FIDArea = area > 0.0 ? area : 0.0;
}

void PeakAndArea(EvaluationState& st, TDeviceTyp Typ, const Series& series1, const Series& serie3,
                 const DetectionSettings& settings) {
    if (Typ == TDeviceTyp::FPD) {
        st.NoPeak = false;
        return;
    }
    if (Typ != TDeviceTyp::FID)
        return;

    st.NoPeak = false;
    const std::vector<double>& S = serie3.y;
    const int n3 = static_cast<int>(S.size());
    const int first = std::max(settings.MinPeakStart, 0);
    double maxSlope = 0.0, minSlope = 0.0;
    int iMax = first, iMin = first;
    for (int j = first; j < n3; ++j) {
        const double s = S[j];
        if (s > maxSlope) {
            maxSlope = s;
            iMax = j;
        }
        if (s < minSlope) {
            minSlope = s;
            iMin = j;
        }
    }

    if (maxSlope < kRiseSlope || minSlope > kFallSlope) {
        st.NoPeak = true;
    } else {
        st.PeakStartIndex = first;
        for (int j = iMax; j >= first; --j) {
            if (S[j] <= kRiseSlope) {
                st.PeakStartIndex = j;
                break;
            }
        }
        // A tail that never flattens ends just past the last slope point, which is still a signal
        // point because the slope series is four points shorter.
        st.PeakEndIndex = n3;
        for (int j = iMin; j < n3; ++j) {
            if (S[j] >= kFallSlope) {
                st.PeakEndIndex = j;
                break;
            }
        }
        // A switched-off cell's turn appends a second copy of the slopes, so the slope series can
        // be longer than the signal; the end must stay on the signal.
        st.PeakEndIndex = std::min(st.PeakEndIndex, static_cast<int>(series1.size()) - 1);
    }

    st.FIDArea = 0.0;
    if (st.NoPeak || st.PeakStartIndex >= st.PeakEndIndex)
        return;

    CheckBaseline(st, series1, PeakApex(serie3, iMax, iMin, settings.PeakTime));
    FIDChordAndArea(st, series1);
}

FPDSearchState SearchFPDPeak(EvaluationState& st, const Series& series2,
                             const DetectionSettings& settings) {
    const std::vector<double>& Y = series2.y;
    const int n2 = static_cast<int>(Y.size());
    FPDSearchState state = FPDSearchState::Searching;
    st.NoPeak = true;
    st.FPDArea = 0.0;

    if (n2 >= 4) {
        st.PeakStartLevel = Y[3];
        st.PeakEndLevel = st.PeakStartLevel;
        const double highest = *std::max_element(Y.begin(), Y.end());
        st.PeakHeigth = highest - st.PeakStartLevel;
        st.PeakSlopeFPD = (st.PeakHeigth / 4.0) / (settings.MinPeakWith * 10.0);

        const double k = truncToInt(st.PeakSlopeFPD);
        const double m = std::max(truncToInt(settings.MinPeakWith * 3.0), 1);
        st.PeakStartAreaFPD = std::max(k * (m * (m + 1.0) / 2.0), 100.0);

        const double minPeakSamples = settings.MinPeakWith * 10.0;
        const double riseSamples = settings.PeakTime * 10.0;
        int i = std::max(truncToInt(230.0 / (settings.Loopflow / 60.0) * 10.0), 1);
        std::array<double, 5> X{}, W{};
        while (state != FPDSearchState::Found && i < n2 - 4) {
            for (int q = 0; q < 5; ++q) {
                X[q] = (i + q) / 10.0;
                W[q] = Y[i + q];
            }
            const double s = Regression(X, W);
            const double centre = Y[i + 2];

            switch (state) {
            case FPDSearchState::Searching:
                st.PeakStartIndex = i + 2;
                if (s > st.PeakSlopeFPD) {
                    st.PeakStartLevel = centre;
                    st.FPDArea = 0.0;
                    state = FPDSearchState::Rising;
                }
                ++i;
                break;
            case FPDSearchState::Rising:
                st.FPDArea += centre - st.PeakStartLevel;
                if (i + 2 - st.PeakStartIndex > riseSamples && st.FPDArea < st.PeakStartAreaFPD) {
                    // A drift, not an injection: look again from the sample after the window
                    // that started it.
                    i = st.PeakStartIndex - 1;
                    state = FPDSearchState::Searching;
                    break;
                }
                if (s < -st.PeakSlopeFPD / 5.0)
                    state = FPDSearchState::Falling;
                ++i;
                break;
            case FPDSearchState::Falling:
                st.FPDArea += centre - st.PeakStartLevel;
                if (s > -st.PeakSlopeFPD / 3.0) {
                    st.PeakEndIndex = i + 2;
                    st.PeakEndLevel = centre;
                    if (minPeakSamples > st.PeakEndIndex - st.PeakStartIndex) {
                        // Narrower than the loop volume can make it: a spike.
                        i = st.PeakEndIndex;
                        st.PeakStartIndex = 0;
                        st.PeakEndIndex = 0;
                        st.FPDArea = 0.0;
                        state = FPDSearchState::Searching;
                    } else {
                        state = FPDSearchState::Found;
                        if (st.FPDArea > kFpdFoundArea)
                            st.NoPeak = false;
                    }
                }
                ++i;
                break;
            case FPDSearchState::Found:
                break;
            }
        }

        if (state == FPDSearchState::Found && !st.NoPeak) {
            // The chord is refined on the FPD signal itself, around the top of the FPD peak. The
            // area stays as the search summed it; only the drawn chord follows the refinement.
            const auto top = std::max_element(Y.begin() + st.PeakStartIndex,
                                              Y.begin() + st.PeakEndIndex + 1);
            CheckBaseline(st, series2, static_cast<int>(top - Y.begin()));
        }
    } else {
        // Too short to hold the start level at index 3, let alone a peak.
        st.PeakHeigth = 0.0;
        st.PeakStartLevel = 0.0;
        st.PeakEndLevel = 0.0;
    }

    st.FPDStart = st.PeakStartIndex;
    st.FPDEnd = st.PeakEndIndex;
    st.FPDStartLevel = st.PeakStartLevel;
    st.FPDEndLevel = st.PeakEndLevel;
    st.FPDBaseDraw = true;
    return state;
}

std::vector<Chord> baselineChords(const EvaluationState& st) {
    std::vector<Chord> chords;
    if (st.FIDBaseDraw)
        chords.push_back({st.FIDStart / 10.0, st.FIDStartLevel, st.FIDEnd / 10.0, st.FIDEndLevel});
    if (st.FPDBaseDraw)
        chords.push_back({st.FPDStart / 10.0, st.FPDStartLevel, st.FPDEnd / 10.0, st.FPDEndLevel});
    return chords;
}

std::optional<double> baselineNoiseArea(std::span<const double> signal, const DetectionSettings& settings) {
    const std::size_t last = std::min<std::size_t>(signal.size(), static_cast<std::size_t>(std::max(settings.MinPeakStart, 0)));
    if (last < 4)
        return std::nullopt;
    const std::span<const double> baseline = signal.subspan(1, last - 1);
    double sum = 0;
    for (double y : baseline)
        sum += y;
    const double n = static_cast<double>(baseline.size());
    const double mean = sum / n;
    double squares = 0;
    for (double y : baseline)
        squares += (y - mean) * (y - mean);
    return 3.0 * std::sqrt(squares / (n - 1)) * settings.MinPeakWith * 10.0;
}

double smallestFidPeakArea(const DetectionSettings& settings) {
    const double halfWidth = std::max(settings.MinPeakWith * 10.0 / 2.0, 1.0);
    return kRiseSlope * halfWidth * halfWidth;
}

double smallestFpdPeakArea(const DetectionSettings&) { return kFpdFoundArea; }

} // namespace korvat
