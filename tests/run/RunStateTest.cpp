// The state a run leaves after each measurement: read back as written, and the results file
// brought to what it says whatever moment the program ended at.

#include "run/RunState.h"

#include "support/AppFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

TEST(RunState, ReadsBackWhatWasWritten) {
    QTemporaryDir dir;
    SavedRun s;
    s.resultsFile = dir.path() + "/Glove.7.csv";
    s.started = QDateTime(QDate(2026, 3, 29), QTime(1, 30, 0, 250));
    s.saved = s.started.addSecs(3 * 3600);
    s.runStart = 4;
    s.strtCount = 3;
    s.strtCycles = 20;
    s.strtMessungen = 60;
    s.runZelle = 5;
    s.runCount = 2;
    s.runCycles = 14;
    s.runMessungen = 41;
    s.runAktiv = 20;
    s.offCount = 2;
    s.cells[0] = {true, true, 13, 4'512'000, "01:15:12"};
    s.cells[2].timeText = "02:59:00";
    s.keepMeasuring = true;
    s.resultsSize = 4711;
    s.rowsToWrite = QByteArray("5; ;;Toluol;0,57;\xb5;...\r\n");
    MeasurementRecord m;
    m.runZelle = 4;
    m.marker = QLatin1Char('*');
    m.FIDMessMenge = 0.1234567890123;
    m.elapsedMs = 4'512'000;
    m.fidNoiseArea = 12.5;
    m.flagged = true;
    m.moment = s.saved;
    m.sampleName = "Nitril, 0.4 mm";
    s.measurements = {m, MeasurementRecord{}};

    const QString path = runStateFileName(s.resultsFile);
    EXPECT_EQ(path, dir.path() + "/Glove.7_run.json"); // the whole name, dots and all
    QString error;
    std::size_t onDisk = 0;
    ASSERT_TRUE(saveRunState(path, s, &error, &onDisk)) << error.toStdString();
    EXPECT_EQ(onDisk, 2u);
    const std::optional<SavedRun> back = loadRunState(path, &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->started, s.started);
    EXPECT_EQ(back->runZelle, 5);
    EXPECT_EQ(back->runAktiv, 20);
    EXPECT_EQ(back->offCount, 2);
    EXPECT_EQ(back->cells, s.cells);
    EXPECT_TRUE(back->keepMeasuring);
    EXPECT_EQ(back->rowsToWrite, s.rowsToWrite);
    ASSERT_EQ(back->measurements.size(), 2u);
    const MeasurementRecord& r = back->measurements[0];
    EXPECT_EQ(r.marker, QLatin1Char('*'));
    EXPECT_EQ(r.FIDMessMenge, m.FIDMessMenge);
    EXPECT_EQ(r.fidNoiseArea, m.fidNoiseArea);
    EXPECT_FALSE(r.fpdNoiseArea.has_value());
    EXPECT_TRUE(r.flagged);
    EXPECT_EQ(r.sampleName, m.sampleName);
}

TEST(RunState, WhatIsNotARunStateIsRefused) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/x_run.json";
    QString error;
    EXPECT_FALSE(loadRunState(path, &error));
    for (const QByteArray& content : {QByteArray("not json"), QByteArray("{\"format\":1}"), QByteArray("[]"),
                                      QByteArray("{\"format\":1,\"resultsFile\":\"a.csv\",\"cells\":[{},{},{}],"
                                                 "\"started\":\"2026-01-01T00:00:00\",\"runStart\":9,\"runZelle\":4}")}) {
        test::writeFile(path, content);
        error.clear();
        EXPECT_FALSE(loadRunState(path, &error)) << content.toStdString();
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
    }
}

