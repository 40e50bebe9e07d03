// Faults during a run leave lasting traces: an event in the window's list with its port and
// measurement, the warning lamp lit until the list is seen, the measurement flagged, and lines in
// the event journal whose hash chain holds.

#include "run/EventJournal.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct FaultCase {
    const char* name;
    sim::FaultOptions faults;
    EventKind expected;
    const char* inText;
};

std::vector<FaultCase> faultCases() {
    sim::FaultOptions garble;
    garble.garbleRate = 0.05;
    sim::FaultOptions vanish;
    vanish.vanishing = sim::DeviceVanishing{Millis(25'000), Millis(20'000), sim::FaultPorts::Main};
    sim::FaultOptions endless;
    endless.endlessBurstFrom = Millis(0);
    return {{"Garbled", garble, EventKind::LinesDropped, "garbled data line"},
            {"Vanished", vanish, EventKind::LineLost, "line lost"},
            {"EndlessBurst", endless, EventKind::ConverterTimeout, "did not end its burst"}};
}

} // namespace

TEST(RunEvents, EachFaultIsListedJournalledAndFlagsItsMeasurement) {
    for (const FaultCase& c : faultCases()) {
        SCOPED_TRACE(c.name);
        sim::InstrumentOptions options;
        options.faults = c.faults;
        AppFixture f(options);
        f.writeIni({"Language/Code=US", "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                    "Measurement/MeasurementTimePerCell/s=30", "Calibration/FIDCalArea=450000"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        f.dialogs.nextFileName = f.dir + "Fault.csv";
        f.app().btnSpeichernClick();
        f.type(Input::Start, "4");
        f.type(Input::Count, "1");
        f.type(Input::Cycles, "3");
        f.app().sequencer().btnStartClick();
        const Millis limit = f.clock.monotonicNow() + Millis(3600 * 1000);
        while (f.app().sequencer().running() && f.clock.monotonicNow() < limit) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            f.app().Timer1Timer();
        }
        ASSERT_FALSE(f.app().sequencer().running());

        // In the window's list, whole, with port and measurement.
        const auto hit = std::find_if(f.view.events.begin(), f.view.events.end(),
                                      [&](const RunEvent& e) { return e.kind == c.expected; });
        ASSERT_NE(hit, f.view.events.end());
        EXPECT_TRUE(hit->text.contains(c.inText)) << hit->text.toStdString();
        EXPECT_EQ(hit->port, f.instrument->mainLine().deviceName());
        EXPECT_GE(hit->measurement, 1);
        EXPECT_TRUE(hit->time.isValid());
        // The lamp stays lit until the operator has looked.
        EXPECT_TRUE(f.view.warning);
        f.app().eventListSeen();
        EXPECT_FALSE(f.view.warning);

        // The measurement it happened in is flagged.
        bool flagged = false;
        for (const MeasurementRecord& r : f.app().run().measurements())
            flagged = flagged || (r.runAktiv == hit->measurement && r.flagged);
        EXPECT_TRUE(flagged) << "measurement " << hit->measurement;
        // ... in the summary file too (the cell's "flagged" column).
        const QList<QByteArray> summary = test::readBytes(f.dir + "Fault_summary.csv").split('\n');
        ASSERT_GE(summary.size(), 2);
        const qsizetype column = summary[0].trimmed().split(';').indexOf("flagged");
        ASSERT_GE(column, 0);
        const QList<QByteArray> flaggedField = summary[1].trimmed().split(';').value(column).split(' ');
        EXPECT_TRUE(flaggedField.contains(QByteArray::number(hit->measurement))) << summary[1].toStdString();

        // In the journal, with the run's start and end, and a chain that holds.
        const QString journal = f.dir + "Fault_events.log";
        const QByteArray log = test::readBytes(journal);
        for (const char* kind : {"\tjournal-opened\t", "\trun-start\t", "\tmeasurement\t", "\trun-end\t"})
            EXPECT_TRUE(log.contains(kind)) << kind;
        EXPECT_TRUE(log.contains(("\t" + eventKindName(c.expected) + "\t").toUtf8()));
        const JournalCheck check = verifyJournal(journal);
        EXPECT_EQ(check.firstBadLine, 0) << check.reason.toStdString();
        EXPECT_GT(check.lines, 5);
    }
}

TEST(RunEvents, SettingsChangedDuringARunAndCalibrationsAreJournalled) {
    AppFixture f;
    f.writeIni({"Language/Code=US", "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                "Measurement/MeasurementTimePerCell/s=30", "Measurement/LimitFID=100"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    f.dialogs.nextFileName = f.dir + "Cal.csv";
    f.app().btnSpeichernClick();
    f.type(Input::Start, "2");
    f.type(Input::Count, "1");
    f.type(Input::Cycles, "1");
    f.toggle(Check::IsobutanCalib, true);
    f.app().sequencer().btnStartClick();
    f.type(Input::LimitFID, "0.5");
    f.app().UpdateDurchbruchschwelle();
    while (f.app().sequencer().running()) {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        f.app().Timer1Timer();
    }
    const QByteArray log = test::readBytes(f.dir + "Cal_events.log");
    EXPECT_TRUE(log.contains("\tsetting-changed\t")) << log.toStdString();
    EXPECT_TRUE(log.contains("LimitFID")) << log.toStdString();
    EXPECT_TRUE(log.contains("\tcalibration\t")) << log.toStdString();
    const auto cal = std::find_if(f.view.events.begin(), f.view.events.end(),
                                  [](const RunEvent& e) { return e.kind == EventKind::Calibration; });
    ASSERT_NE(cal, f.view.events.end());
    EXPECT_TRUE(cal->text.contains("taken over (was ")) << cal->text.toStdString();
    EXPECT_FALSE(f.view.warning); // a calibration is news, not a fault
}
