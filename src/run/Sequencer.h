#pragma once
// A run: the operator's start, delayed start and stop, and the tick's state machine that steps
// through positions, cycles and the phases of each measurement (fill cell, fill sample loop,
// inject, acquisition window, wait for the converter, evaluate). Phase thresholds use the
// monotonic clock; what the operator reads uses the wall clock. The run's state lives in the run
// model; the sequencer is the one that changes it.

#include "run/RunModel.h"
#include "shell/Config.h"
#include "util/Clock.h"

#include <QString>
#include <functional>

namespace korvat {

class Acquisition;
class Dialogs;
class IniFile;
class Inputs;
class Link;
class Records;
class ResultComputation;
class RunView;
class StatusPoll;
class Valves;

class Sequencer {
public:
    struct Deps {
        Settings& settings;
        IniFile& ini;
        Link& link;
        Valves& valves;
        RunView& view;
        Inputs& inputs;
        Dialogs& dialogs;
        Clock& clock;
        Acquisition& acquisition;
        StatusPoll& poll;
        RunModel& run;
        ResultComputation& results;
        Records& records;
        const int& ID;
        const TDeviceTyp& deviceTyp;
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

    // The evaluation of state 7; by default it records the measurement.
    using Evaluation = std::function<void(Sequencer&)>;
    void setEvaluation(Evaluation evaluation) { evaluation_ = std::move(evaluation); }
    // Evaluates the measurement that just ended, applies its breakthrough (valve closed, cell
    // switched off), keeps its record and writes its results row and raw-data file.
    void recordMeasurement();

    bool running() const { return d_.run.running(); }
    bool delayPending() const { return d_.run.delayTag > 0; }

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
    void applyBreakthrough(const MeasurementRecord& r);
    void endRun(const QString& status);
    void stopConverters();
    void refreshRunTime(bool withDelay);
    void setStatus(const QString& text);
    QString phaseText(int entry) const;
    QString T(int n) const;

    Deps d_;
    Evaluation evaluation_;
    Millis state6Since_{0};
};

} // namespace korvat
