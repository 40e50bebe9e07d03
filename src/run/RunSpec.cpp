#include "run/RunSpec.h"

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
    return p;
}

RunParameters startParameters(const Settings& settings, const Inputs& inputs) {
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
    return p;
}

} // namespace korvat
