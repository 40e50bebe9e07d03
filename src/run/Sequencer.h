#pragma once
// A run: the operator's start, delayed start and stop, and the tick's state machine that steps
// through positions, cycles and the phases of each measurement (fill cell, fill sample loop,
// inject, acquisition window, wait for the converter, evaluate). Phase thresholds use the
// monotonic clock; what the operator reads uses the wall clock.

#include "evaluation/PeakSearch.h"
#include "run/RawDataFile.h"
#include "shell/Config.h"
#include "util/Clock.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <vector>

namespace korvat {

class Acquisition;
class Dialogs;
class FormView;
class IniFile;
class Link;
class StatusPoll;
class Valves;
struct Registers;

// What the evaluation step found; the raw-data file records it after each measurement.
struct PeakValues {
    double FIDStart = 0, FIDEnd = 0, FIDStartLevel = 0, FIDEndLevel = 0;
    double FPDStart = 0, FPDEnd = 0, FPDStartLevel = 0, FPDEndLevel = 0;
    int PeakStartIndex = 0, PeakEndIndex = 0;
    double PeakStartLevel = 0, PeakEndLevel = 0;
};

inline PeakValues peakValuesOf(const EvaluationState& e) {
    return {e.FIDStart,       e.FIDEnd,       e.FIDStartLevel,  e.FIDEndLevel,  e.FPDStart,
            e.FPDEnd,         e.FPDStartLevel, e.FPDEndLevel,   e.PeakStartIndex, e.PeakEndIndex,
            e.PeakStartLevel, e.PeakEndLevel};
}

// One measurement as the sequencer recorded it.
struct MeasurementRecord {
    int runAktiv = 0;
    int runZelle = 0;
    int cycle = 0;
    bool skipped = false; // a switched-off sample cell: no gas, no window
    QDateTime at;
    std::size_t fidPoints = 0, fpdPoints = 0;
};

class Sequencer {
public:
    struct Deps {
        Settings& settings;
        IniFile& ini;
        Link& link;
        Valves& valves;
        Registers& regs;
        FormView& view;
        Dialogs& dialogs;
        Clock& clock;
        Acquisition& acquisition;
        StatusPoll& poll;
        const int& ID;
        const TDeviceTyp& deviceTyp;
        const QString& sDateiname; // the results file; raw-data files go beside it
    };

    explicit Sequencer(Deps deps);

    // Run control.
    void btnStartClick();
    void btnDelayClick();
    void btnStopClick();
    void editStartdelayExit();

    // Stages 3 to 5 of the tick: delay countdown, run time, one state step.
    void tickStages();
    // Ends a run at once after an unexpected failure: both valve banks closed, what was measured
    // kept, the program left running.
    void abortRun(const QString& reason);

    // The evaluation of state 7; by default it records the measurement and writes its raw data.
    using Evaluation = std::function<void(Sequencer&)>;
    void setEvaluation(Evaluation evaluation) { evaluation_ = std::move(evaluation); }
    void recordMeasurement();

    int cycleNumber() const { return strtCycles - runCycles + 1; }
    int measurementNumber() const { return strtMessungen - runMessungen + 1; }
    bool running() const { return runTag > 0; }
    bool delayPending() const { return delayTag > 0; }

    // Run state, named as the operator's documents name it.
    int runTag = 0;
    int delayTag = 0;
    int runStart = 0, strtCount = 0, runCount = 0;
    int strtCycles = 0, runCycles = 0, strtMessungen = 0, runMessungen = 0;
    int runZelle = 0, runNextZelle = 0, offCount = 0, runAktiv = 0;
    QDateTime runStartzeit;      // wall clock, for texts
    Millis runStartzeitMono{0};  // the same moment on the monotonic clock
    Millis runStartCycle{0};     // start of the current measurement (monotonic)
    int runLaufzeit = -1;        // second of the day of the last refresh
    Millis delayStart{0};        // when a pending delayed start fires (monotonic)
    double FIDSampleFactor = 1, FPDFactor = 1, Flow = 0;
    QString sChemikalie;
    // The peak searches' fields (FIDArea, FIDStart, NoPeak, FIDBaseDraw ...); kept between
    // measurements, as the searches expect.
    EvaluationState eval;
    // Every measurement of the current run (or of the last one, once it ended); a new run starts
    // an empty list, so a program that runs test after test for weeks keeps one run's records.
    std::vector<MeasurementRecord> measurements;

private:
    int elapsedSeconds() const;
    void stepState();
    void state1();
    void state2();
    void state13();
    void state3();
    void state4();
    void state5();
    void state6();
    void state7();
    void endRun(const QString& status);
    void refreshRunTime(bool withDelay);
    void setStatus(const QString& text);
    QString phaseText(int entry) const;
    QString durationText(Millis d) const;
    bool cellOff(int position) const;
    QString T(int n) const;

    Deps d_;
    Evaluation evaluation_;
    RawDataFile rawData_;
    Millis state6Since_{0};
};

} // namespace korvat
