#pragma once
// A short run of cells 1..3 with its specimens named, written into an archive file as it goes
// (the fixture's program with `archiveFile` as its own archive), settled before it returns.
#include "support/AppFixture.h"
#include "support/TickRun.h"

#include <gtest/gtest.h>

namespace korvat::test {

inline void runWithArchive(AppFixture& f, const QString& csv, const QStringList& materials, const QString& archiveFile,
                           const QStringList& extra = {}) {
    f.archiveFile = archiveFile;
    QStringList ini = {"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                       "Measurement/MeasurementTimePerCell/s=30", "Measurement/LimitFID=0.1", "Calibration/FIDCalArea=450000"};
    ini << extra;
    for (int k = 0; k < materials.size(); ++k)
        ini << QStringLiteral("Specimen/Material%1=%2").arg(k + 1).arg(materials[k]);
    f.writeIni(ini);
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    f.dialogs.nextFileName = csv;
    f.app().btnSpeichernClick();
    f.app().inputs().edited(Input::Start, "4");
    f.app().inputs().edited(Input::Count, "3");
    f.app().inputs().edited(Input::Cycles, "4");
    f.app().sequencer().btnStartClick();
    tickRunToEnd(f);
    ASSERT_TRUE(f.app().recorder().settle(Millis(10'000)));
    ASSERT_TRUE(f.app().archive());
    ASSERT_TRUE(f.app().archive()->settle(Millis(20'000)));
}

} // namespace korvat::test
