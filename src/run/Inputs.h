#pragma once
// What the operator has typed and ticked in the window, kept by the core. The window forwards
// every change as it happens (edited, toggled); the core reads its inputs from here, never from a
// control, and when it changes one itself (a clamped start position, a cleared calibration box)
// it goes through set(), which tells the view. So a delayed start that fires inside the tick, or
// a row written at the end of a measurement, sees exactly what the operator sees.

#include <QString>
#include <array>
#include <optional>

namespace korvat {

class RunView;

enum class Input {
    // run page
    Start, Count, Cycles, LimitFID, LimitFPD, Messzeit, Isobutan, Sulfur, Startdelay,
    // settings page
    Ventilblock, Messkammer, Emmision, Transfer, HVoltage, Zero, ServiceCommand, Scale, ScaleMin,
    // factors page: the eight factor edits (their labels name the substance) and the four flows
    FIDCalFactor, FIDFactor1, FIDFactor2, FIDFactor3, FPDCalFactor, FPDFactor1, FPDFactor2, FPDFactor3,
    CalFlow, SampleFlow1, SampleFlow2, SampleFlow3,
    // sample-info page
    Info1, Info2, Info3, Description,
    // sample-info page: the chemical's contact with each cell's specimen, minutes before Start
    Contact1, Contact2, Contact3,
    // the specimens' window: each cell's specimen, and the value of the requirement (a level, or
    // the minutes without breakthrough)
    Material1, Material2, Material3, Thickness1, Thickness2, Thickness3, Lot1, Lot2, Lot3, Area1, Area2, Area3,
    RequirementValue,
    // the specimens' window: who runs the test
    Operator,
};
inline constexpr int kInputCount = static_cast<int>(Input::Operator) + 1;

enum class Check {
    IsobutanCalib, SulfurCalib, // measure the calibration gas of that detector
    VentilblockOn, MesskammerOn, EmmisionOn, TransferOn, HVoltageOn, // heater and PMT toggles
    KeepMeasuring, // go on measuring a cell after its breakthrough
};
inline constexpr int kCheckCount = static_cast<int>(Check::KeepMeasuring) + 1;

class Inputs {
public:
    void setView(RunView* view) { view_ = view; }

    const QString& text(Input input) const { return texts_[index(input)]; }
    // The substance name shown beside a factor edit.
    const QString& label(Input input) const { return labels_[index(input)]; }
    bool checked(Check check) const { return checks_[static_cast<int>(check)]; }
    // The molar mass of the substance beside a factor edit, g/mol, when its list gives one.
    std::optional<double> molarMass(Input input) const { return molarMasses_[index(input)]; }

    // The core changes an input: kept and shown.
    void set(Input input, const QString& text);
    void setLabel(Input input, const QString& text);
    void setChecked(Check check, bool on);
    void setMolarMass(Input input, std::optional<double> grams) { molarMasses_[index(input)] = grams; }

    // The operator changed an input in the window: kept (the window already shows it).
    void edited(Input input, const QString& text) { texts_[index(input)] = text; }
    void toggled(Check check, bool on) { checks_[static_cast<int>(check)] = on; }

private:
    static int index(Input input) { return static_cast<int>(input); }

    RunView* view_ = nullptr;
    std::array<QString, kInputCount> texts_;
    std::array<QString, kInputCount> labels_;
    std::array<std::optional<double>, kInputCount> molarMasses_;
    std::array<bool, kCheckCount> checks_{};
};

} // namespace korvat
