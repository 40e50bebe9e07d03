// Loading a raw-data file back: the header counts and how many lines they read, the slope points,
// where loading stops and what the message names, both layouts written by the program itself,
// and fractional values with a comma or a point, whatever the process's locale.

#include "evaluation/RawDataLoader.h"
#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "tests/evaluation/SyntheticPeak.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using namespace korvat;

namespace {

class RawDataLoader : public ::testing::Test {
protected:
    QString write(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("Glove_%1.txt").arg(++files));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    // Loaded while the process runs under `locale`, which must make no difference.
    RawLoadResult load(const QString& path, const QLocale& locale = QLocale::c()) {
        QLocale::setDefault(locale);
        const RawLoadResult r = loadRawData(path, s1, s2, s3);
        QLocale::setDefault(QLocale::c());
        return r;
    }

    QTemporaryDir dir;
    int files = 0;
    Series s1, s2, s3;
};

struct CountCase {
    const char* name;
    QByteArray content;
    std::size_t points1, points2, slopes;
    int errorLine; // 0: loads
};

} // namespace

TEST_F(RawDataLoader, CountsDecideTheLinesReadAndStopsAtTheFirstFault) {
    const CountCase cases[] = {
        {"no points", "0\r\n0\r\n", 0, 0, 0, 0},
        {"one point is none", "0\r\n1\r\n", 0, 0, 0, 0},
        {"two detectors, no points", "2\r\n1,0\r\n", 0, 0, 0, 0},
        {"seven: six lines, one slope", "0\r\n7\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n23\r\n", 6, 0, 1,
         0},
        {"FPD layout reads like FID", "1\r\n7\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", 6, 0, 1, 0},
        {"LF only, last line unterminated", "0\n7\n1\n2\n3\n4\n5\n6", 6, 0, 1, 0},
        {"two detectors, the larger count",
         "2\r\n5,8\r\n1,1\r\n2,2\r\n3,3\r\n4,4\r\n5,5\r\n6,6\r\n7,7\r\n", 7, 7, 2, 0},
        {"larger count past the end", "2\r\n8,5\r\n1,1\r\n2,2\r\n3,3\r\n4,4\r\n5,5\r\n", 5, 5, 1,
         8},
        {"one detector past the end", "0\r\n7\r\n1\r\n2\r\n", 2, 0, 0, 5},
        {"empty file", "", 0, 0, 0, 1},
        {"layout not a whole number", "FID\r\n7\r\n", 0, 0, 0, 1},
        {"count not a whole number", "0\r\n7.5\r\n", 0, 0, 0, 2},
        {"two-detector header without comma", "2\r\n7\r\n1,1\r\n", 0, 0, 0, 2},
        {"two-detector line without comma", "2\r\n7,7\r\n1,1\r\n2\r\n", 1, 1, 0, 4},
        {"FPD text not a number", "2\r\n7,7\r\n1,1\r\n2,x\r\n", 2, 1, 0, 4},
        {"empty line", "0\r\n7\r\n1\r\n\r\n3\r\n", 1, 0, 0, 4},
    };
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.name);
        s1.y = s2.y = s3.y = {99}; // left from an earlier file
        const QString path = write(c.content);
        const RawLoadResult r = load(path);
        EXPECT_EQ(r.ok, c.errorLine == 0);
        if (c.errorLine != 0) {
            EXPECT_TRUE(r.error.startsWith(path + QStringLiteral(", line %1: ").arg(c.errorLine)))
                << r.error.toStdString();
        }
        EXPECT_EQ(s1.size(), c.points1);
        EXPECT_EQ(s2.size(), c.points2);
        EXPECT_EQ(s3.size(), c.slopes);
        EXPECT_EQ(s1.x.size(), s1.size());
    }
}

TEST_F(RawDataLoader, PointsAndTheSlopeSitAtTheirTimes) {
    load(write("0\r\n7\r\n10\r\n20\r\n30\r\n40\r\n50\r\n60\r\n"));
    ASSERT_EQ(s1.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(s1.x[i], i * 0.1);
    EXPECT_EQ(s1.y, (std::vector<double>{10, 20, 30, 40, 50, 60}));
    ASSERT_EQ(s3.size(), 1u);
    EXPECT_DOUBLE_EQ(s3.x[0], 0.2); // the slope of points 0..4, at index 4
    EXPECT_DOUBLE_EQ(s3.y[0], 10.0);
}

TEST_F(RawDataLoader, MessageNamesTheFileTheLineAndTheText) {
    const QString path = write("0\r\n10\r\n1\r\n2\r\nabc\r\n4\r\n");
    const RawLoadResult r = load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, path + ", line 5: \"abc\" is not a number");
    EXPECT_EQ(s1.y, (std::vector<double>{1, 2}));

    const RawLoadResult missing = load(dir.filePath("none.txt"));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.contains(dir.filePath("none.txt"))) << missing.error.toStdString();
}

