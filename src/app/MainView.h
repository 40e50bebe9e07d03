#pragma once
// Everything the program shows, as typed calls: what the link and the run show, plus the start-up
// and settings displays. The window's presenter implements it and maps each call onto its
// controls; tests implement it with a recorder. The core never names a control.

#include "run/RunView.h"

#include <QStringList>

namespace korvat {

// Labels the core writes besides the run's.
enum class InfoLabel {
    FIDCalFactor, FIDCalInfo, FPDCalFactor, FPDCalInfo, // "[1,00]", "Isobutan (ppm)"
    InfoSample1, InfoSample2, InfoSample3,               // substance name and factor per cell
    ResultsFile, RawDataFile,                           // the files chosen on the sample-info page
};

// What the specimens' window offers as a requirement.
enum RequirementChoice { kNoRequirement = 0, kLevelAtLeast = 1, kNoBreakthrough01 = 2, kNoBreakthrough10 = 3 };

// The two substance grids of the factors page.
enum class SubstanceGrid { Hydrocarbons, Sulfur };

struct ChartCaptions {
    QString title, valueAxis, fidSeries, fpdSeries;
    QString timeAxis; // with its unit, "Zeit (sek)"
};

class MainView : public RunView {
public:
    virtual void windowCaptionShown(const QString& text) = 0;
    virtual void chartCaptionsShown(const ChartCaptions& captions) = 0;
    virtual void valueAxisShown(double minimum, double maximum) = 0;
    virtual void infoShown(InfoLabel label, const QString& text) = 0;
    // The selected standard: 0 ASTM, 1 EN, -1 none.
    virtual void standardShown(int item) = 0;
    // One line of the connection list: a port and what answered on it.
    virtual void connectionShown(int index, const QString& text, bool inUse) = 0;
    virtual void substancesShown(SubstanceGrid grid, const QStringList& rows) = 0;
    virtual void powerShown(bool on) = 0;
    // The caption of a heater's or the PMT voltage's on/off toggle.
    virtual void switchCaptionShown(Check toggle, const QString& caption) = 0;
    // The run's requirement as the specimens' window offers it (RequirementChoice; its value is
    // the input RequirementValue) and its decision rule (0 simple, 1 guarded acceptance).
    virtual void requirementShown(int choice, int rule) { (void)choice, (void)rule; }
};

} // namespace korvat
