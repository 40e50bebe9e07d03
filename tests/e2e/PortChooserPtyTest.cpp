// The port chooser, driven as an operator drives it, against korvat-sim on pseudo-terminals: the
// program's start-up with real serial lines meets a port that is not there, the dialog names it
// and the settings file, the operator types the instrument's device, tests, stores; start-up goes
// on with it. And the test button's verdicts for the ways a pair can be wrong.

#include "app/KorvatApp.h"
#include "link/QtSerialLine.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "support/SimProcess.h"
#include "ui/PortChooserDialog.h"
#include "util/Clock.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace korvat;
using namespace korvat::test;

namespace {

struct PtyChooser : ::testing::Test {
    void SetUp() override {
        if (!SimProcess::available())
            GTEST_SKIP() << "korvat-sim not built";
        dir = folder.path() + "/";
        for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
            QFile::copy(SimProcess::binDir() + "/" + list, dir + list);
        noDevices.setPath(folder.filePath("by-id"));
    }

    void writeIni(const QString& code, const QString& typ, const QString& portA, const QString& portB) {
        IniFile ini(dir + "Korvat.ini");
        ini.writeEntries({{"Language", "Code", code},
                          {"DeviceTyp", "Typ", typ},
                          {"Communication", "ComPortA", portA},
                          {"Communication", "ComPortB", portB}});
    }

    // Runs `operate` on the chooser once it is open (modal, inside start-up).
    // Looks for the chooser every 50 ms for up to 60 s of real time: start-up identifies the
    // instrument first (seconds with an instrument that does not answer, longer on a loaded
    // machine), and a chooser nobody operates would keep the test waiting for good.
    void whenChooserOpens(std::function<void(PortChooserDialog&)> operate) {
        if (!waited.isValid())
            waited.start();
        QTimer::singleShot(50, [this, operate] {
            auto* dialog = qobject_cast<PortChooserDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (waited.elapsed() < 60'000)
                    return whenChooserOpens(operate);
                ADD_FAILURE() << "the chooser did not open";
                return;
            }
            waited.invalidate();
            operate(*dialog);
        });
    }

    QTemporaryDir folder;
    QDir noDevices;
    QString dir;
    QElapsedTimer waited;
    SimProcess sim;
    SystemClock clock;
    RecordingView view;
    RecordingDialogs dialogs;
    QtSerialLine com1, com2;
    QtPortChooser chooser;
};

void setPort(QComboBox* box, const QString& device) {
    box->setCurrentText(device);
}

} // namespace