TEST_F(RawDataLoader, FilesTheProgramWroteLoadBackFromIndexOne) {
    const Series fid = test::InjectionPeak{}.make(600);
    test::InjectionPeak second;
    second.baseline = 300;
    second.seed = 7;
    const Series fpd = second.make(600);
    PeakValues peaks;
    peaks.PeakStartIndex = 17;
    peaks.FIDStartLevel = 1500.5;

    for (const TDeviceTyp layout : {TDeviceTyp::FID, TDeviceTyp::FIDFPD}) {
        SCOPED_TRACE(static_cast<int>(layout));
        const RawLoadResult r = load(write(rawDataContent(layout, fid, fpd, peaks, QLocale::c())), QLocale());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_EQ(r.count, 600);
        EXPECT_EQ(s1.y, std::vector<double>(fid.y.begin() + 1, fid.y.end()));
        if (layout == TDeviceTyp::FIDFPD)
            EXPECT_EQ(s2.y, std::vector<double>(fpd.y.begin() + 1, fpd.y.end()));
        else
            EXPECT_EQ(s2.size(), 0u);
        EXPECT_EQ(s3.size(), 600u - 6); // indices 4 to 597
    }
}

TEST_F(RawDataLoader, ReEvaluationFindsTheStoredPeak) {
    const test::InjectionPeak peak;
    const QString path = write(rawDataContent(TDeviceTyp::FID, peak.make(600), {}, {}, QLocale::c()));
    bool ok = false;
    const QStringList fields =
        evaluateRawFileLine(path, DetectionSettings{}, &ok).split(';');
    EXPECT_TRUE(ok);
    ASSERT_EQ(fields.size(), 7);
    EXPECT_EQ(fields[0], path);
    EXPECT_EQ(fields[1], "0");
    EXPECT_NEAR(fields[2].toDouble(), peak.areaInSamples(), 0.03 * peak.areaInSamples());

    const QString bad = write("0\r\n7\r\n1\r\n");
    EXPECT_EQ(evaluateRawFileLine(bad, DetectionSettings{}, &ok),
              bad + ";error;" + bad + ", line 4: missing, the file ends after line 3");
    EXPECT_FALSE(ok);
}

TEST_F(RawDataLoader, FractionalValuesUnderCommaAndPointLocales) {
    const QLocale german(QLocale::German), english(QLocale::English);
    const QLocale arabic(QLocale::Arabic, QLocale::Egypt); // digits of its own
    struct Case {
        const QLocale& locale;
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {german, "12,5", 12.5},
        {german, "12.5", 12.5},
        {german, "-1.55000000000000E+0001", -15.5},
        {german, "1500", 1500},
        {english, "12.5", 12.5}, // a file written under a point locale
        {english, "-1.55000000000000E+0001", -15.5},
        {english, "1500", 1500},
        // A file written under a comma locale, read under a point one: the files never group
        // thousands, so the comma is a decimal comma.
        {english, "12,5", 12.5},
        {english, "-1,55000000000000E+0001", -15.5},
        {english, "1,500", 1.5},
        {english, "1,500,000", std::nullopt},
        {german, "1.500,5", std::nullopt},
        {english, "12.5x", std::nullopt},
        {arabic, "-1500", -1500},
        {arabic, "12,5", 12.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " " + c.locale.name().toStdString());
        const RawLoadResult r =
            load(write(QByteArray("0\r\n3\r\n7\r\n") + c.text + "\r\n"), c.locale);
        EXPECT_EQ(r.ok, c.value.has_value()) << r.error.toStdString();
        if (c.value) {
            ASSERT_EQ(s1.size(), 2u);
            EXPECT_DOUBLE_EQ(s1.y[1], *c.value);
        }
    }
}

TEST_F(RawDataLoader, QuotedFileTextIsEscapedAndCutSoTheMessageStaysOneLine) {
    const struct {
        const char* name;
        QByteArray content;
        QString message; // after "<path>, line N: "
    } cases[] = {
        {"zero byte and backslash", QByteArray("0\r\n3\r\n1\r\na\0b\\c\r\n", 16),
         R"("a\0b\\c" is not a number)"},
        {"CR inside a line", "0\r\n3\r\n1\r\n1\r2\r\n", R"("1\r2" is not a number)"},
        {"other controls", "0\r\n3\r\n1\r\n\x01\t\x7F\x85\xE9\r\n", "\"\\x01\\x09\\x7F\\x85\u00e9\" is not a number"},
        {"two detectors", "2\r\n3,3\r\n1\x1B" "2\r\n", R"("1\x1B2" has no comma between the two detectors' values)"},
        {"60 characters are quoted whole", "0\r\n" + QByteArray(60, 'x') + "\r\n",
         "\"" + QString(60, 'x') + "\" is not a whole number"},
        {"longer ones are cut", "0\r\n3\r\n1\r\n" + QByteArray(61, 'y') + "\r\n",
         "\"" + QString(60, 'y') + "\"\u2026 (61 characters) is not a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(c.content);
        const RawLoadResult r = load(path);
        ASSERT_FALSE(r.ok);
        const QString tail = r.error.mid(r.error.indexOf(": ") + 2);
        EXPECT_EQ(tail, c.message);
        EXPECT_EQ(r.before + path + r.after, r.error);
    }
}

TEST_F(RawDataLoader, APathThatIsNoRegularFileIsNotOpened) {
    const QString link = dir.filePath("folder_link");
    ASSERT_TRUE(QFile::link(dir.path(), link));
    for (const QString& path : {dir.path(), link, QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(path.toStdString());
        const RawLoadResult r = load(path);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.startsWith("Cannot open " + path + ": it is not a regular file but"))
            << r.error.toStdString();
    }
}