TEST(RunState, TheResultsFileGetsTheLastRowsExactlyOnce) {
    QTemporaryDir dir;
    const QByteArray before = "header\r\n1;row one\r\n";
    const QByteArray rows = "2;row two\r\n";
    struct Case {
        const char* when;
        QByteArray onDisk;
        RowsRestored expected;
        QByteArray after;
    } cases[] = {
        {"killed before the row was written", before, RowsRestored::Appended, before + rows},
        {"killed in the middle of the row", before + rows.left(4), RowsRestored::Appended, before + rows},
        {"killed after the row was written", before + rows, RowsRestored::AlreadyThere, before + rows},
        {"the file was edited since", before + "9;other\r\n", RowsRestored::FileChanged, before + "9;other\r\n"},
        {"the file was cut short", before.left(5), RowsRestored::FileChanged, before.left(5)},
    };
    for (const Case& c : cases) {
        SavedRun s;
        s.resultsFile = dir.path() + "/R.csv";
        s.resultsSize = before.size();
        s.rowsToWrite = rows;
        test::writeFile(s.resultsFile, c.onDisk);
        QString error;
        EXPECT_EQ(restoreRows(s, &error), c.expected) << c.when;
        EXPECT_EQ(test::readBytes(s.resultsFile), c.after) << c.when;
        if (c.expected == RowsRestored::FileChanged) {
            EXPECT_TRUE(error.contains("R.csv")) << c.when;
        }
    }
}

// The recorder keeps a run's records in shared blocks: a copy handed to its writer keeps exactly
// what it had while the run goes on, whether the copy was taken within a block, at a block's
// end or of nothing, and a state written from the blocks is the same files, byte for byte, as
// one written from the records themselves.
TEST(RunState, SharedRecordsKeepWhatACopyHadAndWriteTheSameFiles) {
    const auto record = [](int n) {
        MeasurementRecord m;
        m.runAktiv = n;
        m.runZelle = 4 + n % 3;
        m.FIDMessMenge = 0.001 * n;
        m.sampleName = QStringLiteral("Nitril %1").arg(n);
        return m;
    };
    const std::size_t block = RecordBlocks::kBlock;
    for (const std::size_t first : {std::size_t(0), std::size_t(7), block, 2 * block + 5}) {
        SCOPED_TRACE(first);
        std::vector<MeasurementRecord> all;
        for (std::size_t i = 0; i < first; ++i)
            all.push_back(record(static_cast<int>(i) + 1));
        RecordBlocks kept(all);
        const RecordBlocks copy = kept;
        for (std::size_t i = first; i < first + block + 3; ++i) {
            all.push_back(record(static_cast<int>(i) + 1));
            kept.push_back(all.back());
        }
        ASSERT_EQ(copy.size(), first);
        ASSERT_EQ(copy.toVector().size(), first);
        for (std::size_t i = 0; i < first; ++i)
            ASSERT_EQ(copy[i].runAktiv, static_cast<int>(i) + 1);
        ASSERT_EQ(kept.size(), all.size());
        EXPECT_EQ(kept.toVector().back().sampleName, all.back().sampleName);

        // The same two files either way, written afresh and appended to.
        QTemporaryDir dir;
        SavedRun s;
        s.resultsFile = dir.path() + "/Glove.csv";
        s.started = QDateTime(QDate(2026, 3, 29), QTime(1, 30));
        s.runStart = 4;
        s.runZelle = 5;
        s.runAktiv = static_cast<int>(all.size()) + 1;
        const QString fromBlocks = dir.path() + "/blocks_run.json", fromRecords = dir.path() + "/records_run.json";
        QString error;
        std::size_t onDiskBlocks = 0, onDiskRecords = 0;
        const auto layer = makePosixFileLayer();
        FileLayer& files = *layer;
        const SavedRun bare = s; // the records come from the blocks alone
        s.measurements.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(first));
        ASSERT_TRUE(saveRunState(files, fromBlocks, bare, copy, &error, &onDiskBlocks)) << error.toStdString();
        ASSERT_TRUE(saveRunState(files, fromRecords, s, &error, &onDiskRecords)) << error.toStdString();
        s.measurements = all;
        ASSERT_TRUE(saveRunState(files, fromBlocks, bare, kept, &error, &onDiskBlocks)) << error.toStdString();
        ASSERT_TRUE(saveRunState(files, fromRecords, s, &error, &onDiskRecords)) << error.toStdString();
        EXPECT_EQ(onDiskBlocks, all.size());
        for (const QString& path : {fromBlocks, runRecordsFileName(fromBlocks)}) {
            QFile a(path), b(QString(path).replace("blocks_", "records_"));
            ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            EXPECT_EQ(a.readAll(), b.readAll()) << path.toStdString();
        }
        const std::optional<SavedRun> back = loadRunState(fromBlocks, &error);
        ASSERT_TRUE(back) << error.toStdString();
        ASSERT_EQ(back->measurements.size(), all.size());
        EXPECT_EQ(back->measurements.back().runAktiv, all.back().runAktiv);
    }
}
