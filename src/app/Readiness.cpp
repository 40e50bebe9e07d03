// Before a run: what is not ready is said, and the operator may start anyway. A run accepted at
// 25 °C against a set point of 60 °C, or into no results file, costs the day it runs.

#include "app/KorvatApp.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"

#include <QLocale>
#include <cmath>

namespace korvat {

QStringList KorvatApp::readinessProblems() const {
    QStringList problems;
    const struct {
        ReadBack what;
        int caption;
        int setPoint;
    } heaters[] = {{ReadBack::Messkammer, 14, settings_.TempMesskammer}, {ReadBack::Ventilblock, 13, settings_.TempVentilblock}};
    for (const auto& h : heaters) {
        const std::optional<double> actual = poll_.temperature(h.what);
        if (actual && std::abs(*actual - h.setPoint) > kReadyTemperatureBand)
            problems << T(329).arg(T(h.caption), QLocale().toString(*actual, 'f', 1), QString::number(h.setPoint));
    }
    if (!calibratedArea(Detector::FID, settings_.FIDCalArea))
        problems << T(330).arg(QStringLiteral("FID"));
    if (DeviceTyp == TDeviceTyp::FIDFPD && !calibratedArea(Detector::FPD, settings_.FPDCalArea))
        problems << T(330).arg(QStringLiteral("FPD"));
    if (records_.sDateiname.isEmpty())
        problems << T(331);
    return problems;
}

namespace {
bool startAnyway(Dialogs& dialogs, const QStringList& problems, int language) {
    if (problems.isEmpty())
        return true;
    return dialogs.question(LoadLangText(language, 328) + QLatin1Char('\n') + problems.join(QLatin1Char('\n')) +
                            QStringLiteral("\n\n") + LoadLangText(language, 332));
}
} // namespace

void KorvatApp::btnStartChecked() {
    // Start ends an armed delay, which was checked when it was armed.
    if (run_.delayTag == 0 && !startAnyway(dialogs_, readinessProblems(), ID))
        return;
    sequencer_.btnStartClick();
}

void KorvatApp::btnDelayChecked() {
    // The button also calls an armed delay off: only arming is checked.
    if (run_.delayTag == 0 && !startAnyway(dialogs_, readinessProblems(), ID))
        return;
    sequencer_.btnDelayClick();
}

} // namespace korvat
