// The handlers of the specimens' window and of the calibration window: what the operator enters
// about each cell's specimen, the run's requirement and its decision rule, and the choice of the
// calibration's points.
#include "app/KorvatApp.h"

#include "app/SubstanceFactors.h"

#include "evaluation/Requirement.h"
#include "run/RunSpec.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

namespace {

struct SpecimenField {
    Input input;
    const IniKey& key;
    QString Settings::*text = nullptr;
    double Settings::*number = nullptr;
};

const SpecimenField kSpecimenFields[] = {
    {Input::Material1, key::Material1, &Settings::Material1, nullptr},
    {Input::Material2, key::Material2, &Settings::Material2, nullptr},
    {Input::Material3, key::Material3, &Settings::Material3, nullptr},
    {Input::Lot1, key::Lot1, &Settings::Lot1, nullptr},
    {Input::Lot2, key::Lot2, &Settings::Lot2, nullptr},
    {Input::Lot3, key::Lot3, &Settings::Lot3, nullptr},
    {Input::Operator, key::Operator, &Settings::Operator, nullptr},
    {Input::Thickness1, key::Thickness1, nullptr, &Settings::Thickness1},
    {Input::Thickness2, key::Thickness2, nullptr, &Settings::Thickness2},
    {Input::Thickness3, key::Thickness3, nullptr, &Settings::Thickness3},
    {Input::Area1, key::ExposedArea1, nullptr, &Settings::ExposedArea1},
    {Input::Area2, key::ExposedArea2, nullptr, &Settings::ExposedArea2},
    {Input::Area3, key::ExposedArea3, nullptr, &Settings::ExposedArea3},
};

// A number of the specimens' fields as shown: empty for 0 (not entered).
QString specimenText(double v) { return v > 0 ? formatGeneral(v) : QString(); }

} // namespace

void KorvatApp::showSpecimens() {
    for (const SpecimenField& f : kSpecimenFields)
        inputs_.set(f.input, f.text ? settings_.*f.text : specimenText(settings_.*f.number));
    showRequirement();
}

void KorvatApp::showRequirement() {
    const Requirement r = requirementFromToken(settings_.Requirement).value_or(Requirement{});
    int choice = kNoRequirement;
    QString value;
    if (r.kind == Requirement::Kind::Level) {
        choice = kLevelAtLeast;
        value = QString::number(r.level);
    } else if (r.kind == Requirement::Kind::NoBreakthrough) {
        choice = r.threshold < 0.5 ? kNoBreakthrough01 : kNoBreakthrough10;
        value = formatGeneral(r.minutes);
    }
    inputs_.set(Input::RequirementValue, value);
    const DecisionRule rule = decisionRuleFromToken(settings_.DecisionRule).value_or(DecisionRule::Simple);
    view_.requirementShown(choice, rule == DecisionRule::Guarded ? 1 : 0);
}

void KorvatApp::editSpecimenExit(Input input) {
    for (const SpecimenField& f : kSpecimenFields) {
        if (f.input != input)
            continue;
        const QString text = inputs_.text(input);
        if (f.text) {
            settings_.*f.text = text;
            write(f.key, text);
            return;
        }
        const auto v = specimenNumber(text);
        if (!v) {
            dialogs_.error(QStringLiteral("'%1' is not a number above 0 (or nothing)").arg(text));
            inputs_.set(input, specimenText(settings_.*f.number));
            return;
        }
        settings_.*f.number = v->value_or(0);
        write(f.key, formatGeneral(settings_.*f.number));
        return;
    }
}

