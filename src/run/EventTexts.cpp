#include "run/EventTexts.h"

#include "shell/StringTable.h"

#include <QRegularExpression>
#include <array>

namespace korvat {

namespace {

struct KindText {
    EventKind kind;
    const char16_t* german;
    const char16_t* english;
};

const KindText kKinds[] = {
    {EventKind::ProgramStart, u"Programmstart", u"Program start"},
    {EventKind::ProgramEnd, u"Programmende", u"Program end"},
    {EventKind::JournalOpened, u"Protokoll geöffnet", u"Journal opened"},
    {EventKind::RunStart, u"Laufbeginn", u"Run start"},
    {EventKind::RunEnd, u"Laufende", u"Run end"},
    {EventKind::Measurement, u"Messung", u"Measurement"},
    {EventKind::SettingChanged, u"Einstellung geändert", u"Setting changed"},
    {EventKind::RunResumed, u"Lauf fortgesetzt", u"Run continued"},
    {EventKind::RunAbandoned, u"Lauf nicht fortgesetzt", u"Run not continued"},
    {EventKind::MeasurementDiscarded, u"Messung verworfen", u"Measurement discarded"},
    {EventKind::RunStateDamaged, u"Laufzustand beschädigt", u"Run state damaged"},
    {EventKind::LineLost, u"Leitung verloren", u"Line lost"},
    {EventKind::LineBack, u"Leitung wieder da", u"Line back"},
    {EventKind::LinesDropped, u"Zeilen verworfen", u"Lines dropped"},
    {EventKind::ConverterTimeout, u"Wandler-Zeitüberschreitung", u"Converter time-out"},
    {EventKind::FileWaiting, u"Datei wartet", u"File waiting"},
    {EventKind::FilesWritten, u"Dateien geschrieben", u"Files written"},
    {EventKind::ResultsFileChanged, u"Ergebnisdatei geändert", u"Results file changed"},
    {EventKind::RowLate, u"Zeile nachgetragen", u"Row written late"},
    {EventKind::ValueWarning, u"Wert", u"Value"},
    {EventKind::Calibration, u"Kalibrierung", u"Calibration"},
    {EventKind::Breakthrough, u"Durchbruch", u"Breakthrough"},
};

// An English text as the program journals it, and its German wording; \N in the German text is
// the Nth group of the English one.
struct Rule {
    const char16_t* english;
    const char16_t* german;
};

// Inner pieces first: what a sentence quotes is translated before the sentence around it.
const Rule kRules[] = {
    // Parts that several texts share.
    {u"^(\\d+) rows?$", u"\\1 Zeile(n)"},
    {u"^(\\d+) raw-data files?$", u"\\1 Rohdatendatei(en)"},
    // The lines.
    {u"^(.*): line lost \\((.*)\\)$", u"\\1: Leitung verloren (\\2)"},
    {u"^(.*): line open again$", u"\\1: Leitung wieder offen"},
    {u"^(.*): (\\d+) garbled data line\\(s\\) dropped during measurement (\\d+)$",
     u"\\1: \\2 verstümmelte Datenzeile(n) in Messung \\3 verworfen"},
    {u"^(.*): converter did not end its burst; measurement (\\d+) evaluated as it is$",
     u"\\1: Der Wandler hat seine Messfolge nicht beendet; Messung \\2 wird ausgewertet, wie sie ist"},
    // Values and calibrations.
    {u"^Measurement (\\d+), position (\\d+): (.*)$", u"Messung \\1, Position \\2: \\3"},
    {u"^area (\\S+) is too large for a calibration; not taken over$",
     u"Fläche \\1 ist für eine Kalibrierung zu groß; nicht übernommen"},
    {u"^(FID|FPD) calibration area (\\d+) taken over \\(was (\\d+)\\)$",
     u"\\1-Kalibrierfläche \\2 übernommen (vorher \\3)"},
    {u"^(FID|FPD) calibration (\\d+): the point at (\\S+) ppm \\(area (\\d+)\\) taken into the curve$",
     u"\\1-Kalibrierung \\2: der Punkt bei \\3 ppm (Fläche \\4) in die Kurve aufgenommen"},
    {u"^(FID|FPD) calibration (\\d+): the point at (\\S+) ppm \\(area (\\d+)\\) left out of the curve$",
     u"\\1-Kalibrierung \\2: der Punkt bei \\3 ppm (Fläche \\4) aus der Kurve genommen"},
    {u"^cell (\\d+) \\((.*)\\) broke through at (\\S+)$", u"Zelle \\1 (\\2): Durchbruch bei \\3"},
    // Runs that were interrupted.
    {u"^run continued after an interruption of (\\S+) \\(no measurement from (\\S+) to (\\S+)\\); next: "
     u"measurement (\\d+), position (\\d+)$",
     u"Lauf nach einer Unterbrechung von \\1 fortgesetzt (keine Messung von \\2 bis \\3); als Nächstes: Messung \\4, "
     u"Position \\5"},
    {u"^the run started (\\S+) was not continued; (\\d+) measurement\\(s\\) recorded; its state is kept as (.*)$",
     u"Der am \\1 begonnene Lauf wurde nicht fortgesetzt; \\2 Messung(en) aufgezeichnet; sein Zustand bleibt als \\3 "
     u"erhalten"},
    {u"^the outcome of measurement (\\d+) journalled at (\\S+) was not recorded \\(the program ended before its row "
     u"was written\\); the measurement is made again$",
     u"Das Ergebnis der Messung \\1, protokolliert am \\2, wurde nicht aufgezeichnet (das Programm endete, bevor "
     u"seine Zeile geschrieben war); die Messung wird wiederholt"},
    {u"^The state of an interrupted run does not read and the run cannot be continued: (.*)\\. Kept: (.*)\\. The "
     u"damaged state is kept as (.*)\\.$",
     u"Der Zustand eines unterbrochenen Laufs ist nicht lesbar, der Lauf kann nicht fortgesetzt werden: \\1. "
     u"Erhalten: \\2. Der beschädigte Zustand bleibt als \\3 erhalten."},
    {u"^the run had ended with measurement (\\d+) before the program ended$",
     u"Der Lauf war mit Messung \\1 beendet, bevor das Programm endete"},
    {u"^(.*) kept what had not reached the files of (.*) \\((.*)\\); it is written now$",
     u"\\1 enthielt, was die Dateien von \\2 nicht erreicht hatte (\\3); es wird jetzt geschrieben"},
    {u"^The run that ended with measurement (\\d+) left (.*) that had not reached their files \\(kept in (.*)\\); "
     u"they are written now$",
     u"Der mit Messung \\1 beendete Lauf hinterließ \\2, die ihre Dateien nicht erreicht hatten (aufbewahrt in \\3); "
     u"sie werden jetzt geschrieben"},
    {u"^The program's last session left (.*) that had not reached their files \\(kept in (.*)\\); they are written now$",
     u"Die letzte Sitzung des Programms hinterließ \\1, die ihre Dateien nicht erreicht hatten (aufbewahrt in \\2); "
     u"sie werden jetzt geschrieben"},
    // Files.
    {u"^(\\d+) row\\(s\\) that had not reached (.*) are written below it now$",
     u"\\1 Zeile(n), die \\2 nicht erreicht hatten, werden jetzt darunter geschrieben"},
    {u"^the row\\(s\\) that had not reached (.*) are written now$",
     u"Die Zeile(n), die \\1 nicht erreicht hatten, werden jetzt geschrieben"},
    {u"^(.*) ended inside a row; the row is completed$", u"\\1 endete innerhalb einer Zeile; die Zeile wird ergänzt"},
    {u"^(.*) ended inside a row \\((\\d+) bytes\\); they are kept in (.*) and the file goes on after its last whole "
     u"row$",
     u"\\1 endete innerhalb einer Zeile (\\2 Bytes); sie sind in \\3 aufbewahrt, die Datei geht nach ihrer letzten "
     u"ganzen Zeile weiter"},
    {u"^(.*) is not the file the run wrote to \\((.*)\\); nothing is written there, its rows wait until the file is "
     u"chosen again on the sample-info page$",
     u"\\1 ist nicht die Datei, in die der Lauf schrieb (\\2); dort wird nichts geschrieben, ihre Zeilen warten, bis "
     u"die Datei auf der Seite Probeninfo wieder gewählt wird"},
    {u"^(.*); nothing is written there, its rows wait until the file is chosen again on the sample-info page$",
     u"\\1; dort wird nichts geschrieben, ihre Zeilen warten, bis die Datei auf der Seite Probeninfo wieder gewählt "
     u"wird"},
    {u"^Not written since (\\S+): (.*) \\((.*)\\); (\\d+ rows?) and (\\d+ raw-data files?) wait, kept in (.*)$",
     u"Nicht geschrieben seit \\1: \\2 (\\3); es warten \\4 und \\5, aufbewahrt in \\6"},
    {u"^Not written since (\\S+): (.*) \\((.*)\\); (\\d+ rows?) and (\\d+ raw-data files?) wait$",
     u"Nicht geschrieben seit \\1: \\2 (\\3); es warten \\4 und \\5"},
    {u"^Not written either: (.*) \\((.*)\\)$", u"Auch nicht geschrieben: \\1 (\\2)"},
    {u"^Everything that waited since (\\S+) is written: (\\d+ rows?) and (\\d+ raw-data files?)$",
     u"Alles, was seit \\1 wartete, ist geschrieben: \\2 und \\3"},
    {u"^The disk of (.*) has not answered since (.*)$", u"Der Datenträger von \\1 antwortet nicht seit \\2"},
    {u"^The disk of (.*) answers again after (.*)$", u"Der Datenträger von \\1 antwortet wieder nach \\2"},
    {u"^Results cannot be appended to (.*) \\((.*)\\); rows will wait until it can be written$",
     u"An \\1 kann nichts angehängt werden (\\2); die Zeilen warten, bis sie geschrieben werden kann"},
    {u"^(.*); the run cannot be continued after a power cut$",
     u"\\1; nach einem Stromausfall kann der Lauf nicht fortgesetzt werden"},
    // The program and its runs.
    {u"^KORVAT-PC (\\S+) started$", u"KORVAT-PC \\1 gestartet"},
    {u"^program closed during a run; it can be continued at the next start$",
     u"Programm während eines Laufs beendet; er kann beim nächsten Start fortgesetzt werden"},
    {u"^program closed$", u"Programm beendet"},
    {u"^run ended: stopped by the operator; (\\d+) measurement\\(s\\) recorded$",
     u"Lauf beendet: vom Bediener angehalten; \\1 Messung(en) aufgezeichnet"},
    {u"^run ended: completed; (\\d+) measurement\\(s\\) recorded$",
     u"Lauf beendet: vollständig; \\1 Messung(en) aufgezeichnet"},
};

struct CompiledRule {
    QRegularExpression english;
    QString german;
};

const std::vector<CompiledRule>& rules() {
    static const std::vector<CompiledRule> compiled = [] {
        std::vector<CompiledRule> out;
        for (const Rule& r : kRules)
            out.push_back({QRegularExpression(QString::fromUtf16(r.english)), QString::fromUtf16(r.german)});
        return out;
    }();
    return compiled;
}

// A journalled date-time: "2026-12-11T10:15:03", with milliseconds or a zone after it.
const QRegularExpression& isoMoment() {
    static const QRegularExpression re(
        QStringLiteral("\\b(\\d{4}-\\d{2}-\\d{2})T(\\d{2}:\\d{2}:\\d{2})(\\.\\d{1,3})?(Z|[+-]\\d{2}:\\d{2})?\\b"));
    return re;
}

QString momentsIn(const QString& text, int ID) {
    QString out;
    qsizetype from = 0;
    for (auto it = isoMoment().globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QDateTime t = QDateTime::fromString(m.captured(1) + QLatin1Char('T') + m.captured(2), Qt::ISODate);
        out += text.mid(from, m.capturedStart() - from);
        out += t.isValid() ? eventMomentText(t, ID) : m.captured();
        from = m.capturedEnd();
    }
    return out + text.mid(from);
}

QString german(const QString& text, int depth) {
    for (const CompiledRule& r : rules()) {
        const QRegularExpressionMatch m = r.english.match(text);
        if (!m.hasMatch())
            continue;
        QString out;
        // \N takes the group, itself translated when a rule knows it (a row count inside a sentence).
        for (qsizetype i = 0; i < r.german.size(); ++i) {
            if (r.german[i] == QLatin1Char('\\') && i + 1 < r.german.size() && r.german[i + 1].isDigit()) {
                const QString group = m.captured(r.german[i + 1].digitValue());
                out += depth < 2 ? german(group, depth + 1) : group;
                ++i;
            } else {
                out += r.german[i];
            }
        }
        return out;
    }
    return text;
}

} // namespace

QString eventKindText(EventKind kind, int ID) {
    for (const KindText& k : kKinds)
        if (k.kind == kind)
            return QString::fromUtf16(ID == kEnglishOffset ? k.english : k.german);
    return eventKindName(kind);
}

std::optional<EventKind> eventKindNamed(const QString& journalName) {
    for (const KindText& k : kKinds)
        if (eventKindName(k.kind) == journalName)
            return k.kind;
    return std::nullopt;
}

QString eventKindText(const QString& journalName, int ID) {
    const std::optional<EventKind> kind = eventKindNamed(journalName);
    return kind ? eventKindText(*kind, ID) : journalName;
}

QString eventMomentText(const QDateTime& moment, int ID) {
    if (!moment.isValid())
        return QStringLiteral("---");
    return moment.toString(ID == kEnglishOffset ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                : QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString eventText(const QString& journalled, int ID) {
    return momentsIn(ID == kEnglishOffset ? journalled : german(journalled, 0), ID);
}

} // namespace korvat
