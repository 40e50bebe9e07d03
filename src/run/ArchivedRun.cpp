#include "run/ArchivedRun.h"

#include "evaluation/Requirement.h"
#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <QFileInfo>
#include <cmath>
#include <map>

namespace korvat {

namespace {

const ArchivedCell* archivedCell(const ArchivedTest& t, int cell, const QString& detector) {
    for (const ArchivedCell& c : t.cells)
        if (c.cell == cell && c.detector == detector)
            return &c;
    return nullptr;
}

struct Caption {
    const char16_t* german;
    const char16_t* english;
};
QString pick(int ID, const Caption& c) { return QString::fromUtf16(ID == kEnglishOffset ? c.english : c.german); }

const Caption kTestId{u"Test-ID im Archiv", u"Test id in the archive"};
const Caption kMeasuring{u"Messzeit pro Zelle", u"Time per cell"};
const Caption kPlanned{u"Geplante Prüfdauer", u"Planned test duration"};
const Caption kSampleArea{u"Probenfläche", u"Sample area"};
const Caption kCalibration{u"Kalibrierung %1", u"Calibration %1"};
const Caption kRequirement{u"Anforderung", u"Requirement"};
const Caption kContact{u"Kontakt vor dem Start Zelle %1", u"Contact before the start cell %1"};
const Caption kMeasurement{u"Messung", u"measurement"};
const Caption kEventDuring{u"Ereignis während der Messung", u"event during the measurement"};
const Caption kFromArchive{u"Aus dem Archiv: ohne Ereignisprotokoll, Kalibrierkurve und Rohdaten; die Nachweisgrenze "
                           u"aus dem kleinsten auffindbaren Peak",
                           u"From the archive: without event journal, calibration curve and raw data; the detection "
                           u"limit from the smallest findable peak"};

} // namespace

RunParameters parametersOf(const ArchivedTest& t) {
    RunParameters p;
    p.known = true;
    p.measuringSeconds = t.measuringSeconds;
    p.plannedMinutes = t.plannedMinutes > 0 ? t.plannedMinutes : p.plannedMinutes;
    p.sampleArea = t.sampleArea;
    p.fidCalPpm = t.fidCalPpm;
    p.fidCalArea = static_cast<int>(t.fidCalArea);
    p.fpdCalPpm = t.fpdCalPpm;
    p.fpdCalArea = static_cast<int>(t.fpdCalArea);
    p.requirement = requirementFromToken(t.requirement).value_or(Requirement{});
    for (int k = 1; k <= 3; ++k) {
        CellParameters& cp = p.cells[std::size_t(k - 1)];
        if (const ArchivedCell* c = archivedCell(t, k, QStringLiteral("FID"))) {
            cp.chemical = c->chemical;
            cp.molarMass = c->molarMass;
            cp.contactMinutes = c->contactMinutes;
            cp.specimen = Specimen{c->material, c->lot, c->thicknessMm, c->areaCm2};
        }
        if (const ArchivedCell* c = archivedCell(t, k, QStringLiteral("FPD"))) {
            cp.fpdMolarMass = c->molarMass;
            // A calibrated FPD that measured the cell and still gives no level does not see its
            // chemical: the only way a cell with measurements ends without one.
            cp.fpdSeesChemical = !(c->calibrated && c->measurements > 0 && c->level.isEmpty());
        }
    }
    return p;
}

std::vector<ResultRow> rowsOf(const ArchivedTest& t) {
    std::vector<ResultRow> rows;
    rows.reserve(t.measurements.size());
    for (const ExportRecord& e : t.measurements) {
        ResultRow r;
        r.runZelle = e.position;
        // As the results file marks them: a switched-off turn (its zeros are no measurement) and a
        // breakthrough (a detector whose values were not kept then records zeros too).
        r.marker = e.switchedOff || e.breakthrough ? QLatin1Char('*') : QLatin1Char(' ');
        r.sChemikalie = e.chemical;
        r.Flow = e.flow;
        r.elapsedMs = std::llround(e.elapsedMinutes * 60000.0);
        r.FIDppm = e.fidPpm;
        r.FIDMessMenge = e.fidRate;
        r.FIDArea = e.fidArea;
        r.FPDMessMenge = e.fpdRate.value_or(0);
        r.FPDArea = e.fpdArea.value_or(0);
        r.sampleName = e.sampleName;
        r.moment = e.moment;
        r.runAktiv = e.measurement;
        r.flagged = e.event;
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<CellSummary> summariesOf(const ArchivedTest& t) {
    const std::vector<ResultRow> rows = rowsOf(t);
    std::vector<const ResultRow*> pointers;
    pointers.reserve(rows.size());
    for (const ResultRow& r : rows)
        pointers.push_back(&r);
    return summarizeCells(pointers, parametersOf(t), t.detector == QLatin1String("FID+FPD"), DetectionSettings{});
}

QString testNameOf(const QString& resultsFile, int fileRun) {
    // The folder may be another PC's, in either kind of path.
    QString name = resultsFile.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    if (name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        name.chop(4);
    return fileRun > 1 ? QStringLiteral("%1 #%2").arg(name).arg(fileRun) : name;
}

QString overlayLabelOf(const ArchivedTest& t) {
    QStringList materials;
    for (const ArchivedCell& c : t.cells)
        if (c.detector == QLatin1String("FID") && !c.material.isEmpty() && !materials.contains(c.material))
            materials << c.material;
    const QString name = testNameOf(t.resultsFile, t.fileRun);
    return materials.isEmpty() ? name : name + QStringLiteral(": ") + materials.join(QStringLiteral(", "));
}

std::vector<OverlayCurve> overlayCurves(const std::vector<ArchivedTest>& tests) {
    std::vector<OverlayCurve> out;
    for (std::size_t i = 0; i < tests.size(); ++i) {
        const QString label = overlayLabelOf(tests[i]);
        for (const CellSummary& s : summariesOf(tests[i])) {
            if (s.detector != Detector::FID || !s.calibrated || s.series.empty())
                continue;
            out.push_back(OverlayCurve{int(i), s.cell, label, s.series});
        }
    }
    return out;
}

ReportData archivedReportData(const ArchivedTest& t, int ID) {
    ReportData d;
    startReport(d, ID);
    auto T = [&d](const Caption& c) { return pick(d.ID, c); };
    if (t.measurements.empty()) {
        d.error = t.testId + (d.ID == kEnglishOffset ? QStringLiteral(": the test holds no measurements")
                                                      : QStringLiteral(": der Test enthält keine Messungen"));
        return d;
    }
    d.twoDetectors = t.detector == QLatin1String("FID+FPD");
    d.fileRun = t.fileRun;
    d.cells = summariesOf(t);
    const RunParameters p = parametersOf(t);

    QDateTime end;
    for (const ExportRecord& r : t.measurements)
        if (r.moment.isValid() && (!end.isValid() || r.moment > end))
            end = r.moment;
    // The archive keeps no operator: the report says "---" as for a file that names none.
    addIdentification(d, t.resultsFile, t.instrument, t.started, end, QString());
    d.identification.push_back({T(kTestId), t.testId});
    addSpecimenNames(d);

    const QString none = QStringLiteral("---");
    d.conditions.push_back({T(kMeasuring), QStringLiteral("%1 s").arg(t.measuringSeconds)});
    d.conditions.push_back({T(kPlanned), formatFixed(p.plannedMinutes, 12, 0, d.locale) + QStringLiteral(" min")});
    d.conditions.push_back(
        {T(kSampleArea), t.sampleArea ? formatFixed(*t.sampleArea, 12, 2, d.locale) + QStringLiteral(" cm²") : none});
    d.conditions.push_back({T(kCalibration).arg(QStringLiteral("FID")),
                            QStringLiteral("%1 ppm = %2").arg(formatGeneral(t.fidCalPpm, d.locale)).arg(t.fidCalArea)});
    if (d.twoDetectors)
        d.conditions.push_back({T(kCalibration).arg(QStringLiteral("FPD")),
                                QStringLiteral("%1 ppm = %2").arg(formatGeneral(t.fpdCalPpm, d.locale)).arg(t.fpdCalArea)});
    for (const CellSummary& s : d.cells)
        if (s.detector == Detector::FID && s.contactMinutes != 0)
            d.conditions.push_back({T(kContact).arg(s.cell), formatGeneral(s.contactMinutes, d.locale) + QStringLiteral(" min")});
    if (p.requirement.any())
        d.conditions.push_back({T(kRequirement), requirementToken(p.requirement, d.locale)});
    std::map<int, double> flows;
    for (const ExportRecord& r : t.measurements)
        if (r.cell)
            flows[*r.cell] = r.flow;
    addCellConditions(d, [&flows](int cell) { return flows.count(cell) ? flows.at(cell) : 0.0; });

    addResults(d);
    addLabTables(d, p);
    // The journal stays with the results file; the archive knows which measurements an event touched.
    for (const ExportRecord& r : t.measurements)
        if (r.event)
            d.events << QStringLiteral("%1  %2 %3  %4")
                            .arg(r.moment.isValid() ? d.locale.toString(r.moment, QStringLiteral("yyyy-MM-dd HH:mm:ss")) : none,
                                 T(kMeasurement))
                            .arg(r.measurement)
                            .arg(T(kEventDuring));
    d.notes << T(kFromArchive);
    d.ok = true;
    return d;
}

} // namespace korvat
