#pragma once
// The program without its window: configuration, the link to the instrument, the run, start-up
// and the handlers of the window's events. The window forwards its events here (and every change
// of what the operator types, through inputs()) and shows what it is told through MainView;
// tests drive the same object with a recorder and the in-process instrument.

#include "app/MainView.h"
#include "app/Notifier.h"
#include "app/PortChooser.h"
#include "app/ServicePanel.h"
#include "app/SubstanceFactors.h"
#include "link/Identification.h"
#include "link/Link.h"
#include "link/StatusPoll.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/ArchiveWriter.h"
#include "run/Events.h"
#include "run/Inputs.h"
#include "run/Recorder.h"
#include "run/Records.h"
#include "run/RunState.h"
#include "run/ResultComputation.h"
#include "run/RunModel.h"
#include "run/Sequencer.h"
#include "shell/Config.h"
#include "shell/IniFile.h"

#include <QString>
#include <functional>
#include <memory>

namespace korvat {

class Clock;
class Dialogs;
class SerialLine;

enum class StartupOutcome {
    Running, // identified; the timer may run
    Halted,  // a file problem stopped start-up (said in a box): the program ends
    Ended,   // identification failed or a port failed to open: the program ends
};

class KorvatApp {
public:
    struct Environment {
        MainView& view;
        Dialogs& dialogs;
        Clock& clock;
        SerialLine& com1;
        SerialLine& com2;
        QString programDir; // folder of the program file, with a trailing separator
        // Where an installed program keeps its files instead (see shell/ProgramFolders.h); each
        // empty one means beside the program, in programDir. Folders end in a separator.
        QString iniFile{};     // the settings file; its substance lists are in programDir
        QString debugLogDir{}; // korvat-debug.log
        QString dataDir{};     // DataDir and InitialDir of a newly created settings file
        // The files of a run: written through this layer (default: the operating system's), on
        // the recorder's own thread or, for tests that read the files right after a step, on the
        // caller's thread.
        std::shared_ptr<FileLayer> files{};
        RecorderDispatch recorderDispatch = RecorderDispatch::Inline;
        // Offered when start-up cannot identify the instrument on the ports set, and from the
        // Configuration page. Without one, start-up says what failed in boxes and ends.
        PortChooser* portChooser = nullptr;
        // The program's own archive file (see run/Archive.h); empty: no archive unless the
        // settings name one.
        QString archiveFile{};
    };

    explicit KorvatApp(Environment env);

    // Start-up: everything from the window title to the instrument's known state. `translate`
    // runs the caption walk with the chosen language offset.
    StartupOutcome FormCreate(const std::function<void(int)>& translate);
    // The program ends (once, however often it is called): the journal's last line, a last try
    // for whatever waits for its file (bounded; what still waits is kept and said), the line
    // queues released. Settings need nothing: each was written when it was edited.
    void FormClose();
    // The 90 ms tick. Never lets an exception out: a failure is reported and the program goes on.
    void Timer1Timer();
    // Whether the timer should run (identification complete, window not closed).
    bool timerWanted() const { return timerWanted_; }
    // Why start-up ended without the instrument, one line per problem, the settings file named
    // last; empty after a start that got through.
    QString startupProblem() const { return startupProblem_; }

    // The serial ports. The identification exchange on a pair, as start-up runs it: not during a
    // run; the ports in use are closed meanwhile (the tick waits) and opened again after.
    PortTestResult testPorts(const PortPair& pair);
    // Writes the pair into the settings file; empty on success, else the error.
    QString storePorts(const PortPair& pair);
    PortChooserRequest portChooserRequest(const QString& problem, bool atStartup);
    // The Configuration page's chooser: a pair stored there is used from the next start.
    void choosePorts();

    // What is not ready for a run, one line each: the measuring chamber or the valve block far
    // from its set point, a detector not calibrated, no results file chosen.
    static constexpr double kReadyTemperatureBand = 5.0; // °C either side of the set point
    QStringList readinessProblems() const;
    // Start and the delayed start's arming as the operator presses them: what is not ready is
    // said first, and one more click starts anyway.
    void btnStartChecked();
    void btnDelayChecked();

    // Settings handlers: each reads its input, stores the field and writes the key at once.
    void UpdateStartzelle();
    void UpdateAnzahlZellen();
    void UpdateMesszeit();
    void UpdateAnzahlMessreihen();
    void UpdateDurchbruchschwelle();
    void editLimitFPDExit();
    void UpdateMengeIsobuthan();
    void UpdateMengeSulfur();
    void editInfoExit(int line); // editInfo1Exit .. editInfo3Exit
    // The description as the operator left it, kept in the settings file ([Info] Description1 to
    // Description5) so the next start shows it again; also when the window closes.
    void memoDescriptionExit();
    static constexpr int kDescriptionLines = 5;
    // editContact1Exit .. editContact3Exit: the chemical's contact with the cell's specimen,
    // minutes before Start.
    void editContactExit(int cell);
    // The specimens' window: a specimen's material, thickness, lot or exposed area (stored at
    // once; a number that is not above 0 is refused), the requirement and its decision rule.
    void editSpecimenExit(Input input);
    void requirementPicked(int choice); // RequirementChoice
    // The operator picked cell `cell`'s chemical on the specimens' page: `value` is the
    // hydrocarbon list's value of that name ("factor[;molar mass]"), `sulfur` the sulfur list's
    // when it holds the name too. Taken as a drop of those rows on the cell's factor edits, and
    // kept in the settings at once.
    void chemicalPicked(int cell, const QString& name, const QString& value, const std::optional<QString>& sulfur);
    void editRequirementExit();
    void decisionRulePicked(int rule); // 0 simple, 1 guarded
    // The calibration window: point `index` of the detector's current calibration chosen for the
    // curve or left out. The curve's newest point becomes the calibration area and ppm.
    void calibrationPointChosen(Detector detector, int index, bool used);
    void editScaleExit();
    void editScaleMinExit();
    void rgStandardClick(int item);
    // The run page's "measure on after break" box: stored at once, and used from the next
    // breakthrough on.
    void chkboxKeepMeasuringClick();
    void PageControlExit();

