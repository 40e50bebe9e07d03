#include "run/ReportData.h"

#include "evaluation/ResultsFileReader.h"
#include "run/EventJournal.h"
#include "run/EventTexts.h"
#include "shell/Config.h"
#include "shell/StringTable.h"
#include "util/Utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace korvat {

namespace {

// The report's own captions, German and English.
struct Caption {
    const char16_t* german;
    const char16_t* english;
};

QString pick(int ID, const Caption& c) {
    return QString::fromUtf16(ID == kEnglishOffset ? c.english : c.german);
}

const Caption kTitle{u"Prüfbericht Permeation", u"Permeation test report"};
const Caption kSections[7] = {
    {u"1. Prüfung", u"1. Test identification"},
    {u"2. Proben", u"2. Specimens"},
    {u"3. Prüfbedingungen", u"3. Test conditions"},
    {u"4. Ergebnisse je Zelle und Detektor", u"4. Results per cell and detector"},
    {u"5. Permeationskurven", u"5. Permeation curves"},
    {u"6. Ereignisse, die die Daten betreffen", u"6. Events that affect the data"},
    {u"7. Unterschriften", u"7. Signatures"},
};
const Caption kResultsFile{u"Ergebnisdatei", u"Results file"};
const Caption kSerial{u"Seriennummer des Geräts", u"Instrument serial number"};
const Caption kStart{u"Beginn", u"Start"};
const Caption kEnd{u"Ende", u"End"};
const Caption kVersion{u"Programmversion", u"Program version"};
const Caption kOperator{u"Prüfer", u"Operator"};
const Caption kSample{u"Probe Zelle %1", u"Sample cell %1"};
const Caption kChemical{u"Chemikalie", u"Chemical"};
const Caption kDescription{u"Beschreibung", u"Description"};
const Caption kArea{u"Exponierte Fläche", u"Exposed area"};
const Caption kAreaValue{u"nach Zellentyp (nicht in der Ergebnisdatei)",
                         u"by cell type (not in the results file)"};
const Caption kFlow{u"Trägergasfluss Zelle %1", u"Carrier flow cell %1"};
const Caption kCollection{u"Sammlung", u"Collection"};
const Caption kOpenLoop{u"offener Kreislauf", u"open loop"};
const Caption kCalibration{u"Kalibrierung übernommen", u"Calibration taken over"};
const Caption kNoEvents{u"keine", u"none"};
const Caption kRate{u"Rate (µg/cm²/min)", u"Rate (µg/cm²/min)"};
const Caption kTime{u"Prüfzeit (min)", u"Test time (min)"};
const Caption kLog{u"logarithmisch", u"logarithmic"};
const Caption kPageOf{u"Seite %1 von %2", u"Page %1 of %2"};
const Caption kLinear{u"linear", u"linear"};
const Caption kNotBroken{u"nicht durchgebrochen innerhalb %1 min", u"not broken through within %1 min"};
const Caption kRawMissing{u"Rohdaten: %1", u"Raw data: %1"};
const Caption kJournalBad{u"Ereignisprotokoll %1: Zeile %2 passt nicht in die Kette (%3)",
                          u"Event journal %1: line %2 does not fit the chain (%3)"};
const Caption kJournalData{u"Ereignisprotokoll %1, Zeile %2: Daten stimmen nicht mit dem Protokoll überein (%3)",
                           u"Event journal %1, line %2: the data do not match the journal (%3)"};
const Caption kLate{u"Zeile verspätet geschrieben", u"row written late"};
const Caption kSignatures[3] = {
    {u"Geprüft von", u"Tested by"}, {u"Freigegeben von", u"Approved by"}, {u"Datum", u"Date"}};
const Caption kColumns[12] = {
    {u"Zelle", u"Cell"},
    {u"Detektor", u"Detector"},
    {u"Probe", u"Sample"},
    {u"Durchbruch 0,1 erste Messung (min)", u"Breakthrough 0.1 first measurement (min)"},
    {u"Durchbruch 0,1 interpoliert (min)", u"Breakthrough 0.1 interpolated (min)"},
    {u"Durchbruch 1,0 erste Messung (min)", u"Breakthrough 1.0 first measurement (min)"},
    {u"Durchbruch 1,0 interpoliert (min)", u"Breakthrough 1.0 interpolated (min)"},
    {u"Auflösung (min)", u"Resolution (min)"},
    {u"Stufe EN ISO 374-1", u"EN ISO 374-1 level"},
    {u"Stationäre Rate (µg/cm²/min)", u"Steady-state rate (µg/cm²/min)"},
    {u"Kumuliert (µg/cm²)", u"Cumulative (µg/cm²)"},
    {u"Nachweisgrenze (µg/cm²/min)", u"Detection limit (µg/cm²/min)"},
};
const Caption kTestTime{u"Prüfzeit (min)", u"Test time (min)"};
constexpr int kColumnCount = 13;
const Caption kNotCalibrated{u"nicht kalibriert, keine Kennwerte", u"not calibrated, no figures"};
const Caption kLevelCaption{u"Stufe", u"level"};
const Caption kBeforeFirst{u"durchgebrochen vor der ersten Messung (%1 min), nicht interpoliert",
                           u"broken through before the first measurement (%1 min), not interpolated"};
const Caption kNotSeen{u"der %1 sieht die Chemikalie nicht: keine Stufe", u"the %1 does not see the chemical: no level"};
const Caption kMassBasis{u"Raten als %1", u"rates as %1"};
const Caption kIsobutaneEq{u"Isobutan-Äquivalent (keine Molmasse bekannt)", u"isobutane equivalent (no molar mass known)"};
const Caption kFpdConstant{u"%1 µg/ml je ppm (keine Molmasse bekannt)", u"%1 µg/ml per ppm (no molar mass known)"};
const Caption kFirstIntervalBlank{u"Kumulierte Permeation ab Kontakt, im ersten Intervall ab der Rate des Blindwerts "
                                  u"(µg/cm²/min; %1)",
                                  u"Cumulative permeation from the contact, in the first interval from the blank's rate "
                                  u"(µg/cm²/min; %1)"};
const Caption kFirstIntervalZero{u"Kumulierte Permeation ab Kontakt, im ersten Intervall ab Rate 0 (kein Nullgas gemessen)",
                                 u"Cumulative permeation from the contact, in the first interval from rate 0 (no zero gas "
                                 u"measured)"};

// The kinds of journal line that touched the data.
const QSet<QString> kDataEvents{QStringLiteral("line-lost"), QStringLiteral("lines-dropped"),
                                QStringLiteral("converter-timeout"), QStringLiteral("file-waiting"),
                                QStringLiteral("value-warning"), QStringLiteral("row-late"),
                                QStringLiteral("files-written"), QStringLiteral("results-file-changed"),
                                QStringLiteral("run-resumed"), QStringLiteral("run-abandoned"),
                                QStringLiteral("measurement-discarded"), QStringLiteral("run-state-damaged")};

struct JournalLine {
    QString time, kind, port, text;
    int measurement = 0;
};

std::vector<JournalLine> readJournal(const QString& path) {
    std::vector<JournalLine> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    while (!f.atEnd()) {
        const QStringList fields = QString::fromUtf8(f.readLine()).trimmed().split(QLatin1Char('\t'));
        if (fields.size() < 5)
            continue;
        JournalLine l;
        l.time = fields[0];
        l.kind = unescapeJournalField(fields[1]).value_or(fields[1]);
        l.port = unescapeJournalField(fields[2]).value_or(fields[2]);
        l.measurement = fields[3].toInt();
        l.text = unescapeJournalField(fields[4]).value_or(fields[4]);
        lines.push_back(l);
    }
    return lines;
}

// A journal line's time ("2026-12-11T10:15:03.250") as the report's language writes it; a time
// that does not read is shown as it stands.
QString journalMoment(const QString& time, int ID) {
    const QDateTime t = QDateTime::fromString(time, Qt::ISODateWithMs);
    return t.isValid() ? eventMomentText(t, ID) : time;
}

// The header block of the run as its lines, read as the program writes them (Windows-1252; the
// block's characters are all in Latin-1's range).
QStringList headerBlock(const QString& path, const ResultsRun& run) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList all =
        QString::fromLatin1(f.readAll()).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    const int first = run.headerLine - 1;
    const int last = run.firstLine > 0 ? run.firstLine - 2 : int(all.size()) - 1; // without the titles
    return all.mid(first, std::max(0, last - first));
}

