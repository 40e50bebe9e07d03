#pragma once
// The run as data the core owns: where the state machine stands, the counters of positions,
// cycles and measurements, the state of each sample cell, and a typed record of every measurement
// of the current run. The sequencer changes it; the results file, the raw-data file and the
// window read it. Nothing here is read back from a control.

#include "evaluation/CellSummary.h"
#include "evaluation/PeakSearch.h"
#include "evaluation/ResultsFile.h"
#include "evaluation/RunParameters.h"
#include "evaluation/RunningSummaries.h"
#include "util/Clock.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace korvat {

// The state machine of a run, with the numbers the operator's documents give them.
enum class RunTag : int {
    Idle = 0,
    FillCell = 1,         // open the position's valves and lamp
    FlushCell = 2,        // wait the flushing time, then switch the sample loop in
    FillLoop = 13,        // wait the injection time, then close the position's valves
    Inject = 3,           // inject, clear the series, start the converters
    PrepareNext = 4,      // open the next position's valves while the window runs
    Acquire = 5,          // wait the measuring time, then stop the converters
    WaitConverter = 6,    // wait for the converter to end its burst
    Evaluate = 7,         // evaluate, record, advance
};

// A sample cell (1 to 3, positions 4 to 6).
struct CellState {
    bool off = false;          // switched off after its breakthrough: visited, not measured
    bool brokeThrough = false; // its rate passed the limit (it stays measured when the run keeps measuring)
    int breakMeasurement = 0;  // running number of the measurement that broke it, 0 before
    qint64 breakElapsedMs = -1; // elapsed run time of that measurement
    QString timeText;          // what its break-time label shows
    bool operator==(const CellState&) const = default;
};

// One measurement, as evaluated and recorded. The results row, the raw-data file and the per-cell
// results are all made from it.
struct MeasurementRecord : ResultRow {
    int cycle = 0;
    bool skipped = false;      // a cell switched off earlier: no gas, no window
    bool brokeThrough = false; // this measurement switched its cell off
    bool NoPeak = false;       // the FID search found no peak
    bool lineDown = false;     // a serial line was down during the window: the values are no result
    QString warning;           // why a value was recorded as 0 although a peak was found
    std::size_t fidPoints = 0, fpdPoints = 0;
};

struct RunCounters {
    int delayTag = 0;
    int runStart = 0, strtCount = 0, runCount = 0;
    int strtCycles = 0, runCycles = 0, strtMessungen = 0, runMessungen = 0;
    int runZelle = 0, runNextZelle = 0, offCount = 0, runAktiv = 0;
    QDateTime runStartzeit;      // wall clock, for texts
    QString testId;              // the run's UUID, made at Start, kept by a resume
    Millis runStartzeitMono{0};  // the same moment on the monotonic clock
    Millis runStartCycle{0};     // start of the current measurement (monotonic)
    Millis delayStart{0};        // when a pending delayed start fires (monotonic)
    int runLaufzeit = -1;        // second of the day of the last run-time refresh
    int stoppedCycle = 0;        // the cycle Stop was pressed in (the counters are ended then)
    // The position being measured: its substance, factors and flow.
    double FIDSampleFactor = 1, FPDFactor = 1, Flow = 0;
    QString sChemikalie;
    // What the run's figures depend on, fixed at Start (RunSpec.h): the cells' substances,
    // factors, molar masses and contacts are read from here during the run, never from an edit.
    RunParameters parameters;
};

// Which of the run's buttons the operator may press.
struct RunControls {
    bool start = false, delay = true, stop = false;
    bool operator==(const RunControls&) const = default;
};

class RunView;

class RunModel : public RunCounters {
public:
    void setView(RunView* view) { view_ = view; }

    RunTag runTag() const { return runTag_; }
    // The one way the state machine moves; listeners hear of every change.
    void setRunTag(RunTag tag);
    void onRunTag(std::function<void(RunTag)> listener) { runTagListeners_.push_back(std::move(listener)); }

    int cycleNumber() const { return stoppedCycle > 0 ? stoppedCycle : strtCycles - runCycles + 1; }
    int measurementNumber() const { return strtMessungen - runMessungen + 1; }
    bool running() const { return runTag_ != RunTag::Idle; }

    // Sample cell 1..3.
    const CellState& cell(int k) const { return cells_[k - 1]; }
    // Whether position 1..6 is a sample cell switched off.
    bool cellOff(int position) const { return position >= 4 && position <= 6 && cell(position - 3).off; }
    void setCell(int k, const CellState& state);

    // The Start, Delay and Stop buttons.
    const RunControls& controls() const { return controls_; }
    void setControls(const RunControls& controls);

    // The peak searches' fields (FIDArea, FIDStart, NoPeak, FIDBaseDraw ...); kept between
    // measurements, as the searches expect.
    EvaluationState eval;

    // The lab's figures of every sample cell and detector, after the last measurement.
    const std::vector<CellSummary>& summaries() const { return summaries_; }
    void setSummaries(std::vector<CellSummary> summaries);
    // The same from figures kept row by row: only what is new in a series is copied.
    void setSummaries(const RunningSummaries& running);

    // The measurements of the current run (cleared when the next run starts).
    const std::vector<MeasurementRecord>& measurements() const { return measurements_; }
    void record(MeasurementRecord r);
    // A new run: its view of the figures starts empty too.
    void clearRecords();
    // Counts clearRecords: records of the same generation only ever grew.
    std::uint64_t recordsGeneration() const { return recordsGeneration_; }

private:
    RunView* view_ = nullptr;
    RunTag runTag_ = RunTag::Idle;
    std::array<CellState, 3> cells_;
    RunControls controls_;
    std::vector<MeasurementRecord> measurements_;
    std::uint64_t recordsGeneration_ = 0;
    std::vector<CellSummary> summaries_;
    std::vector<std::function<void(RunTag)>> runTagListeners_;
};

} // namespace korvat
