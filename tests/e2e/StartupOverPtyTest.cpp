// Start-up end to end over real pseudo-terminals: the program's link code and QSerialPort against
// korvat-sim in its own process, with the system clock. Covers what the in-process suite cannot:
// real device names, crossed cables, a missing second device, and the real 5 s reply wait.

#include "link/QtSerialLine.h"
#include "app/KorvatApp.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "support/SimProcess.h"
#include "util/Clock.h"
#include "util/Utils.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace korvat;
using namespace korvat::test;

namespace {

struct PtyStartup : ::testing::Test {
    void SetUp() override {
        if (!SimProcess::available())
            GTEST_SKIP() << "korvat-sim not built";
        dir = folder.path() + "/";
        for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
            QFile::copy(SimProcess::binDir() + "/" + list, dir + list);
    }

    StartupOutcome start(const QStringList& simOptions, const QString& typ, const QString& portA,
                         const QString& portB) {
        EXPECT_TRUE(sim.start(simOptions));
        IniFile ini(dir + "Korvat.ini");
        ini.writeEntries({{"Language", "Code", "DE"},
                          {"DeviceTyp", "Typ", typ},
                          {"Communication", "ComPortA", portA},
                          {"Communication", "ComPortB", portB}});
        app = std::make_unique<KorvatApp>(KorvatApp::Environment{view, dialogs, clock, com1, com2, dir});
        return app->FormCreate({});
    }

    QTemporaryDir folder;
    QString dir;
    SimProcess sim;
    SystemClock clock;
    RecordingView view;
    RecordingDialogs dialogs;
    QtSerialLine com1, com2;
    std::unique_ptr<KorvatApp> app;
};

} // namespace

