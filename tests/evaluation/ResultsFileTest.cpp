// The results file: its name, the header block for one and two detectors in both languages, the
// result rows, the bytes on disk, an existing file that keeps its content, and rows that could not
// be written being kept and written later in their order.

#include "evaluation/ResultsFile.h"
#include "shell/StringTable.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QDateTime kMoment(QDate(2026, 3, 7), QTime(14, 5, 9));

ResultsHeader sampleHeader() {
    ResultsHeader h;
    h.path = QStringLiteral("/data/Glove7.csv");
    h.moment = kMoment;
    h.serial = QStringLiteral("K-0042");
    h.TempMesskammer = 27;
    h.TempVentilblock = 100;
    h.TempEmissionskammer = 150;
    h.TempTransferline = 120;
    h.Hochspannung = 700;
    h.Zerokompensation = -5;
    h.actualMesskammer = QStringLiteral("27,1");
    h.actualVentilblock = QStringLiteral("99,8");
    h.actualEmissionskammer = QStringLiteral("150,2");
    h.actualTransferline = QStringLiteral("119,9");
    h.actualHochspannung = QStringLiteral("700");
    h.actualZerokompensation = QStringLiteral("-5");
    h.FIDCALMenge = 100.5;
    h.FIDCalArea = 123456;
    h.LimitFID = 0.5;
    h.FIDSampleFactor = 1234567; // seven digits do not fit six: exponent form
    h.FPDCalMenge = 10;
    h.FPDCalArea = 4321;
    h.LimitFPD = 2.5;
    h.FPDFactor = 1;
    h.Startzelle = 2;
    h.AnzahlZellen = 3;
    h.AnzahlMessreihen = 10;
    h.SampleTime = 45;
    h.InjectionTime = 300;
    h.Messzeit = 60;
    h.description = QStringLiteral("Handschuh Nitril\nCharge 7");
    return h;
}

ResultRow sampleRow() {
    ResultRow r;
    r.runZelle = 2;
    r.marker = QLatin1Char('*');
    r.breakTime = QStringLiteral("00:42:10");
    r.sChemikalie = QStringLiteral("Methanol");
    r.FIDSampleFactor = 123456; // six digits do not fit F5.2
    r.Flow = 100;
    r.elapsedMs = (31 * 3600 + 5) * 1000LL; // past a day: not wrapped
    r.FIDppm = 1.5;
    r.FIDMessMenge = 0.25;
    r.FIDArea = 123456.4;
    r.FPDMessMenge = 0.125;
    r.FPDArea = 9876;
    r.sampleName = QStringLiteral("Probe A");
    r.moment = kMoment;
    r.runAktiv = 7;
    return r;
}

} // namespace

