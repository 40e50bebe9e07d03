// The instrument's line vanishing in the middle of a run: the program reports it once, keeps the
// run going without a message box per command, opens the line again when the device is back, and
// records every measurement.

#include "link/Commands.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

TEST(LineLossInARun, TheRunGoesOnAndTheLineIsOpenedAgainWhenTheDeviceIsBack) {
    AppFixture f;
    f.writeIni({"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                "Calibration/FIDCalArea=450000"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();
    f.dialogs.nextFileName = f.dir + "Loss.csv";
    app.btnSpeichernClick();
    f.app().inputs().edited(Input::Start, "4");
    f.app().inputs().edited(Input::Count, "3");
    f.app().inputs().edited(Input::Cycles, "1");
    app.sequencer().btnStartClick();
    auto tick = [&] {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
    };
    auto ticksFor = [&](int seconds) {
        const Millis until = f.clock.monotonicNow() + Millis(seconds * 1000);
        while (f.clock.monotonicNow() < until)
            tick();
    };

    ticksFor(20); // inside the first measurement's window
    sim::InProcessLine& line = f.instrument->mainLine();
    line.setExists(false);
    line.injectLoss("device removed");
    ticksFor(40);
    EXPECT_TRUE(app.link().lineDown(line));
    EXPECT_TRUE(app.sequencer().running());
    line.clearWrittenData();
    line.setExists(true);
    ticksFor(2);
    EXPECT_FALSE(app.link().lineDown(line));
    EXPECT_TRUE(line.isOpen());
    // First thing on the reopened line: the valve banks and lamps as the program keeps them.
    const Registers& regs = app.valves().regs();
    EXPECT_TRUE(line.writtenData().startsWith(
        QStringLiteral("<V1S%1\r<V2S%2\r<LS%3\r").arg(hex2(regs.V1Byte), hex2(regs.V2Byte), hex2(regs.DispByte)).toLatin1()))
        << line.writtenData().left(40).toStdString();
    const Millis limit = f.clock.monotonicNow() + Millis(3600 * 1000);
    while (app.sequencer().running() && f.clock.monotonicNow() < limit)
        tick();

    EXPECT_FALSE(app.sequencer().running());
    EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
    EXPECT_GT(app.link().commandsDroppedWhileDown(), 0);
    EXPECT_EQ(f.view.log.filter("line lost").size(), 1);
    EXPECT_EQ(f.view.log.filter("open again").size(), 1);
    // Every measurement has its row; the one the loss hit says so, the ones after the return
    // found their peaks again.
    ASSERT_EQ(app.run().measurements().size(), 3u);
    // The loss (20 s to 60 s) fell into the first measurement, which then waited for its burst's
    // end until the window plus 30 s had passed; the next ones began after the return.
    EXPECT_TRUE(app.run().measurements()[0].warning.contains("was down")) << app.run().measurements()[0].warning.toStdString();
    EXPECT_TRUE(app.run().measurements()[1].warning.isEmpty()) << app.run().measurements()[1].warning.toStdString();
    EXPECT_TRUE(app.run().measurements()[2].warning.isEmpty());
    EXPECT_FALSE(f.view.log.filter("was down during this measurement").isEmpty());
    EXPECT_FALSE(app.run().measurements()[2].NoPeak);
    EXPECT_GT(app.run().measurements()[2].FIDppm, 20.0); // cell 3 delivers 40 ppm
}
