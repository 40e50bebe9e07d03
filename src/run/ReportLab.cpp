// The report's tables of what a lab signs beyond one cell: the specimens, the groups of
// replicates, the uncertainty budget, the requirement and its decision, the calibration used, and
// the items a report states (ASTM F1194, EN 16523-1) with what this run recorded of each.
#include "evaluation/GroupSummary.h"
#include "run/EventTexts.h"
#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "util/NumberText.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace korvat {

namespace {

struct Caption {
    const char16_t* german;
    const char16_t* english;
};

const Caption kSpecimenTitle{u"4.1 Proben", u"4.1 Specimens"};
const Caption kSpecimenColumns[5] = {{u"Zelle", u"Cell"},
                                     {u"Material", u"Material"},
                                     {u"Dicke (mm)", u"Thickness (mm)"},
                                     {u"Charge", u"Lot"},
                                     {u"Exponierte Fläche (cm²)", u"Exposed area (cm²)"}};
const Caption kGroupTitle{u"4.2 Gruppen gleicher Proben", u"4.2 Groups of replicates"};
const Caption kGroupColumns[13] = {{u"Gruppe", u"Group"},
                                   {u"Detektor", u"Detector"},
                                   {u"Material / Chemikalie", u"Material / chemical"},
                                   {u"Zellen", u"Cells"},
                                   {u"Kennwert", u"Statistic"},
                                   {u"Durchbruch 0,1 (min)", u"Breakthrough 0.1 (min)"},
                                   {u"Durchbruch 1,0 (min)", u"Breakthrough 1.0 (min)"},
                                   {u"Stationäre Rate (µg/cm²/min)", u"Steady-state rate (µg/cm²/min)"},
                                   {u"Kumuliert (µg/cm²)", u"Cumulative (µg/cm²)"},
                                   {u"D (cm²/s)", u"D (cm²/s)"},
                                   {u"u Durchbruch 1,0 (min)", u"u breakthrough 1.0 (min)"},
                                   {u"Stufe EN ISO 374-1", u"EN ISO 374-1 level"},
                                   {u"Entscheidung", u"Decision"}};
const Caption kStatistics[3] = {{u"Mittelwert", u"mean"}, {u"Standardabweichung", u"standard deviation"},
                                {u"Minimum", u"minimum"}};
const Caption kBudgetTitle{u"4.3 Messunsicherheit (Standardunsicherheiten, relativ zur Rate, %)",
                           u"4.3 Measurement uncertainty (standard uncertainties relative to the rate, %)"};
const Caption kBudgetColumns[5] = {{u"Zelle / Detektor", u"Cell / detector"},
                                   {u"Quelle", u"Source"},
                                   {u"bei 0,1 µg/cm²/min", u"at 0.1 µg/cm²/min"},
                                   {u"bei 1,0 µg/cm²/min", u"at 1.0 µg/cm²/min"},
                                   {u"gemeinsam für alle Zellen", u"common to every cell"}};
const Caption kCombined{u"kombiniert (k = 1)", u"combined (k = 1)"};
const Caption kExpanded{u"erweitert (k = 2)", u"expanded (k = 2)"};
const Caption kNotEstimated{u"nicht geschätzt", u"not estimated"};
const Caption kYes{u"ja", u"yes"};
const Caption kNo{u"nein", u"no"};
const Caption kTimesTitle{u"4.4 Durchbruchzeiten mit Unsicherheit", u"4.4 Breakthrough times with uncertainty"};
const Caption kTimesColumns[6] = {{u"Zelle / Detektor", u"Cell / detector"},
                                  {u"Durchbruch 0,1 (min)", u"Breakthrough 0.1 (min)"},
                                  {u"U (k = 2, min)", u"U (k = 2, min)"},
                                  {u"Durchbruch 1,0 (min)", u"Breakthrough 1.0 (min)"},
                                  {u"U (k = 2, min)", u"U (k = 2, min)"},
                                  {u"Zeitverzug-Anpassung: D (cm²/s), J_ss, Residuum",
                                   u"Time-lag fit: D (cm²/s), J_ss, residual"}};
const Caption kExtrapolated{u"extrapoliert", u"extrapolated"};
const Caption kDecisionTitle{u"4.5 Anforderung und Entscheidung", u"4.5 Requirement and decision"};
const Caption kDecisionColumns[2] = {{u"", u""}, {u"", u""}};
const Caption kRequirement{u"Anforderung", u"Requirement"};
const Caption kRule{u"Entscheidungsregel", u"Decision rule"};
const Caption kSimple{u"einfache Annahme (Messwert gegen Grenze)", u"simple acceptance (measured value against the limit)"};
const Caption kGuarded{u"geschützte Annahme (Grenze um U, k = 2, überschritten)",
                       u"guarded acceptance (limit cleared by U, k = 2)"};
const Caption kNone{u"keine", u"none"};
const Caption kCellDecision{u"Zelle %1 %2", u"Cell %1 %2"};
const Caption kGroupDecision{u"Gruppe %1 %2", u"Group %1 %2"};
const Caption kPass{u"bestanden", u"pass"};
const Caption kFail{u"nicht bestanden", u"fail"};
const Caption kNotDecidable{u"nicht entscheidbar", u"not decidable"};
const Caption kCalibrationTitle{u"4.6 Verwendete Kalibrierung", u"4.6 Calibration used"};
const Caption kCalibrationColumns[7] = {{u"Detektor", u"Detector"},
                                        {u"Nr. / Datum", u"No. / date"},
                                        {u"Punkte (ppm = Fläche)", u"Points (ppm = area)"},
                                        {u"Fläche = a · ppm + b", u"area = a · ppm + b"},
                                        {u"R²", u"R²"},
                                        {u"Wiederholbarkeit (%)", u"Repeatability (%)"},
                                        {u"Regelkarte", u"Control chart"}};
const Caption kOneLevel{u"ein Niveau: %1 ppm = Fläche %2 (ohne Verlauf)", u"one level: %1 ppm = area %2 (no history)"};
const Caption kItemsTitle{u"4.7 Angaben nach ASTM F1194 und EN 16523-1", u"4.7 Items of ASTM F1194 and EN 16523-1"};
const Caption kItemsColumns[2] = {{u"Angabe", u"Item"}, {u"In diesem Lauf", u"In this run"}};
const Caption kNotRecorded{u"nicht erfasst", u"not recorded"};
const Caption kSeeTable{u"siehe %1", u"see %1"};

QString pick(int ID, const Caption& c) { return QString::fromUtf16(ID == kEnglishOffset ? c.english : c.german); }

// The files keep the tokens ("reference gas", "in control"); the report says them in its language.
QString sourceText(int ID, UncertaintyComponent::Source source) {
    switch (source) {
    case UncertaintyComponent::Source::Curve: return pick(ID, {u"Kalibrierkurve", u"calibration curve"});
    case UncertaintyComponent::Source::ReferenceGas: return pick(ID, {u"Referenzgas", u"reference gas"});
    case UncertaintyComponent::Source::Repeatability: return pick(ID, {u"Wiederholbarkeit", u"repeatability"});
    case UncertaintyComponent::Source::Flow: return pick(ID, {u"Durchfluss", u"flow"});
    case UncertaintyComponent::Source::Area: return pick(ID, {u"exponierte Fläche", u"exposed area"});
    case UncertaintyComponent::Source::Blank: return pick(ID, {u"Blindwert", u"blank"});
    }
    return uncertaintySourceToken(source);
}

QString chartText(int ID, ControlChart::State state) {
    switch (state) {
    case ControlChart::State::None: return QStringLiteral("---");
    case ControlChart::State::NotEnoughHistory: return pick(ID, {u"zu wenig Verlauf", u"not enough history"});
    case ControlChart::State::InControl: return pick(ID, {u"unter Kontrolle", u"in control"});
    case ControlChart::State::Warning: return pick(ID, {u"Warnung", u"warning"});
    case ControlChart::State::OutOfControl: return pick(ID, {u"außer Kontrolle", u"out of control"});
    }
    return QStringLiteral("---");
}

} // namespace

