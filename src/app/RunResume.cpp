// The event journal of the chosen results file, and a run that did not end: continued or left
// at the next start, with whatever had not reached its file written then. A state that does not
// read is said, and what of it can still be restored is.

#include "app/KorvatApp.h"

#include "evaluation/ResultsFile.h"
#include "evaluation/ResultsFileReader.h"
#include "run/RunState.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcResume, "korvat.app.resume")

namespace korvat {

namespace {

QString resumeQuestion(int id, const SavedRun& s, const QString& note) {
    const QString started = s.started.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    const QString saved = s.saved.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    const int done = s.runAktiv - 1;
    const QString extra = note.isEmpty() ? QString() : QStringLiteral("\n\n") + note;
    if (id == kGermanOffset)
        return QStringLiteral("Ein Lauf wurde nicht beendet (Programm beendet oder Stromausfall).\n\n"
                              "Ergebnisdatei: %1\nGestartet: %2\nMessungen aufgezeichnet: %3, die letzte um %4%5\n\n"
                              "Lauf fortsetzen? (Nein: der Lauf wird als abgebrochen vermerkt.)")
            .arg(s.resultsFile, started)
            .arg(done)
            .arg(saved, extra);
    return QStringLiteral("A run did not end (the program was ended or the power failed).\n\n"
                          "Results file: %1\nStarted: %2\nMeasurements recorded: %3, the last at %4%5\n\n"
                          "Continue the run? (No: the run is recorded as abandoned.)")
        .arg(s.resultsFile, started)
        .arg(done)
        .arg(saved, extra);
}

// States kept in the state folder (stateFileElsewhere): "<stem>_<8 hex>_run.json".
bool keptElsewhere(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^.+_[0-9a-f]{8}_run\\.json$"));
    return pattern.match(name).hasMatch();
}

// What waits in a state: "3 row(s), 2 raw-data file(s), 4 journal line(s)".
QString waitingText(const SavedRun& s) {
    int rows = int(s.rowsToWrite.count('\n'));
    for (const WaitingRows& w : s.otherRows)
        rows += int(w.bytes.count('\n'));
    int raw = 0;
    for (const WaitingFile& f : s.files)
        raw += f.raw ? 1 : 0;
    std::size_t lines = 0;
    for (const WaitingLines& w : s.journal)
        lines += w.lines.size();
    return QStringLiteral("%1 line(s) for results files, %2 raw-data file(s), %3 journal line(s)").arg(rows).arg(raw).arg(lines);
}

// Sets a state's files aside under `suffix` (they are never simply deleted: they may hold rows).
void setAside(FileLayer& files, const QString& path, const QString& suffix) {
    for (const QString& file : {path, runRecordsFileName(path)}) {
        QByteArray bytes;
        if (files.read(file, &bytes) && files.replace(file + suffix, bytes))
            files.remove(file);
    }
}

} // namespace

void KorvatApp::openJournal() {
    const QString path = besideResultsFile(records_.sDateiname, QStringLiteral("_events.log"));
    if (events_.journalPath() == path)
        return;
    events_.openJournal(path, QStringLiteral("KORVAT-PC %1, instrument %2, results file %3")
                                  .arg(GetVersionString(), sSerialNumber, records_.sDateiname));
}

void KorvatApp::offerResume() {
    FileLayer& files = recorder_.files();
    const QString pointed = ini_.readString(key::RunState, QString());
    // States the results folder could not take are in the state folder; the program may have
    // been ended before Korvat.ini pointed there.
    QStringList kept;
    QStringList names;
    if (files.list(debugLogDir_, &names))
        for (const QString& name : std::as_const(names))
            if (keptElsewhere(name))
                kept << debugLogDir_ + name;
    QString primary = pointed;
    if (primary.isEmpty() || !files.exists(primary)) {
        primary.clear();
        QDateTime newest;
        for (const QString& path : std::as_const(kept)) {
            QString error;
            const std::optional<SavedRun> s = loadRunState(files, path, &error);
            if (s && (!newest.isValid() || s->saved > newest)) {
                newest = s->saved;
                primary = path;
            }
        }
    }
    if (primary.isEmpty()) {
        if (!pointed.isEmpty())
            ini_.writeString(key::RunState, QString());
        return;
    }
    QString error;
    RunStateDamage damage;
    std::optional<SavedRun> saved = loadRunState(files, primary, &error, &damage);
    if (saved) {
        // The same run's state in its other place: the newer of the two counts.
        const QString twin = keptElsewhere(QFileInfo(primary).fileName())
                                 ? runStateFileName(saved->resultsFile)
                                 : stateFileElsewhere(debugLogDir_, saved->resultsFile);
        QString twinError;
        if (files.exists(twin)) {
            if (std::optional<SavedRun> other = loadRunState(files, twin, &twinError); other && other->saved > saved->saved) {
                setAside(files, primary, QStringLiteral(".superseded"));
                primary = twin;
                saved = std::move(other);
            } else {
                setAside(files, twin, QStringLiteral(".superseded"));
            }
        }
        kept.removeAll(twin);
    }
    kept.removeAll(primary);
    ini_.writeString(key::RunState, saved ? primary : QString());
    if (!saved)
        restoreDamaged(primary, error, damage);
    else
        continueOrLeave(primary, *saved, QString());

    // States of earlier runs still kept in the state folder: what they hold is written now.
    for (const QString& path : std::as_const(kept)) {
        QString otherError;
        RunStateDamage otherDamage;
        const std::optional<SavedRun> other = loadRunState(files, path, &otherError, &otherDamage);
        if (!other) {
            restoreDamaged(path, otherError, otherDamage);
            continue;
        }
        events_.add(EventKind::RowLate, QStringLiteral("%1 kept what had not reached the files of %2 (%3); it is written now")
                                            .arg(path, other->resultsFile, waitingText(*other)));
        recorder_.restore(*other, path, false, true, clock_.wallNow());
    }
    records_.watch();
}

void KorvatApp::continueOrLeave(const QString& path, const SavedRun& saved, const QString& note) {
    records_.sDateiname = saved.resultsFile;
    records_.setFileRun(saved.fileRun);
    view_.infoShown(InfoLabel::ResultsFile, saved.resultsFile);
    openJournal();

    if (!saved.hasRun || saved.finished) {
        // Nothing to continue: what had not reached its file is written now, and said.
        const QString what = saved.hasRun ? QStringLiteral("The run that ended with measurement %1").arg(saved.runAktiv - 1)
                                          : QStringLiteral("The program's last session");
        events_.add(EventKind::RowLate,
                    QStringLiteral("%1 left %2 that had not reached their files (kept in %3); they are written now")
                        .arg(what, waitingText(saved), path),
                    {}, saved.hasRun ? saved.runAktiv - 1 : 0);
        if (saved.hasRun)
            events_.add(EventKind::RunEnd,
                        QStringLiteral("the run had ended with measurement %1 before the program ended").arg(saved.runAktiv - 1));
        recorder_.restore(saved, path, false, true, clock_.wallNow());
        return;
    }

    if (!dialogs_.question(resumeQuestion(ID, saved, note))) {
        // The state goes aside, never away: it may hold rows that had not reached the file.
        FileLayer& files = recorder_.files();
        setAside(files, path, QStringLiteral(".abandoned"));
        events_.add(EventKind::RunAbandoned,
                    QStringLiteral("the run started %1 was not continued; %2 measurement(s) recorded; its state is kept as %3")
                        .arg(saved.started.toString(Qt::ISODate))
                        .arg(saved.runAktiv - 1)
                        .arg(path + QStringLiteral(".abandoned")));
        ini_.writeString(key::RunState, QString());
        // Raw-data files and journal lines that waited are written; nothing goes into the
        // results file.
        SavedRun rest = saved;
        rest.hasRun = false;
        recorder_.restore(rest, QString(), false, false, clock_.wallNow());
        return;
    }

    markDiscardedOutcomes(saved);
    const qint64 gapMs = std::max<qint64>(0, saved.saved.msecsTo(clock_.wallNow()));
    events_.add(EventKind::RunResumed,
                QStringLiteral("run continued after an interruption of %1 (no measurement from %2 to %3); next: measurement %4, "
                               "position %5")
                    .arg(formatDuration(gapMs), saved.saved.toString(Qt::ISODate), clock_.wallNow().toString(Qt::ISODate))
                    .arg(saved.runAktiv)
                    .arg(saved.runZelle),
                {}, saved.runAktiv);
    // The rows (or the end of a row) the program did not get to write go in first.
    recorder_.restore(saved, path, true, true, clock_.wallNow());
    sequencer_.resume(saved);
}

void KorvatApp::markDiscardedOutcomes(const SavedRun& saved) {
    // Outcomes journalled after the state was written have no row: the program ended between
    // the two, and those measurements are made again. Their lines are marked, not changed (the
    // chain stays whole).
    QByteArray bytes;
    recorder_.files().read(events_.journalPath(), &bytes);
    for (const WaitingLines& w : saved.journal)
        if (w.journal == events_.journalPath())
            for (const JournalEntry& e : w.lines)
                bytes += journalLineBody(e) + "\t-\n";
    const QString runStart = QStringLiteral("run started at %1").arg(saved.started.toString(Qt::ISODate));
    QStringList outcomes;        // time and measurement of each outcome of the run
    QSet<QString> alreadyMarked; // times already marked discarded
    bool inRun = false;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QList<QByteArray> f = raw.split('\t');
        if (f.size() < 5)
            continue;
        const QString kind = QString::fromUtf8(f[1]);
        const QString text = unescapeJournalField(QString::fromUtf8(f[4])).value_or(QString());
        if (kind == QLatin1String("run-start")) {
            inRun = text.startsWith(runStart);
            if (inRun)
                outcomes.clear();
            continue;
        }
        if (!inRun)
            continue;
        if (kind == QLatin1String("measurement") && f[3].toInt() >= saved.runAktiv)
            outcomes << QString::fromUtf8(f[0]) + QLatin1Char('\t') + QString::fromUtf8(f[3]);
        if (kind == QLatin1String("measurement-discarded")) {
            static const QRegularExpression at(QStringLiteral("journalled at (\\S+) "));
            const QRegularExpressionMatch m = at.match(text);
            if (m.hasMatch())
                alreadyMarked.insert(m.captured(1));
        }
    }
    for (const QString& o : std::as_const(outcomes)) {
        const QString time = o.section(QLatin1Char('\t'), 0, 0);
        const int number = o.section(QLatin1Char('\t'), 1, 1).toInt();
        if (alreadyMarked.contains(time))
            continue;
        events_.add(EventKind::MeasurementDiscarded,
                    QStringLiteral("the outcome of measurement %1 journalled at %2 was not recorded (the program ended "
                                   "before its row was written); the measurement is made again")
                        .arg(number)
                        .arg(time),
                    {}, number);
    }
}