TEST_F(PtyStartup, SinglePort) {
    ASSERT_EQ(start({}, "FID", sim.linkA, sim.linkB), StartupOutcome::Running);
    EXPECT_EQ(app->sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(view.connections[0], std::make_pair(sim.linkA + " SN4A01-0815", true));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    // The instrument received the start-up commands.
    QElapsedTimer t;
    t.start();
    while (!sim.log().contains("<12Z0100") && t.elapsed() < 5000)
        clock.waitForEvents(Millis(50));
    EXPECT_TRUE(sim.log().contains("<LSEF"));
    EXPECT_TRUE(sim.log().contains("<12Z0100"));
}

TEST_F(PtyStartup, TwoPorts) {
    ASSERT_EQ(start({"--fidfpd"}, "FIDFPD", sim.linkA, sim.linkB), StartupOutcome::Running);
    EXPECT_EQ(app->DeviceTyp, TDeviceTyp::FIDFPD);
    EXPECT_EQ(view.connections[1], std::make_pair(sim.linkB + " SN2B01-0816", true));
    EXPECT_EQ(app->UpdateList().size(), 11u);
}

TEST_F(PtyStartup, CrossedCablesAreSwappedSilently) {
    ASSERT_EQ(start({"--fidfpd"}, "FIDFPD", sim.linkB, sim.linkA), StartupOutcome::Running);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(com1.deviceName(), sim.linkA);
    EXPECT_EQ(com2.deviceName(), sim.linkB);
    EXPECT_EQ(app->sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(view.connections[0].first, sim.linkA + " SN4A01-0815");
    EXPECT_EQ(view.connections[1].first, sim.linkB + " SN2B01-0816");
    EXPECT_EQ(app->DeviceTyp, TDeviceTyp::FIDFPD);
}

TEST_F(PtyStartup, NoSecondConverterFallsBackToFid) {
    const QString nowhere = folder.filePath("no-such-port");
    ASSERT_EQ(start({}, "FIDFPD", sim.linkA, nowhere), StartupOutcome::Running);
    EXPECT_EQ(app->DeviceTyp, TDeviceTyp::FID);
    EXPECT_EQ(dialogs.texts().filter("Schalte auf FID Mode").size(), 1);
    EXPECT_EQ(app->UpdateList().size(), 7u);
    EXPECT_EQ(view.connections[1], std::make_pair(nowhere + " --------", false));
}

TEST_F(PtyStartup, ReplyWithoutTheFourEndsTheProgram) {
    ASSERT_EQ(start({"--bad-id"}, "FID", sim.linkA, sim.linkB), StartupOutcome::Ended);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_TRUE(dialogs.boxes[0].text.contains("AD-Wandler hat keine I2C Schnittstelle"));
    EXPECT_FALSE(com1.isOpen());
}

TEST_F(PtyStartup, SilentInstrumentEndsTheProgramAfterFiveSeconds) {
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(start({"--silent"}, "FID", sim.linkA, sim.linkB), StartupOutcome::Ended);
    EXPECT_GE(t.elapsed(), 5000);
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_TRUE(dialogs.boxes[0].text.contains(sim.linkA + ": AD-Wandler nicht gefunden"));
}

// Bytes an earlier session left unread in the devices (korvat-sim puts them there before the
// program opens the links) are thrown away before the identification: no swap, the main board's
// serial number, both converters in the connection list.
struct StaleCase {
    const char* name;
    QStringList simOptions;
    const char* typ;
};

void PrintTo(const StaleCase& c, std::ostream* os) { *os << c.name; }

struct PtyStaleStartup : PtyStartup, ::testing::WithParamInterface<StaleCase> {};

TEST_P(PtyStaleStartup, StaleBytesAreNoIdentification) {
    const StaleCase& c = GetParam();
    ASSERT_EQ(start(c.simOptions, c.typ, sim.linkA, sim.linkB), StartupOutcome::Running);
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(com1.deviceName(), sim.linkA) << "no swap";
    EXPECT_EQ(app->sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(view.connections[0], std::make_pair(sim.linkA + " SN4A01-0815", true));
    if (QLatin1String(c.typ) == QLatin1String("FIDFPD")) {
        EXPECT_EQ(com2.deviceName(), sim.linkB);
        EXPECT_EQ(app->DeviceTyp, TDeviceTyp::FIDFPD);
        EXPECT_EQ(view.connections[1], std::make_pair(sim.linkB + " SN2B01-0816", true));
    } else {
        EXPECT_EQ(view.connections[1], std::make_pair(sim.linkB + " --------", false));
    }
    // The main board's commands went to the main board.
    QElapsedTimer t;
    t.start();
    while (!sim.log().contains("<LSEF") && t.elapsed() < 5000)
        clock.waitForEvents(Millis(50));
    EXPECT_TRUE(sim.log().contains("A <LSEF")) << sim.log().toStdString();
    EXPECT_FALSE(sim.log().contains("B <LSEF")) << sim.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Stale, PtyStaleStartup,
    ::testing::Values(StaleCase{"SinglePortStaleOnA", {"--stale-a", ":HG0000\\r"}, "FID"},
                      StaleCase{"TwoPortsStaleOnAAndB",
                                {"--fidfpd", "--stale-a", ":HG0000\\r", "--stale-b", ":SG0258\\r:SN4"},
                                "FIDFPD"}),
    [](const ::testing::TestParamInfo<StaleCase>& info) { return std::string(info.param.name); });

// The identification answer in the forms the protocol allows, over real devices: korvat-sim
// answers exactly the given lines (--ident-a, --ident-b), with or without stale lines waiting.
// Main converter: "4" in fourth place, else the wrong board (single port) or crossed cables (two
// ports); FPD converter: any line; trailing blanks are no part of the serial number.
struct IdentCase {
    std::string name;
    bool twoPorts;
    const char* identA;
    const char* identB;
    bool crossedInIni; // ComPortA names port B's link and the other way round
    bool stale;
    // Running: which link ends up as port 1 ("A"/"B"), the serial number, and port 2's text after
    // its name. Ended: the message box holds `box` (its device: `boxDevice`).
    const char* port1;
    const char* serial;
    const char* second;
    const char* box;
    const char* boxDevice;
    // More korvat-sim options: how the instrument puts its lines on the wire.
    QStringList habits = {};
};

void PrintTo(const IdentCase& c, std::ostream* os) { *os << c.name; }

struct PtyIdentification : PtyStartup, ::testing::WithParamInterface<IdentCase> {};

TEST_P(PtyIdentification, AnswerIsJudgedByTheProtocolsRuleOnly) {
    const IdentCase& c = GetParam();
    QStringList options = {"--ident-a", c.identA};
    if (c.twoPorts)
        options << "--fidfpd" << "--ident-b" << c.identB;
    options << c.habits;
    if (c.stale) {
        options << "--stale-a" << ":HG0000\\r:SN2B01-0816\\r";
        if (c.twoPorts)
            options << "--stale-b" << ":SG0258\\r:SN4";
    }
    const bool swappedIni = c.crossedInIni;
    QElapsedTimer t;
    t.start();
    const StartupOutcome outcome = start(options, c.twoPorts ? "FIDFPD" : "FID", swappedIni ? sim.linkB : sim.linkA,
                                         swappedIni ? sim.linkA : sim.linkB);
    const QString linkOf1 = QLatin1String(c.port1 ? c.port1 : "A") == QLatin1String("A") ? sim.linkA : sim.linkB;
    const QString linkOf2 = linkOf1 == sim.linkA ? sim.linkB : sim.linkA;
    if (c.serial) {
        ASSERT_EQ(outcome, StartupOutcome::Running) << dialogs.texts().join('|').toStdString();
        EXPECT_TRUE(dialogs.boxes.isEmpty());
        EXPECT_EQ(app->sSerialNumber, c.serial);
        EXPECT_EQ(com1.deviceName(), linkOf1);
        EXPECT_EQ(view.connections[0], std::make_pair(linkOf1 + " " + c.serial, true));
        if (c.twoPorts) {
            EXPECT_EQ(app->DeviceTyp, TDeviceTyp::FIDFPD);
            EXPECT_EQ(view.connections[1], std::make_pair(linkOf2 + " " + c.second, true));
        }
    } else {
        EXPECT_EQ(outcome, StartupOutcome::Ended);
        ASSERT_EQ(dialogs.boxes.size(), 1) << dialogs.texts().join('|').toStdString();
        QString expected = QString::fromUtf8(c.box);
        if (c.boxDevice)
            expected = (QLatin1String(c.boxDevice) == QLatin1String("A") ? sim.linkA : sim.linkB) + ": " + expected;
        EXPECT_TRUE(dialogs.boxes[0].text.contains(expected)) << dialogs.boxes[0].text.toStdString();
        if (c.boxDevice) {
            EXPECT_GE(t.elapsed(), 5000) << "refused only after the whole wait";
        }
    }
}

namespace {
constexpr const char* kWrongBoard = "AD-Wandler hat keine I2C Schnittstelle";
constexpr const char* kNotFound = "AD-Wandler nicht gefunden";

std::vector<IdentCase> identCases() {
    const IdentCase base[] = {
        // name, two ports, A, B, crossed in ini, stale, port 1, serial, second, box, box device
        {"SingleSN", false, ":SN4A01-0815", "", false, false, "A", "SN4A01-0815", nullptr, nullptr, nullptr},
        {"SingleAD", false, ":AD4-4711-042", "", false, false, "A", "AD4-4711-042", nullptr, nullptr, nullptr},
        {"SingleFourAlone", false, ":4", "", false, false, nullptr, nullptr, nullptr, kWrongBoard, nullptr},
        {"SingleTrailingBlanks", false, ":AD4-4711-042   ", "", false, false, "A", "AD4-4711-042", nullptr, nullptr,
         nullptr},
        {"SingleWrongBoard", false, ":AD3-4711-042", "", false, false, nullptr, nullptr, nullptr, kWrongBoard, nullptr},
        {"TwoSN", true, ":SN4A01-0815", ":SN2B01-0816", false, false, "A", "SN4A01-0815", "SN2B01-0816", nullptr,
         nullptr},
        {"TwoAD", true, ":AD4-4711-042", ":4711-043", false, false, "A", "AD4-4711-042", "4711-043", nullptr, nullptr},
        {"TwoFpdFourAlone", true, ":AD4-4711-042", ":4", false, false, "A", "AD4-4711-042", "4", nullptr, nullptr},
        {"TwoTrailingBlanks", true, ":AD4-4711-042  ", ":4711-043  ", false, false, "A", "AD4-4711-042", "4711-043",
         nullptr, nullptr},
        // Without "4" in fourth place on port A the cables count as crossed: the names are swapped
        // and the other board, asked again, is taken without a check.
        {"TwoWrongBoardCountsAsCrossed", true, ":AD3-4711-042", ":4711-043", false, false, "B", "4711-043",
         "AD3-4711-042", nullptr, nullptr},
        {"TwoMainFourAloneCountsAsCrossed", true, ":4", ":4711-043", false, false, "B", "4711-043", "4", nullptr,
         nullptr},
        {"TwoCrossedCables", true, ":AD4-4711-042", ":4711-043", true, false, "A", "AD4-4711-042", "4711-043",
         nullptr, nullptr},
        // The answer echoed, late, in pieces, with other line ends.
        {"SingleEchoedLateInPiecesCrLf", false, ":AD4-4711-042", "", false, false, "A", "AD4-4711-042", nullptr,
         nullptr, nullptr,
         {"--echo", "--reply-delay", "400", "--chunk", "3", "--chunk-gap", "5", "--line-end", "crlf"}},
        {"TwoLateLfCr", true, ":AD4-4711-042", ":4711-043", false, false, "A", "AD4-4711-042", "4711-043", nullptr,
         nullptr, {"--reply-delay", "800", "--line-end", "lfcr", "--ack", "none"}},
    };
    std::vector<IdentCase> cases;
    for (const IdentCase& c : base) {
        cases.push_back(c);
        IdentCase withStale = c;
        withStale.stale = true;
        withStale.name += "StaleWaiting";
        cases.push_back(withStale);
    }
    // The one slow case: the FPD converter says nothing, the program gives up after the wait.
    cases.push_back({"TwoFpdSilent", true, ":AD4-4711-042", "", false, false, nullptr, nullptr, nullptr, kNotFound,
                     "B"});
    return cases;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Forms, PtyIdentification, ::testing::ValuesIn(identCases()),
                         [](const ::testing::TestParamInfo<IdentCase>& info) { return info.param.name; });
