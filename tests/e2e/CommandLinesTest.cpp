// Every program of the package reads its command line the same way: an unknown option ends it
// with status 2 and says so on stderr (the window program too, without a display), --version
// names the program and its version, --help starts with "Usage:" and ends with a newline.

#include "shell/CommandLine.h"
#include "support/SimProcess.h"
#include "util/Utils.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::SimProcess;

namespace {

struct Ran {
    int status = -1;
    QString out, err;
};

Ran run(const QString& program, const QStringList& arguments) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display of any kind: what is answered here must not need one.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(SimProcess::binDir() + "/" + program, arguments);
    Ran r;
    if (!p.waitForFinished(20000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

} // namespace

TEST(CommandLines, EveryProgramAnswersHelpVersionAndABadLineAlike) {
    for (const char* name : {"korvat", "korvat-eval", "korvat-report", "korvat-sim"}) {
        const QString program = QString::fromLatin1(name);
        SCOPED_TRACE(name);
        const Ran bogus = run(program, {"--bogus"});
        EXPECT_EQ(bogus.status, 2);
        EXPECT_EQ(bogus.out, "");
        EXPECT_EQ(bogus.err, program + ": Unknown option 'bogus'.\nTry '" + program + " --help'.\n");

        const Ran version = run(program, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, program + " " + versionNumber() + "\n");

        const Ran help = run(program, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith("Usage: " + program + " ")) << help.out.toStdString();
        EXPECT_TRUE(help.out.endsWith("\n"));
        EXPECT_FALSE(help.out.contains("usage:")) << "one spelling";
        EXPECT_EQ(help.err, "");
    }
}

// The window's caption and --version name one version.
TEST(CommandLines, VersionNumberIsTheCaptionsVersion) {
    EXPECT_EQ("Version " + versionNumber(), GetVersionString());
}
