// The files of one test: one stem rule for every companion of a results file (dots kept), the
// names of a later run's files, the names earlier versions gave (still found by the readers), and
// what a start into a results file finds there: the run's number, whether it needs a header block
// of its own, and companions of another test that must not be written over.

#include "evaluation/ResultsFile.h"
#include "evaluation/ResultsFileReader.h"
#include "evaluation/TestFiles.h"
#include "support/QtPrinters.h"
#include "util/CodePage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

ResultsHeader header(int messzeit, int fileRun = 1) {
    ResultsHeader h;
    h.path = QStringLiteral("/data/17.05.2024_Nitril.csv");
    h.moment = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    h.serial = QStringLiteral("K-0042");
    h.fileRun = fileRun;
    h.FIDCALMenge = 100;
    h.FIDCalArea = 445163;
    h.LimitFID = 1;
    h.FIDSampleFactor = 1;
    h.Startzelle = 4;
    h.AnzahlZellen = 1;
    h.AnzahlMessreihen = 2;
    h.SampleTime = 5;
    h.InjectionTime = 3;
    h.Messzeit = messzeit;
    return h;
}

QStringList headerLines(int messzeit, int fileRun = 1) {
    return resultsHeaderLines(header(messzeit, fileRun), 0, TDeviceTyp::FID, QLocale::c());
}

QString rowText(int number) {
    ResultRow r;
    r.runZelle = 4;
    r.breakTime = QStringLiteral("--:--");
    r.sChemikalie = QStringLiteral("Toluol");
    r.FIDSampleFactor = 0.57;
    r.Flow = 100;
    r.elapsedMs = number * 60000;
    r.sampleName = QStringLiteral("Probe");
    r.moment = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    r.runAktiv = number;
    return resultRowText(r, TDeviceTyp::FID, QLocale::c());
}

QByteArray fileBytes(const QStringList& lines) { return toCp1252(lines.join("\r\n") + "\r\n"); }

} // namespace

