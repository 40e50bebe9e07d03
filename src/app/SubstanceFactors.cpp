#include "app/SubstanceFactors.h"

#include "evaluation/SubstanceList.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

#include <cmath>

namespace korvat {

std::optional<SubstanceGrid> feedingGrid(Input edit) {
    switch (edit) {
    case Input::FIDCalFactor:
    case Input::FIDFactor1:
    case Input::FIDFactor2:
    case Input::FIDFactor3:
        return SubstanceGrid::Hydrocarbons;
    case Input::FPDCalFactor:
    case Input::FPDFactor1:
    case Input::FPDFactor2:
    case Input::FPDFactor3:
        return SubstanceGrid::Sulfur;
    default:
        return std::nullopt;
    }
}

std::optional<double> parseSubstanceFactor(const QString& text) {
    const auto v = parseDecimal(text);
    if (!v || !(*v > 0.0))
        return std::nullopt;
    return v;
}

std::optional<double> parseMolarMass(const QString& text) {
    const auto v = parseFloat(text);
    if (!v || !(*v > 0.0) || !std::isfinite(*v))
        return std::nullopt;
    return v;
}

SubstanceFactors::SubstanceFactors(Inputs& inputs, Dialogs& dialogs, const QString& programDir)
    : inputs_(inputs), dialogs_(dialogs), programDir_(programDir) {}

bool SubstanceFactors::EndDrag(SubstanceGrid grid, std::optional<Input> edit, const QString& name,
                               const QString& factor) {
    // A sulfur row on an FID edit (or the reverse) is taken by the edit but changes nothing.
    if (!edit || feedingGrid(*edit) != grid)
        return false;
    const SubstanceValue value = splitSubstanceValue(factor);
    if (!parseSubstanceFactor(value.factor)) {
        dialogs_.error(QStringLiteral("'%1' (%2) is not a valid factor: a factor must be a number "
                                      "greater than zero. The field keeps %3 [%4].")
                           .arg(value.factor, name, inputs_.label(*edit), inputs_.text(*edit)));
        return false;
    }
    std::optional<double> molarMass;
    if (!value.molarMass.isEmpty()) {
        molarMass = parseMolarMass(value.molarMass);
        if (!molarMass) {
            dialogs_.error(QStringLiteral("'%1' (%2) is not a valid molar mass: it must be a number of "
                                          "g/mol greater than zero. The field keeps %3 [%4].")
                               .arg(value.molarMass, name, inputs_.label(*edit), inputs_.text(*edit)));
            return false;
        }
    }
    inputs_.set(*edit, value.factor);
    inputs_.setLabel(*edit, name);
    inputs_.setMolarMass(*edit, molarMass);
    return true;
}

bool SubstanceFactors::tabFaktorenExit(const QStringList& hydrocarbons, const QStringList& sulfur) {
    const struct {
        const QStringList& rows;
        const char* file;
    } lists[] = {{hydrocarbons, "CH-Substanzen.txt"}, {sulfur, "S-Substanzen.txt"}};
    // The second list is still written when the first fails: the two files are independent,
    // and the operator's edits in the other grid would otherwise wait for the next exit.
    bool all = true;
    for (const auto& l : lists) {
        QString error;
        if (!saveSubstanceList(programDir_ + QString::fromLatin1(l.file), l.rows, &error)) {
            dialogs_.error(error);
            all = false;
        }
    }
    return all;
}

} // namespace korvat
