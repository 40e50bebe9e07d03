// Valve banks and lamps: the bytes sent for each operation, the indicators, and the numbers that
// address nothing.

#include "app/ServicePanel.h"
#include "link/Link.h"
#include "shell/IniFile.h"
#include "link/Valves.h"
#include "model/InProcessLine.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

using namespace korvat;
using korvat::sim::InProcessLine;

namespace {
struct ValvesFixture : ::testing::Test {
    ValvesFixture() : com1("A"), com2("B"), link(com1, com2, clock, dialogs, view), valves(regs, link, view) {
        link.OpenComPort(com1);
    }
    ManualClock clock;
    test::RecordingView view;
    test::RecordingDialogs dialogs;
    InProcessLine com1, com2;
    Link link;
    Registers regs; // as after start-up: V1/V2 0xFF, lamps 0xEF
    Valves valves;
    // The settings page's indicators switch the valves.
    Settings settings;
    IniFile ini{QString()};
    int ID = 1000;
    TDeviceTyp deviceTyp = TDeviceTyp::FID;
    ServicePanel panel{{settings, ini, link, view, dialogs, valves, ID, deviceTyp}};
};
} // namespace

TEST_F(ValvesFixture, SetAndResetSendTheWholeByte) {
    valves.ValveSet(11);
    EXPECT_TRUE(view.leds["ledV1_0"]);
    valves.ValveReset(11);
    EXPECT_FALSE(view.leds["ledV1_0"]);
    valves.ValveSet(17);
    valves.ValveSet(2);
    valves.DispSet(14);
    EXPECT_EQ(com1.writtenData(), "<V1SFE\r<V1SFF\r<V2SFE\r<V2SFC\r<LS6F\r");
    EXPECT_TRUE(view.leds["ledSample1"]);
    EXPECT_TRUE(view.leds["ledV2_1"]);
}

TEST_F(ValvesFixture, NumbersOutsideTheTablesDoNothing) {
    for (int x : {1, 7, 10, 18, 0, -1})
        valves.ValveSet(x);
    valves.ValveReset(10);
    valves.DispSet(10);
    valves.DispSet(17);
    EXPECT_EQ(com1.writtenData(), "");
    EXPECT_EQ(regs.V1Byte, 0xFF);
    EXPECT_EQ(regs.V2Byte, 0xFF);
    EXPECT_EQ(regs.DispByte, 0xEF);
}

TEST_F(ValvesFixture, LedClicksDecideFromTheIndicator) {
    panel.ledV2Click(3);
    EXPECT_EQ(com1.writtenData(), "<V2SF7\r");
    EXPECT_TRUE(view.leds["ledV2_3"]);
    // The bytes went back to 0xFF without the indicators (as at the end of a run): the click
    // still follows the lit indicator, and the refresh shows the byte.
    regs.V2Byte = 0xFF;
    com1.clearWrittenData();
    panel.ledV2Click(3);
    EXPECT_EQ(com1.writtenData(), "<V2SFF\r");
    EXPECT_FALSE(view.leds["ledV2_3"]);

    com1.clearWrittenData();
    panel.ledLoopClick();
    panel.ledLoopClick();
    EXPECT_EQ(com1.writtenData(), "<D1\r<D0\r");
    EXPECT_EQ(regs.DispByte, 0xEF); // the loop's lamp follows the next D report
}

TEST_F(ValvesFixture, OnAClosedPortTheByteAndIndicatorStillChange) {
    com1.close();
    valves.ValveSet(12);
    EXPECT_EQ(regs.V1Byte, 0xFD);
    EXPECT_TRUE(view.leds["ledV1_1"]);
    EXPECT_EQ(dialogs.boxes.size(), 1);
}
