#include "run/Events.h"

#include "run/Recorder.h"

namespace korvat {

namespace {
// Longer texts (a garbled line quoted whole, say) are cut for the list and the journal.
constexpr qsizetype kTextLimit = 2000;
} // namespace

QString eventKindName(EventKind kind) {
    switch (kind) {
    case EventKind::ProgramStart: return QStringLiteral("program-start");
    case EventKind::ProgramEnd: return QStringLiteral("program-end");
    case EventKind::JournalOpened: return QStringLiteral("journal-opened");
    case EventKind::RunStart: return QStringLiteral("run-start");
    case EventKind::RunEnd: return QStringLiteral("run-end");
    case EventKind::RunResumed: return QStringLiteral("run-resumed");
    case EventKind::RunAbandoned: return QStringLiteral("run-abandoned");
    case EventKind::Measurement: return QStringLiteral("measurement");
    case EventKind::SettingChanged: return QStringLiteral("setting-changed");
    case EventKind::LineLost: return QStringLiteral("line-lost");
    case EventKind::LineBack: return QStringLiteral("line-back");
    case EventKind::LinesDropped: return QStringLiteral("lines-dropped");
    case EventKind::ConverterTimeout: return QStringLiteral("converter-timeout");
    case EventKind::FileWaiting: return QStringLiteral("file-waiting");
    case EventKind::FilesWritten: return QStringLiteral("files-written");
    case EventKind::ResultsFileChanged: return QStringLiteral("results-file-changed");
    case EventKind::RowLate: return QStringLiteral("row-late");
    case EventKind::MeasurementDiscarded: return QStringLiteral("measurement-discarded");
    case EventKind::RunStateDamaged: return QStringLiteral("run-state-damaged");
    case EventKind::ValueWarning: return QStringLiteral("value-warning");
    case EventKind::Calibration: return QStringLiteral("calibration");
    case EventKind::Breakthrough: return QStringLiteral("breakthrough");
    }
    return QStringLiteral("event");
}

bool eventListed(EventKind kind) { return kind >= EventKind::RunResumed; }

bool eventAffectsData(EventKind kind) {
    switch (kind) {
    case EventKind::RunResumed:
    case EventKind::RunAbandoned:
    case EventKind::MeasurementDiscarded:
    case EventKind::RunStateDamaged:
    case EventKind::ResultsFileChanged:
    case EventKind::RowLate:
    case EventKind::LineLost:
    case EventKind::LinesDropped:
    case EventKind::ConverterTimeout:
    case EventKind::FileWaiting:
    case EventKind::ValueWarning:
        return true;
    default:
        return false;
    }
}

void Events::add(EventKind kind, const QString& text, const QString& port, int measurement) {
    RunEvent e{clock_.wallNow(), kind, port, measurement, text};
    if (e.text.size() > kTextLimit)
        e.text = e.text.left(kTextLimit) + QStringLiteral("...");
    if (!journalPath_.isEmpty() && recorder_)
        recorder_->journal({e.time, eventKindName(kind), e.port, e.measurement, e.text});
    if (observer_.any)
        observer_.any(e);
    if (eventAffectsData(kind)) {
        lastDataEvent_ = clock_.monotonicNow();
        if (!warning_) {
            warning_ = true;
            if (observer_.warning)
                observer_.warning(true);
        }
    }
    if (!eventListed(kind))
        return;
    listed_.push_back(e);
    if (listed_.size() > kListLimit) {
        listed_.pop_front();
        ++dropped_;
    }
    if (observer_.listed)
        observer_.listed(listed_.back());
}

void Events::acknowledge() {
    if (!warning_)
        return;
    warning_ = false;
    if (observer_.warning)
        observer_.warning(false);
}

void Events::openJournal(const QString& path, const QString& opening) {
    journalPath_ = path;
    if (recorder_)
        recorder_->openJournal(path, clock_.wallNow());
    add(EventKind::JournalOpened, opening);
}

} // namespace korvat
