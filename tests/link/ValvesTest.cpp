// Valve banks and lamps: the bytes sent for each operation, the indicators, and the numbers that
// address nothing.

#include "app/ServicePanel.h"
#include "link/Link.h"
#include "shell/IniFile.h"
#include "link/Valves.h"
#include "run/Inputs.h"
#include "model/InProcessLine.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

using namespace korvat;
using korvat::sim::InProcessLine;

namespace {
struct ValvesFixture : ::testing::Test {
    ValvesFixture() : com1("A"), com2("B"), link(com1, com2, clock, dialogs, view), valves(link, view) {
        link.OpenComPort(com1);
    }
    ManualClock clock;
    test::RecordingView view;
    test::RecordingDialogs dialogs;
    InProcessLine com1, com2;
    Link link;
    Valves valves;
    Registers& regs = valves.regs(); // as after start-up: V1/V2 0xFF, lamps 0xEF
    // The settings page's indicators switch the valves.
    Settings settings;
    IniFile ini{QString()};
    int ID = 1000;
    TDeviceTyp deviceTyp = TDeviceTyp::FID;
    Inputs inputs;
    ServicePanel panel{{settings, ini, link, view, inputs, dialogs, valves, ID, deviceTyp}};
};
} // namespace

TEST_F(ValvesFixture, SetAndResetSendTheWholeByte) {
    valves.ValveSet(11);
    EXPECT_TRUE(view.valve(1, 0));
    valves.ValveReset(11);
    EXPECT_FALSE(view.valve(1, 0));
    valves.ValveSet(17);
    valves.ValveSet(2);
    valves.DispSet(14);
    EXPECT_EQ(com1.writtenData(), "<V1SFE\r<V1SFF\r<V2SFE\r<V2SFC\r<LS6F\r");
    EXPECT_TRUE(view.lamp(Lamp::Sample1));
    EXPECT_TRUE(view.valve(2, 1));
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
    EXPECT_TRUE(view.valve(2, 3));
    // The end of a run closes both banks without touching the indicators: the click still
    // follows the lit indicator, and the refresh shows the byte.
    valves.closeBanks();
    EXPECT_EQ(regs.V2Byte, 0xFF);
    EXPECT_TRUE(view.valve(2, 3));
    com1.clearWrittenData();
    panel.ledV2Click(3);
    EXPECT_EQ(com1.writtenData(), "<V2SFF\r");
    EXPECT_FALSE(view.valve(2, 3));

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
    EXPECT_TRUE(view.valve(1, 1));
    EXPECT_EQ(dialogs.boxes.size(), 1);
}
