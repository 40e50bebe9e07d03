#pragma once
// A run: the operator's start, delayed start and stop, and the tick's state machine that steps
// through positions, cycles and the phases of each measurement (fill cell, fill sample loop,
// inject, acquisition window, wait for the converter, evaluate). Phase thresholds use the
// monotonic clock; what the operator reads uses the wall clock. The run's state lives in the run
// model; the sequencer is the one that changes it.

#include "evaluation/RunningSummaries.h"
#include "evaluation/TestFiles.h"
#include "run/Archive.h"
#include "run/Records.h"
#include "run/RunModel.h"
#include "run/RunState.h"
#include "shell/Config.h"
#include "util/Clock.h"

#include <QString>
#include <functional>
#include <optional>

namespace korvat {

class Acquisition;
class Dialogs;
class Events;
class IniFile;
class Inputs;
class Link;
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
        Events& events;
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

    // The header block a run writes into its results file, for the run's number within the file
    // (the window's settings as they stand at Start).
    using RunHeader = std::function<QStringList(int fileRun)>;
    void setRunHeader(RunHeader header) { runHeader_ = std::move(header); }
    // Where each measurement goes for the archive, with the test as it stands (none: no archive).
    // The test with its figures and the measurements to add (none at its start; after a resume
    // every measurement so far, since a kill may have cut off the archive's last writes).
    using ArchiveSink = std::function<void(const ArchivedTest&, std::vector<ExportRecord>)>;
    void setArchiveSink(ArchiveSink sink) { archiveSink_ = std::move(sink); }
    // What a start into the chosen results file would find there; nullopt without a results file.
    std::optional<RunFilePlan> planRunFiles() const;
    // Whether a run may go into the file as `plan` found it: a file that already holds a run, or
    // does not read as a results file, is put to the operator first.
    bool runFilesConfirmed(const RunFilePlan& plan);

    // The evaluation of state 7; by default it records the measurement.
    using Evaluation = std::function<void(Sequencer&)>;
    void setEvaluation(Evaluation evaluation) { evaluation_ = std::move(evaluation); }
    // Evaluates the measurement that just ended, applies its breakthrough (valve closed, cell
    // switched off), keeps its record and writes its results row and raw-data file.
    void recordMeasurement();

    // Continues a run the program did not end (killed, power cut) from its saved state: the
    // instrument's valves as the run had them, the next position, elapsed and break times from
    // the original start. The results file must already hold the run's rows (restoreRows).
    void resume(const SavedRun& saved);
    // The run's state as saved after its last measurement (also what resume takes); the
    // recorder adds what still waits for the disk.
    SavedRun savedRun(bool finished) const;
    // The measurement's row of the locale-free export.
    ExportRecord exportRecord(const MeasurementRecord& r, const QString& rawPath, const QByteArray& raw) const;
    // The run as the archive keeps it, its cells' figures as they stand.
    ArchivedTest archivedTest() const;
    // Every measurement of the run so far as its export has it (made again for one it has not
    // got yet, the raw-data file hashed from the disk).
    std::vector<ExportRecord> exportRecordsSoFar() const;

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
    void updateSummaries();
    // The state with the run's records from `recordsFrom` on.
    SavedRun savedRun(bool finished, std::size_t recordsFrom) const;
    // Hands the recorded measurement's row, raw-data file, summary and the run state that goes
    // before them to the recorder, after the counters moved on to the next position
    // (`finished`: nothing is left to measure). Never waits for a disk.
    void commitMeasurement(bool finished);
    void endRun(const QString& status, const QString& how);
    void stopConverters();
    void refreshRunTime(bool withDelay);
    void setStatus(const QString& text);
    QString phaseText(int entry) const;
    QString T(int n) const;

    Deps d_;
    Evaluation evaluation_;
    RunHeader runHeader_;
    ArchiveSink archiveSink_;
    Millis state6Since_{0};
    // The figures kept up to date row by row for the run's records (RunModel::recordsGeneration),
    // its parameters and the searches' settings they were made with.
    struct Figures {
        RunningSummaries summaries;
        std::uint64_t generation = 0;
        bool twoDetectors = false;
        DetectionSettings detection;
    };
    std::optional<Figures> figures_;
    // The records handed to the recorder with the run's state: how many, of which generation of
    // the run's records, and the recorder's state epoch then. Each commit hands over only the
    // new ones while all three still hold.
    struct Handed {
        std::size_t records = 0;
        std::uint64_t generation = 0;
        quint64 epoch = 0;
    };
    std::optional<Handed> handed_;
    std::optional<MeasurementRecord> toCommit_;
    std::optional<Records::RawData> rawData_;
    QString outcome_;
    bool stopPressed_ = false;
};

} // namespace korvat
