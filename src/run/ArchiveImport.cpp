#include "run/ArchiveImport.h"

#include "evaluation/CellSummary.h"
#include "evaluation/PermeationMetrics.h"
#include "evaluation/Requirement.h"
#include "evaluation/ResultsFileReader.h"
#include "shell/StringTable.h"
#include "util/CodePage.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace korvat {

namespace {

// Names the archive's derived ids: a fixed namespace, so every program derives the same.
const QUuid kIdNamespace(QStringLiteral("{6f1c2a8e-4b7d-5e90-a3c1-2d8f4e6b9a05}"));

// The instrument's serial number from the header block's first line ("Gerät:SN…" / "Device:SN…").
QString serialOf(const QByteArray& bytes, int headerLine) {
    if (headerLine <= 0)
        return {};
    const QList<QByteArray> lines = bytes.split('\n');
    if (headerLine > lines.size())
        return {};
    const QString line = fromCp1252(lines[headerLine - 1]).trimmed();
    for (int id : {kGermanOffset, kEnglishOffset}) {
        const QString label = LoadLangText(id, 121) + QLatin1Char(':');
        for (const QString& field : line.split(QLatin1Char(';')))
            if (field.startsWith(label))
                return field.mid(label.size()).trimmed();
    }
    return {};
}

ExportRecord recordOfRow(const ResultRow& r, const RunParameters& p, bool twoDetectors) {
    ExportRecord e;
    e.measurement = r.runAktiv;
    e.moment = r.moment;
    e.elapsedMinutes = double(r.elapsedMs) / 60000.0;
    e.position = r.runZelle;
    if (r.runZelle >= 4 && r.runZelle <= 6) {
        const int k = r.runZelle - 3;
        e.cell = k;
        e.material = p.cell(k).specimen.material;
        e.lot = p.cell(k).specimen.lot;
        e.thicknessMm = p.cell(k).specimen.thicknessMm;
        e.areaCm2 = p.cellArea(k);
    }
    e.sampleName = r.sampleName;
    e.chemical = r.sChemikalie;
    e.detector = twoDetectors ? QStringLiteral("FID+FPD") : QStringLiteral("FID");
    e.flow = r.Flow;
    e.fidArea = r.FIDArea;
    e.fidPpm = r.FIDppm;
    e.fidRate = r.FIDMessMenge;
    if (twoDetectors) {
        e.fpdArea = r.FPDArea;
        e.fpdRate = r.FPDMessMenge;
    }
    // The results file says no more: a "*" row that is no measurement is a switched-off cell's turn.
    e.switchedOff = r.marker == QLatin1Char('*') && !isMeasurement(r, Detector::FID);
    e.noPeak = r.FIDArea == 0 && !e.switchedOff;
    return e;
}

} // namespace

ArchivedCell archivedCellOf(const CellSummary& s) {
    ArchivedCell c;
    c.cell = s.cell;
    c.detector = s.detector == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD");
    c.sample = s.sampleName;
    c.material = s.specimen.material;
    c.lot = s.specimen.lot;
    c.chemical = s.chemical;
    c.thicknessMm = s.specimen.thicknessMm;
    c.areaCm2 = s.area;
    c.molarMass = s.molarMass;
    c.contactMinutes = s.contactMinutes;
    c.calibrated = s.calibrated;
    c.bt01Minutes = s.metrics.bt01.interpolated;
    c.bt10Minutes = s.metrics.bt10.interpolated;
    c.brokeThrough = s.metrics.level.brokeThrough() || s.metrics.bt10.first.has_value();
    c.heldMinutes = s.heldMinutes;
    c.level = performanceLevelText(s.metrics.level, true);
    c.levelLowest = s.metrics.level.lowest;
    c.levelHighest = s.metrics.level.highest;
    if (s.metrics.steady)
        c.steadyRate = s.metrics.steady->rate;
    c.cumulative = s.metrics.cumulative;
    c.measurements = s.metrics.measurements;
    c.decision = decisionToken(s.decision);
    return c;
}

