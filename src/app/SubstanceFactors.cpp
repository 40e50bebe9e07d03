#include "app/SubstanceFactors.h"

#include "evaluation/SubstanceList.h"
#include "shell/FormView.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

namespace {

const QString kHydrocarbonGrid = QStringLiteral("ValueListEditor1");
const QString kSulfurGrid = QStringLiteral("ValueListEditor2");

struct FactorEdit {
    const char* edit;
    const QString* grid;
};

// The edits' names keep their historical spelling (lblEditFact…, lbleditFPDFact1, lblEditFPDFact2).
const FactorEdit kFactorEdits[] = {
    {"lbleditFIDCalFact", &kHydrocarbonGrid}, {"lblEditFact1", &kHydrocarbonGrid},
    {"lblEditFact2", &kHydrocarbonGrid},      {"lblEditFact3", &kHydrocarbonGrid},
    {"lbleditFPDCalFact", &kSulfurGrid},      {"lbleditFPDFact1", &kSulfurGrid},
    {"lblEditFPDFact2", &kSulfurGrid},        {"lblEditFPDFact3", &kSulfurGrid},
};

} // namespace

QString feedingGrid(const QString& edit) {
    for (const FactorEdit& f : kFactorEdits) {
        if (edit == QLatin1String(f.edit))
            return *f.grid;
    }
    return {};
}

std::optional<double> parseSubstanceFactor(const QString& text) {
    const auto v = parseFloat(text);
    if (!v || !(*v > 0.0))
        return std::nullopt;
    return v;
}

SubstanceFactors::SubstanceFactors(FormView& view, Dialogs& dialogs, const QString& programDir)
    : view_(view), dialogs_(dialogs), programDir_(programDir) {}

bool SubstanceFactors::FactDragOver(const QString& edit, const QString& sourceGrid) const {
    return !feedingGrid(edit).isEmpty() &&
           (sourceGrid == kHydrocarbonGrid || sourceGrid == kSulfurGrid);
}

bool SubstanceFactors::EndDrag(const QString& grid, const QString& edit, const QString& name,
                               const QString& factor) {
    // A sulfur row on an FID edit (or the reverse) is taken by the edit but changes nothing.
    if (edit.isEmpty() || feedingGrid(edit) != grid)
        return false;
    if (!parseSubstanceFactor(factor)) {
        dialogs_.error(QStringLiteral("'%1' (%2) is not a valid factor: a factor must be a number "
                                      "greater than zero. The field keeps %3 [%4].")
                           .arg(factor, name, view_.editLabel(edit), view_.text(edit)));
        return false;
    }
    view_.setText(edit, factor);
    view_.setEditLabel(edit, name);
    return true;
}

bool SubstanceFactors::ValueListEditor1EndDrag(const QString& edit, const QString& name,
                                               const QString& factor) {
    return EndDrag(kHydrocarbonGrid, edit, name, factor);
}

bool SubstanceFactors::ValueListEditor2EndDrag(const QString& edit, const QString& name,
                                               const QString& factor) {
    return EndDrag(kSulfurGrid, edit, name, factor);
}

bool SubstanceFactors::tabFaktorenExit() {
    const struct {
        const QString& grid;
        const char* file;
    } lists[] = {{kHydrocarbonGrid, "CH-Substanzen.txt"}, {kSulfurGrid, "S-Substanzen.txt"}};
    // The second list is still written when the first fails: the two files are independent,
    // and the operator's edits in the other grid would otherwise wait for the next exit.
    bool all = true;
    for (const auto& l : lists) {
        QString error;
        if (!saveSubstanceList(programDir_ + QString::fromLatin1(l.file), view_.valueList(l.grid),
                               &error)) {
            dialogs_.error(error);
            all = false;
        }
    }
    return all;
}

} // namespace korvat
