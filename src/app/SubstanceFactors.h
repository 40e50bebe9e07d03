#pragma once
// The factors page: which factor edit a substance row may be dropped on, what a drop does, and
// writing both substance lists back when the page is left. The factors themselves reach the
// settings only when the page control is left (KorvatApp::PageControlExit).

#include "app/MainView.h"
#include "run/Inputs.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace korvat {

class Dialogs;

// The grid that feeds a factor edit: the hydrocarbons feed the four FID factors, the sulfur
// compounds the four FPD factors; nullopt for any other input.
std::optional<SubstanceGrid> feedingGrid(Input edit);

// A factor as the operator or a list gives it: a number in the process locale, greater than
// zero (a zero factor would divide by zero in the result computation).
std::optional<double> parseSubstanceFactor(const QString& text);
// A molar mass as a list gives it, g/mol: a number in the process locale, greater than zero.
std::optional<double> parseMolarMass(const QString& text);

class SubstanceFactors {
public:
    SubstanceFactors(Inputs& inputs, Dialogs& dialogs, const QString& programDir);

    // Drag-over of the eight factor edits: a row of either grid is welcome on any of them, so
    // the pointer does not tell the operator "no" over an edit of the other detector.
    bool FactDragOver(Input edit) const { return feedingGrid(edit).has_value(); }

    // End of a drag from `grid` with the selected row's `name` and value (`factor`, possibly with
    // the molar mass after a ";"), dropped on `edit` (nullopt when it was dropped elsewhere). Only
    // an edit fed by `grid` takes the row: its text becomes the factor as typed, its label the
    // name, and the molar mass goes with them (none when the row gives none). A factor or molar
    // mass that is not a number above zero is refused with a message and the edit keeps its
    // value. Returns whether the edit changed.
    bool EndDrag(SubstanceGrid grid, std::optional<Input> edit, const QString& name, const QString& factor);
    bool ValueListEditor1EndDrag(std::optional<Input> edit, const QString& name, const QString& factor) {
        return EndDrag(SubstanceGrid::Hydrocarbons, edit, name, factor);
    }
    bool ValueListEditor2EndDrag(std::optional<Input> edit, const QString& name, const QString& factor) {
        return EndDrag(SubstanceGrid::Sulfur, edit, name, factor);
    }

    // Leaving the factor page writes both grids' rows back to their list files (each
    // atomically); a file that cannot be written is reported by name and the grid keeps its rows.
    // Returns whether both files were written.
    bool tabFaktorenExit(const QStringList& hydrocarbons, const QStringList& sulfur);

private:
    Inputs& inputs_;
    Dialogs& dialogs_;
    QString programDir_;
};

} // namespace korvat
