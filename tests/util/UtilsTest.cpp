// Helpers shared by every part: register bits, the fixed one-decimal temperature text, the
// locale-dependent number forms, integer parsing and the Windows-1252 code page.

#include "util/CodePage.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace korvat;

TEST(Utils, BitHelpersWorkOnSingleBits) {
    std::uint8_t b = 0xFF;
    ClearBit(b, 3);
    EXPECT_EQ(b, 0xF7);
    EXPECT_FALSE(BitIsSet(b, 3));
    EXPECT_TRUE(BitIsSet(b, 7));
    SetBit(b, 3);
    EXPECT_EQ(b, 0xFF);
    EXPECT_EQ(MaxInt2(-3, 2), 2);
    EXPECT_EQ(MinInt2(-3, 2), -3);
    EXPECT_EQ(DotToComma(QStringLiteral("1.2.3")), QStringLiteral("1,2,3"));
}

TEST(Utils, TenthsToStrUsesOneDecimalAndAPoint) {
    const struct {
        int v;
        const char* text;
    } cases[] = {{273, "27.3"}, {0, "0.0"},     {-5, "-0.5"},    {-15, "-1.5"},
                 {-10, "-1.0"}, {0xFFF1, "-1.5"}, {0x0258, "60.0"}, {0x17FFF1, "-1.5"}};
    for (const auto& c : cases)
        EXPECT_EQ(TenthsToStr(c.v), QString::fromLatin1(c.text)) << c.v;
}

TEST(Utils, VersionStringHasThreeNumbers) {
    EXPECT_TRUE(GetVersionString().contains(QRegularExpression("^Version \\d+\\.\\d+\\.\\d+$")))
        << GetVersionString().toStdString();
}

TEST(NumberText, FormsFollowTheLocale) {
    const QLocale de(QLocale::German, QLocale::Germany);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(formatGeneral(19.6, de), "19,6");
    EXPECT_EQ(formatGeneral(100.0, de), "100");
    EXPECT_EQ(formatGeneral(12345.5, de), "12345,5"); // never a group separator
    EXPECT_EQ(formatGeneral(0.1, en), "0.1");
    EXPECT_EQ(formatFixed(0.1, 5, 1, de), "0,1");
    EXPECT_EQ(formatFixed(1.0, 5, 1, de), "1,0");
    EXPECT_EQ(formatFixed(1.0, 6, 2, de), "1,00");
    EXPECT_EQ(formatFixed(99999.0, 5, 1, de), "99999,0");
    EXPECT_EQ(formatFixed(123456.0, 5, 1, de), "1,2346E+005");
    EXPECT_EQ(formatFixed(1234567.0, 6, 2, en), "1.23457E+006");
}

TEST(NumberText, ParseFloatUnderTheLocale) {
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(parseFloat("19,6", de), 19.6);
    EXPECT_EQ(parseFloat(" 2 ", de), 2.0);
    EXPECT_FALSE(parseFloat("19.6", de)); // a point is not the German separator
    EXPECT_FALSE(parseFloat("1.000,5", de));
    EXPECT_FALSE(parseFloat("", de));
    EXPECT_FALSE(parseFloat("abc", de));
    EXPECT_EQ(parseFloat("19.6", QLocale::c()), 19.6);
    // Round trip of what the program writes.
    EXPECT_EQ(parseFloat(formatGeneral(0.1205, de), de), 0.1205);
}

TEST(NumberText, ParseIntegerAcceptsDecimalAndHexPrefixes) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {{"42", 42},       {" -7 ", -7},  {"$1F", 31},  {"0x1f", 31}, {"0X10", 16},
                 {"$FFFFFFFF", -1}, {"", {}},      {"12a", {}},  {"1.5", {}},  {"$", {}},
                 {"0x", {}},        {"99999999999", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(parseInteger(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(CodePage, Windows1252RoundTrip) {
    const QString text = QStringLiteral("Prüfstandard 23°C µV cm² € „x“");
    const QByteArray bytes = toCp1252(text);
    EXPECT_EQ(bytes.size(), text.size()); // one byte per character
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0xFC);
    EXPECT_EQ(fromCp1252(bytes), text);
    EXPECT_EQ(toCp1252(QStringLiteral("Ω")), QByteArray("?"));
}