    // The sample-info page: choose the results file (writes its header block once), load a stored
    // raw-data file back into the chart and evaluate it again.
    void btnSpeichernClick();
    void btnLadenClick();
    // Monitoring on or off. Either clears the curves, so the last evaluation's baseline chords
    // stop belonging to anything shown and go with them (a Fit would otherwise draw them over
    // the live signal).
    void btnMonitorClick();
    // What a key typed into the description becomes: lines are broken at 60 characters and Enter
    // adds no line below the sixth.
    enum class DescriptionKey { Keep, Discard, ReplaceWithEnter };
    static DescriptionKey memoDescriptionKeyPress(bool enter, int line, int column);
    // The header block the results file gets when it is chosen now, or for run `fileRun` of the
    // file when a run starts into it.
    QStringList resultsHeaderLines(int fileRun = 1) const;
    // The operator opened the event list: the warning lamp goes out.
    void eventListSeen() { events_.acknowledge(); }
    // Result rows that could not be written yet (they are tried again with every row).
    std::size_t resultRowsWaiting() const { return records_.rowsWaiting(); }

    // What the operator has typed and ticked; the window keeps it up to date.
    Inputs& inputs() { return inputs_; }
    Link& link() { return link_; }
    Valves& valves() { return valves_; }
    ServicePanel& panel() { return panel_; }
    Acquisition& acquisition() { return acquisition_; }
    StatusPoll& poll() { return poll_; }
    RunModel& run() { return run_; }
    Sequencer& sequencer() { return sequencer_; }
    ResultComputation& results() { return results_; }
    Records& records() { return records_; }
    Recorder& recorder() { return recorder_; }
    ArchiveWriter* archive() { return archive_.get(); }
    Events& events() { return events_; }
    // The factor page: drag rules, drops and writing the substance lists back.
    SubstanceFactors& substanceFactors() { return substanceFactors_; }
    IniFile& ini() { return ini_; }
    Dialogs& dialogs() { return dialogs_; }
    const Settings& settings() const { return settings_; }
    const std::vector<TUpdateObject>& UpdateList() const { return poll_.UpdateList; }

    int ID = 0;
    TDeviceTyp DeviceTyp = TDeviceTyp::FID;
    QString sSerialNumber;

private:
    // The identification exchange on `port`: the answer, trailing blanks removed, or "" when none
    // came within the wait.
    QString identify(SerialLine& port, const QString& command, IdentifiedBoard board);
    StartupOutcome identifySinglePort();
    StartupOutcome identifyTwoPorts();
    // Opens a port for the identification; what went wrong is noted and, without a chooser,
    // shown as the link shows it.
    bool openForIdentification(SerialLine& port);
    // One identification problem: noted for the chooser and the end of start-up; shown in a
    // message box (or the end-of-program box) when there is no chooser.
    void identificationFailed(const QString& text, bool endBox);
    QString settingsFileNote() const;
    void showSettings();
    // The run page's progress and cell overview, when anything it shows may have changed (a new
    // second, a new phase, a measurement recorded) or `force`.
    void showProgress(bool force = false);
    void showSpecimens();
    // The requirement of the settings as the window offers it.
    void showRequirement();
    // A run the program did not end (killed, power cut, closed during the run): the operator
    // chooses to continue it or to leave it.
    void offerResume();
    void continueOrLeave(const QString& path, const SavedRun& saved, const QString& note);
    void restoreDamaged(const QString& path, const QString& error, const RunStateDamage& damage);
    void markDiscardedOutcomes(const SavedRun& saved);
    void openJournal();
    void endProgramBox(const QString& middle);
    bool write(const IniKey& key, const QString& value);
    bool writeNumber(const IniKey& key, double value);
    std::optional<int> readIntInput(Input input);
    std::optional<double> readFloatInput(Input input);
    // A refused factor takes its substance's molar mass back with its name.
    void restoreMolarMass(Input edit);
    QString T(int n) const;

    MainView& view_;
    Dialogs& dialogs_;
    Clock& clock_;
    QString programDir_;
    QString debugLogDir_;
    QString dataDir_;
    IniFile ini_;
    Settings settings_;
    Inputs inputs_;
    RunModel run_;
    Events events_;
    Notifier notifier_;
    Link link_;
    Valves valves_;
    Acquisition acquisition_;
    ServicePanel panel_;
    StatusPoll poll_;
    CalibrationStore calibrations_;
    ResultComputation results_;
    Recorder recorder_;
    Records records_;
    Sequencer sequencer_;
    SubstanceFactors substanceFactors_;
    void startArchive();
    std::unique_ptr<ArchiveWriter> archive_;
    QString archiveFile_;
    bool terminateRequested_ = false;
    bool timerWanted_ = false;
    PortChooser* portChooser_ = nullptr;
    QStringList identifyProblems_;
    QString startupProblem_;
    bool portTestRunning_ = false;
    bool closed_ = false;
    // What the progress was last worked out for.
    struct ProgressMoment {
        qint64 second = -1;
        RunTag tag = RunTag::Idle;
        std::size_t measurements = 0;
        bool operator==(const ProgressMoment&) const = default;
    };
    ProgressMoment progressShownFor_;
};

} // namespace korvat
