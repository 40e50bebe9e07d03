// The service panel: setpoint groups (clamp, store, send), toggles, the free command line and
// monitoring on and off.

#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct PanelFixture : ::testing::Test {
    void start(const QString& language = "DE", const QString& typ = "FID") {
        sim::InstrumentOptions o;
        o.twoConverters = typ == "FIDFPD";
        f = std::make_unique<AppFixture>(o);
        f->writeIni({"Language/Code=" + language, "DeviceTyp/Typ=" + typ});
        ASSERT_EQ(f->start(), StartupOutcome::Running);
        QCoreApplication::processEvents();
        main().clearWrittenData();
        f->instrument->fpdLine().clearWrittenData();
    }
    sim::InProcessLine& main() { return f->instrument->mainLine(); }
    ServicePanel& panel() { return f->app().panel(); }
    std::unique_ptr<AppFixture> f;
};

} // namespace

TEST_F(PanelFixture, SetpointsAreClampedStoredAndSent) {
    start("US");
    const struct {
        ServicePanel::Group group;
        Input edit;
        const char* typed;
        const char* message; // empty: in range
        const char* shown;
        const char* key;
        int stored;
        const char* sent;
    } cases[] = {
        {ServicePanel::Group::Ventilblock, Input::Ventilblock, "85", "Attention! Value must be within 40°C and  80°C.",
         "80", "TempValves", 80, "<VS0320\r"},
        {ServicePanel::Group::Messkammer, Input::Messkammer, "19", "Bereichsfehler!", "20", "TempMeasurementCell", 20,
         "<SS00C8\r"},
        {ServicePanel::Group::Emmision, Input::Emmision, "80", "", "80", "TempEmissionCell", 80, "<ES0320\r"},
        {ServicePanel::Group::Transfer, Input::Transfer, "200", "", "200", "TempTransferline", 200, "<TS07D0\r"},
        {ServicePanel::Group::HVoltage, Input::HVoltage, "1000", "", "1000", "HighVoltage", 1000, "<HSFFFF\r"},
        {ServicePanel::Group::HVoltage, Input::HVoltage, "-5", "Attention! Value must be within 0 V and  1000 V.", "0",
         "HighVoltage", 0, "<HS0000\r"},
        {ServicePanel::Group::Zero, Input::Zero, "-1", "", "-1", "ZeroCompensation", -1, "<ZS7EB7\r"},
        {ServicePanel::Group::Zero, Input::Zero, "$10", "", "16", "ZeroCompensation", 16, "<ZS947B\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        f->dialogs.boxes.clear();
        main().clearWrittenData();
        f->type(c.edit, c.typed);
        EXPECT_TRUE(panel().setClick(c.group));
        EXPECT_EQ(f->dialogs.texts(), c.message[0] ? QStringList{QString::fromUtf8(c.message)} : QStringList{});
        EXPECT_EQ(f->view.inputs.value(c.edit), c.shown);
        EXPECT_EQ(f->app().ini().readInteger("Preferences", c.key, -999), c.stored);
        EXPECT_EQ(main().writtenData(), c.sent);
    }
}

TEST_F(PanelFixture, ANonIntegerSetpointIsReportedAndNothingHappens) {
    start();
    f->app().inputs().edited(Input::Transfer, "2OO");
    f->app().inputs().toggled(Check::TransferOn, true);
    panel().btnTransferAnClick();
    ASSERT_EQ(f->dialogs.boxes.size(), 1);
    EXPECT_EQ(f->dialogs.boxes[0].kind, "error");
    EXPECT_EQ(main().writtenData(), ""); // neither the setpoint nor the on command
    EXPECT_EQ(f->app().ini().readInteger("Preferences", "TempTransferline", -1), -1); // not written
}

TEST_F(PanelFixture, TogglesSendSetpointThenTheirCommand) {
    start();
    f->app().inputs().edited(Input::Emmision, "150");
    f->app().inputs().toggled(Check::EmmisionOn, true);
    panel().btnEmmisionAnClick();
    EXPECT_EQ(main().writtenData(), "<ES05DC\r<EO1\r");
    EXPECT_EQ(f->view.switchCaptions.value(Check::EmmisionOn), "An");
    f->app().inputs().toggled(Check::EmmisionOn, false);
    panel().btnEmmisionAnClick();
    EXPECT_EQ(f->view.switchCaptions.value(Check::EmmisionOn), "Aus");
    EXPECT_TRUE(main().writtenData().endsWith("<ES05DC\r<EO0\r"));
}

TEST_F(PanelFixture, HighVoltageOffGoesToZeroAndKeepsTheSetpoint) {
    start();
    f->app().inputs().edited(Input::HVoltage, "1000");
    f->app().inputs().toggled(Check::HVoltageOn, true);
    panel().btnHVoltageAnClick();
    EXPECT_EQ(main().writtenData(), "<HSFFFF\r<HO1\r");
    main().clearWrittenData();
    f->app().inputs().toggled(Check::HVoltageOn, false);
    panel().btnHVoltageAnClick();
    EXPECT_EQ(main().writtenData(), "<HS0000\r<HO0\r");
    EXPECT_EQ(f->view.inputs.value(Input::HVoltage), "1000");
    EXPECT_EQ(f->app().ini().readInteger("Preferences", "HighVoltage", -1), 1000);
}

TEST_F(PanelFixture, FreeCommandLine) {
    start();
    panel().ServiceButtonClick();
    f->app().inputs().edited(Input::ServiceCommand, "<LG");
    panel().ServiceButtonClick();
    EXPECT_EQ(main().writtenData(), "<12AS100\r<LG\r");
}

TEST_F(PanelFixture, MonitoringOnAndOffOnBothConverters) {
    start("US", "FIDFPD");
    f->app().link().DataQueue1()->push_back("[A100001");
    f->app().acquisition().btnMonitorClick();
    EXPECT_TRUE(f->app().acquisition().monitoring());
    EXPECT_EQ(f->view.monitorCaption, "Monitoring Off");
    EXPECT_EQ(f->view.bottomMax, 300);
    EXPECT_TRUE(f->app().link().DataQueue1()->empty());
    EXPECT_EQ(main().writtenData(), "<12B1100\r<12W1100\r<12Z1100\r");
    EXPECT_EQ(f->instrument->fpdLine().writtenData(), "<12B1100\r<12W1100\r<12Z1100\r");

    f->app().acquisition().runZeit2 = 7;
    f->app().acquisition().btnMonitorClick();
    EXPECT_FALSE(f->app().acquisition().monitoring());
    EXPECT_EQ(f->view.monitorCaption, "Monitoring On");
    EXPECT_EQ(f->view.bottomMax, f->app().settings().Messzeit);
    EXPECT_TRUE(main().writtenData().endsWith("<12Z0100\r"));
    EXPECT_TRUE(f->instrument->fpdLine().writtenData().endsWith("<12Z0100\r"));
    EXPECT_EQ(f->app().acquisition().runZeit, 0);
    EXPECT_EQ(f->app().acquisition().runZeit2, 7); // the FPD counter keeps its value
}

// After a run the last evaluation's baseline chords belong to curves monitoring clears: they go
// with them, so a Fit of the live signal does not draw them over it (and they stay gone when
// monitoring ends, which clears the curves again).
TEST_F(PanelFixture, MonitoringTakesTheLastEvaluationsChordsAway) {
    start("US", "FIDFPD");
    EvaluationState& eval = f->app().run().eval;
    for (bool on : {true, false}) {
        eval.FIDBaseDraw = eval.FPDBaseDraw = true;
        eval.FIDStart = 100;
        eval.FIDEnd = 400;
        ASSERT_EQ(baselineChords(eval).size(), 2u);
        const int repaints = f->view.overlayRepaints;
        f->app().btnMonitorClick();
        EXPECT_EQ(f->app().acquisition().monitoring(), on);
        EXPECT_TRUE(baselineChords(eval).empty());
        EXPECT_GT(f->view.overlayRepaints, repaints);
    }
}