void addLabTables(ReportData& d, const RunParameters& p) {
    auto T = [&d](const Caption& c) { return pick(d.ID, c); };
    auto number = [&d](std::optional<double> v, int decimals) {
        return v ? formatFixed(*v, 12, decimals, d.locale) : QStringLiteral("---");
    };
    auto captions = [&](std::span<const Caption> list) {
        QStringList out;
        for (const Caption& c : list)
            out << T(c);
        return out;
    };
    auto detectorName = [](Detector det) { return det == Detector::FID ? QStringLiteral("FID") : QStringLiteral("FPD"); };
    auto decisionText = [&](Decision dec) {
        switch (dec) {
        case Decision::Pass: return T(kPass);
        case Decision::Fail: return T(kFail);
        case Decision::NotDecidable: return T(kNotDecidable);
        case Decision::None: break;
        }
        return QStringLiteral("---");
    };

    // The specimens.
    ReportTable specimens{T(kSpecimenTitle), captions(kSpecimenColumns), {}};
    bool anySpecimen = false, anyThickness = false, anyLot = false;
    for (int k = 1; k <= 3; ++k) {
        const Specimen& sp = p.cell(k).specimen;
        anySpecimen = anySpecimen || !sp.material.isEmpty();
        anyThickness = anyThickness || sp.thicknessMm.has_value();
        anyLot = anyLot || !sp.lot.isEmpty();
        if (std::none_of(d.cells.begin(), d.cells.end(), [k](const CellSummary& c) { return c.cell == k; }))
            continue;
        specimens.rows.push_back({QString::number(k), sp.material.isEmpty() ? T(kNotRecorded) : sp.material,
                                  number(sp.thicknessMm, 3), sp.lot.isEmpty() ? T(kNotRecorded) : sp.lot,
                                  number(p.cellArea(k), 2)});
    }
    d.labTables.push_back(specimens);

    // The groups: three lines each.
    const std::vector<GroupSummary> groups = summarizeGroups(d.cells);
    if (!groups.empty()) {
        ReportTable table{T(kGroupTitle), captions(kGroupColumns), {}};
        for (const GroupSummary& g : groups) {
            const std::vector<QStringList> lines = groupLines(g, p.requirement, d.locale);
            for (std::size_t i = 0; i < lines.size() && i < 3; ++i) {
                const QStringList& f = lines[i];
                table.rows.push_back({f[kGrpGroup], f[kGrpDetector], f[kGrpMaterial] + QStringLiteral(" / ") + f[kGrpChemical],
                                      f[kGrpCells], T(kStatistics[i]), f[kGrpBt01], f[kGrpBt10], f[kGrpSteady],
                                      f[kGrpCumulative], f[kGrpDiffusivity], f[kGrpUBt10],
                                      i == 0 ? f[kGrpLevel] : QString(), i == 0 ? decisionText(g.decision) : QString()});
            }
        }
        d.labTables.push_back(table);
    }

    // The uncertainty budget of each calibrated cell and detector.
    ReportTable budget{T(kBudgetTitle), captions(kBudgetColumns), {}};
    for (const CellSummary& s : d.cells) {
        if (!s.calibrated || !s.uncertainty.known())
            continue;
        const QString which = QStringLiteral("%1 %2").arg(s.cell).arg(detectorName(s.detector));
        const std::vector<UncertaintyComponent> low = s.uncertainty.budget(kAstmThreshold);
        const std::vector<UncertaintyComponent> high = s.uncertainty.budget(kEnThreshold);
        for (std::size_t i = 0; i < low.size() && i < high.size(); ++i) {
            auto percent = [&](const UncertaintyComponent& c) {
                return c.known ? number(100 * c.relative, 2) : T(kNotEstimated);
            };
            budget.rows.push_back({which, sourceText(d.ID, low[i].source), percent(low[i]), percent(high[i]),
                                   low[i].common ? T(kYes) : T(kNo)});
        }
        budget.rows.push_back({which, T(kCombined), number(100 * s.uncertainty.relative(kAstmThreshold), 2),
                               number(100 * s.uncertainty.relative(kEnThreshold), 2), QString()});
        budget.rows.push_back({which, T(kExpanded), number(100 * kCoverage * s.uncertainty.relative(kAstmThreshold), 2),
                               number(100 * kCoverage * s.uncertainty.relative(kEnThreshold), 2), QString()});
    }
    d.labTables.push_back(budget);

    // The breakthrough times with their expanded uncertainty, and the time-lag fit.
    ReportTable times{T(kTimesTitle), captions(kTimesColumns), {}};
    for (const CellSummary& s : d.cells) {
        if (!s.calibrated)
            continue;
        auto U = [&](const std::optional<StandardUncertainty>& u) {
            return u ? number(kCoverage * u->value, 1) : QStringLiteral("---");
        };
        QString fit = QStringLiteral("---");
        if (s.fit) {
            fit = (s.fit->diffusivity ? formatExponent(*s.fit->diffusivity, 3, d.locale) : QStringLiteral("---")) +
                  QStringLiteral("; ") + number(s.fit->steadyRate, 4) + QStringLiteral("; ") + number(s.fit->residual, 4);
            if (s.fit->extrapolated)
                fit += QStringLiteral(" (") + T(kExtrapolated) + QLatin1Char(')');
        }
        times.rows.push_back({QStringLiteral("%1 %2").arg(s.cell).arg(detectorName(s.detector)),
                              number(s.metrics.bt01.interpolated, 1), U(s.uBt01), number(s.metrics.bt10.interpolated, 1),
                              U(s.uBt10), fit});
    }
    d.labTables.push_back(times);

    // The requirement and its decision.
    ReportTable decision{T(kDecisionTitle), captions(kDecisionColumns), {}};
    decision.captions = {T(kRequirement), requirementToken(p.requirement, d.locale)};
    if (p.requirement.any()) {
        decision.rows.push_back({T(kRule), p.requirement.rule == DecisionRule::Guarded ? T(kGuarded) : T(kSimple)});
        for (const CellSummary& s : d.cells)
            if (s.decision != Decision::None)
                decision.rows.push_back({T(kCellDecision).arg(s.cell).arg(detectorName(s.detector)), decisionText(s.decision)});
        for (const GroupSummary& g : groups)
            decision.rows.push_back({T(kGroupDecision).arg(g.number).arg(detectorName(g.detector)), decisionText(g.decision)});
    } else {
        decision.captions[1] = T(kNone);
    }
    d.labTables.push_back(decision);

    // The calibration used.
    ReportTable calibration{T(kCalibrationTitle), captions(kCalibrationColumns), {}};
    for (Detector det : {Detector::FID, Detector::FPD}) {
        if (det == Detector::FPD && !d.twoDetectors)
            continue;
        const CalibrationInForce& c = p.calibration(det);
        if (c.curve) {
            QStringList points;
            for (const CalibrationPoint& pt : c.curve->points)
                points << formatGeneral(pt.ppm, d.locale) + QStringLiteral(" = ") + number(pt.area, 0);
            calibration.rows.push_back(
                {detectorName(det),
                 QString::number(c.curve->number) + QStringLiteral(" / ") +
                     eventMomentText(c.curve->date, d.ID),
                 points.join(QStringLiteral(", ")),
                 number(c.curve->slope, 2) + QStringLiteral(" \u00b7 ppm ") + (c.curve->offset < 0 ? QStringLiteral("- ") : QStringLiteral("+ ")) +
                     number(std::fabs(c.curve->offset), 0),
                 number(c.curve->rSquared, 6),
                 c.repeatability ? number(100 * c.repeatability->relative, 2) : QStringLiteral("---"),
                 chartText(d.ID, c.chartState)});
        } else if (p.calibrated(det)) {
            const double ppm = det == Detector::FID ? p.fidCalPpm : p.fpdCalPpm;
            const double area = det == Detector::FID ? p.fidCalArea : p.fpdCalArea;
            calibration.rows.push_back({detectorName(det), QStringLiteral("---"),
                                        T(kOneLevel).arg(formatGeneral(ppm, d.locale)).arg(number(area, 0)),
                                        QStringLiteral("---"), QStringLiteral("---"), QStringLiteral("---"),
                                        QStringLiteral("---")});
        }
    }
    d.labTables.push_back(calibration);

    // What a report states, and what this run recorded of it.
    auto see = [&](const Caption& table) { return T(kSeeTable).arg(T(table)); };
    QString chemical;
    for (const CellSummary& s : d.cells)
        if (chemical.isEmpty())
            chemical = s.chemical;
    bool anyUncertainty = false, anySteady = false;
    for (const CellSummary& s : d.cells) {
        anyUncertainty = anyUncertainty || s.uncertainty.known();
        anySteady = anySteady || s.metrics.steady.has_value();
    }
    double longest = 0;
    for (const CellSummary& s : d.cells)
        longest = std::max(longest, s.metrics.testMinutes);
    int specimensTested = 0;
    for (const CellSummary& s : d.cells)
        if (s.detector == Detector::FID && s.calibrated && !s.series.empty())
            ++specimensTested;
    const QString notRecorded = T(kNotRecorded);
    const struct {
        Caption item;
        QString value;
    } items[] = {
        {{u"Prüfchemikalie", u"Test chemical"}, chemical.isEmpty() ? notRecorded : chemical},
        {{u"Konzentration / Reinheit der Chemikalie", u"Concentration / purity of the chemical"}, notRecorded},
        {{u"Material (Identität, Hersteller, Produkt)", u"Material (identity, manufacturer, product)"},
         anySpecimen ? see(kSpecimenTitle) : notRecorded},
        {{u"Dicke der Proben", u"Specimen thickness"}, anyThickness ? see(kSpecimenTitle) : notRecorded},
        {{u"Charge / Los", u"Lot / batch"}, anyLot ? see(kSpecimenTitle) : notRecorded},
        {{u"Konditionierung der Proben", u"Conditioning of the specimens"}, notRecorded},
        {{u"Anzahl der Proben", u"Number of specimens"}, QString::number(specimensTested)},
        {{u"Exponierte Fläche", u"Exposed area"}, see(kSpecimenTitle)},
        {{u"Prüftemperatur", u"Test temperature"}, notRecorded},
        {{u"Sammelmedium und Betriebsart", u"Collection medium and mode"}, d.ID == kEnglishOffset
                                                                               ? QStringLiteral("carrier gas, open loop")
                                                                               : QStringLiteral("Trägergas, offener Kreislauf")},
        {{u"Durchfluss des Sammelmediums", u"Flow of the collection medium"}, d.ID == kEnglishOffset
                                                                                  ? QStringLiteral("see 3. Test conditions")
                                                                                  : QStringLiteral("siehe 3. Prüfbedingungen")},
        {{u"Analytisches Verfahren", u"Analytical method"},
         d.twoDetectors ? QStringLiteral("GC-FID, GC-FPD") : QStringLiteral("GC-FID")},
        {{u"Kalibrierung", u"Calibration"}, see(kCalibrationTitle)},
        {{u"Nachweisgrenze", u"Detection limit"}, d.ID == kEnglishOffset ? QStringLiteral("see 4.") : QStringLiteral("siehe 4.")},
        {{u"Durchbruchzeiten (0,1 und 1,0 µg/cm²/min)", u"Breakthrough times (0.1 and 1.0 µg/cm²/min)"}, see(kTimesTitle)},
        {{u"Stationäre Permeationsrate", u"Steady-state permeation rate"},
         anySteady ? (d.ID == kEnglishOffset ? QStringLiteral("see 4.") : QStringLiteral("siehe 4.")) : notRecorded},
        {{u"Kumulierte Permeation", u"Cumulative permeation"}, d.ID == kEnglishOffset ? QStringLiteral("see 4.") : QStringLiteral("siehe 4.")},
        {{u"Prüfdauer", u"Test duration"}, number(longest, 1) + QStringLiteral(" min")},
        {{u"Messunsicherheit", u"Measurement uncertainty"}, anyUncertainty ? see(kBudgetTitle) : notRecorded},
        {{u"Anforderung und Entscheidungsregel", u"Requirement and decision rule"},
         p.requirement.any() ? see(kDecisionTitle) : notRecorded},
        {{u"Abweichungen vom Verfahren", u"Deviations from the method"}, notRecorded},
    };
    ReportTable table{T(kItemsTitle), captions(kItemsColumns), {}};
    for (const auto& item : items)
        table.rows.push_back({T(item.item), item.value});
    d.labTables.push_back(table);
}

} // namespace korvat