ImportedFile archivedTestsOf(const QString& resultsFile) {
    ImportedFile out;
    QFile file(resultsFile);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = QStringLiteral("%1: %2").arg(resultsFile, file.errorString());
        return out;
    }
    const QByteArray bytes = file.readAll();
    const ResultsFileRead read = parseResultsFile(resultsFile, bytes);
    if (!read.ok) {
        out.error = read.error;
        return out;
    }
    const QString absolute = QFileInfo(resultsFile).absoluteFilePath();
    for (const ResultsRun& run : read.runs) {
        if (run.rows.empty())
            continue;
        const bool two = run.deviceTyp == TDeviceTyp::FIDFPD;
        ArchivedTest t;
        t.resultsFile = absolute;
        t.fileRun = run.fileRun;
        t.instrument = serialOf(bytes, run.headerLine);
        t.detector = two ? QStringLiteral("FID+FPD") : QStringLiteral("FID");
        t.measuringSeconds = run.parameters.measuringSeconds > 0 ? run.parameters.measuringSeconds : run.measuringSeconds;
        t.plannedMinutes = run.parameters.plannedMinutes;
        t.sampleArea = run.parameters.sampleArea;
        t.fidCalPpm = run.parameters.fidCalPpm;
        t.fidCalArea = run.parameters.fidCalArea;
        t.fpdCalPpm = run.parameters.fpdCalPpm;
        t.fpdCalArea = run.parameters.fpdCalArea;
        t.requirement = requirementToken(run.parameters.requirement);
        t.source = QStringLiteral("import");
        const ResultRow& first = run.rows.front();
        t.started = first.moment.addMSecs(-first.elapsedMs);

        // The export, when the run wrote one, is the better record of the measurements.
        const QString exportPath = exportFileName(absolute, run.fileRun);
        if (QFileInfo::exists(exportPath)) {
            QFile e(exportPath);
            if (!e.open(QIODevice::ReadOnly)) {
                out.error = QStringLiteral("%1: %2").arg(exportPath, e.errorString());
                return out;
            }
            ExportRead exported = readExport(e.readAll());
            if (!exported.ok) {
                out.error = QStringLiteral("%1: %2").arg(exportPath, exported.error);
                return out;
            }
            t.measurements = std::move(exported.records);
        }
        if (!t.measurements.empty()) {
            t.testId = t.measurements.front().testId;
            if (t.instrument.isEmpty())
                t.instrument = t.measurements.front().instrument;
            for (const ExportRecord& r : t.measurements)
                if (r.testId != t.testId) {
                    out.error = QStringLiteral("%1: measurement %2 belongs to test %3, the file's first to %4")
                                    .arg(exportPath)
                                    .arg(r.measurement)
                                    .arg(r.testId, t.testId);
                    return out;
                }
        } else {
            t.testId = QUuid::createUuidV5(kIdNamespace, QStringLiteral("%1|%2|%3|%4")
                                                              .arg(t.instrument, t.started.toUTC().toString(Qt::ISODate),
                                                                   QFileInfo(resultsFile).fileName())
                                                              .arg(run.fileRun))
                           .toString(QUuid::WithoutBraces);
            for (const ResultRow& r : run.rows) {
                ExportRecord e = recordOfRow(r, run.parameters, two);
                e.testId = t.testId;
                e.instrument = t.instrument;
                t.measurements.push_back(std::move(e));
            }
        }

        std::vector<const ResultRow*> rows;
        rows.reserve(run.rows.size());
        for (const ResultRow& r : run.rows)
            rows.push_back(&r);
        const std::vector<CellSummary> summaries =
            summarizeCells(rows, run.parameters, two, run.parameters.detection.value_or(DetectionSettings{}));
        for (const CellSummary& s : summaries)
            t.cells.push_back(archivedCellOf(s));
        out.tests.push_back(std::move(t));
    }
    out.ok = true;
    return out;
}

} // namespace korvat
