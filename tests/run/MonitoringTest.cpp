// Monitoring against the in-process instrument: the converters stream ten points a second into
// the series while the status poll runs; switching off stops the stream and clears the chart.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

TEST(Monitoring, PointsArriveAtTenPerSecondOnBothChannels) {
    sim::InstrumentOptions o;
    o.twoConverters = true;
    AppFixture f(o);
    f.writeIni({"DeviceTyp/Typ=FIDFPD"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();
    auto tick = [&] {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
    };
    app.acquisition().MonitorOn();
    const int ticks = 60 * 1000 / 90; // a minute
    for (int i = 0; i < ticks; ++i)
        tick();
    const Acquisition& acq = app.acquisition();
    EXPECT_NEAR(static_cast<double>(f.view.seriesData[0].second.size()), 600, 2);
    EXPECT_NEAR(static_cast<double>(f.view.seriesData[1].second.size()), 600, 2);
    EXPECT_DOUBLE_EQ(f.view.seriesData[0].first[100], 10.0);
    EXPECT_TRUE(acq.Sampling);
    // The chart keeps the monitored signal; the run side holds no second copy of it.
    EXPECT_EQ(acq.Series1.size(), 0u);
    EXPECT_EQ(acq.Series2.size(), 0u);
    EXPECT_FALSE(f.view.levels.value(Detector::FID).isEmpty());
    // The poll ran alongside: read-back labels were filled.
    EXPECT_TRUE(f.view.readBacks.value(ReadBack::Ventilblock).contains("°")) << f.view.readBacks.value(ReadBack::Ventilblock).toStdString();

    f.instrument->mainLine().clearWrittenData();
    app.acquisition().MonitorOff();
    EXPECT_EQ(f.instrument->mainLine().writtenData(), "<12Z0100\r");
    EXPECT_EQ(acq.Series1.size(), 0u);
    EXPECT_TRUE(f.view.seriesData[0].second.empty());
    // Whatever the converter still sends (the closing "]" line) is drawn as a new point at most.
    for (int i = 0; i < 20; ++i)
        tick();
    EXPECT_LE(acq.Series1.size(), 1u);
    EXPECT_LE(f.view.seriesData[0].second.size(), 1u);
    EXPECT_FALSE(acq.Sampling);
}
