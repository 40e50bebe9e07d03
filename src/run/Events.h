#pragma once
// What happened during the program's life that the operator must be able to find the next
// morning: faults that touch the data (a line lost, garbled lines dropped, a converter that did
// not end its burst, rows or raw-data files waiting for their disk, values recorded as 0), and
// what needs the operator (a calibration taken over, a breakthrough). Those go to the window's
// event list, whole; the ones that touch the data light the warning lamp until the operator has
// looked at the list. Everything, with the run's start, each measurement's outcome, settings
// changed during a run, the run's end and the program's start and end, goes to the event journal
// beside the results file.

#include "run/EventJournal.h"
#include "util/Clock.h"

#include <QDateTime>

#include <QDateTime>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace korvat {

class Recorder;

enum class EventKind {
    ProgramStart,
    ProgramEnd,
    JournalOpened,
    RunStart,
    RunEnd,
    Measurement,
    SettingChanged,
    // Listed in the window:
    RunResumed,           // a run continued after an interruption: the gap is in its data
    RunAbandoned,         // a run the operator did not continue
    MeasurementDiscarded, // an outcome journalled before an interruption that has no row
    RunStateDamaged,      // a run state that does not read, and what of it was restored
    LineLost,
    LineBack,
    LinesDropped,
    ConverterTimeout,
    FileWaiting,          // rows, raw-data files or lines that cannot be written for now
    FilesWritten,         // ... written after all
    ResultsFileChanged,   // the results file is not the one the run wrote to
    RowLate,              // rows written after an interruption, or a cut row dealt with
    ValueWarning,
    Calibration,
    Breakthrough,
};

// The kind's name in the journal ("line-lost").
QString eventKindName(EventKind kind);
// Whether the kind goes to the window's list, and whether it lights the warning lamp.
bool eventListed(EventKind kind);
bool eventAffectsData(EventKind kind);

struct RunEvent {
    QDateTime time;
    EventKind kind = EventKind::ProgramStart;
    QString port;        // the serial device, when the event is about one
    int measurement = 0; // running number of the measurement it happened in, 0 outside a run
    QString text;
};

class Events {
public:
    // The list keeps the newest events only; the journal keeps them all.
    static constexpr std::size_t kListLimit = 1000;

    struct Observer {
        std::function<void(const RunEvent&)> listed;   // a new event in the list
        std::function<void(bool lit)> warning;         // the lamp
        std::function<void(const RunEvent&)> any;      // every event, listed or not
    };

    explicit Events(Clock& clock) : clock_(clock) {}
    void setObserver(Observer observer) { observer_ = std::move(observer); }

    void add(EventKind kind, const QString& text, const QString& port = {}, int measurement = 0);

    const std::deque<RunEvent>& listed() const { return listed_; }
    // Listed events that fell out of the list (the journal still has them).
    std::size_t droppedFromList() const { return dropped_; }
    bool warningLit() const { return warning_; }
    // The operator has looked at the list: the lamp goes out until the next such event.
    void acknowledge();
    // When the last event that touches the data happened (monotonic), if any.
    std::optional<Millis> lastDataEvent() const { return lastDataEvent_; }

    // The recorder that writes the journal's lines (off the tick, in order, each line checked).
    void setRecorder(Recorder* recorder) { recorder_ = recorder; }
    // The journal of the results file chosen; its first line says who writes it from when. A
    // journal that cannot be written is said by the recorder like any file that waits.
    void openJournal(const QString& path, const QString& opening);
    void closeJournal() { journalPath_.clear(); }
    const QString& journalPath() const { return journalPath_; }

private:
    Clock& clock_;
    Observer observer_;
    std::deque<RunEvent> listed_;
    std::size_t dropped_ = 0;
    bool warning_ = false;
    std::optional<Millis> lastDataEvent_;
    Recorder* recorder_ = nullptr;
    QString journalPath_;
};

} // namespace korvat
