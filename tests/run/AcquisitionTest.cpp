// Draining the data queues into the signal series: sample values, time axis, burst flag, level
// edits, the FID-only rule, and garbled lines.

#include "support/AppFixture.h"

#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct AcquisitionFixture : ::testing::Test {
    void start(const QString& typ) {
        sim::InstrumentOptions o;
        o.twoConverters = typ == "FIDFPD";
        f = std::make_unique<AppFixture>(o);
        f->writeIni({"DeviceTyp/Typ=" + typ});
        ASSERT_EQ(f->start(), StartupOutcome::Running);
    }
    void queue(LineQueue* q, std::initializer_list<const char*> lines) {
        for (const char* l : lines)
            q->push_back(QString::fromLatin1(l));
    }
    Acquisition& acq() { return f->app().acquisition(); }
    std::unique_ptr<AppFixture> f;
};

} // namespace

TEST_F(AcquisitionFixture, SamplesBecomePointsAtTenthsOfASecond) {
    start("FIDFPD");
    Link& link = f->app().link();
    acq().runZeit = 24;
    queue(link.DataQueue1(), {"[x1003E8", "/x0FFC18"});
    queue(link.DataQueue2(), {"[A0FFFFF", "[A000000"});
    acq().drain(TDeviceTyp::FIDFPD);
    EXPECT_EQ(acq().Series1.x, (std::vector<double>{2.4, 2.5}));
    EXPECT_EQ(acq().Series1.y, (std::vector<double>{1000, -999}));
    EXPECT_EQ(acq().Series2.y, (std::vector<double>{0, -1048575}));
    EXPECT_EQ(acq().runZeit, 26);
    EXPECT_EQ(acq().runZeit2, 2);
    EXPECT_TRUE(acq().Sampling);
    EXPECT_EQ(f->view.levels.value(Detector::FID), "-999");
    EXPECT_EQ(f->view.levels.value(Detector::FPD), "-1048575");
    EXPECT_EQ(f->view.seriesData[0].second, acq().Series1.y); // the chart mirrors the series
    EXPECT_EQ(f->view.replots, 2);                             // once per drained port

    queue(link.DataQueue1(), {"]x1003E8"});
    acq().drain(TDeviceTyp::FIDFPD);
    EXPECT_TRUE(acq().Sampling) << "the FPD converter's burst is still open";
    EXPECT_EQ(f->view.replots, 3); // an empty queue is skipped
    queue(link.DataQueue2(), {"]A000000"});
    acq().drain(TDeviceTyp::FIDFPD);
    EXPECT_FALSE(acq().Sampling);
    EXPECT_EQ(f->view.replots, 4);
}

TEST_F(AcquisitionFixture, WithOneDetectorTheSecondQueueIsLeftAlone) {
    start("FID");
    Link& link = f->app().link();
    link.createQueues(true); // even if something were queued there
    queue(link.DataQueue2(), {"[A100010"});
    acq().drain(TDeviceTyp::FID);
    EXPECT_EQ(acq().Series2.size(), 0u);
    EXPECT_EQ(link.DataQueue2()->size(), 1u);
}

TEST_F(AcquisitionFixture, GarbledDataLinesAreReportedAndDropped) {
    start("FID");
    Link& link = f->app().link();
    f->view.log.clear();
    queue(link.DataQueue1(), {"[x1003E8", "[x10G3E8", "[x1", "]", "[x100010"});
    acq().drain(TDeviceTyp::FID);
    EXPECT_EQ(acq().Series1.y, (std::vector<double>{1000, 16}));
    EXPECT_EQ(acq().Series1.x, (std::vector<double>{0.0, 0.1}));
    EXPECT_EQ(f->view.log.size(), 3);
    EXPECT_EQ(f->view.log[0], "KORVAT-SIM-A: data line dropped: [x10G3E8");
    EXPECT_TRUE(acq().Sampling); // the dropped "]" did not end the burst
}

// Each converter ends its own burst with its "]" line, in whatever order and in whichever tick:
// the burst counts as open until both have.
TEST_F(AcquisitionFixture, TheBurstIsOpenUntilBothConvertersHaveEndedTheirs) {
    struct Step {
        std::vector<const char*> port1, port2;
        bool open;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"together", {{{"[A100010"}, {"[B100010"}, true}, {{"]A100010"}, {"]B100010"}, false}}},
        {"FPD converter first, main still sending",
         {{{"[A100010"}, {"[B100010"}, true}, {{"[A100010"}, {"]B100010"}, true}, {{"]A100010"}, {}, false}}},
        {"main converter first",
         {{{"[A100010"}, {"[B100010"}, true}, {{"]A100010"}, {}, true}, {{}, {"[B100010", "]B100010"}, false}}},
        {"main converter first, same tick",
         {{{"[A100010"}, {"[B100010"}, true}, {{"]A100010"}, {"[B100010"}, true}, {{}, {"]B100010"}, false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start("FIDFPD");
        Link& link = f->app().link();
        for (const Step& step : c.steps) {
            for (const char* l : step.port1)
                link.DataQueue1()->push_back(QString::fromLatin1(l));
            for (const char* l : step.port2)
                link.DataQueue2()->push_back(QString::fromLatin1(l));
            acq().drain(TDeviceTyp::FIDFPD);
            EXPECT_EQ(acq().Sampling, step.open);
        }
    }
    // A new window starts afresh, whatever the last burst left open.
    start("FIDFPD");
    queue(f->app().link().DataQueue2(), {"[B100010"});
    acq().drain(TDeviceTyp::FIDFPD);
    acq().clearSeries(0);
    acq().clearSeries(1);
    queue(f->app().link().DataQueue1(), {"[A100010", "]A100010"});
    acq().drain(TDeviceTyp::FIDFPD);
    EXPECT_FALSE(acq().Sampling);
}
