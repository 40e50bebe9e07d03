// The raw-data file: its name, both layouts with their counts and number forms, and a file that
// could not be written being written with the next one.

#include "evaluation/RawDataLoader.h"
#include "evaluation/Series.h"
#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "util/NumberText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {
Series ramp(int n, double offset) {
    Series s;
    for (int i = 0; i < n; ++i) {
        s.x.push_back(i / 10.0);
        s.y.push_back(offset + i);
    }
    return s;
}
QStringList lines(const QByteArray& content) {
    QStringList l = QString::fromLatin1(content).split("\r\n");
    EXPECT_EQ(l.last(), ""); // every line ends in CR LF
    l.removeLast();
    return l;
}
} // namespace

TEST(RawDataFile, NameFollowsTheResultsFile) {
    EXPECT_EQ(rawDataFileName("/data/Tests/Glove7.csv", 1, 3), "/data/Tests/Glove7_3.txt");
    EXPECT_EQ(rawDataFileName("/data/Tests/17.05.2024_Nitril.csv", 1, 12), "/data/Tests/17.05.2024_Nitril_12.txt");
    EXPECT_EQ(rawDataFileName("/data/Tests/17.05.2024_Nitril.csv", 2, 1), "/data/Tests/17.05.2024_Nitril_run2_1.txt");
}

TEST(RawDataFile, ScientificFormHas23Characters) {
    const QLocale c = QLocale::c();
    EXPECT_EQ(formatScientific23(1230, c), " 1.23000000000000E+0003");
    EXPECT_EQ(formatScientific23(-15.5, c), "-1.55000000000000E+0001");
    EXPECT_EQ(formatScientific23(0, c), " 0.00000000000000E+0000");
    EXPECT_EQ(formatScientific23(0.00125, c), " 1.25000000000000E-0003");
    EXPECT_EQ(formatScientific23(1230, QLocale(QLocale::German)), " 1,23000000000000E+0003");
    EXPECT_EQ(formatScientific23(-1e-300, c).size(), 23);
}

TEST(RawDataFile, TwoDetectorLayout) {
    PeakValues p;
    p.FIDStart = 12.3;
    p.FPDStart = 4;
    p.FIDStartLevel = -15.5;
    const QStringList l = lines(rawDataContent(TDeviceTyp::FIDFPD, ramp(600, -5), ramp(598, 100), p, QLocale::c()));
    EXPECT_EQ(l[0], "2");
    // The file holds pairs: both counts are the shorter series', so it loads again.
    EXPECT_EQ(l[1], "598,598");
    EXPECT_EQ(l[2], "-4,101"); // index 0 is never written
    EXPECT_EQ(l.size(), 2 + 597 + 4);
    EXPECT_EQ(l[2 + 597], " 1.23000000000000E+0002, 4.00000000000000E+0001");
    EXPECT_EQ(l[2 + 598], "-1.55000000000000E+0001, 0.00000000000000E+0000");
}

// A line down during the window leaves one series short or empty: the file still loads, with
// the points both detectors have.
TEST(RawDataFile, TwoDetectorFilesLoadWhateverTheSeriesLengths) {
    const struct {
        int fid, fpd, loaded;
    } cases[] = {{600, 598, 597}, {598, 600, 597}, {0, 200, 0}, {200, 0, 0}, {1, 1, 0}, {150, 150, 149}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fid << "," << c.fpd);
        const QByteArray content = rawDataContent(TDeviceTyp::FIDFPD, ramp(c.fid, 0), ramp(c.fpd, 5), PeakValues{}, QLocale::c());
        Series a, b, slope;
        const RawLoadResult loaded = loadRawData("m.txt", content, a, b, slope);
        ASSERT_TRUE(loaded.ok) << loaded.error.toStdString();
        EXPECT_EQ(int(a.size()), c.loaded);
        EXPECT_EQ(int(b.size()), c.loaded);
    }
}

TEST(RawDataFile, OneDetectorLayout) {
    PeakValues p;
    p.PeakStartIndex = 23;
    p.PeakEndIndex = 81;
    p.PeakEndLevel = 1230;
    const QStringList l = lines(rawDataContent(TDeviceTyp::FID, ramp(600, 0), ramp(5, 0), p, QLocale::c()));
    EXPECT_EQ(l[0], "0");
    EXPECT_EQ(l[1], "600");
    EXPECT_EQ(l[2], "1");
    EXPECT_EQ(l.size(), 2 + 599 + 4);
    EXPECT_EQ(l.mid(601), (QStringList{"23", " 0.00000000000000E+0000", "81", " 1.23000000000000E+0003"}));
    EXPECT_EQ(lines(rawDataContent(TDeviceTyp::FPD, ramp(3, 0), {}, p, QLocale::c()))[0], "1");
}

