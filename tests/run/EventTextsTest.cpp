// What the operator reads of a journalled event, German and English: the kinds' names, the
// moments ("11.12.2026 10:15:03" / "2026-12-11 10:15:03", also inside a text), and the texts the
// program journals in English put into German, including the counts inside a sentence. A text no
// rule knows stays as it was journalled; the English window shows the journalled text.

#include "run/EventTexts.h"
#include "shell/StringTable.h"

#include <gtest/gtest.h>

namespace korvat {
namespace {

TEST(EventTexts, KindsAndMomentsInTheLanguage) {
    const QDateTime t(QDate(2026, 12, 11), QTime(10, 15, 3));
    EXPECT_EQ(eventMomentText(t, kGermanOffset), "11.12.2026 10:15:03");
    EXPECT_EQ(eventMomentText(t, kEnglishOffset), "2026-12-11 10:15:03");
    EXPECT_EQ(eventMomentText(QDateTime(), kGermanOffset), "---");
    const struct {
        const char* journal;
        const char* german;
        const char* english;
    } kinds[] = {{"line-lost", "Leitung verloren", "Line lost"},
                 {"run-resumed", "Lauf fortgesetzt", "Run continued"},
                 {"value-warning", "Wert", "Value"},
                 {"calibration", "Kalibrierung", "Calibration"},
                 {"no-such-kind", "no-such-kind", "no-such-kind"}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.journal);
        EXPECT_EQ(eventKindText(QString::fromLatin1(k.journal), kGermanOffset), QString::fromUtf8(k.german));
        EXPECT_EQ(eventKindText(QString::fromLatin1(k.journal), kEnglishOffset), QString::fromUtf8(k.english));
    }
    // Every kind has a German and an English name of its own, and its journal name finds it.
    for (int k = 0; k <= static_cast<int>(EventKind::Breakthrough); ++k) {
        const auto kind = static_cast<EventKind>(k);
        EXPECT_EQ(eventKindNamed(eventKindName(kind)), kind);
        EXPECT_NE(eventKindText(kind, kGermanOffset), eventKindName(kind));
        EXPECT_NE(eventKindText(kind, kEnglishOffset), eventKindName(kind));
    }
}

TEST(EventTexts, JournalledTextsInGerman) {
    const struct {
        const char* journalled;
        const char* german;
    } cases[] = {
        {"/dev/ttyUSB0: line lost (device removed)", "/dev/ttyUSB0: Leitung verloren (device removed)"},
        {"/dev/ttyUSB0: 3 garbled data line(s) dropped during measurement 12",
         "/dev/ttyUSB0: 3 verstümmelte Datenzeile(n) in Messung 12 verworfen"},
        {"FID calibration area 445163 taken over (was 0)", "FID-Kalibrierfläche 445163 übernommen (vorher 0)"},
        {"Measurement 4, position 5: area 3e+12 is too large for a calibration; not taken over",
         "Messung 4, Position 5: Fläche 3e+12 ist für eine Kalibrierung zu groß; nicht übernommen"},
        {"cell 2 (Nitril) broke through at 01:12:30", "Zelle 2 (Nitril): Durchbruch bei 01:12:30"},
        // Counts and moments inside a sentence.
        {"Not written since 2026-12-11T02:00:05: /lab/N.csv (disk full); 3 rows and 1 raw-data file wait",
         "Nicht geschrieben seit 11.12.2026 02:00:05: /lab/N.csv (disk full); es warten 3 Zeile(n) und 1 "
         "Rohdatendatei(en)"},
        {"run continued after an interruption of 00:12:00 (no measurement from 2026-12-11T02:00:00 to "
         "2026-12-11T02:12:00); next: measurement 7, position 4",
         "Lauf nach einer Unterbrechung von 00:12:00 fortgesetzt (keine Messung von 11.12.2026 02:00:00 bis "
         "11.12.2026 02:12:00); als Nächstes: Messung 7, Position 4"},
        // Nothing the rules know: as journalled.
        {"something new", "something new"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.journalled);
        EXPECT_EQ(eventText(QString::fromUtf8(c.journalled), kGermanOffset), QString::fromUtf8(c.german));
    }
    EXPECT_EQ(eventText(QStringLiteral("/dev/ttyUSB0: line lost (device removed)"), kEnglishOffset),
              "/dev/ttyUSB0: line lost (device removed)");
    EXPECT_EQ(eventText(QStringLiteral("Everything that waited since 2026-12-11T02:00:05 is written: 1 row and 2 raw-data files"),
                        kEnglishOffset),
              "Everything that waited since 2026-12-11 02:00:05 is written: 1 row and 2 raw-data files");
}

} // namespace
} // namespace korvat
