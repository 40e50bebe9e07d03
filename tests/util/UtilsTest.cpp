// Helpers shared by every part: register bits, the fixed one-decimal temperature text, the
// locale-dependent number forms, integer parsing and the Windows-1252 code page.

#include "evaluation/ResultsFile.h"
#include "evaluation/SubstanceList.h"
#include "util/CodePage.h"
#include "util/FileLayer.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
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

TEST(CodePage, EveryByteComesBackAndTheUnassignedFiveAreTheirC1Controls) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = fromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(text[b].unicode(), b) << b;
    EXPECT_EQ(toCp1252(text), all);
}

TEST(CodePage, SubstanceListsAndResultRowsKeepEveryByte) {
    // A name typed into a list in UTF-8 ("Á" is C3 81) is read as Windows-1252 and must come back.
    QTemporaryDir dir;
    const QByteArray list = "\xC3\x81thanol=0,5\r\nx\x8D\x8F\x90\x9D=1\r\n";
    const QString path = dir.filePath("CH-Substanzen.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(list);
    }
    const auto lines = loadSubstanceList(path, nullptr);
    ASSERT_TRUE(lines);
    ASSERT_TRUE(saveSubstanceList(path, *lines, nullptr));
    QFile back(path);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), list);

    // A row goes to the results file as the program writes it: Windows-1252 and CR LF.
    const QString csv = dir.filePath("Glove7.csv");
    ASSERT_TRUE(makePosixFileLayer()->append(csv, toCp1252((*lines)[0]) + "\r\n", FileLayer::Create::IfMissing,
                                             nullptr, nullptr));
    QFile rows(csv);
    ASSERT_TRUE(rows.open(QIODevice::ReadOnly));
    EXPECT_EQ(rows.readAll(), "\xC3\x81thanol=0,5\r\n");
}