TEST(TestFiles, EveryCompanionTakesTheWholeNameWithoutItsExtension) {
    const struct {
        const char* results;
        const char* stem;
        const char* legacySummary;
    } cases[] = {
        {"/lab/17.05.2024_Nitril.csv", "17.05.2024_Nitril", "/lab/17_summary.csv"},
        {"/lab/a.b.c.csv", "a.b.c", "/lab/a_summary.csv"},
        {"/lab/Glove7.csv", "Glove7", "/lab/Glove7_summary.csv"},
        {"/lab/Nitril Charge 3.csv", "Nitril Charge 3", "/lab/Nitril Charge 3_summary.csv"},
        {"/lab/Prüfling Größe.csv", "Prüfling Größe", "/lab/Prüfling Größe_summary.csv"},
        {"/lab.2024/Glove.csv", "Glove", "/lab.2024/Glove_summary.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.results);
        const QString results = QString::fromUtf8(c.results);
        const QString folder = QFileInfo(results).path() + "/";
        const QString stem = QString::fromUtf8(c.stem);
        EXPECT_EQ(testStem(results), stem);
        EXPECT_EQ(besideResultsFile(results, "_events.log"), folder + stem + "_events.log");
        EXPECT_EQ(besideRun(results, 1, "_3.txt"), folder + stem + "_3.txt");
        EXPECT_EQ(besideRun(results, 2, "_3.txt"), folder + stem + "_run2_3.txt");
        EXPECT_EQ(besideRun(results, 2, "_summary.csv"), folder + stem + "_run2_summary.csv");
        EXPECT_EQ(legacyBesideResultsFile(results, "_summary.csv"), QString::fromUtf8(c.legacySummary));
    }
}

TEST(TestFiles, ReadersFindWhatEarlierVersionsNamedAfterTheFirstDot) {
    QTemporaryDir dir;
    const QString results = dir.filePath("17.05.2024_Nitril.csv");
    // Only the old name is there: that one.
    writeBytes(dir.filePath("17_3.txt"), "old");
    EXPECT_EQ(findBesideRun(results, 1, "_3.txt"), dir.filePath("17_3.txt"));
    // Neither: the current name (a reader then says that one is missing).
    EXPECT_EQ(findBesideRun(results, 1, "_4.txt"), dir.filePath("17.05.2024_Nitril_4.txt"));
    // Both: the current name wins. Later runs never had old names.
    writeBytes(dir.filePath("17.05.2024_Nitril_3.txt"), "new");
    EXPECT_EQ(findBesideRun(results, 1, "_3.txt"), dir.filePath("17.05.2024_Nitril_3.txt"));
    writeBytes(dir.filePath("17_run2_3.txt"), "never written so");
    EXPECT_EQ(findBesideRun(results, 2, "_3.txt"), dir.filePath("17.05.2024_Nitril_run2_3.txt"));
}

TEST(TestFiles, AStartFindsTheRunNumberAndWhetherItNeedsAHeaderBlock) {
    const struct {
        const char* name;
        QStringList lines; // the results file; empty: no file
        QStringList companions;
        int messzeitAtStart;
        int fileRun, runsHeld;
        bool needsHeader, unreadable;
    } cases[] = {
        {"no file yet", {}, {}, 30, 1, 0, false, false},
        {"header as chosen", headerLines(30), {}, 30, 1, 0, false, false},
        {"measuring time changed since the file was chosen", headerLines(60), {}, 30, 1, 0, true, false},
        {"a run of an earlier version", headerLines(30) << rowText(1) << rowText(2), {}, 30, 2, 1, true, false},
        {"two runs of earlier versions", headerLines(30) << rowText(1) << rowText(1), {}, 30, 2, 2, true, false},
        {"a second run numbered", headerLines(30) << rowText(1) << headerLines(30, 2) << rowText(1), {}, 30, 3, 2, true, false},
        {"a numbered block still without rows", headerLines(30) << rowText(1) << headerLines(30, 2), {}, 30, 2, 1, false, false},
        {"files of another test under the name", {}, {"_1.txt", "_run2_summary.csv"}, 30, 3, 0, false, false},
        {"a new file where another test's raw data lie", headerLines(30), {"_7.txt"}, 30, 2, 0, true, false},
        {"not a results file", {"a;b;c", "1;2;3"}, {}, 30, 1, 0, true, true},
        {"an empty file", {""}, {}, 30, 1, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString results = dir.filePath("17.05.2024_Nitril.csv");
        if (!c.lines.isEmpty())
            writeBytes(results, c.lines == QStringList{""} ? QByteArray() : fileBytes(c.lines));
        for (const QString& suffix : c.companions)
            writeBytes(dir.filePath("17.05.2024_Nitril" + suffix), "another test's");
        // What the run would write now: its first and third lines do not count.
        QStringList now = headerLines(c.messzeitAtStart);
        now[0] += "-later";
        now[2] += "-other actual values";
        const RunFilePlan plan = planRunFiles(results, now);
        EXPECT_EQ(plan.fileRun, c.fileRun);
        EXPECT_EQ(plan.runsHeld, c.runsHeld);
        EXPECT_EQ(plan.needsHeader, c.needsHeader);
        EXPECT_EQ(!plan.unreadable.isEmpty(), c.unreadable) << plan.unreadable.toStdString();
    }
}

TEST(TestFiles, TheReaderTakesTheRunNumberAndDropsABlockThatAnotherFollows) {
    const QStringList lines = headerLines(60) << headerLines(30) << rowText(1) << headerLines(30, 2) << rowText(1)
                                              << rowText(2);
    const ResultsFileRead read = parseResultsFile("17.05.2024_Nitril.csv", fileBytes(lines), QLocale::c());
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.runs.size(), 2u); // the first block (60 s) was followed by another at once
    EXPECT_EQ(read.runs[0].measuringSeconds, 30);
    EXPECT_EQ(read.runs[0].fileRun, 1);
    EXPECT_EQ(read.runs[1].fileRun, 2);
    EXPECT_EQ(read.runs[1].rows.size(), 2u);
    // A run number that is none is a fault of the file, with its line.
    QStringList bad = headerLines(30);
    bad[0] += ";Lauf:;zwei";
    const ResultsFileRead broken = parseResultsFile("x.csv", fileBytes(bad), QLocale::c());
    EXPECT_FALSE(broken.ok);
    EXPECT_TRUE(broken.detail.contains("line 1")) << broken.detail.toStdString();
}
