// Faults met while fuzzing what the program reads, kept as ordinary cases: a raw-data file whose
// values are far beyond any converter's range, loaded with the calibration box ticked; a key
// written into a settings file with lone-CR line ends just before an empty LF line.

#include "shell/IniFile.h"
#include "support/AppFixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::writeFile;

namespace {

// A one-detector raw-data file of 199 points: flat at zero with one triangular peak of `height`
// rising from index 20 to 30 and falling back to zero at 45.
QByteArray trianglePeakFile(double height) {
    QByteArray out = "0\r\n200\r\n";
    for (int i = 0; i < 199; ++i) {
        double v = 0;
        if (i > 20 && i <= 30)
            v = height * (i - 20) / 10;
        else if (i > 30 && i < 45)
            v = height * (45 - i) / 15;
        out += QByteArray::number(v, 'f', 0) + "\r\n";
    }
    return out;
}

} // namespace

TEST(FuzzRegression, ALoadedAreaBeyondAWholeNumberIsNoCalibration) {
    const struct {
        double height;
        bool takenOver;
    } cases[] = {{1e6, true}, {1e9, false}, {1e300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        AppFixture f;
        f.writeIni({"Language/Code=DE", "Calibration/FIDCalArea=0"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        const QString path = f.dir + "huge_1.txt";
        writeFile(path, trianglePeakFile(c.height));
        f.app().inputs().toggled(Check::IsobutanCalib, true);
        const bool uncalibrated = f.view.calibrated.value(Detector::FID, false);
        f.dialogs.nextFileName = path;
        f.app().btnLadenClick();

        const EvaluationState& st = f.app().run().eval;
        ASSERT_FALSE(st.NoPeak);
        ASSERT_GT(st.FIDArea, 1000);
        const int stored = f.app().ini().readInteger("Calibration", "FIDCalArea", -1);
        if (c.takenOver) {
            EXPECT_EQ(f.app().settings().FIDCalArea, static_cast<int>(st.FIDArea));
            EXPECT_EQ(stored, f.app().settings().FIDCalArea);
            EXPECT_FALSE(f.app().inputs().checked(Check::IsobutanCalib));
            EXPECT_NE(f.view.calibrated.value(Detector::FID), uncalibrated);
            continue;
        }
        // Before, the area wrapped into a negative whole number that was stored as the calibration
        // while the edit turned green; no rate could be computed from it afterwards.
        EXPECT_EQ(f.app().settings().FIDCalArea, 0);
        EXPECT_EQ(stored, 0);
        EXPECT_TRUE(f.app().inputs().checked(Check::IsobutanCalib));
        EXPECT_EQ(f.view.calibrated.value(Detector::FID), uncalibrated);
        EXPECT_TRUE(f.view.status.contains("too large for a calibration")) << f.view.status.toStdString();
    }
}

TEST(FuzzRegression, AKeyAddedBeforeAnEmptyLineOfAnotherLineEndKeepsThatLine) {
    // Mostly lone CRs, so a new line ends in CR; the section's last key is followed by an empty
    // line that ends in LF alone. The new key goes between them: its CR and that LF used to read
    // back as one CR LF, and the empty line was gone.
    QTemporaryDir dir;
    const QString path = dir.filePath("Korvat.ini");
    test::writeFile(path, "[A]\ra=1\rb=2\r\n\n[B]\rx=1\r");
    IniFile ini(path);
    ASSERT_TRUE(ini.writeString("A", "c", "3"));
    EXPECT_EQ(test::readBytes(path), "[A]\ra=1\rb=2\r\nc=3\r\n\n[B]\rx=1\r");
    EXPECT_EQ(ini.readString("A", "c", "-"), "3");
    EXPECT_EQ(ini.readString("B", "x", "-"), "1");
}
