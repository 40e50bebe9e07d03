// The instrument's number formats, from the worked examples of the command set.

#include "link/Commands.h"

#include <gtest/gtest.h>

using namespace korvat;

TEST(Commands, SetpointCodes) {
    EXPECT_EQ(temperatureSetpointCommand('V', 60), "<VS0258\r");
    EXPECT_EQ(temperatureSetpointCommand('T', 200), "<TS07D0\r");
    EXPECT_EQ(temperatureSetpointCommand('E', 80), "<ES0320\r");
    const struct {
        int volts;
        const char* hex;
    } hv[] = {{1000, "FFFF"}, {100, "199A"}, {0, "0000"}};
    for (const auto& c : hv)
        EXPECT_EQ(hex4(highVoltageCode(c.volts)), c.hex) << c.volts;
}

TEST(Commands, ZeroCodesBothWays) {
    const struct {
        int percent;
        const char* hex;
    } cases[] = {{-100, "0000"}, {-50, "3FFF"}, {-1, "7EB7"}, {0, "8000"},
                 {1, "8148"},    {50, "C000"},  {100, "FFFF"}};
    for (const auto& c : cases)
        EXPECT_EQ(hex4(zeroCode(c.percent)), c.hex) << c.percent;
    EXPECT_EQ(zeroPercentFromCode(0x8000), 0);
    EXPECT_EQ(zeroPercentFromCode(0xFFFF), 100);
    EXPECT_EQ(zeroPercentFromCode(0x0000), -100);
}

TEST(Commands, ReplyFieldsAndSignedValues) {
    EXPECT_EQ(hexField(":VG0258", 4, 7), 0x258);
    EXPECT_EQ(hexField(":PGfc", 4, 5), 0xFC);
    EXPECT_FALSE(hexField(":SGG1", 4, 7));
    EXPECT_FALSE(hexField(":SG02", 4, 7));
    EXPECT_FALSE(hexField(":SG02 8", 4, 7));
    EXPECT_EQ(signed16(0xFFF1), -15);
    EXPECT_EQ(signed16(0x05DC), 1500);
}

TEST(Commands, DataLines) {
    const struct {
        const char* line;
        std::optional<int> value;
        char marker;
    } cases[] = {
        {"[A0FFFFF", 0, '['},          {"[A100010", 16, '['},     {"[x1003E8", 1000, '['},
        {"/x0FFC18", -999, '/'},       {"]x1003E8", 1000, ']'},   {"[A000000", -1048575, '['},
        {"[A1003E8 trailing", 1000, '['}, {"[A1003", {}, 0},      {"[A10G3E8", {}, 0},
        {":A100010", {}, 0},          {"", {}, 0},
    };
    for (const auto& c : cases) {
        const auto s = decodeDataLine(QString::fromLatin1(c.line));
        ASSERT_EQ(s.has_value(), c.value.has_value()) << c.line;
        if (s) {
            EXPECT_EQ(s->value, *c.value) << c.line;
            EXPECT_EQ(s->marker, c.marker) << c.line;
        }
    }
}
