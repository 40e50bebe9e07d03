// korvat-archive as a lab uses it: results files the program wrote imported (twice: nothing
// changes), listed, found, shown, exported back to the run's own export, charted as CSV and as a
// PDF page; a file that is not a results file refused with a status of 1, a wrong command line
// with 2.

#include "support/AppFixture.h"
#include "support/TickRun.h"
#include "support/SimProcess.h"

#include <QFile>
#include <QProcess>
#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace korvat;
using namespace korvat::test;

namespace {

struct Ran {
    int status = -1;
    QString out, err;
};

Ran archiveCli(const QStringList& args, const QString& home) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("HOME", home);
    p.setProcessEnvironment(env);
    p.start(SimProcess::binDir() + "/korvat-archive", args);
    Ran r;
    if (!p.waitForFinished(60'000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(KorvatArchiveCli, ImportFindShowExportAndChart) {
    if (!QFileInfo::exists(SimProcess::binDir() + "/korvat-archive"))
        GTEST_SKIP() << "korvat-archive not built";
    AppFixture f;
    f.writeIni({"Language/Code=US", "Measurement/MeasurementSampleTime/s=5", "Measurement/MeasurementInjectionTime/s=3",
                "Measurement/MeasurementTimePerCell/s=30", "Measurement/LimitFID=0.1", "Calibration/FIDCalArea=450000",
                "Specimen/Material1=Nitril", "Specimen/Material2=Nitril", "Specimen/Material3=Latex"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    f.dialogs.nextFileName = f.dir + "Glove.csv";
    f.app().btnSpeichernClick();
    f.app().inputs().edited(Input::Start, "4");
    f.app().inputs().edited(Input::Count, "3");
    f.app().inputs().edited(Input::Cycles, "3");
    f.app().sequencer().btnStartClick();
    korvat::test::tickRunToEnd(f);
    ASSERT_TRUE(f.app().recorder().settle(Millis(10'000)));
    writeFile(f.dir + "notes.csv", "Einkaufsliste;Milch\r\n");
    const QString home = f.dir + "home";
    const QString id = f.app().run().testId;

    Ran r = archiveCli({"import", f.dir + "Glove.csv", f.dir + "notes.csv"}, home);
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("added " + id)) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(f.dir + "notes.csv")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("nothing of it imported"));
    EXPECT_TRUE(QFileInfo::exists(home + "/data/korvat/archive.sqlite"));
    r = archiveCli({"import", f.dir + "Glove.csv"}, home);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith("already there " + id)) << r.out.toStdString();

    r = archiveCli({"find", "--material", "latex"}, home);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.count('\n'), 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith(id));
    EXPECT_TRUE(r.out.contains("9 measurements"));
    r = archiveCli({"find", "--chemical", "Methanol"}, home);
    EXPECT_EQ(r.out, QString());

    r = archiveCli({"show", id.left(8)}, home);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("instrument SN4A01-0815"));
    EXPECT_TRUE(r.out.contains("| Latex |"));

    r = archiveCli({"export", id, "-o", f.dir + "back.csv"}, home);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readBytes(f.dir + "back.csv"), readBytes(f.dir + "Glove_measurements.csv"));

    r = archiveCli({"chart", "--pdf", f.dir + "chart.pdf"}, home);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("material,chemical,EN ISO 374-1 level,")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\r\nLatex,")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\r\nNitril,"));
    EXPECT_TRUE(readBytes(f.dir + "chart.pdf").startsWith("%PDF"));
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (!pdftotext.isEmpty()) {
        QProcess p;
        p.start(pdftotext, {f.dir + "chart.pdf", "-"});
        ASSERT_TRUE(p.waitForFinished(30'000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_TRUE(text.contains("Chemical resistance chart")) << text.toStdString();
        EXPECT_TRUE(text.contains("Latex"));
    }

    const struct {
        QStringList args;
        const char* says;
    } wrong[] = {
        {{"--bogus"}, "Unknown option"},
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"show"}, "show: wrong number of arguments"},
        {{"find", "--since", "31.12.2026"}, "--since takes a date"},
    };
    for (const auto& w : wrong) {
        SCOPED_TRACE(w.says);
        r = archiveCli(w.args, home);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(w.says)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Usage: korvat-archive"));
    }
    r = archiveCli({"show", "ffffffff"}, home);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("no test ffffffff")) << r.err.toStdString();
}
