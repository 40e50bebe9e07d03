// Before Start the program says what is not ready (a heater far from its set point, a detector
// not calibrated, no results file) and starts only after one more click.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {
// Ticks until the poll has read both temperatures back from the virtual instrument (which sits at
// its ambient 22 °C with the heaters off).
void pollTemperatures(AppFixture& f) {
    for (int i = 0; i < 400 && !(f.app().poll().temperature(ReadBack::Messkammer) &&
                                 f.app().poll().temperature(ReadBack::Ventilblock));
         ++i) {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        f.app().Timer1Timer();
    }
}
} // namespace

TEST(Readiness, WhatIsNotReadyIsSaidAndOneMoreClickStarts) {
    struct Case {
        const char* name;
        QStringList ini;
        bool chooseFile;
        bool answer; // the operator's answer to "start anyway?"
        QStringList problems;
        bool started;
        const char* device = "FID";
    };
    const Case cases[] = {
        {"ready: no question", {"Preferences/TempMeasurementCell=22", "Preferences/TempValves=24", "Calibration/FIDCalArea=45000"},
         true, false, {}, true},
        {"cold chamber, uncalibrated, no file: refused",
         {"Preferences/TempMeasurementCell=60", "Preferences/TempValves=24", "Calibration/FIDCalArea=0"}, false, false,
         {"Temperatur Messkammer: 22,0 °C, Sollwert 60 °C", "FID nicht kalibriert", "Keine Ergebnisdatei gewählt"}, false},
        {"the same, started anyway",
         {"Preferences/TempMeasurementCell=60", "Preferences/TempValves=24", "Calibration/FIDCalArea=0"}, false, true,
         {"Temperatur Messkammer: 22,0 °C, Sollwert 60 °C", "FID nicht kalibriert", "Keine Ergebnisdatei gewählt"}, true},
        {"valve block far off", {"Preferences/TempMeasurementCell=22", "Preferences/TempValves=110", "Calibration/FIDCalArea=45000"},
         true, false, {"Temperatur Ventilblock: 22,0 °C, Sollwert 110 °C"}, false},
        // An FPD area the evaluation cannot work with is no calibration, however green it once was.
        {"FPD area below the FPD's own limit",
         {"Preferences/TempMeasurementCell=22", "Preferences/TempValves=24", "Calibration/FIDCalArea=45000",
          "Calibration/FPDCalArea=5000"},
         true, false, {"FPD nicht kalibriert"}, false, "FIDFPD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        korvat::test::LocaleGuard german{QLocale(QLocale::German, QLocale::Germany)};
        sim::InstrumentOptions exact;
        exact.temperatureNoise = 0;
        exact.heatersOff = true;
        exact.twoConverters = QString(c.device) == "FIDFPD";
        AppFixture f(exact);
        f.writeIni(QStringList{"Language/Code=DE", QStringLiteral("DeviceTyp/Typ=") + c.device} + c.ini);
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        // The calibration gas edits say the same as the check.
        EXPECT_EQ(f.view.calibrated[Detector::FID], !c.problems.contains("FID nicht kalibriert"));
        if (QString(c.device) == "FIDFPD") {
            EXPECT_EQ(f.view.calibrated[Detector::FPD], !c.problems.contains("FPD nicht kalibriert"));
        }
        pollTemperatures(f);
        if (c.chooseFile) {
            f.dialogs.nextFileName = f.dir + "Test.csv";
            f.app().btnSpeichernClick();
        }
        EXPECT_EQ(f.app().readinessProblems(), c.problems);
        f.dialogs.boxes.clear();
        f.dialogs.answer = c.answer;
        f.app().btnStartChecked();
        if (c.problems.isEmpty()) {
            EXPECT_TRUE(f.dialogs.boxes.isEmpty());
        } else {
            ASSERT_FALSE(f.dialogs.boxes.isEmpty());
            EXPECT_EQ(f.dialogs.boxes[0].kind, "question");
            EXPECT_EQ(f.dialogs.boxes[0].text, "Nicht bereit:\n" + c.problems.join('\n') + "\n\nTrotzdem starten?");
        }
        EXPECT_EQ(f.app().sequencer().running(), c.started);
    }
}