void KorvatApp::requirementPicked(int choice) {
    Requirement r;
    const QString text = inputs_.text(Input::RequirementValue).trimmed();
    switch (choice) {
    case kLevelAtLeast: {
        const auto level = parseInteger(text);
        r.kind = Requirement::Kind::Level;
        r.level = level && *level >= 1 && *level <= 6 ? *level : 3;
        inputs_.set(Input::RequirementValue, QString::number(r.level));
        break;
    }
    case kNoBreakthrough01:
    case kNoBreakthrough10: {
        const auto minutes = parseDecimal(text);
        r.kind = Requirement::Kind::NoBreakthrough;
        r.threshold = choice == kNoBreakthrough01 ? 0.1 : 1.0;
        // A level's number is no time: a fresh choice starts from the planned duration.
        r.minutes = minutes && *minutes > 6 ? *minutes : settings_.PlannedDuration;
        inputs_.set(Input::RequirementValue, formatGeneral(r.minutes));
        break;
    }
    default:
        inputs_.set(Input::RequirementValue, QString());
        break;
    }
    settings_.Requirement = requirementToken(r);
    write(key::Requirement, settings_.Requirement);
}

void KorvatApp::editRequirementExit() {
    Requirement r = requirementFromToken(settings_.Requirement).value_or(Requirement{});
    const QString text = inputs_.text(Input::RequirementValue).trimmed();
    if (r.kind == Requirement::Kind::None) {
        inputs_.set(Input::RequirementValue, QString());
        return;
    }
    if (r.kind == Requirement::Kind::Level) {
        const auto level = parseInteger(text);
        if (!level || *level < 1 || *level > 6) {
            dialogs_.error(QStringLiteral("'%1' is not a performance level (1 to 6)").arg(text));
            inputs_.set(Input::RequirementValue, QString::number(r.level));
            return;
        }
        r.level = *level;
    } else {
        const auto minutes = parseDecimal(text);
        if (!minutes || !(*minutes > 0)) {
            dialogs_.error(QStringLiteral("'%1' is not a time in minutes above 0").arg(text));
            inputs_.set(Input::RequirementValue, formatGeneral(r.minutes));
            return;
        }
        r.minutes = *minutes;
    }
    settings_.Requirement = requirementToken(r);
    write(key::Requirement, settings_.Requirement);
}

void KorvatApp::decisionRulePicked(int rule) {
    settings_.DecisionRule = decisionRuleToken(rule == 1 ? DecisionRule::Guarded : DecisionRule::Simple);
    write(key::DecisionRule, settings_.DecisionRule);
}

void KorvatApp::chemicalPicked(int cell, const QString& name, const QString& value,
                               const std::optional<QString>& sulfur) {
    if (cell < 1 || cell > 3)
        return;
    const std::size_t k = static_cast<std::size_t>(cell - 1);
    Settings& s = settings_;
    // Each detector's factor edit of the cell, and where the settings keep what it holds.
    struct Target {
        Input edit;
        double* factor;
        QString* name;
        double* molarMass;
        IniKey factorKey, nameKey, massKey;
    };
    const Target fid[] = {
        {Input::FIDFactor1, &s.FIDFactor1, &s.FIDSampleFactorName1, &s.FIDMolarMass1, key::FIDSampleFactor1,
         key::FIDSampleFactorName1, key::FIDSampleMolarMass1},
        {Input::FIDFactor2, &s.FIDFactor2, &s.FIDSampleFactorName2, &s.FIDMolarMass2, key::FIDSampleFactor2,
         key::FIDSampleFactorName2, key::FIDSampleMolarMass2},
        {Input::FIDFactor3, &s.FIDFactor3, &s.FIDSampleFactorName3, &s.FIDMolarMass3, key::FIDSampleFactor3,
         key::FIDSampleFactorName3, key::FIDSampleMolarMass3}};
    const Target fpd[] = {
        {Input::FPDFactor1, &s.FPDFactor1, &s.FPDSampleFactorName1, &s.FPDMolarMass1, key::FPDSampleFactor1,
         key::FPDSampleFactorName1, key::FPDSampleMolarMass1},
        {Input::FPDFactor2, &s.FPDFactor2, &s.FPDSampleFactorName2, &s.FPDMolarMass2, key::FPDSampleFactor2,
         key::FPDSampleFactorName2, key::FPDSampleMolarMass2},
        {Input::FPDFactor3, &s.FPDFactor3, &s.FPDSampleFactorName3, &s.FPDMolarMass3, key::FPDSampleFactor3,
         key::FPDSampleFactorName3, key::FPDSampleMolarMass3}};
    // The same as a drop of the list's row on the factor edit; what the edit then holds is kept
    // at once, so the pick survives a restart without a visit to the factors page.
    auto take = [&](const Target& t, SubstanceGrid grid, const QString& row) {
        if (!substanceFactors_.EndDrag(grid, t.edit, name, row)) {
            inputs_.setLabel(t.edit, inputs_.label(t.edit)); // the page shows the chemical kept
            return false;
        }
        const auto factor = parseSubstanceFactor(inputs_.text(t.edit));
        if (!factor)
            return false;
        *t.factor = *factor;
        writeNumber(t.factorKey, *factor);
        *t.name = inputs_.label(t.edit);
        write(t.nameKey, *t.name);
        const double grams = inputs_.molarMass(t.edit).value_or(0.0);
        if (grams != *t.molarMass) {
            *t.molarMass = grams;
            write(t.massKey, formatGeneral(grams));
        }
        return true;
    };
    if (!take(fid[k], SubstanceGrid::Hydrocarbons, value))
        return;
    const InfoLabel info[] = {InfoLabel::InfoSample1, InfoLabel::InfoSample2, InfoLabel::InfoSample3};
    view_.infoShown(info[k], inputs_.label(fid[k].edit) + QLatin1Char('[') + inputs_.text(fid[k].edit) + QLatin1Char(']'));
    if (sulfur && DeviceTyp == TDeviceTyp::FIDFPD)
        take(fpd[k], SubstanceGrid::Sulfur, *sulfur);
}

