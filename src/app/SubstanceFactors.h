#pragma once
// The factor page: which factor edit a substance row may be dropped on, what a drop does, and
// writing both substance lists back when the page is left. The factors themselves reach the
// settings only when the page control is left (KorvatApp::PageControlExit).

#include <QString>
#include <optional>

namespace korvat {

class Dialogs;
class FormView;

// The grid that feeds a factor edit ("ValueListEditor1" for the FID edits, "ValueListEditor2"
// for the FPD edits); empty for any other control.
QString feedingGrid(const QString& edit);

// A factor as the operator or a list gives it: a number in the process locale, greater than
// zero (a zero factor would divide by zero in the result computation).
std::optional<double> parseSubstanceFactor(const QString& text);

class SubstanceFactors {
public:
    SubstanceFactors(FormView& view, Dialogs& dialogs, const QString& programDir);

    // Drag-over of the eight factor edits: a row of either grid is welcome on any of them, so
    // the pointer does not tell the operator "no" over an edit of the other detector.
    bool FactDragOver(const QString& edit, const QString& sourceGrid) const;

    // End of a drag from `grid` with the selected row's `name` and `factor`; `edit` is the
    // target, empty when the row was dropped elsewhere. Only an edit fed by `grid` takes the
    // row: its text becomes the factor as typed, its label the name. A factor that is not a
    // number above zero is refused with a message and the edit keeps its value.
    // Returns whether the edit changed.
    bool EndDrag(const QString& grid, const QString& edit, const QString& name,
                 const QString& factor);
    bool ValueListEditor1EndDrag(const QString& edit, const QString& name, const QString& factor);
    bool ValueListEditor2EndDrag(const QString& edit, const QString& name, const QString& factor);

    // Leaving the factor page writes both grids back to their list files (each atomically); a
    // file that cannot be written is reported by name and the grid keeps its rows.
    // Returns whether both files were written.
    bool tabFaktorenExit();

private:
    FormView& view_;
    Dialogs& dialogs_;
    QString programDir_;
};

} // namespace korvat
