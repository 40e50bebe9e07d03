// Runs against an instrument that misbehaves: garbled lines, dropped replies and data lines, an
// instrument that falls silent, a converter that never ends its burst, and the device vanishing
// and coming back. In every case the program stays up, the run ends by itself, every measurement
// has its row in the results file, and the log tells the operator what happened.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

int rowsBelowTitles(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int rows = 0;
    bool body = false;
    for (const QByteArray& l : file.readAll().split('\n')) {
        if (l.trimmed().isEmpty())
            continue;
        if (body)
            ++rows;
        else
            body = l.startsWith("Zelle;Bruch;Bruchzeit;");
    }
    return rows;
}

} // namespace

TEST(FaultRun, TheProgramStaysUpRecordsEveryMeasurementAndSaysWhatHappened) {
    const struct {
        const char* name;
        sim::FaultOptions faults;
        const char* logged; // what the operator reads in the log memo (empty: nothing to see)
    } cases[] = {
        {"garbled lines", {.garbleRate = 0.05}, "dropped"},
        {"dropped replies and data", {.dropReplyRate = 0.3, .dropDataRate = 0.05}, ""},
        {"silent from the second measurement", {.silentFrom = Millis(70'000)}, "did not end its burst"},
        {"endless burst", {.endlessBurstFrom = Millis(0)}, "did not end its burst"},
        {"device vanishes for a minute",
         {.vanishing = sim::DeviceVanishing{Millis(60'000), Millis(60'000), sim::FaultPorts::Main}},
         "open again"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentOptions options;
        options.faults = c.faults;
        AppFixture f(options);
        f.writeIni({"Language/Code=DE", "Measurement/MeasurementSampleTime/s=5",
                    "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                    "Calibration/FIDCalArea=450000"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        KorvatApp& app = f.app();
        const QString csv = f.dir + "Faults.csv";
        f.dialogs.nextFileName = csv;
        app.btnSpeichernClick();
        f.app().inputs().edited(Input::Start, "4");
        f.app().inputs().edited(Input::Count, "3");
        f.app().inputs().edited(Input::Cycles, "2");
        app.sequencer().btnStartClick();
        const Millis limit = f.clock.monotonicNow() + Millis(2 * 3600 * 1000);
        while (app.sequencer().running() && f.clock.monotonicNow() < limit) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            app.Timer1Timer();
        }

        EXPECT_FALSE(app.sequencer().running()) << "the run did not end by itself";
        EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
        EXPECT_EQ(app.run().measurements().size(), 6u);
        EXPECT_EQ(app.run().measurements().size(), 6u);
        EXPECT_EQ(rowsBelowTitles(csv), 6);
        EXPECT_EQ(app.resultRowsWaiting(), 0u);
        if (*c.logged) {
            EXPECT_FALSE(f.view.log.filter(c.logged).isEmpty()) << f.view.log.join('\n').toStdString();
        }
    }
}