void KorvatApp::calibrationPointChosen(Detector detector, int index, bool used) {
    CalibrationStore& store = results_.calibrations();
    const bool fid = detector == Detector::FID;
    const std::vector<CalibrationPoint> current = currentCalibration(store.points(), detector);
    QString error;
    if (!store.setUsed(detector, index, used, &error)) {
        if (!error.isEmpty()) {
            view_.logLine(error);
            view_.statusText(error);
        }
        view_.calibrationShown(results_.calibrationDisplay(detector));
        return;
    }
    if (index >= 0 && index < static_cast<int>(current.size()))
        events_.add(EventKind::Calibration,
                    QStringLiteral("%1 calibration %2: the point at %3 ppm (area %4) %5 the curve")
                        .arg(fid ? QStringLiteral("FID") : QStringLiteral("FPD"))
                        .arg(current[static_cast<std::size_t>(index)].number)
                        .arg(current[static_cast<std::size_t>(index)].ppm, 0, 'g', 10)
                        .arg(current[static_cast<std::size_t>(index)].area, 0, 'f', 0)
                        .arg(used ? QStringLiteral("taken into") : QStringLiteral("left out of")),
                    {}, run_.running() ? run_.runAktiv : 0);
    // The curve's newest point is the calibration of the settings: with one level left it is the
    // calibration as always, and with several it says the curve is in force.
    if (const std::optional<CalibrationPoint> newest = store.newestUsed(detector)) {
        int& area = fid ? settings_.FIDCalArea : settings_.FPDCalArea;
        double& ppm = fid ? settings_.FIDCALMenge : settings_.FPDCalMenge;
        if (area != static_cast<int>(newest->area)) {
            area = static_cast<int>(newest->area);
            ini_.writeInteger(fid ? key::FIDCalArea : key::FPDCalArea, area);
        }
        if (ppm != newest->ppm) {
            ppm = newest->ppm;
            writeNumber(fid ? key::FIDppm : key::FPDppm, ppm);
            inputs_.set(fid ? Input::Isobutan : Input::Sulfur, formatGeneral(ppm));
        }
    }
    if (!error.isEmpty()) {
        view_.logLine(error);
        view_.statusText(error);
    }
    view_.calibrationShown(results_.calibrationDisplay(detector));
}

} // namespace korvat