void KorvatApp::restoreDamaged(const QString& path, const QString& error, const RunStateDamage& damage) {
    FileLayer& files = recorder_.files();
    QStringList kept;
    // The results file of a state beside it is named by the state's own name.
    QString results;
    if (path.endsWith(QLatin1String("_run.json")) && !keptElsewhere(QFileInfo(path).fileName()))
        results = path.chopped(int(qstrlen("_run.json"))) + QStringLiteral(".csv");
    int lastRow = 0;
    if (!results.isEmpty()) {
        QByteArray bytes;
        if (files.read(results, &bytes)) {
            const ResultsFileRead read = parseResultsFile(results, bytes.left(bytes.lastIndexOf('\n') + 1));
            if (read.ok && !read.runs.empty() && !read.runs.back().rows.empty())
                lastRow = read.runs.back().rows.back().runAktiv;
            kept << QStringLiteral("%1 holds its rows up to measurement %2 (its last whole row)").arg(results).arg(lastRow);
        } else {
            results.clear();
        }
    }
    // The records give back the rows the results file does not hold (in order, after its last
    // whole row; a row cut by the end of the file is completed or set apart).
    QByteArray rows;
    int restored = 0;
    for (const MeasurementRecord& r : damage.records)
        if (r.runAktiv > lastRow) {
            rows += records_.rowBytes(r);
            ++restored;
        }
    if (!damage.records.empty())
        kept << QStringLiteral("%1 measurement record(s) read from %2").arg(damage.records.size()).arg(runRecordsFileName(path));
    if (restored > 0 && !results.isEmpty()) {
        kept << QStringLiteral("%1 row(s) restored from them").arg(restored);
        SavedRun rest;
        rest.hasRun = false;
        rest.resultsFile = results;
        rest.otherRows.push_back(WaitingRows{results, -1, rows, false, restored, {}});
        recorder_.restore(rest, QString(), false, true, clock_.wallNow());
        records_.sDateiname = results;
        view_.infoShown(InfoLabel::ResultsFile, results);
        openJournal();
    }
    setAside(files, path, QStringLiteral(".damaged"));
    const QString text = QStringLiteral("The state of an interrupted run does not read and the run cannot be continued: %1. "
                                        "Kept: %2. The damaged state is kept as %3.")
                             .arg(error, kept.isEmpty() ? QStringLiteral("nothing that can be read") : kept.join(QStringLiteral("; ")),
                                  path + QStringLiteral(".damaged"));
    qCWarning(lcResume).noquote() << text;
    view_.logLine(text);
    events_.add(EventKind::RunStateDamaged, text);
    dialogs_.error(text);
    ini_.writeString(key::RunState, QString());
}

} // namespace korvat
