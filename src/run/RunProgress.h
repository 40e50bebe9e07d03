#pragma once
// What the run page shows of a run in progress, worked out from the run model alone: measurement
// n of N, the cycle, the position by its name, the time to each cell's next measurement and to the
// run's end, and per sample cell its latest rate, trend, breakthrough and what its time means.
// The window only puts these texts on its labels; tests read them without a window.

#include "evaluation/Detector.h"
#include "run/RunModel.h"

#include <QString>
#include <array>
#include <optional>

namespace korvat {

enum class Trend { Unknown, Rising, Falling, Steady };

// A rate's trend from the cell's last two measured rates: a change of more than a tenth of the
// larger one (and more than the 0,01 the labels can show) is a rise or a fall.
Trend trendOf(double previous, double latest);

struct CellProgress {
    bool inRange = false;      // the run's range of positions holds the cell
    bool measuring = false;    // its turn is the one going on now
    bool brokeThrough = false; // passed its limit (measured on or not)
    bool off = false;          // switched off: no longer measured
    // The latest measured rate of each detector shown; nullopt while the detector has no
    // calibration (its rates would read 0) or the cell has no measurement yet.
    std::optional<double> fidRate, fpdRate;
    Trend trend = Trend::Unknown; // of the FID rate
    std::optional<qint64> lastElapsedMs;  // elapsed run time of its latest measurement
    std::optional<qint64> nextInMs;       // until its next turn starts; nullopt: none is planned
    // Ready to show, in the program's language.
    QString rateText;  // "0,42 ug/cm²/min", "FID 0,42 · FPD nicht kalibriert"
    QString trendText; // "steigend", "" without two measurements
    QString timeText;  // "letzte Messung 00:42:10", "Durchbruch 01:10:00", "noch keine Messung"
    QString nextText;  // "nächste Messung in 00:03:10", "wird gemessen", "abgeschaltet"
};

struct RunProgress {
    bool running = false;
    int measurement = 0, measurements = 0; // n of N
    int cycle = 0, cycles = 0;
    int position = 0;                      // 1..6
    std::optional<qint64> endInMs;         // until the last turn has ended
    bool endAtTheLatest = false;           // the run ends earlier should every cell break through
    QString headline;     // "Messung 4 von 12 · Messreihe 1 von 4 · Zelle 2"
    QString measurementText; // its parts: "Messung 4 von 12",
    QString cycleText;       // "Messreihe 1 von 4",
    QString positionText;    // "Zelle 2"
    QString endText;  // "Ende in 00:20:00", "Ende spätestens in 00:20:00"
    std::array<CellProgress, 3> cells;
};

struct ProgressContext {
    int ID = 0;                  // language offset
    Millis now{0};               // monotonic
    int sampleSeconds = 0;       // flushing (SampleTime)
    int injectionSeconds = 0;    // filling the loop (InjectionTime)
    qint64 tickMs = 90;          // the run's tick: each phase passes on one
    bool keepMeasuring = false;  // a broken cell is measured on
    bool twoDetectors = false;   // FID and FPD
    std::array<bool, 2> calibrated{}; // FID, FPD
};

// The name of position 1..6 as its lamp reads it ("Nullgas", "Refgas", "Ref.Zelle", "Zelle 1"...).
QString positionName(int position, int ID);

RunProgress runProgress(const RunModel& run, const ProgressContext& context);

} // namespace korvat
