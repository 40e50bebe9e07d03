#pragma once
// The service panel on the settings page: the six setpoint groups (four heaters, the FPD's high
// voltage, the zero compensation) with their set and on/off buttons, the free command line, and
// the valve and sample-loop indicators the operator clicks to switch them.

#include "shell/Config.h"

#include <QString>

namespace korvat {

class Dialogs;
class Inputs;
class MainView;
class IniFile;
class Link;
class Valves;

class ServicePanel {
public:
    struct Deps {
        Settings& settings;
        IniFile& ini;
        Link& link;
        MainView& view;
        Inputs& inputs;
        Dialogs& dialogs;
        Valves& valves;
        const int& ID;
        const TDeviceTyp& deviceTyp;
    };

    enum class Group { Ventilblock, Messkammer, Emmision, Transfer, HVoltage, Zero };

    explicit ServicePanel(Deps deps) : d_(deps) {}

    // Set buttons: read the edit as an integer, report and clamp a value out of range, store it,
    // write it to the file and send it (waiting for the answer; the zero without waiting).
    // False when the edit holds no integer: nothing is stored or sent.
    bool btnVentilblockSetClick() { return setClick(Group::Ventilblock); }
    bool btnMesskammerSetClick() { return setClick(Group::Messkammer); }
    bool btnEmmisionSetClick() { return setClick(Group::Emmision); }
    bool btnTransferSetClick() { return setClick(Group::Transfer); }
    bool btnHVoltageSetClick() { return setClick(Group::HVoltage); }
    bool btnZeroSetClick() { return setClick(Group::Zero); }
    bool setClick(Group group);

    // On/off toggles; each reads the toggle's state, which the click has already flipped.
    void btnVentilblockAnClick();
    void btnMesskammerAnClick();
    void btnEmmisionAnClick();
    void btnTransferAnClick();
    void btnHVoltageAnClick();

    void ServiceButtonClick();

    // The instrument's heating register asks for the valve block's or the measuring cell's heater
    // (Group::Ventilblock or Group::Messkammer): the toggle follows and its click handler runs,
    // inside the tick, so problems go to the status line instead of a box.
    void mirrorHeater(Group group, bool on);

    // ledV1_0Click .. ledV1_5Click (bank 1, i = 0..5) and ledV2_0Click .. ledV2_5Click (bank 2):
    // each switches its valve the other way from what its indicator shows.
    void ledV1Click(int i);
    void ledV2Click(int i);
    void ledLoopClick();
    void ledZeroClick() {}

    // While the tick runs a handler (the heating mirror), problems go to the status line and the
    // log instead of a modal box, so an unattended run is never held up by a dialog.
    class TickScope {
    public:
        explicit TickScope(ServicePanel& p) : p_(p), was_(p.inTick_) { p.inTick_ = true; }
        ~TickScope() { p_.inTick_ = was_; }

    private:
        ServicePanel& p_;
        bool was_;
    };

private:
    void heaterToggle(Group group, bool wait);
    void report(const QString& text, bool conversionError);
    QString T(int n) const;

    Deps d_;
    bool inTick_ = false;
};

} // namespace korvat
