#include "run/RunSpec.h"

#include "run/CalibrationStore.h"
#include "run/Inputs.h"
#include "util/NumberText.h"

#include <cmath>

namespace korvat {

namespace {
std::optional<double> known(double molarMass) {
    return molarMass > 0 ? std::optional<double>(molarMass) : std::nullopt;
}
} // namespace

RunParameters runParametersOf(const Settings& s) {
    RunParameters p;
    p.known = true;
    p.measuringSeconds = s.Messzeit;
    p.plannedMinutes = s.PlannedDuration;
    p.sampleArea = s.SampleArea;
    p.fidCalPpm = s.FIDCALMenge;
    p.fidCalFactor = s.FIDCalFactor;
    p.fidCalArea = s.FIDCalArea;
    p.fpdCalPpm = s.FPDCalMenge;
    p.fpdCalFactor = s.FPDCalFactor;
    p.fpdCalArea = s.FPDCalArea;
    p.detection = DetectionSettings::from(s);
    const struct {
        const QString& chemical;
        double fidFactor, fidMass;
        const QString& fpdSubstance;
        double fpdFactor, fpdMass, contact;
    } cells[] = {
        {s.FIDSampleFactorName1, s.FIDFactor1, s.FIDMolarMass1, s.FPDSampleFactorName1, s.FPDFactor1, s.FPDMolarMass1,
         s.ContactBeforeStart1},
        {s.FIDSampleFactorName2, s.FIDFactor2, s.FIDMolarMass2, s.FPDSampleFactorName2, s.FPDFactor2, s.FPDMolarMass2,
         s.ContactBeforeStart2},
        {s.FIDSampleFactorName3, s.FIDFactor3, s.FIDMolarMass3, s.FPDSampleFactorName3, s.FPDFactor3, s.FPDMolarMass3,
         s.ContactBeforeStart3},
    };
    for (std::size_t k = 0; k < 3; ++k) {
        CellParameters& c = p.cells[k];
        c.chemical = cells[k].chemical;
        c.fidFactor = cells[k].fidFactor;
        c.molarMass = known(cells[k].fidMass);
        c.fpdSubstance = cells[k].fpdSubstance;
        c.fpdFactor = cells[k].fpdFactor;
        c.fpdMolarMass = known(cells[k].fpdMass);
        c.contactMinutes = cells[k].contact;
        c.fpdSeesChemical = sameSubstance(c.fpdSubstance, c.chemical);
    }
    const struct {
        const QString& material;
        const QString& lot;
        double thickness, area;
    } specimens[] = {{s.Material1, s.Lot1, s.Thickness1, s.ExposedArea1},
                     {s.Material2, s.Lot2, s.Thickness2, s.ExposedArea2},
                     {s.Material3, s.Lot3, s.Thickness3, s.ExposedArea3}};
    for (std::size_t k = 0; k < 3; ++k) {
        Specimen& sp = p.cells[k].specimen;
        sp.material = specimens[k].material.simplified();
        sp.lot = specimens[k].lot.simplified();
        sp.thicknessMm = known(specimens[k].thickness);
        sp.areaCm2 = known(specimens[k].area);
    }
    p.uncertainty = UncertaintySettings{s.FlowTolerance, s.AreaTolerance, s.ReferenceGasUncertainty};
    // A requirement the settings file words otherwise is none (Start says so).
    p.requirement = requirementFromToken(s.Requirement).value_or(Requirement{});
    p.requirement.rule = decisionRuleFromToken(s.DecisionRule).value_or(DecisionRule::Simple);
    p.operatorName = s.Operator.simplified();
    return p;
}

std::optional<std::optional<double>> specimenNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::optional<double>();
    const auto v = parseFloat(t);
    if (!v || !std::isfinite(*v) || !(*v > 0))
        return std::nullopt;
    return std::optional<double>(*v);
}

RunParameters startParameters(const Settings& settings, const Inputs& inputs, const CalibrationStore& calibrations) {
    RunParameters p = runParametersOf(settings);
    const Input fid[] = {Input::FIDFactor1, Input::FIDFactor2, Input::FIDFactor3};
    const Input fpd[] = {Input::FPDFactor1, Input::FPDFactor2, Input::FPDFactor3};
    const Input contact[] = {Input::Contact1, Input::Contact2, Input::Contact3};
    for (std::size_t k = 0; k < 3; ++k) {
        CellParameters& c = p.cells[k];
        // A contact typed but not yet taken over: Start would take it.
        const QString typed = inputs.text(contact[k]).trimmed();
        if (typed.isEmpty())
            c.contactMinutes = 0;
        else if (const auto v = parseFloat(typed); v && std::isfinite(*v))
            c.contactMinutes = *v;
        c.chemical = inputs.label(fid[k]);
        c.fpdSubstance = inputs.label(fpd[k]);
        c.fpdSeesChemical = sameSubstance(c.fpdSubstance, c.chemical);
    }
    // The specimens as typed; a number that does not read keeps what the settings hold (Start
    // refuses it before it gets here).
    const Input material[] = {Input::Material1, Input::Material2, Input::Material3};
    const Input lot[] = {Input::Lot1, Input::Lot2, Input::Lot3};
    const Input thickness[] = {Input::Thickness1, Input::Thickness2, Input::Thickness3};
    const Input area[] = {Input::Area1, Input::Area2, Input::Area3};
    for (std::size_t k = 0; k < 3; ++k) {
        Specimen& sp = p.cells[k].specimen;
        sp.material = inputs.text(material[k]).simplified();
        sp.lot = inputs.text(lot[k]).simplified();
        if (const auto v = specimenNumber(inputs.text(thickness[k])))
            sp.thicknessMm = *v;
        if (const auto v = specimenNumber(inputs.text(area[k])))
            sp.areaCm2 = *v;
    }
    p.operatorName = inputs.text(Input::Operator).simplified();
    p.calibration(Detector::FID) = calibrations.inForce(Detector::FID, settings.FIDCalArea, settings.FIDCALMenge);
    p.calibration(Detector::FPD) = calibrations.inForce(Detector::FPD, settings.FPDCalArea, settings.FPDCalMenge);
    return p;
}

} // namespace korvat
