// korvat-eval as the operator runs it: one line per file in the order given, a file that does not
// load reported and passed over, the exit status, and the detection settings taken from the
// Korvat.ini beside the program or from --ini.

#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "shell/IniFile.h"
#include "support/SimProcess.h"
#include "tests/evaluation/SyntheticPeak.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using namespace korvat::test;

namespace {

// The program runs from a folder of its own, so the Korvat.ini beside it is the test's.
class KorvatEvalCli : public ::testing::Test {
protected:
    void SetUp() override {
        const QString built = SimProcess::binDir() + "/korvat-eval";
        if (!QFileInfo::exists(built))
            GTEST_SKIP() << "korvat-eval not built";
        ASSERT_TRUE(QFile::copy(built, folder.filePath("korvat-eval")));
        QFile::setPermissions(folder.filePath("korvat-eval"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile("peak.txt", rawDataContent(TDeviceTyp::FID, InjectionPeak{}.make(600), {}, {}));
    }
    void writeFile(const QString& name, const QByteArray& content) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void writeIni(const QString& name, const QString& minIndex) {
        IniFile ini(folder.filePath(name));
        ASSERT_TRUE(ini.writeEntries({{"Detection", "MinIndex", minIndex}}));
    }
    // Runs in the folder, so relative names stay as given.
    void run(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(folder.path());
        p.start(folder.filePath("korvat-eval"), args);
        ASSERT_TRUE(p.waitForFinished(30000));
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        err = QString::fromLocal8Bit(p.readAllStandardError());
    }

    QTemporaryDir folder;
    int exitCode = -1;
    QStringList out;
    QString err;
};

} // namespace

TEST_F(KorvatEvalCli, ReportsEachFileAndGoesOnPastOnesThatDoNotLoad) {
    writeFile("bad.txt", "0\r\n10\r\n1500\r\n1501\r\nabc\r\n");
    run({"peak.txt", "bad.txt", "missing.txt"});

    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 3) << out.join('\n').toStdString();
    const QStringList good = out[0].split(';');
    ASSERT_EQ(good.size(), 7) << out[0].toStdString();
    EXPECT_EQ(good[0], "peak.txt");
    EXPECT_EQ(good[1], "0");
    const double truth = InjectionPeak{}.areaInSamples();
    EXPECT_NEAR(good[2].toDouble(), truth, 0.03 * truth);
    EXPECT_EQ(out[1], "bad.txt;error;bad.txt, line 5: \"abc\" is not a number");
    EXPECT_TRUE(out[2].startsWith("missing.txt;error;")) << out[2].toStdString();
    EXPECT_TRUE(out[2].section(';', 2).contains("missing.txt")) << out[2].toStdString();
    // No Korvat.ini beside the program: the defaults, said once.
    EXPECT_EQ(err.count("default"), 1) << err.toStdString();

    run({"peak.txt"});
    EXPECT_EQ(exitCode, 0);
    run({});
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(err.contains("usage")) << err.toStdString();
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(KorvatEvalCli, DetectionSettingsComeFromTheIniBesideItOrFromTheOption) {
    // The search starting past the peak finds none.
    writeIni("Korvat.ini", "300");
    writeIni("other.ini", "10");
    run({"peak.txt"});
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("peak.txt;1;")) << out[0].toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();

    run({"--ini", "other.ini", "peak.txt"});
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("peak.txt;0;")) << out[0].toStdString();
    EXPECT_EQ(exitCode, 0);

    // A mistyped --ini is not a check with other settings.
    run({"--ini", "otehr.ini", "peak.txt"});
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("otehr.ini")) << err.toStdString();
}
