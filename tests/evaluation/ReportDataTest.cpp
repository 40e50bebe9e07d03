// What goes into the test report, gathered without a window from a golden results file: the
// figures of the summary in the report's language and decimal separator, the header's serial
// number, the cells that did not break through, the journal's calibration and data events (and
// only those), and a clear error for a file that does not read.

#include "evaluation/CellSummary.h"
#include "run/EventJournal.h"
#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "support/AppFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <array>

namespace korvat {
namespace {

QString copyGoldenFid(const QString& dir) {
    for (const QString& name : QDir(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/fid")).entryList(QDir::Files)) {
        QFile in(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/fid/") + name);
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        test::writeFile(QDir(dir).filePath(name), in.readAll().replace("@DIR@", dir.toLocal8Bit()));
    }
    return QDir(dir).filePath(QStringLiteral("Golden.csv"));
}

QString valueOf(const std::vector<ReportPair>& rows, const QString& caption) {
    for (const auto& [c, v] : rows)
        if (c == caption)
            return v;
    return QStringLiteral("<missing>");
}

TEST(ReportData, FiguresInTheLanguageAndItsDecimalSeparator)
{
    QTemporaryDir dir;
    const QString csv = copyGoldenFid(dir.path());
    struct Case {
        int ID;
        const char* serialCaption;
        const char* cumulativeCell1; // the summary's figure as the language writes it
        const char* bracket;         // the crossing at 1.0 of cell 1, before its first measurement
        QStringList remarks;
    } cases[] = {
        {0, "Seriennummer des Geräts", "43,861", "≤ 0,9",
         {"Zelle 1 FID: durchgebrochen vor der ersten Messung (0,9 min), nicht interpoliert",
          "Zelle 2 FID: durchgebrochen vor der ersten Messung (1,4 min), nicht interpoliert",
          "Zelle 3 FID: nicht durchgebrochen innerhalb 4,2 min (Stufe ≥ 0)",
          "Kumulierte Permeation ab Kontakt, im ersten Intervall ab Rate 0 (kein Nullgas gemessen)"}},
        {1000, "Instrument serial number", "43.861", "≤ 0.9",
         {"Cell 1 FID: broken through before the first measurement (0.9 min), not interpolated",
          "Cell 2 FID: broken through before the first measurement (1.4 min), not interpolated",
          "Cell 3 FID: not broken through within 4.2 min (level ≥ 0)",
          "Cumulative permeation from the contact, in the first interval from rate 0 (no zero gas measured)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ID);
        const ReportData d = gatherReportData(csv, c.ID);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        EXPECT_EQ(valueOf(d.identification, QString::fromUtf8(c.serialCaption)), QStringLiteral("SN4A01-0815"));
        ASSERT_EQ(d.results.size(), 3u);
        EXPECT_EQ(d.results[0][10], QString::fromLatin1(c.cumulativeCell1));
        EXPECT_EQ(d.remarks, c.remarks);
        // No crossing before the first measurement is made up: the bracket, and the levels it leaves.
        EXPECT_EQ(d.results[0][6], QString::fromUtf8(c.bracket));
        EXPECT_EQ(d.results[0][8], QStringLiteral("0"));
        EXPECT_EQ(d.results[2][8], QStringLiteral("≥ 0"));
        EXPECT_EQ(d.sectionTitles.size(), 7);
        EXPECT_TRUE(d.events.isEmpty());
        EXPECT_EQ(valueOf(d.specimens, c.ID ? QStringLiteral("Sample cell 1") : QStringLiteral("Probe Zelle 1")),
                  QStringLiteral("SampleInfo1"));
    }
}

TEST(ReportData, OnlyTheJournalsDataEventsAndItsCalibrationsAreTaken)
{
    QTemporaryDir dir;
    const QString csv = copyGoldenFid(dir.path());
    {
        EventJournal journal;
        ASSERT_TRUE(journal.open(eventJournalPathFor(csv)));
        const QDateTime t(QDate(2026, 1, 15), QTime(8, 1, 0));
        for (const char* kind : {"run-start", "line-lost", "lines-dropped", "converter-timeout", "file-waiting",
                                 "value-warning", "setting-changed", "calibration"})
            ASSERT_TRUE(journal.append({t, kind, "", 3, QStringLiteral("text of %1").arg(kind)}));
    }
    const ReportData d = gatherReportData(csv, 1000);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.events.size(), 5);
    for (const char* kind : {"line-lost", "lines-dropped", "converter-timeout", "file-waiting", "value-warning"})
        EXPECT_EQ(d.events.filter(QStringLiteral("text of %1").arg(kind)).size(), 1) << kind;
    EXPECT_TRUE(valueOf(d.conditions, QStringLiteral("Calibration taken over")).contains("text of calibration"));
    EXPECT_TRUE(d.notes.isEmpty()) << d.notes.join('\n').toStdString();

    // A journal whose chain is broken is still read, and the report says so.
    QFile f(eventJournalPathFor(csv));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("2026-01-15T08:09:00.000\tline-lost\t\t0\tforged\t0000\n");
    f.close();
    const ReportData forged = gatherReportData(csv, 1000);
    ASSERT_EQ(forged.notes.size(), 1);
    EXPECT_TRUE(forged.notes[0].contains(QStringLiteral("line 9"))) << forged.notes[0].toStdString();
}

// The golden two-detector run as if the FPD had no calibration: its header's THT area 0 and every
// FPD value 0, as an uncalibrated FPD records them. Its cells get no figures, the report says
// "not calibrated", and there is no page of flat FPD curves.
TEST(ReportData, AnUncalibratedDetectorGivesNoFiguresAndNoCurvePage)
{
    QTemporaryDir dir;
    for (const QString& name : QDir(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/fidfpd")).entryList(QDir::Files)) {
        QFile in(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/fidfpd/") + name);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        test::writeFile(dir.filePath(name), in.readAll().replace("@DIR@", dir.path().toLocal8Bit()));
    }
    const QString csv = dir.filePath(QStringLiteral("Golden.csv"));
    QList<QByteArray> lines = test::readBytes(csv).split('\n');
    bool rows = false;
    for (QByteArray& line : lines) {
        QList<QByteArray> f = line.split(';');
        if (line.startsWith("ppm/rate THT:;"))
            f[3] = "0";
        if (rows && f.size() == 16) {
            f[10] = "0,000";
            f[11] = "0";
        }
        rows = rows || line.startsWith("Zelle;Bruch;");
        line = f.join(';');
    }
    test::writeFile(csv, lines.join('\n'));

    const ReportData d = gatherReportData(csv, 0);
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.chartDetectors, std::vector<Detector>{Detector::FID});
    int fpdRows = 0;
    for (const QStringList& row : d.results) {
        if (row[1] != QStringLiteral("FPD"))
            continue;
        ++fpdRows;
        EXPECT_EQ(row[8], QStringLiteral("nicht kalibriert, keine Kennwerte"));
        EXPECT_EQ(row[4], QStringLiteral("---"));
        EXPECT_TRUE(d.remarks.contains(QStringLiteral("Zelle %1 FPD: nicht kalibriert, keine Kennwerte").arg(row[0])));
    }
    // Cell 1's rows are all marked broken with FPD values 0 now: none is an FPD measurement.
    EXPECT_EQ(fpdRows, 2);
    for (const CellSummary& c : d.cells)
        EXPECT_EQ(c.calibrated, c.detector == Detector::FID) << c.cell;
}

TEST(ReportData, AFileThatDoesNotReadGivesAnErrorNamingIt)
{
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.csv"));
    test::writeFile(bad, "no results here\r\n");
    for (const QString& path : {bad, dir.filePath(QStringLiteral("absent.csv")), dir.path()}) {
        const ReportData d = gatherReportData(path, 0);
        EXPECT_FALSE(d.ok);
        EXPECT_TRUE(d.error.contains(path)) << d.error.toStdString();
    }
}

} // namespace
} // namespace korvat

namespace korvat {
namespace {

// The golden run with what a lab enters: its three cells one material (thickness and lot each)
// and a requirement, in the header block as the program writes them.
QString goldenWithSpecimens(const QString& dir) {
    const QString csv = copyGoldenFid(dir);
    RunParameters p;
    p.known = true;
    const char* lots[] = {"L1", "L2", "L3"};
    for (int k = 0; k < 3; ++k) {
        p.cells[static_cast<std::size_t>(k)].specimen =
            Specimen{QStringLiteral("Nitril A"), QString::fromLatin1(lots[k]), 0.3 + 0.05 * k, std::nullopt};
    }
    p.requirement = *requirementFromToken(QStringLiteral("level >= 2"));
    QStringList added;
    for (const QString& line : runParameterLines(p, 0, TDeviceTyp::FID, QLocale(QLocale::German)))
        if (line.startsWith(QStringLiteral("Probe ")) || line.startsWith(QStringLiteral("Anforderung")))
            added << line;
    EXPECT_EQ(added.size(), 4);
    QString text = QString::fromLatin1(test::readBytes(csv));
    const qsizetype at = text.indexOf(QStringLiteral("Versuchsbeschreibung"));
    EXPECT_GT(at, 0);
    text.insert(at, added.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    test::writeFile(csv, text.toLatin1());
    return csv;
}

const ReportTable* tableStarting(const ReportData& d, const char* number) {
    for (const ReportTable& t : d.labTables)
        if (t.title.startsWith(QString::fromLatin1(number)))
            return &t;
    return nullptr;
}

} // namespace

// The report's lab tables: the specimens as entered, the group of the three cells with its three
// statistics, each cell's decision against the requirement, and the items a report states, with
// "not recorded" where the run has nothing and a pointer where it has.
TEST(ReportData, SpecimensGroupsDecisionAndTheItemsAReportStates)
{
    QTemporaryDir dir;
    const QString csv = goldenWithSpecimens(dir.path());
    const ReportData d = gatherReportData(csv, kEnglishOffset);
    ASSERT_TRUE(d.ok) << d.error.toStdString();

    const ReportTable* specimens = tableStarting(d, "4.1");
    ASSERT_TRUE(specimens);
    ASSERT_EQ(specimens->rows.size(), 3u);
    EXPECT_EQ(specimens->rows[1], (QStringList{"2", "Nitril A", "0.350", "L2", "19.60"}));

    const ReportTable* groups = tableStarting(d, "4.2");
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->rows.size(), 3u); // mean, standard deviation, minimum
    EXPECT_EQ(groups->rows[0][3], "1 2 3");
    EXPECT_EQ(groups->rows[2][4], "minimum");

    const ReportTable* decision = tableStarting(d, "4.5");
    ASSERT_TRUE(decision);
    EXPECT_EQ(decision->captions, (QStringList{"Requirement", "level >= 2"}));
    // Cells 1 and 2 broke through before their first measurement, within the level's 30 minutes;
    // cell 3 ran 4.2 minutes only: not decidable. The group fails with its first specimen.
    const std::vector<QStringList> expected = {{"Decision rule", "simple acceptance (measured value against the limit)"},
                                               {"Cell 1 FID", "fail"},
                                               {"Cell 2 FID", "fail"},
                                               {"Cell 3 FID", "not decidable"},
                                               {"Group 1 FID", "fail"}};
    EXPECT_EQ(decision->rows, expected);

    const ReportTable* items = tableStarting(d, "4.7");
    ASSERT_TRUE(items);
    auto item = [&](const char* caption) {
        for (const QStringList& row : items->rows)
            if (row[0] == QString::fromUtf8(caption))
                return row[1];
        return QStringLiteral("<missing>");
    };
    EXPECT_EQ(item("Test temperature"), "not recorded");
    EXPECT_EQ(item("Specimen thickness"), "see 4.1 Specimens");
    EXPECT_EQ(item("Requirement and decision rule"), "see 4.5 Requirement and decision");
    EXPECT_EQ(item("Number of specimens"), "3");

    // Without specimens or requirement (the golden file as it is) nothing is made up.
    QTemporaryDir plainDir;
    const ReportData plain = gatherReportData(copyGoldenFid(plainDir.path()), kEnglishOffset);
    ASSERT_TRUE(plain.ok);
    EXPECT_FALSE(tableStarting(plain, "4.2"));
    const ReportTable* plainItems = tableStarting(plain, "4.7");
    ASSERT_TRUE(plainItems);
    for (const QStringList& row : plainItems->rows)
        if (row[0] == "Specimen thickness" || row[0] == "Requirement and decision rule" || row[0] == "Lot / batch") {
            EXPECT_EQ(row[1], "not recorded") << row[0].toStdString();
        }
}

// The description memo's designed lines ("Zeile 1" to "Zeile 5") that nobody touched are no
// description; what the operator wrote is, in its order, wherever it stands.
TEST(ReportData, UntouchedDesignedDescriptionLinesAreNoDescription)
{
    const struct {
        std::array<const char*, 5> lines;
        const char* description;
    } cases[] = {
        {{"Zeile 1", "Zeile 2", "Zeile 3", "Zeile 4", "Zeile 5"}, ""},
        {{"Zeile 1", "Nitrile glove, lot 7", "Zeile 3", "Zeile 4", "Zeile 5"}, "Nitrile glove, lot 7"},
        {{"Zeile 3", "Zeile 2", "", "Acetone", "Zeile 5"}, "Zeile 3\nAcetone"}, // not its own place: written
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString csv = copyGoldenFid(dir.path());
        QFile file(csv);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QList<QByteArray> rows = file.readAll().split('\n');
        file.close();
        const auto title = std::find_if(rows.begin(), rows.end(), [](const QByteArray& r) { return r.startsWith("Versuchsbeschreibung"); });
        ASSERT_NE(title, rows.end());
        for (int i = 0; i < 5; ++i)
            *(title + 1 + i) = QByteArray(c.lines[i]) + "\r";
        test::writeFile(csv, rows.join('\n'));
        const ReportData d = gatherReportData(csv, kEnglishOffset);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        EXPECT_EQ(valueOf(d.specimens, QStringLiteral("Description")), QString::fromUtf8(c.description));
    }
}


// Who ran the test, read from the run's header block, and the journal's lines in the report's
// language: moments, kinds and texts ("Leitung verloren" in German), the journal file unchanged.
TEST(ReportData, TheOperatorAndTheEventsInTheReportsLanguage)
{
    QTemporaryDir dir;
    const QString csv = copyGoldenFid(dir.path());
    RunParameters p;
    p.known = true;
    p.operatorName = QStringLiteral("A. Weber; Labor 2");
    QStringList added;
    for (const QString& line : runParameterLines(p, 0, TDeviceTyp::FID, QLocale(QLocale::German)))
        if (line.startsWith(QStringLiteral("Prüfer")))
            added << line;
    ASSERT_EQ(added, QStringList{QStringLiteral("Prüfer:;A. Weber, Labor 2")}); // a ";" would shift the fields
    QString text = QString::fromLatin1(test::readBytes(csv));
    text.insert(text.indexOf(QStringLiteral("Versuchsbeschreibung")), added[0] + QStringLiteral("\r\n"));
    test::writeFile(csv, text.toLatin1());
    {
        EventJournal journal;
        ASSERT_TRUE(journal.open(eventJournalPathFor(csv)));
        const QDateTime t(QDate(2026, 1, 15), QTime(8, 2, 0));
        ASSERT_TRUE(journal.append({t, "line-lost", "/dev/ttyUSB0", 3, "/dev/ttyUSB0: line lost (device removed)"}));
        ASSERT_TRUE(journal.append({t.addSecs(5), "calibration", "", 0, "FID calibration area 445163 taken over (was 0)"}));
    }
    const QByteArray journalBytes = test::readBytes(eventJournalPathFor(csv));
    const struct {
        int ID;
        const char* operatorCaption;
        const char* startCaption;
        const char* start;
        const char* event;
        const char* calibration;
    } cases[] = {
        {kGermanOffset, "Prüfer", "Beginn", "15.01.2026 08:00:00",
         "15.01.2026 08:02:00 Leitung verloren /dev/ttyUSB0 3 /dev/ttyUSB0: Leitung verloren (device removed)",
         "15.01.2026 08:02:05  FID-Kalibrierfläche 445163 übernommen (vorher 0)"},
        {kEnglishOffset, "Operator", "Start", "2026-01-15 08:00:00",
         "2026-01-15 08:02:00 Line lost /dev/ttyUSB0 3 /dev/ttyUSB0: line lost (device removed)",
         "2026-01-15 08:02:05  FID calibration area 445163 taken over (was 0)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ID);
        const ReportData d = gatherReportData(csv, c.ID);
        ASSERT_TRUE(d.ok) << d.error.toStdString();
        EXPECT_EQ(valueOf(d.identification, QString::fromUtf8(c.operatorCaption)), "A. Weber, Labor 2");
        EXPECT_EQ(valueOf(d.identification, QString::fromUtf8(c.startCaption)), QString::fromUtf8(c.start));
        EXPECT_EQ(d.events, QStringList{QString::fromUtf8(c.event)});
        bool calibration = false;
        for (const auto& [caption, value] : d.conditions)
            calibration = calibration || value == QString::fromUtf8(c.calibration);
        EXPECT_TRUE(calibration);
    }
    EXPECT_EQ(test::readBytes(eventJournalPathFor(csv)), journalBytes);
    // A run whose header names nobody.
    QTemporaryDir plain;
    EXPECT_EQ(valueOf(gatherReportData(copyGoldenFid(plain.path()), kEnglishOffset).identification, "Operator"), "---");
}

} // namespace korvat
