#include "app/ServicePanel.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "link/Valves.h"
#include "app/MainView.h"
#include "run/Inputs.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

namespace {

struct GroupInfo {
    Input edit;
    Check toggle; // unused for the zero compensation, which has none
    int minimum, maximum;
    int message; // string-table entry; 0 for the fixed "Bereichsfehler!"
    int Settings::*field;
    IniKey key;
    char letter; // setpoint and switch commands "<xS", "<xO"
};

const GroupInfo& info(ServicePanel::Group g) {
    static const GroupInfo kGroups[] = {
        {Input::Ventilblock, Check::VentilblockOn, 40, 80, 84, &Settings::TempVentilblock, key::TempValves, 'V'},
        {Input::Messkammer, Check::MesskammerOn, 20, 40, 0, &Settings::TempMesskammer, key::TempMeasurementCell, 'S'},
        {Input::Emmision, Check::EmmisionOn, 80, 200, 0, &Settings::TempEmissionskammer, key::TempEmissionCell, 'E'},
        {Input::Transfer, Check::TransferOn, 80, 200, 0, &Settings::TempTransferline, key::TempTransferline, 'T'},
        {Input::HVoltage, Check::HVoltageOn, 0, 1000, 86, &Settings::Hochspannung, key::HighVoltage, 'H'},
        {Input::Zero, Check::HVoltageOn, -100, 100, 85, &Settings::Zerokompensation, key::ZeroCompensation, 'Z'},
    };
    return kGroups[static_cast<int>(g)];
}

} // namespace

QString ServicePanel::T(int n) const { return LoadLangText(d_.ID, n); }

void ServicePanel::report(const QString& text, bool conversionError) {
    if (inTick_) {
        d_.view.statusText(text);
        d_.view.logLine(text);
        return;
    }
    if (conversionError)
        d_.dialogs.error(text);
    else
        d_.dialogs.message(text);
}

bool ServicePanel::setClick(Group group) {
    const GroupInfo& g = info(group);
    const QString text = d_.inputs.text(g.edit);
    const auto value = parseInteger(text);
    if (!value) {
        report(QStringLiteral("'%1' is not a valid integer value").arg(text), true);
        return false;
    }
    int a = *value;
    if (a < g.minimum || a > g.maximum) {
        report(g.message ? T(g.message) : QStringLiteral("Bereichsfehler!"), false);
        a = a < g.minimum ? g.minimum : g.maximum;
    }
    d_.inputs.set(g.edit, QString::number(a));
    d_.settings.*g.field = a;
    if (!d_.ini.writeInteger(g.key, a))
        report(d_.ini.lastError(), false);

    SerialLine& port = d_.link.ComPort1();
    switch (group) {
    case Group::Zero:
        d_.link.SendCommand(port, zeroCommand(a));
        d_.link.ReadReply(true);
        break;
    case Group::HVoltage:
        d_.link.SendAndWait(port, highVoltageCommand(a));
        break;
    default:
        // Inside the tick (the heating mirror) nothing waits for the instrument: one that answers
        // a setpoint late or not at all would hold the valves, the poll and the acquisition
        // window for up to 5 s each time. What it answers is taken and logged by the poll.
        if (inTick_)
            d_.link.SendCommand(port, temperatureSetpointCommand(g.letter, a));
        else
            d_.link.SendAndWait(port, temperatureSetpointCommand(g.letter, a));
        break;
    }
    return true;
}

void ServicePanel::heaterToggle(Group group, bool wait) {
    if (!setClick(group))
        return;
    const GroupInfo& g = info(group);
    const bool down = d_.inputs.checked(g.toggle);
    d_.view.switchCaptionShown(g.toggle, T(down ? 23 : 26));
    const QString command = switchCommand(g.letter, down);
    if (wait)
        d_.link.SendAndWait(d_.link.ComPort1(), command);
    else
        d_.link.SendCommand(d_.link.ComPort1(), command);
}

void ServicePanel::btnVentilblockAnClick() { heaterToggle(Group::Ventilblock, false); }
void ServicePanel::btnMesskammerAnClick() { heaterToggle(Group::Messkammer, false); }
void ServicePanel::btnEmmisionAnClick() { heaterToggle(Group::Emmision, true); }
void ServicePanel::btnTransferAnClick() { heaterToggle(Group::Transfer, true); }

void ServicePanel::btnHVoltageAnClick() {
    SerialLine& port = d_.link.ComPort1();
    if (d_.inputs.checked(Check::HVoltageOn)) {
        if (!setClick(Group::HVoltage))
            return;
        d_.view.switchCaptionShown(Check::HVoltageOn, T(23));
        d_.link.SendAndWait(port, switchCommand('H', true));
        return;
    }
    // Off: the voltage goes to zero first; the setpoint stays in the edit, field and file.
    d_.view.switchCaptionShown(Check::HVoltageOn, T(26));
    d_.link.SendAndWait(port, highVoltageCommand(0));
    d_.link.SendAndWait(port, switchCommand('H', false));
}

void ServicePanel::mirrorHeater(Group group, bool on) {
    TickScope inTick(*this);
    d_.inputs.setChecked(info(group).toggle, on);
    if (group == Group::Messkammer)
        btnMesskammerAnClick();
    else
        btnVentilblockAnClick();
}

void ServicePanel::ServiceButtonClick() {
    QString text = d_.inputs.text(Input::ServiceCommand);
    if (text.isEmpty())
        text = kConverterStatusQuery;
    d_.link.SendCommand(d_.link.ComPort1(), commandLine(text));
    d_.link.ReadReply(true);
}

void ServicePanel::ledV1Click(int i) {
    const int x = 11 + i;
    // The decision comes from the indicator, which the operator sees, not from the byte.
    if (d_.valves.valveShown(1, i))
        d_.valves.ValveReset(x);
    else
        d_.valves.ValveSet(x);
    d_.valves.DispV1State();
}

void ServicePanel::ledV2Click(int i) {
    const int x = i == 0 ? 17 : i + 1;
    if (d_.valves.valveShown(2, i))
        d_.valves.ValveReset(x);
    else
        d_.valves.ValveSet(x);
    d_.valves.DispV2State();
}

void ServicePanel::ledLoopClick() { d_.valves.loopByHand(!d_.valves.loopShown()); }

} // namespace korvat
