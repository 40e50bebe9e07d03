// The real korvat program, headless, against korvat-sim on pseudo-terminals: it starts, identifies
// both converters, puts the instrument into its known state and keeps running.

#include "shell/IniFile.h"
#include "support/SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

using namespace korvat;
using namespace korvat::test;

TEST(ProgramHeadless, StartsAgainstTheVirtualInstrumentAndKeepsRunning) {
    if (!SimProcess::available() || !QFileInfo::exists(SimProcess::binDir() + "/korvat"))
        GTEST_SKIP() << "programs not built";
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--fidfpd"}));

    // The program looks for its files beside itself, so it runs from a folder of its own.
    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    for (const char* file : {"korvat", "CH-Substanzen.txt", "S-Substanzen.txt"})
        ASSERT_TRUE(QFile::copy(SimProcess::binDir() + "/" + file, dir + file));
    QFile::setPermissions(dir + "korvat", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    IniFile ini(dir + "Korvat.ini");
    ASSERT_TRUE(ini.writeEntries({{"Language", "Code", "US"},
                                  {"DeviceTyp", "Typ", "FIDFPD"},
                                  {"Communication", "ComPortA", sim.linkA},
                                  {"Communication", "ComPortB", sim.linkB},
                                  {"Debug", "SetDebug", "1"}}));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(dir + "korvat", {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QElapsedTimer t;
    t.start();
    while (!sim.log().contains("<12Z0100") && t.elapsed() < 15000)
        QThread::msleep(50);
    const QString log = sim.log();
    EXPECT_TRUE(log.contains("<SN")) << log.toStdString();
    EXPECT_TRUE(log.contains("<V2SFF")) << log.toStdString();
    EXPECT_TRUE(log.contains("<12Z0100")) << log.toStdString();

    // Still up a moment later: the window is in use, not ended.
    EXPECT_FALSE(program.waitForFinished(1000));
    EXPECT_EQ(program.state(), QProcess::Running);

    // The debug log beside the program holds the exchange with both ports.
    QFile debugLog(dir + "korvat-debug.log");
    ASSERT_TRUE(debugLog.open(QIODevice::ReadOnly));
    const QByteArray debug = debugLog.readAll();
    EXPECT_TRUE(debug.contains(sim.linkA.toUtf8() + " < :SN4A01-0815")) << debug.toStdString();
    EXPECT_TRUE(debug.contains(sim.linkB.toUtf8() + " > <12Z0100")) << debug.toStdString();

    program.kill();
    program.waitForFinished(5000);
}