TEST(ResultsFile, NameGetsTheCsvExtension) {
    const struct {
        const char* chosen;
        const char* expected;
    } cases[] = {
        {"a/b/Glove.txt", "a/b/Glove.csv"},
        {"a/b/Glove", "a/b/Glove.csv"},
        {"a/b/Glove.csv", "a/b/Glove.csv"},
        {"a/b/Glove.v2.txt", "a/b/Glove.v2.csv"}, // only the last extension
        {"a/test.d/Glove", "a/test.d/Glove.csv"}, // a dot in a folder is no extension
        {"C:\\Tests.1\\Glove", "C:\\Tests.1\\Glove.csv"},
        // Tests named by date keep every dot: what follows the last one is no extension.
        {"a/b/17.05.2024_Nitril", "a/b/17.05.2024_Nitril.csv"},
        {"a/b/17.05.2024", "a/b/17.05.2024.csv"},
        {"a/b/17.05.2024_Nitril.csv", "a/b/17.05.2024_Nitril.csv"},
        {"a/b/Probe 0.5 mm", "a/b/Probe 0.5 mm.csv"},
        {"a/b/Glove.CSV", "a/b/Glove.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resultsFileName(c.chosen), QString(c.expected)) << c.chosen;
}

TEST(ResultsFile, HeaderLines) {
    const struct {
        const char* name;
        int ID;
        TDeviceTyp device;
        const QLocale& locale;
        QStringList expected;
    } cases[] = {
        {"German FID",
         kGermanOffset,
         TDeviceTyp::FID,
         kGerman,
         {"Datei:;/data/Glove7.csv;Datum:;07.03.26 14:05:09;Gerät:K-0042;Dezimaltrennzeichen:;,",
          "Versuchsparameter Sollwerte:;Messkammer:;27 °C;Ventilblock:;100 °C",
          "Versuchsparameter Istwerte:;Messkammer:;27,1;Ventilblock:;99,8",
          "ppm/rate Isobutan:;100,5;Fläche:;123456;Schwelle:;0,50;Faktor:;1,23457E+006",
          "Startzelle:2", "Anzahl Zellen:;3", "Anzahl Messreihen:;10", "Dosierzeit:;45 s",
          "Injektionzeit:;300 s", "Messzeit pro Zelle:;60 s", "Versuchsbeschreibung",
          "Handschuh Nitril", "Charge 7", "", "", "",
          "Zelle;Bruch;Bruchzeit;Chemikalie;Faktor;(ml/min);Messzeit;ppm;ppm/rate Isobutan;"
          "Fläche;Probeninfo;Datum;Zeit"}},
        {"German FIDFPD",
         kGermanOffset,
         TDeviceTyp::FIDFPD,
         kGerman,
         {"Datei:;/data/Glove7.csv;Datum:;07.03.26 14:05:09;Gerät:K-0042;Dezimaltrennzeichen:;,",
          "Versuchsparameter Sollwerte:;Messkammer:;27 °C;Ventilblock:;100 °C;"
          "Emmisionskammer:;150 °C;Transferline;120 °C;PMT Spannung;700 V;Null Kompensation;-5 %",
          "Versuchsparameter Istwerte:;Messkammer:;27,1;Ventilblock:;99,8;"
          "Emmisionskammer:;150,2;Transferline;119,9;PMT Spannung;700;Null Kompensation;-5",
          "ppm/rate Isobutan:;100,5;Fläche:;123456;Schwelle:;0,50;Faktor:;1,23457E+006",
          "ppm/rate THT:;10;Fläche:;4321;Schwelle:;2,5;Faktor:;1,0", "Startzelle:2",
          "Anzahl Zellen:;3", "Anzahl Messreihen:;10", "Dosierzeit:;45 s", "Injektionzeit:;300 s",
          "Messzeit pro Zelle:;60 s", "Versuchsbeschreibung", "Handschuh Nitril", "Charge 7", "",
          "", "",
          "Zelle;Bruch;Bruchzeit;Chemikalie;Faktor;(ml/min);Messzeit;ppm;ppm/rate Isobutan;"
          "Fläche;ppm/rate THT;Fläche;Probeninfo;Datum;Zeit"}},
        {"English FID",
         kEnglishOffset,
         TDeviceTyp::FID,
         kEnglish,
         {"File:;/data/Glove7.csv;Date:;3/7/26 2:05:09 PM;Device:K-0042;Decimal separator:;.",
          "Experiment parameter Set values:;Samplechamber:;27 °C;Valves:;100 °C",
          "Experiment parameter Current values:;Samplechamber:;27,1;Valves:;99,8",
          "ppm/rate IsoButan:;100.5;Area:;123456;Limit:;0.50;Factor:;1.23457E+006", "Startcell:2",
          "Number of cells:;3", "Number of cycles:;10", "Sampletime:;45 s", "Injectiontime:;300 s",
          "Time per cell:;60 s", "Experiment description", "Handschuh Nitril", "Charge 7", "", "",
          "",
          "Cell;Break;Breaktime;Chemical;Factor;Gas flow (ml/min);Measuretime;ppm;"
          "ppm/rate IsoButan;Area;Sampleinfo;Date;Time"}},
        {"English FIDFPD",
         kEnglishOffset,
         TDeviceTyp::FIDFPD,
         kEnglish,
         {"File:;/data/Glove7.csv;Date:;3/7/26 2:05:09 PM;Device:K-0042;Decimal separator:;.",
          "Experiment parameter Set values:;Samplechamber:;27 °C;Valves:;100 °C;"
          "Emmisionchamber:;150 °C;Transferline;120 °C;PMT Voltage;700 V;Zero compensation;-5 %",
          "Experiment parameter Current values:;Samplechamber:;27,1;Valves:;99,8;"
          "Emmisionchamber:;150,2;Transferline;119,9;PMT Voltage;700;Zero compensation;-5",
          "ppm/rate IsoButan:;100.5;Area:;123456;Limit:;0.50;Factor:;1.23457E+006",
          "ppm/rate THT:;10;Area:;4321;Limit:;2.5;Factor:;1.0", "Startcell:2", "Number of cells:;3",
          "Number of cycles:;10", "Sampletime:;45 s", "Injectiontime:;300 s", "Time per cell:;60 s",
          "Experiment description", "Handschuh Nitril", "Charge 7", "", "", "",
          "Cell;Break;Breaktime;Chemical;Factor;Gas flow (ml/min);Measuretime;ppm;"
          "ppm/rate IsoButan;Area;ppm/rate THT;Area;Sampleinfo;Date;Time"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList lines = resultsHeaderLines(sampleHeader(), c.ID, c.device, c.locale);
        ASSERT_EQ(lines.size(), c.expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], c.expected[i]) << "line " << i + 1;
        EXPECT_EQ(lines.last().split(';').size(), c.device == TDeviceTyp::FIDFPD ? 15 : 13);
    }
}

TEST(ResultsFile, DescriptionAlwaysFillsFiveLines) {
    const struct {
        const char* name;
        QString description;
        QStringList expected;
    } cases[] = {
        {"empty", "", {"", "", "", "", ""}},
        {"one line", "Nitril", {"Nitril", "", "", "", ""}},
        {"memo line ends", "a\r\nb\r\n\r\nd", {"a", "b", "", "d", ""}},
        {"more than five", "1\n2\n3\n4\n5\n6\n7", {"1", "2", "3", "4", "5"}},
        {"blanks kept", "  eingerückt ", {"  eingerückt ", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResultsHeader h = sampleHeader();
        h.description = c.description;
        const QStringList lines = resultsHeaderLines(h, kGermanOffset, TDeviceTyp::FID, kGerman);
        ASSERT_EQ(lines.size(), 17);
        EXPECT_EQ(lines.mid(10, 1), QStringList{"Versuchsbeschreibung"});
        EXPECT_EQ(lines.mid(11, 5), c.expected);
        EXPECT_TRUE(lines.last().startsWith("Zelle;"));
    }
}

TEST(ResultsFile, Rows) {
    const struct {
        const char* name;
        TDeviceTyp device;
        const QLocale& locale;
        const char* expected;
        int fields;
    } cases[] = {
        {"German FID", TDeviceTyp::FID, kGerman,
         "2;*;00:42:10;Methanol;1,2346E+005;100,0;31:00:05;1,500;0,250;123456;Probe A;07.03.26;"
         "14:05:09;7",
         14},
        {"German FPD", TDeviceTyp::FPD, kGerman,
         "2;*;00:42:10;Methanol;1,2346E+005;100,0;31:00:05;1,500;0,250;123456;Probe A;07.03.26;"
         "14:05:09;7",
         14},
        {"German FIDFPD", TDeviceTyp::FIDFPD, kGerman,
         "2;*;00:42:10;Methanol;1,2346E+005;100,0;31:00:05;1,500;0,250;123456;0,125;9876;"
         "Probe A;07.03.26;14:05:09;7",
         16},
        {"English FIDFPD", TDeviceTyp::FIDFPD, kEnglish,
         "2;*;00:42:10;Methanol;1.2346E+005;100.0;31:00:05;1.500;0.250;123456;0.125;9876;"
         "Probe A;3/7/26;2:05:09 PM;7",
         16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString row = resultRowText(sampleRow(), c.device, c.locale);
        EXPECT_EQ(row, QString::fromUtf8(c.expected));
        EXPECT_EQ(row.split(';').size(), c.fields);
    }
    ResultRow plain = sampleRow();
    plain.marker = QLatin1Char(' ');
    EXPECT_TRUE(resultRowText(plain, TDeviceTyp::FID, kGerman).startsWith("2; ;00:42:10;"));
    // A ";" typed into a name stays inside its field.
    ResultRow typed = sampleRow();
    typed.sampleName = "Probe;A";
    typed.sChemikalie = "Methanol;Wasser";
    const QString row = resultRowText(typed, TDeviceTyp::FID, kGerman);
    EXPECT_EQ(row.split(';').size(), 14);
    EXPECT_TRUE(row.contains("Methanol,Wasser") && row.contains("Probe,A"));
}

