// The locale-free export: what is written reads back as it was, through this program's reader
// and through Python's csv module, and a file that is not an export is refused with its line.

#include "evaluation/MeasurementExport.h"

#include <QProcess>
#include <QTimeZone>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

ExportRecord cellRecord() {
    ExportRecord r;
    r.testId = QStringLiteral("0b7e6a52-3c1e-4d55-9a0f-2f1d5c7e9a11");
    r.instrument = QStringLiteral("4A01-0815");
    r.measurement = 17;
    r.cycle = 6;
    r.moment = QDateTime(QDate(2026, 3, 29), QTime(1, 59, 58, 250), QTimeZone(3600));
    r.elapsedMinutes = 241.5;
    r.position = 5;
    r.cell = 2;
    r.sampleName = QStringLiteral("Nitril \"Blau\", Größe 9");
    r.material = QStringLiteral("Nitril, 0,12 mm");
    r.lot = QStringLiteral("L-2026/03\nzweite Zeile");
    r.thicknessMm = 0.12;
    r.areaCm2 = 20.43;
    r.chemical = QStringLiteral("Toluol");
    r.detector = QStringLiteral("FID+FPD");
    r.flow = 100;
    r.fidArea = 123456.789;
    r.fidPpm = 0.1;
    r.fidRate = 1.0000000000000002;
    r.fpdArea = 0;
    r.fpdRate = 3.5e-7;
    r.breakthrough = true;
    r.event = true;
    r.rawFile = QStringLiteral("Glove_17.txt");
    r.rawSha256 = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    return r;
}

ExportRecord referenceRecord() {
    ExportRecord r;
    r.testId = QStringLiteral("0b7e6a52-3c1e-4d55-9a0f-2f1d5c7e9a11");
    r.measurement = 1;
    r.cycle = 1;
    r.moment = QDateTime(QDate(2026, 10, 25), QTime(2, 30), QTimeZone(-4 * 3600));
    r.position = 2;
    r.chemical = QStringLiteral("Aceton");
    r.detector = QStringLiteral("FID");
    r.switchedOff = true;
    r.noPeak = true;
    return r;
}

} // namespace

TEST(MeasurementExport, WhatIsWrittenReadsBackAsItWas) {
    const std::vector<ExportRecord> written = {cellRecord(), referenceRecord()};
    QByteArray bytes = exportHeaderLine();
    for (const ExportRecord& r : written)
        bytes += exportRowLine(r);
    EXPECT_TRUE(bytes.startsWith("test id,instrument,measurement,"));
    // Numbers in the C form whatever the locale, the shortest text that reads back exactly;
    // times with their offset.
    EXPECT_TRUE(bytes.contains(",241.5,")) << bytes.constData();
    EXPECT_TRUE(bytes.contains(",1.0000000000000002,"));
    EXPECT_TRUE(bytes.contains(",3.5e-07,"));
    EXPECT_TRUE(bytes.contains(",2026-03-29T01:59:58.250+01:00,"));
    EXPECT_TRUE(bytes.contains(",2026-10-25T02:30:00.000-04:00,"));

    const ExportRead read = readExport(bytes);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.records.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(read.records[i].moment, written[i].moment);
        EXPECT_EQ(read.records[i].moment.offsetFromUtc(), written[i].moment.offsetFromUtc());
        EXPECT_EQ(read.records[i], written[i]) << i;
    }
}

// Another program's standard reader gets the same fields and numbers.
TEST(MeasurementExport, PythonsCsvReaderGetsTheSameFields) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    const QByteArray bytes = exportHeaderLine() + exportRowLine(cellRecord()) + exportRowLine(referenceRecord());
    QProcess p;
    p.start(python, {QStringLiteral("-c"), QStringLiteral(R"(
import csv, io, sys
rows = list(csv.DictReader(io.TextIOWrapper(sys.stdin.buffer, encoding='utf-8', newline='')))
for r in rows:
    print(r['measurement'], repr(float(r['FID permeation rate (µg/cm²/min)'])), r['cell'] or '-',
          repr(r['lot']), r['time (ISO 8601)'], r['breakthrough (0/1)'], sep='|')
)")});
    ASSERT_TRUE(p.waitForStarted());
    p.write(bytes);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished());
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
              QStringLiteral("17|1.0000000000000002|2|'L-2026/03\\nzweite Zeile'|2026-03-29T01:59:58.250+01:00|1\n"
                             "1|0.0|-|''|2026-10-25T02:30:00.000-04:00|0\n"));
}

TEST(MeasurementExport, WhatIsNotAnExportIsRefusedWithItsLine) {
    const QByteArray good = exportHeaderLine() + exportRowLine(cellRecord());
    QByteArray badNumber = exportRowLine(referenceRecord());
    badNumber.replace(",2,", ",zwei,");
    QByteArray badFlag = exportRowLine(referenceRecord());
    badFlag.replace(",1,1,0,", ",1,ja,0,");
    QByteArray badTime = exportRowLine(referenceRecord());
    badTime.replace("2026-10-25T", "25.10.2026 ");
    const struct {
        const char* name;
        QByteArray bytes;
        const char* error;
    } cases[] = {
        {"a results file", "Zelle;Bruch;Bruchzeit;Stoff\r\n4; ;--:--;Toluol\r\n", "line 1: no column \"test id\": not a measurements export"},
        {"a quote not closed", good + "\"open,", "line 4: a quote is not closed"},
        {"a number that is none", good + badNumber, "line 4: a number or flag does not read"},
        {"a flag that is none", good + badFlag, "line 4: a number or flag does not read"},
        {"a local time", good + badTime, "line 4: \"25.10.2026 02:30:00.000-04:00\" is not an ISO 8601 time"},
        {"a row cut short", good + "0b7e,4A01,3\r\n", "line 4: 3 fields, 27 columns"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExportRead read = readExport(c.bytes);
        EXPECT_FALSE(read.ok);
        EXPECT_TRUE(read.records.empty());
        EXPECT_EQ(read.error, QString::fromUtf8(c.error));
    }
    // The line numbers count the line end inside the first row's quoted lot: the row after it
    // begins on line 4.
}
