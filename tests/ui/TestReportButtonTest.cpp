// The sample-info page's "Report" button: the report of the results file chosen now lands beside
// it as a PDF and the operator is told where; without a chosen file, or with one that does not
// read, an error box names the problem and no report is left.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "support/AppFixture.h"
#include "support/RecordingDialogs.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

struct Wired {
    Wired() {
        korvat::test::writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
        korvat::test::writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
        instrument.follow(clock);
        IniFile(dir + "Korvat.ini")
            .writeEntries({{"Language", "Code", "US"},
                           {"Communication", "ComPortA", instrument.mainLine().deviceName()}});
        presenter.attach(app);
        started = app.FormCreate([this](int offset) { form.TranslateForm(offset); }) == StartupOutcome::Running;
        QApplication::processEvents();
    }
    void clickReport() {
        auto* button = qobject_cast<QAbstractButton*>(form.control(QStringLiteral("btnBericht")));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QStringLiteral("Report"));
        button->click();
    }

    QTemporaryDir folder;
    QString dir = folder.path() + "/";
    ManualClock clock;
    sim::InProcessInstrument instrument;
    TForm1 form;
    Presenter presenter{form};
    korvat::test::RecordingDialogs dialogs;
    KorvatApp app{{presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir}};
    bool started = false;
};

QString copyGoldenFid(const QString& dir) {
    QFile in(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/fid/Golden.csv"));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes.replace("@DIR@", dir.toLocal8Bit());
    const QString path = QDir(dir).filePath(QStringLiteral("Golden.csv"));
    korvat::test::writeFile(path, bytes);
    return path;
}

TEST(ReportButton, WritesThePdfBesideTheChosenResultsFileOrSaysWhyNot)
{
    Wired w;
    ASSERT_TRUE(w.started);
    const QString reportDir = w.dir + "results";
    ASSERT_TRUE(QDir().mkpath(reportDir));
    const QString pdf = reportDir + "/Golden_report.pdf";

    struct Case {
        const char* what;
        QString chosen;
        const char* box;
        bool written;
    } cases[] = {
        {"no results file chosen", QString(), "error", false},
        {"a file that is not a results file", reportDir + "/Golden.csv", "error", false},
        {"the golden run", QString(), "information", true},
    };
    korvat::test::writeFile(reportDir + "/Golden.csv", "not a results file\r\n");
    cases[2].chosen = QString();
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.written)
            c.chosen = copyGoldenFid(reportDir);
        w.app.records().sDateiname = c.chosen;
        w.dialogs.boxes.clear();
        w.clickReport();
        ASSERT_EQ(w.dialogs.boxes.size(), 1);
        EXPECT_EQ(w.dialogs.boxes[0].kind, QString::fromLatin1(c.box));
        EXPECT_EQ(QFileInfo::exists(pdf), c.written);
        if (c.written) {
            EXPECT_EQ(w.dialogs.boxes[0].text, pdf);
            QFile f(pdf);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_TRUE(f.read(5) == "%PDF-");
        } else if (!c.chosen.isEmpty()) {
            EXPECT_TRUE(w.dialogs.boxes[0].text.contains(c.chosen)) << w.dialogs.boxes[0].text.toStdString();
        }
    }
}

} // namespace
