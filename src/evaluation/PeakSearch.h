#pragma once
// Peak searches and area integration on the recorded detector signals. Everything here is a plain
// function over series data and the evaluation state, so the run's evaluation step, the raw-data
// loader and the tests all go through the same code; nothing here touches the chart. Where a step
// says "the chart is asked to repaint", the caller does that after the call returns.

#include "evaluation/Series.h"
#include "shell/Config.h"

#include <optional>
#include <span>
#include <vector>

namespace korvat {

// The "Detection" settings the searches depend on.
struct DetectionSettings {
    int MinPeakStart = 10;     // first slope index the FID search examines
    double PeakTime = 2.0;     // expected peak time, seconds
    double MinPeakWith = 1.2;  // seconds the loop volume takes to pass
    double Loopflow = 10000;   // flow through the loop per minute

    static DetectionSettings from(const Settings& s);
    bool operator==(const DetectionSettings&) const = default;
};

// Kept between evaluations on purpose: a search that finds nothing leaves the previous chord and
// bounds in place, and the FPD search starts from whatever the FID search left in the shared
// working fields.
struct EvaluationState {
    bool NoPeak = false;
    int PeakStartIndex = 0, PeakEndIndex = 0;
    double PeakStartLevel = 0.0, PeakEndLevel = 0.0;
    double dm = 0.0;

    double FIDStart = 0.0, FIDEnd = 0.0;
    double FIDStartLevel = 0.0, FIDEndLevel = 0.0;
    double FIDArea = 0.0;

    double FPDStart = 0.0, FPDEnd = 0.0;
    double FPDStartLevel = 0.0, FPDEndLevel = 0.0;
    double FPDArea = 0.0;
    double PeakHeigth = 0.0;
    double PeakSlopeFPD = 0.0;
    double PeakStartAreaFPD = 0.0;

    bool FIDBaseDraw = false, FPDBaseDraw = false;
};

// Where the FPD search stopped. The THT calibration only takes an area from a search that ended in
// `Found`, whether or not the area was large enough to clear `NoPeak`.
enum class FPDSearchState { Searching = 0, Rising = 1, Falling = 2, Found = 3 };

// Least-squares slope of Y over X (same length). No guard against a zero denominator: every caller
// passes distinct X values.
double Regression(std::span<const double> X, std::span<const double> Y);

// Appends to `serie3` the slope, in signal units per sample, of the five `series1` points ending
// at index i (i >= 4, i < series1.size()); its X is (i - 2) x 0.1 s.
void AddSlopePoint(const Series& series1, Series& serie3, int i);

// AddSlopePoint for every index from 4 to the last point, in order (appends, never clears).
void AddSlopePoints(const Series& series1, Series& serie3);

// Moves PeakStartIndex forward and PeakEndIndex backward until no signal point between them lies
// below the chord, around the apex index `Peak`. Updates PeakStartLevel, PeakEndLevel and dm.
void CheckBaseline(EvaluationState& st, const Series& signal, int Peak);

// The apex the FID refinement works around: the last change of the slope from non-negative to
// negative between iMax and iMin, or Trunc(PeakTime x 10) when there is none.
int PeakApex(const Series& serie3, int iMax, int iMin, double PeakTime);

// Takes PeakStartIndex/PeakEndIndex as the FID chord, sets FIDStart, FIDEnd, their levels and
// FIDBaseDraw, and integrates `series1` above the chord into FIDArea (clamped at 0).
void FIDChordAndArea(EvaluationState& st, const Series& series1);

// FID: slope thresholds on `serie3`, refinement and area. FPD: only clears NoPeak. FIDFPD: nothing.
void PeakAndArea(EvaluationState& st, TDeviceTyp Typ, const Series& series1, const Series& serie3,
                 const DetectionSettings& settings);

// The FPD search on `series2`. Always ends by copying the working bounds into the FPD fields and
// setting FPDBaseDraw. The caller resets its FPD amount (FPDMessMenge) before using the result.
FPDSearchState SearchFPDPeak(EvaluationState& st, const Series& series2,
                             const DetectionSettings& settings);

// The baseline noise of a window as an area: three standard deviations of the points before the
// search starts (indexes 1 to MinPeakStart - 1; the first point is never written to the raw-data
// file) over the width of a peak (MinPeakWith, ten points a second). The smallest area the window
// could tell from noise; nullopt when fewer than three points lie there.
std::optional<double> baselineNoiseArea(std::span<const double> signal, const DetectionSettings& settings);

// The smallest peak area each search can find, in the searches' units (signal × samples). The FID
// search needs a rise of kRiseSlope per sample, and no injection is narrower than the loop volume
// takes to pass (MinPeakWith): a peak rising at that slope over half that width and falling as
// fast holds slope × (half width)². The FPD search takes no peak of 100 or less.
double smallestFidPeakArea(const DetectionSettings& settings);
double smallestFpdPeakArea(const DetectionSettings& settings);

// A dotted baseline chord over an evaluated curve, in chart units: seconds and signal value.
struct Chord {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Chord&) const = default;
};

// The chords the chart draws after every repaint: the FID chord first, then the FPD chord, each
// only while its flag is set. Signal indexes become seconds (ten points a second).
std::vector<Chord> baselineChords(const EvaluationState& st);

} // namespace korvat
