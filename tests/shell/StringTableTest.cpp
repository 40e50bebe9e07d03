// The caption table: German text n and English text n + 1000 come back exactly as worded (blanks,
// typos, degree and micro signs, the two-line Monitoring captions), and numbers outside both
// ranges give an empty text instead of a neighbour's.
//
// Non-ASCII characters are written as \u escapes here on purpose: if the table's source were ever
// read in the wrong encoding, an escape still names the one code point the program must show.

#include "shell/StringTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace korvat {
namespace {

std::string utf8(const QString& s) { return s.toStdString(); }

struct TextPair {
    int n;
    const char16_t* german;
    const char16_t* english;
};

const TextPair kSamples[] = {
    {1, u"Startzelle", u"Startcell"},
    {6, u"Messparameter", u"Measure parameter"},
    {9, u"ASTM F 739 (27\u00b0C)", u"ASTM F 739 (27\u00b0C)"},
    // Part 1 of EN 16523 is the one for liquids, the chemicals the instrument tests against, in
    // both languages (Part 2 is for gases).
    {10, u"EN16523-1 (23\u00b0C)", u"EN16523-1 (23\u00b0C)"},
    {11, u"Pr\u00fcfstandard", u"Standard"},
    {18, u"\u00b0 C", u"\u00b0C"},
    {76, u"Injektionszeit", u"Injectiontime"},
    {28, u"Fehler: Beim \u00d6ffnen des seriellen Anschlusses", u"Error: Cannot open COM port"},
    {39, u"Laufzeit --:-- ", u"Run Time --:--"},
    {43, u"Skalierung \u00b5V", u"Scale \u00b5V"},
    {47, u"Durchbruch FPD", u"Break amount THT"},
    {55, u"Monitoring\r\n      An", u"Monitoring On"},
    {57, u"Monitoring\r\n     Aus", u"Monitoring Off"},
    {84, u"Achtung ! Wert soll zwischen 40\u00b0C und 80\u00b0C liegen.",
     u"Attention! Value must be within 40\u00b0C and  80\u00b0C."},
    {96, u"Probeninfo  / Speichern...", u"Storing..."},
    {111, u"(ml/min)", u"Gas flow (ml/min)"},
    {115, u"CH - Chemikalie", u"CH - Chemical"},
    {116, u"CH - Faktor", u"CH - Factor"},
    {119, u"----------", u"------------"},
    {121, u"Ger\u00e4t", u"Device"},
    {144, u"Bericht", u"Report"},
};

TEST(StringTable, GermanAndEnglishTextsAreExactlyAsWorded)
{
    for (const auto& sample : kSamples) {
        SCOPED_TRACE(sample.n);
        EXPECT_EQ(utf8(LoadLangText(kGermanOffset, sample.n)),
                  utf8(QString::fromUtf16(sample.german)));
        EXPECT_EQ(utf8(LoadLangText(kEnglishOffset, sample.n)),
                  utf8(QString::fromUtf16(sample.english)));
    }
}

TEST(StringTable, MonitoringCaptionBreaksIntoTwoLinesWithSixBlanksBeforeAn)
{
    const QString caption = LoadLangText(kGermanOffset, 55);
    ASSERT_EQ(caption.size(), 20);
    EXPECT_EQ(utf8(caption.left(10)), "Monitoring");
    EXPECT_EQ(caption.at(10), QChar(u'\r'));
    EXPECT_EQ(caption.at(11), QChar(u'\n'));
    EXPECT_EQ(utf8(caption.mid(12)), "      An");
}

TEST(StringTable, SignsAreSingleLatinCodePoints)
{
    // Degree and micro sign must be the Latin-1 characters (they go into 8-bit files as one byte
    // each), not a Greek mu or a decomposed umlaut.
    EXPECT_EQ(LoadLangText(kGermanOffset, 107), QString(QChar(0x00b5) + QStringLiteral("V")));
    EXPECT_EQ(LoadLangText(kEnglishOffset, 18), QString(QChar(0x00b0) + QStringLiteral("C")));
    EXPECT_EQ(LoadLangText(kGermanOffset, 71).size(), 6); // "Fläche" with a precomposed ä
}

TEST(StringTable, EveryNumberHasATextInBothLanguages)
{
    std::vector<int> numbers;
    for (int n = 1; n <= kStringTableCount; ++n)
        numbers.push_back(n);
    for (int n = kWindowTextFirst; n < kWindowTextFirst + kWindowTextCount; ++n)
        numbers.push_back(n);
    for (const int n : numbers) {
        SCOPED_TRACE(n);
        const QString german = LoadLangText(kGermanOffset, n);
        const QString english = LoadLangText(kEnglishOffset, n);
        EXPECT_FALSE(german.isEmpty());
        EXPECT_FALSE(english.isEmpty());
        EXPECT_LE(german.size(), 1023);
        EXPECT_LE(english.size(), 1023);
        EXPECT_FALSE(german.contains(QChar(0))) << "a stray terminator inside the text";
        EXPECT_FALSE(english.contains(QChar(0)));
    }
}

TEST(StringTable, NumbersOutsideBothRangesGiveAnEmptyText)
{
    struct Missing {
        int offset;
        int n;
    };
    const Missing missing[] = {
        {kGermanOffset, 0},        {kGermanOffset, kStringTableCount + 1},    {kEnglishOffset, 0},
        {kEnglishOffset, kStringTableCount + 1},     {kGermanOffset, 1000},   {kGermanOffset, 1000 + kStringTableCount + 1},
        {kEnglishOffset, 1001},    {kGermanOffset, -1},     {kEnglishOffset, -1},
        {kEnglishOffset, -1000},   {kGermanOffset, 500},    {INT_MAX, 1},
        {INT_MIN, -1},             {INT_MIN, INT_MIN},      {kGermanOffset, 65536 + 1},
        {kGermanOffset, kWindowTextFirst - 1}, {kEnglishOffset, kWindowTextFirst - 1},
        {kGermanOffset, kWindowTextFirst + kWindowTextCount},
        {kEnglishOffset, kWindowTextFirst + kWindowTextCount},
    };
    for (const auto& m : missing) {
        SCOPED_TRACE(std::to_string(m.offset) + " + " + std::to_string(m.n));
        EXPECT_TRUE(LoadLangText(m.offset, m.n).isEmpty());
    }
}

TEST(StringTable, OnlyTheSumOfOffsetAndNumberCounts)
{
    // Callers pass the language as the offset, but the table is keyed by the sum alone.
    EXPECT_EQ(LoadLangText(kGermanOffset, 1047), QStringLiteral("Break amount THT"));
    EXPECT_EQ(LoadLangText(kEnglishOffset, -999), QStringLiteral("Startzelle"));
    EXPECT_EQ(LoadLangText(1100, 21), QStringLiteral("Device"));
}

} // namespace
} // namespace korvat
