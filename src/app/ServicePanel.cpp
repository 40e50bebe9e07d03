#include "app/ServicePanel.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "link/Valves.h"
#include "shell/FormView.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"

namespace korvat {

namespace {

struct GroupInfo {
    const char* edit;
    const char* toggle; // empty for the zero compensation
    int minimum, maximum;
    int message; // string-table entry; 0 for the fixed "Bereichsfehler!"
    int Settings::*field;
    const char* key;
    char letter; // setpoint command "<xS"
};

const GroupInfo& info(ServicePanel::Group g) {
    static const GroupInfo kGroups[] = {
        {"editVentilblock", "btnVentilblockAn", 40, 80, 84, &Settings::TempVentilblock, "TempValves", 'V'},
        {"editMesskammer", "btnMesskammerAn", 20, 40, 0, &Settings::TempMesskammer, "TempMeasurementCell", 'S'},
        {"editEmmision", "btnEmmisionAn", 80, 200, 0, &Settings::TempEmissionskammer, "TempEmissionCell", 'E'},
        {"editTransfer", "btnTransferAn", 80, 200, 0, &Settings::TempTransferline, "TempTransferline", 'T'},
        {"editHvoltage", "btnHVoltageAn", 0, 1000, 86, &Settings::Hochspannung, "HighVoltage", 'H'},
        {"editZero", "", -100, 100, 85, &Settings::Zerokompensation, "ZeroCompensation", 'Z'},
    };
    return kGroups[static_cast<int>(g)];
}

} // namespace

QString ServicePanel::T(int n) const { return LoadLangText(d_.ID, n); }

void ServicePanel::report(const QString& text, bool conversionError) {
    if (inTick_) {
        d_.view.setStatusText(text);
        d_.view.addLogLine(text);
        return;
    }
    if (conversionError)
        d_.dialogs.error(text);
    else
        d_.dialogs.message(text);
}

bool ServicePanel::setClick(Group group) {
    const GroupInfo& g = info(group);
    const QString edit = QString::fromLatin1(g.edit);
    const QString text = d_.view.text(edit);
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
    d_.view.setText(edit, QString::number(a));
    d_.settings.*g.field = a;
    if (!d_.ini.writeInteger(QStringLiteral("Preferences"), QString::fromLatin1(g.key), a))
        report(d_.ini.lastError(), false);

    SerialLine& port = d_.link.ComPort1();
    switch (group) {
    case Group::Zero:
        d_.link.SendCommand(port, QStringLiteral("<ZS%1\r").arg(hex4(zeroCode(a))));
        d_.link.ReadReply(true);
        break;
    case Group::HVoltage:
        d_.link.SendAndWait(port, QStringLiteral("<HS%1\r").arg(hex4(highVoltageCode(a))));
        break;
    default:
        d_.link.SendAndWait(port, temperatureSetpointCommand(g.letter, a));
        break;
    }
    return true;
}

void ServicePanel::heaterToggle(Group group, const char* onCommand, const char* offCommand, bool wait) {
    if (!setClick(group))
        return;
    const QString toggle = QString::fromLatin1(info(group).toggle);
    const bool down = d_.view.isDown(toggle);
    d_.view.setText(toggle, T(down ? 23 : 26));
    const QString command = QString::fromLatin1(down ? onCommand : offCommand);
    if (wait)
        d_.link.SendAndWait(d_.link.ComPort1(), command);
    else
        d_.link.SendCommand(d_.link.ComPort1(), command);
}

void ServicePanel::btnVentilblockAnClick() { heaterToggle(Group::Ventilblock, "<VO1\r", "<VO0\r", false); }
void ServicePanel::btnMesskammerAnClick() { heaterToggle(Group::Messkammer, "<SO1\r", "<SO0\r", false); }
void ServicePanel::btnEmmisionAnClick() { heaterToggle(Group::Emmision, "<EO1\r", "<EO0\r", true); }
void ServicePanel::btnTransferAnClick() { heaterToggle(Group::Transfer, "<TO1\r", "<TO0\r", true); }

void ServicePanel::btnHVoltageAnClick() {
    const QString toggle = QStringLiteral("btnHVoltageAn");
    SerialLine& port = d_.link.ComPort1();
    if (d_.view.isDown(toggle)) {
        if (!setClick(Group::HVoltage))
            return;
        d_.view.setText(toggle, T(23));
        d_.link.SendAndWait(port, QStringLiteral("<HO1\r"));
        return;
    }
    // Off: the voltage goes to zero first; the setpoint stays in the edit, field and file.
    d_.view.setText(toggle, T(26));
    d_.link.SendAndWait(port, QStringLiteral("<HS0000\r"));
    d_.link.SendAndWait(port, QStringLiteral("<HO0\r"));
}

void ServicePanel::ServiceButtonClick() {
    QString text = d_.view.text(QStringLiteral("LMDEdit1"));
    if (text.isEmpty())
        text = QStringLiteral("<12AS100");
    d_.link.SendCommand(d_.link.ComPort1(), text + QLatin1Char('\r'));
    d_.link.ReadReply(true);
}

void ServicePanel::ledV1Click(int i) {
    const int x = 11 + i;
    // The decision comes from the indicator, which the operator sees, not from the byte.
    if (d_.view.ledOn(QStringLiteral("ledV1_%1").arg(i)))
        d_.valves.ValveReset(x);
    else
        d_.valves.ValveSet(x);
    d_.valves.DispV1State();
}

void ServicePanel::ledV2Click(int i) {
    const int x = i == 0 ? 17 : i + 1;
    if (d_.view.ledOn(QStringLiteral("ledV2_%1").arg(i)))
        d_.valves.ValveReset(x);
    else
        d_.valves.ValveSet(x);
    d_.valves.DispV2State();
}

void ServicePanel::ledLoopClick() {
    const QString led = QStringLiteral("ledLoop");
    if (d_.view.ledOn(led)) {
        d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<D0\r"));
        d_.view.setLedOn(led, false);
    } else {
        d_.link.SendCommand(d_.link.ComPort1(), QStringLiteral("<D1\r"));
        d_.view.setLedOn(led, true);
    }
}

} // namespace korvat