QString joinValues(const QStringList& fields, int from) {
    QStringList parts;
    for (int i = from; i < fields.size(); ++i) {
        QString s = fields[i].trimmed();
        if (s.endsWith(QLatin1Char(':')))
            s.chop(1);
        if (!s.isEmpty())
            parts << s;
    }
    return parts.join(QStringLiteral("  "));
}

} // namespace

QString eventJournalPathFor(const QString& resultsPath) {
    return findBesideRun(resultsPath, 1, QStringLiteral("_events.log"));
}

ReportData gatherReportData(const QString& resultsPath, int ID) {
    ReportData d;
    d.ID = ID == kEnglishOffset ? kEnglishOffset : kGermanOffset;
    d.locale = d.ID == kEnglishOffset ? QLocale::c() : QLocale(QLocale::German, QLocale::Germany);
    d.locale.setNumberOptions(QLocale::OmitGroupSeparator);
    auto T = [&d](const Caption& c) { return pick(d.ID, c); };

    ResultsFileRead read = readResultsFile(resultsPath);
    if (!read.ok) {
        d.error = read.error;
        return d;
    }
    ResultsRun& run = read.runs.back();
    if (run.rows.empty()) {
        d.error = resultsPath + (d.ID == kEnglishOffset ? QStringLiteral(": the run holds no rows")
                                                        : QStringLiteral(": der Lauf enthält keine Zeilen"));
        return d;
    }
    d.twoDetectors = run.deviceTyp == TDeviceTyp::FIDFPD;
    d.fileRun = run.fileRun;
    // The smallest findable peak counts the baseline noise of the cells' windows, which only the
    // raw-data files beside the results still hold.
    {
        QStringList notes;
        attachRawDataNoise(run, resultsPath, run.parameters.detection.value_or(DetectionSettings{}), &notes);
        for (const QString& n : std::as_const(notes))
            d.notes << T(kRawMissing).arg(n);
        std::vector<const ResultRow*> rows;
        for (const ResultRow& r : run.rows)
            rows.push_back(&r);
        d.cells = summarizeCells(rows, run.parameters, d.twoDetectors, DetectionSettings{});
    }
    // A detector gets its page of curves when one of its cells has figures; an uncalibrated one has
    // nothing but zeros to show.
    for (Detector det : {Detector::FID, Detector::FPD}) {
        if (det == Detector::FPD && !d.twoDetectors)
            continue;
        if (std::any_of(d.cells.begin(), d.cells.end(),
                        [det](const CellSummary& c) { return c.detector == det && c.calibrated; }))
            d.chartDetectors.push_back(det);
    }

    const QStringList header = headerBlock(resultsPath, run);
    const std::vector<JournalLine> journal = readJournal(eventJournalPathFor(resultsPath));
    if (QFile::exists(eventJournalPathFor(resultsPath))) {
        const JournalCheck check = verifyJournal(eventJournalPathFor(resultsPath));
        if (check.firstBadLine > 0)
            d.notes << T(kJournalBad).arg(eventJournalPathFor(resultsPath)).arg(check.firstBadLine).arg(check.reason);
        for (const JournalMismatch& m : verifyJournalData(eventJournalPathFor(resultsPath)))
            d.notes << T(kJournalData).arg(eventJournalPathFor(resultsPath)).arg(m.line).arg(m.text);
    }

    d.title = T(kTitle);
    for (const Caption& c : kSections)
        d.sectionTitles << T(c);

    // 1. Identification.
    QString serial;
    if (!header.isEmpty()) {
        const QStringList f = header[0].split(QLatin1Char(';'));
        if (f.size() >= 5)
            serial = f[4].section(QLatin1Char(':'), 1).trimmed();
    }
    QDateTime end;
    for (const ResultRow& r : run.rows)
        if (r.moment.isValid() && (!end.isValid() || r.moment > end))
            end = r.moment;
    const QDateTime start = run.rows.front().moment.isValid()
                                ? run.rows.front().moment.addMSecs(-run.rows.front().elapsedMs)
                                : QDateTime();
    auto moment = [&d](const QDateTime& t) { return eventMomentText(t, d.ID); };
    d.identification = {{T(kResultsFile), QFileInfo(resultsPath).absoluteFilePath()},
                        {T(kSerial), serial.isEmpty() ? QStringLiteral("---") : serial},
                        {T(kStart), moment(start)},
                        {T(kEnd), moment(end)},
                        {T(kOperator), run.parameters.operatorName.isEmpty() ? QStringLiteral("---")
                                                                             : run.parameters.operatorName},
                        {T(kVersion), QStringLiteral("korvat ") + GetVersionString()}};

    // 2. Specimens: the names of the sample cells (the last row of each gives it).
    QString chemical;
    for (const CellSummary& s : d.cells) {
        if (s.detector != Detector::FID)
            continue;
        d.specimens.push_back({T(kSample).arg(s.cell), s.sampleName});
        if (chemical.isEmpty())
            chemical = s.chemical;
    }
    d.specimens.push_back({T(kChemical), chemical});
    const int descriptionAt = int(header.size()) - 5;
    QStringList description;
    for (int i = std::max(0, descriptionAt); i < header.size(); ++i) {
        const QString line = header[i].trimmed();
        // The memo's designed text ("Zeile 1" to "Zeile 5", each on its own line) left as it was
        // describes nothing.
        const bool designed = line == QStringLiteral("Zeile %1").arg(i - descriptionAt + 1);
        if (!line.isEmpty() && !designed)
            description << line;
    }
    d.specimens.push_back({T(kDescription), description.join(QLatin1Char('\n'))});
    d.specimens.push_back({T(kArea), T(kAreaValue)});

    // 3. Conditions: the header's set and actual values, calibration and times as the file has them.
    for (int i = 1; i < std::max(1, descriptionAt - 1); ++i) {
        const QStringList f = header[i].split(QLatin1Char(';'));
        QString caption = f[0].trimmed();
        QString value = joinValues(f, 1);
        if (caption.contains(QLatin1Char(':')) && value.isEmpty()) { // "Startzelle:1"
            value = caption.section(QLatin1Char(':'), 1).trimmed();
            caption = caption.section(QLatin1Char(':'), 0, 0);
        }
        if (caption.endsWith(QLatin1Char(':')))
            caption.chop(1);
        d.conditions.push_back({caption, value});
    }
    for (const CellSummary& s : d.cells) {
        if (s.detector != Detector::FID)
            continue;
        double flow = 0;
        for (const ResultRow& r : run.rows)
            if (r.runZelle - 3 == s.cell)
                flow = r.Flow;
        d.conditions.push_back({T(kFlow).arg(s.cell), d.locale.toString(flow, 'f', 1) + QStringLiteral(" ml/min")});
    }
    d.conditions.push_back({T(kCollection), T(kOpenLoop)});
    for (const JournalLine& l : journal)
        if (l.kind == QLatin1String("calibration"))
            d.conditions.push_back({T(kCalibration), journalMoment(l.time, d.ID) + QStringLiteral("  ") + eventText(l.text, d.ID)});

    // 4. Results.
    for (const Caption& c : kColumns)
        d.resultCaptions << T(c);
    d.resultCaptions << T(kTestTime);
    QStringList firstIntervals;
    bool blankMeasured = false;
    for (const CellSummary& s : d.cells) {
        const QStringList f = summaryFields(s, d.locale);
        const QString which = QStringLiteral("%1 %2 %3: ").arg(T(kColumns[0]), f[kSumCell], f[kSumDetector]);
        const QString none = QStringLiteral("---");
        if (!s.calibrated) {
            d.remarks << which + T(kNotCalibrated);
            QStringList row{f[kSumCell], f[kSumDetector], f[kSumSample]};
            while (row.size() < kColumnCount)
                row << none;
            row[8] = T(kNotCalibrated);
            d.results.push_back(row);
            continue;
        }
        const CellMetrics& m = s.metrics;
        // A threshold not reached: "> T" in its columns, and the whole sentence below the table.
        // A crossing before the first measurement is the bracket "≤ first", never a time.
        auto first = [&](int i) { return f[i].isEmpty() ? QStringLiteral("> ") + f[kSumDuration] : f[i]; };
        auto crossing = [&](const Breakthrough& b, int i) {
            if (!f[i].isEmpty())
                return f[i];
            if (b.first)
                return QStringLiteral("\u2264 ") + d.locale.toString(*b.first, 'f', 1);
            return QStringLiteral("> ") + f[kSumDuration];
        };
        if (!m.bt10.first) {
            const double within = m.level.kind == PerformanceLevel::Kind::AtLeast ? m.level.boundMinutes : m.testMinutes;
            QString text = which + T(kNotBroken).arg(d.locale.toString(within, 'f', 1));
            if (m.level.kind == PerformanceLevel::Kind::AtLeast)
                text += QStringLiteral(" (") + T(kLevelCaption) + QLatin1Char(' ') + performanceLevelText(m.level) +
                        QLatin1Char(')');
            d.remarks << text;
        } else if (!m.bt10.interpolated) {
            d.remarks << which + T(kBeforeFirst).arg(d.locale.toString(*m.bt10.first, 'f', 1));
        }
        if (!s.seesChemical)
            d.remarks << which + T(kNotSeen).arg(f[kSumDetector]);
        // A molar mass known is in the conditions (the header's cell lines); its absence is said here.
        if (!s.molarMass)
            d.remarks << which + T(kMassBasis).arg(s.detector == Detector::FID
                                                       ? T(kIsobutaneEq)
                                                       : T(kFpdConstant).arg(d.locale.toString(kFpdMassPerPpm, 'f', 5)));
        if (m.measurements > 0)
            firstIntervals << QStringLiteral("%1 %2 %3").arg(T(kColumns[0]), f[kSumCell], f[kSumDetector]) +
                                  (s.blankMeasured ? QStringLiteral(": ") + d.locale.toString(m.contactRate, 'f', 4)
                                                   : QString());
        blankMeasured = blankMeasured || s.blankMeasured;
        const QString level = performanceLevelText(m.level);
        d.results.push_back({f[kSumCell], f[kSumDetector], f[kSumSample], first(kSumBt01First), crossing(m.bt01, kSumBt01),
                             first(kSumBt10First), crossing(m.bt10, kSumBt10), f[kSumResolution],
                             level.isEmpty() ? none : level, f[kSumSteady].isEmpty() ? none : f[kSumSteady],
                             f[kSumCumulative], f[kSumMdpr].isEmpty() ? none : f[kSumMdpr], f[kSumDuration]});
    }

    // How the cumulative permeation's first interval was taken, once for all cells.
    if (!firstIntervals.isEmpty())
        d.remarks << (blankMeasured ? T(kFirstIntervalBlank).arg(firstIntervals.join(QStringLiteral(", ")))
                                    : T(kFirstIntervalZero));

    addLabTables(d, run.parameters);

    // 6. Events.
    for (const JournalLine& l : journal)
        if (kDataEvents.contains(l.kind))
            d.events << QStringList{journalMoment(l.time, d.ID), eventKindText(l.kind, d.ID), l.port,
                                    l.measurement > 0 ? QString::number(l.measurement) : QString(),
                                    eventText(l.text, d.ID)}
                            .join(QStringLiteral("  "))
                            .simplified();

    d.noEvents = T(kNoEvents);
    d.chartRate = T(kRate);
    d.chartTime = T(kTime);
    d.chartLog = T(kLog);
    d.pageOf = T(kPageOf);
    for (auto [field, limit] : {std::pair{&d.limitLow, kAstmThreshold}, std::pair{&d.limitHigh, kEnThreshold}})
        *field = d.locale.toString(limit, 'f', 1) + QStringLiteral(" \u00b5g/cm\u00b2/min");
    d.chartLinear = T(kLinear);
    d.fidCaption = QStringLiteral("FID");
    d.fpdCaption = QStringLiteral("FPD");
    for (const Caption& c : kSignatures)
        d.signatures << T(c);
    (void)kLate;
    d.ok = true;
    return d;
}

} // namespace korvat