TEST_F(PtyChooser, AMissingPortIsChosenTestedStoredAndUsed) {
    ASSERT_TRUE(sim.start({}));
    const QString missing = folder.filePath("ttyUSB7");
    writeIni("US", "FID", missing, "COM3");
    KorvatApp app(KorvatApp::Environment{view, dialogs, clock, com1, com2, dir, {}, {}, {}, {}, RecorderDispatch::Inline, &chooser});

    QString problem, settingsLine, testResult;
    whenChooserOpens([&](PortChooserDialog& d) {
        problem = d.findChild<QLabel*>("problem")->text();
        settingsLine = d.findChild<QLabel*>("settingsFile")->text();
        EXPECT_EQ(d.portA()->currentText(), missing);
        EXPECT_FALSE(d.portB()->isEnabled()) << "port B is not used with one detector";
        setPort(d.portA(), sim.linkA);
        d.testButton()->click();
        testResult = d.resultText();
        d.storeButton()->click();
    });
    ASSERT_EQ(app.FormCreate({}), StartupOutcome::Running);

    EXPECT_TRUE(problem.contains(missing + ": Error: COM port not available")) << problem.toStdString();
    EXPECT_EQ(settingsLine, "Settings file: " + dir + "Korvat.ini");
    EXPECT_EQ(testResult, sim.linkA + ": converter answers, serial number SN4A01-0815");
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(app.sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(view.connections[0], std::make_pair(sim.linkA + " SN4A01-0815", true));
    EXPECT_EQ(IniFile(dir + "Korvat.ini").readString(key::ComPortA, {}), sim.linkA);
}

TEST_F(PtyChooser, QuitEndsStartUp) {
    ASSERT_TRUE(sim.start({"--bad-id"}));
    writeIni("DE", "FID", sim.linkA, "COM3");
    KorvatApp app(KorvatApp::Environment{view, dialogs, clock, com1, com2, dir, {}, {}, {}, {}, RecorderDispatch::Inline, &chooser});
    QString problem;
    whenChooserOpens([&](PortChooserDialog& d) {
        problem = d.findChild<QLabel*>("problem")->text();
        d.quitButton()->click();
    });
    EXPECT_EQ(app.FormCreate({}), StartupOutcome::Ended);
    EXPECT_TRUE(problem.contains("AD-Wandler hat keine I2C Schnittstelle")) << problem.toStdString();
    EXPECT_TRUE(app.startupProblem().contains(dir + "Korvat.ini"));
    EXPECT_FALSE(com1.isOpen());
    EXPECT_EQ(IniFile(dir + "Korvat.ini").readString(key::ComPortA, {}), sim.linkA) << "nothing stored";
}

// The test button's verdict per pair, from the Configuration page of a program that runs in
// two-detector operation: both converters found, the cables crossed (port A answers as the FPD
// board), a port that is not there. Nothing is stored, and the ports in use are open again after.
struct PairCase {
    const char* name;
    bool crossed;
    bool missingB;
    bool identified;
    QStringList lines; // "<A>", "<B>" and "<missing>" stand for the devices
};

void PrintTo(const PairCase& c, std::ostream* os) { *os << c.name; }

struct PtyChooserTest : PtyChooser, ::testing::WithParamInterface<PairCase> {};

TEST_P(PtyChooserTest, TheTestSaysWhatEachPortAnswered) {
    const PairCase& c = GetParam();
    ASSERT_TRUE(sim.start({"--fidfpd"}));
    writeIni("DE", "FIDFPD", sim.linkA, sim.linkB);
    KorvatApp app(KorvatApp::Environment{view, dialogs, clock, com1, com2, dir, {}, {}, {}, {}, RecorderDispatch::Inline, &chooser});
    ASSERT_EQ(app.FormCreate({}), StartupOutcome::Running);
    const QString missing = folder.filePath("ttyUSB9");
    PortChooserRequest request = app.portChooserRequest({}, false);
    PortChooserDialog dialog(request, nullptr, noDevices.path());
    dialog.show();
    setPort(dialog.portA(), c.crossed ? sim.linkB : sim.linkA);
    setPort(dialog.portB(), c.missingB ? missing : c.crossed ? sim.linkA : sim.linkB);
    dialog.testButton()->click();
    QStringList expected;
    for (QString line : c.lines)
        expected << line.replace("<A>", sim.linkA).replace("<B>", sim.linkB).replace("<missing>", missing);
    EXPECT_EQ(dialog.resultText(), expected.join('\n'));
    EXPECT_EQ(dialog.findChild<QLabel*>("problem"), nullptr) << "opened by the operator: no problem to tell";
    EXPECT_TRUE(com1.isOpen());
    EXPECT_TRUE(com2.isOpen());
    EXPECT_EQ(com1.deviceName(), sim.linkA);
    EXPECT_EQ(com2.deviceName(), sim.linkB);
    EXPECT_EQ(IniFile(dir + "Korvat.ini").readString(key::ComPortA, {}), sim.linkA);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, PtyChooserTest,
    ::testing::Values(
        PairCase{"BothFound", false, false, true,
                 {"<A>: Wandler antwortet, Seriennummer SN4A01-0815", "<B>: Wandler antwortet, Seriennummer SN2B01-0816"}},
        PairCase{"Crossed", true, false, false,
                 {"<B>: die Antwort \u201e:SN2B01-0816\u201c ist nicht die des Hauptwandlers (viertes Zeichen nicht 4)",
                  "<A>: Wandler antwortet, Seriennummer SN4A01-0815"}},
        PairCase{"SecondMissing", false, true, false,
                 {"<A>: Wandler antwortet, Seriennummer SN4A01-0815",
                  "<missing>: Fehler: Schnittstelle nicht verfügbar"}}),
    [](const ::testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });
