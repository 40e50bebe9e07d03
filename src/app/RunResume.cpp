// The event journal of the chosen results file, and a run that did not end: continued or left
// at the next start.

#include "app/KorvatApp.h"

#include "evaluation/ResultsFile.h"
#include "run/RunState.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcResume, "korvat.app.resume")

namespace korvat {

namespace {

QString resumeQuestion(int id, const SavedRun& s) {
    const QString started = s.started.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    const QString saved = s.saved.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    const int done = s.runAktiv - 1;
    if (id == kGermanOffset)
        return QStringLiteral("Ein Lauf wurde nicht beendet (Programm beendet oder Stromausfall).\n\n"
                              "Ergebnisdatei: %1\nGestartet: %2\nMessungen aufgezeichnet: %3, die letzte um %4\n\n"
                              "Lauf fortsetzen? (Nein: der Lauf wird als abgebrochen vermerkt.)")
            .arg(s.resultsFile, started)
            .arg(done)
            .arg(saved);
    return QStringLiteral("A run did not end (the program was ended or the power failed).\n\n"
                          "Results file: %1\nStarted: %2\nMeasurements recorded: %3, the last at %4\n\n"
                          "Continue the run? (No: the run is recorded as abandoned.)")
        .arg(s.resultsFile, started)
        .arg(done)
        .arg(saved);
}

} // namespace

void KorvatApp::openJournal() {
    const QString path = besideResultsFile(records_.sDateiname, QStringLiteral("_events.log"));
    if (events_.journal().isOpen() && events_.journal().path() == path)
        return;
    const QString opening = QStringLiteral("KORVAT-PC %1, instrument %2, results file %3")
                                .arg(GetVersionString(), sSerialNumber, records_.sDateiname);
    if (!events_.openJournal(path, opening)) {
        const QString text = events_.journalError() + QStringLiteral("; events are only listed in the window");
        qCWarning(lcResume).noquote() << text;
        view_.logLine(text);
        view_.statusText(text);
    }
}

void KorvatApp::offerResume() {
    const QString path = ini_.readString(key::RunState, QString());
    if (path.isEmpty())
        return;
    auto forget = [&] {
        removeRunState(path);
        ini_.writeString(key::RunState, QString());
    };
    QString error;
    const std::optional<SavedRun> saved = loadRunState(path, &error);
    if (!saved) {
        // Nothing to continue from; the results file keeps what was written.
        const QString text = QStringLiteral("An interrupted run cannot be continued: %1").arg(error);
        qCWarning(lcResume).noquote() << text;
        view_.logLine(text);
        ini_.writeString(key::RunState, QString());
        return;
    }
    records_.sDateiname = saved->resultsFile;
    view_.infoShown(InfoLabel::ResultsFile, saved->resultsFile);
    openJournal();

    if (!saved->finished && !dialogs_.question(resumeQuestion(ID, *saved))) {
        events_.add(EventKind::RunAbandoned,
                    QStringLiteral("the run started %1 was not continued; %2 measurement(s) recorded")
                        .arg(saved->started.toString(Qt::ISODate))
                        .arg(saved->runAktiv - 1));
        forget();
        return;
    }

    // The last measurement's row, when the program ended before it was (whole) in the file.
    const RowsRestored rows = restoreRows(*saved, &error);
    if (rows == RowsRestored::Failed) {
        dialogs_.error(QStringLiteral("The interrupted run cannot be continued now: %1").arg(error));
        return; // the state stays: the next start offers it again
    }
    if (rows == RowsRestored::Appended)
        events_.add(EventKind::FileWaiting,
                    QStringLiteral("the row(s) of measurement %1 were written after the interruption").arg(saved->runAktiv - 1),
                    {}, saved->runAktiv - 1);
    if (rows == RowsRestored::FileChanged)
        events_.add(EventKind::FileWaiting, error + QStringLiteral("; the file is left as it is"), {}, saved->runAktiv - 1);

    if (saved->finished) {
        events_.add(EventKind::RunEnd, QStringLiteral("the run had ended with measurement %1 before the program ended")
                                           .arg(saved->runAktiv - 1));
        forget();
        return;
    }
    const qint64 gapMs = std::max<qint64>(0, saved->saved.msecsTo(clock_.wallNow()));
    events_.add(EventKind::RunResumed,
                QStringLiteral("run continued after an interruption of %1 (last state %2); next: measurement %3, position %4")
                    .arg(formatDuration(gapMs), saved->saved.toString(Qt::ISODate))
                    .arg(saved->runAktiv)
                    .arg(saved->runZelle),
                {}, saved->runAktiv);
    sequencer_.resume(*saved);
}

} // namespace korvat
