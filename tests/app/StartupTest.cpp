// Start-up against the in-process instrument: what the window shows, what is sent, and every way
// identification can fail. (Crossed cables need real device names and run over pseudo-terminals
// in the end-to-end suite.)

#include "support/AppFixture.h"
#include "util/Utils.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;
using korvat::test::writeFile;

namespace {
sim::InstrumentOptions twoConverters() {
    sim::InstrumentOptions o;
    o.twoConverters = true;
    return o;
}
} // namespace

TEST(Startup, SinglePortIdentifiesAndPutsTheInstrumentIntoAKnownState) {
    AppFixture f;
    f.writeIni({"Language/Code=DE", "Calibration/FIDCalArea=999", "Calibration/FPDCalArea=1000",
                "Preferences/Standard=ASTM"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();

    EXPECT_EQ(f.translatedWith, 0);
    EXPECT_TRUE(f.view.windowCaption.startsWith("KORVAT-PC Version "));
    EXPECT_EQ(app.sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(f.view.connections[0], std::make_pair(QString("KORVAT-SIM-A SN4A01-0815"), true));
    EXPECT_EQ(f.view.connections[1], std::make_pair(QString("KORVAT-SIM-B --------"), false));
    EXPECT_EQ(f.instrument->mainLine().writtenData(),
              "\r\n<SN\r\n<PSFF\r<V1SFF\r<V2SFF\r<LSEF\r<D?\r<12Z0100\r");
    EXPECT_EQ(app.valves().regs().DispByte, 0xEF);
    EXPECT_EQ(app.UpdateList().size(), 7u);
    EXPECT_TRUE(f.view.power);
    EXPECT_TRUE(f.view.controls.start);
    EXPECT_FALSE(f.view.controls.stop);
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());

    // What the window shows from the file.
    EXPECT_EQ(f.view.calibrated.value(Detector::FID), false); // 999: not calibrated
    // 1000 is no FPD calibration: the FPD's evaluation needs an area above 10000.
    EXPECT_EQ(f.view.calibrated.value(Detector::FPD), false);
    EXPECT_EQ(f.view.standard, 0);
    EXPECT_EQ(f.view.readBacks.value(ReadBack::Ventilblock), "--- ° C");
    EXPECT_EQ(f.view.readBacks.value(ReadBack::HVoltage), "---- V");
    EXPECT_EQ(f.view.cellTime(2), "Laufzeit --:-- ");
    EXPECT_EQ(f.view.start, "Stop");
    EXPECT_EQ(f.view.chartCaptions.title, "Diagramm");
    EXPECT_EQ(f.view.chartCaptions.fidSeries, "FID Kanal (µV)");
    EXPECT_EQ(f.view.chartCaptions.timeAxis, "Zeit (sek)");
    EXPECT_EQ(f.view.bottomMax, 60);
    EXPECT_EQ(f.view.leftMax, 20000);
    EXPECT_EQ(f.view.substances.value(SubstanceGrid::Hydrocarbons), (QStringList{"Aceton=2,05", "Toluol=0,57"}));
    EXPECT_EQ(f.view.infos.value(InfoLabel::FIDCalInfo), "Isobutan (ppm)");
}

TEST(Startup, TwoPortsIdentifyBothConverters) {
    AppFixture f(twoConverters());
    f.writeIni({"DeviceTyp/Typ=FIDFPD", "Language/Code=US"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    EXPECT_EQ(f.translatedWith, 1000);
    EXPECT_EQ(f.app().DeviceTyp, TDeviceTyp::FIDFPD);
    EXPECT_EQ(f.view.connections[0].first, "KORVAT-SIM-A SN4A01-0815");
    EXPECT_EQ(f.view.connections[1], std::make_pair(QString("KORVAT-SIM-B SN2B01-0816"), true));
    EXPECT_EQ(f.app().UpdateList().size(), 11u);
    EXPECT_EQ(f.instrument->fpdLine().writtenData(), "<SN\r<12Z0100\r");
    EXPECT_TRUE(f.instrument->mainLine().writtenData().startsWith("<SN\r<PSFF\r"));
}

TEST(Startup, WithoutTheSecondConverterFallsBackToFid) {
    AppFixture f; // the FPD device is missing
    f.writeIni({"DeviceTyp/Typ=FIDFPD", "Language/Code=DE"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    EXPECT_EQ(f.app().DeviceTyp, TDeviceTyp::FID);
    EXPECT_EQ(f.dialogs.texts(), (QStringList{"Fehler: Schnittstelle nicht verfügbar",
                                              "AD-Wandler für FPD nicht gefunden! Schalte auf FID Mode."}));
    EXPECT_EQ(f.app().UpdateList().size(), 7u);
    EXPECT_EQ(f.view.connections[1], std::make_pair(QString("KORVAT-SIM-B --------"), false));
    EXPECT_EQ(f.instrument->mainLine().writtenData().count("<12Z0100\r"), 1);
    EXPECT_EQ(f.instrument->fpdLine().writtenData(), "");
}

// Without a chooser every failure is said in the program's language, naming the settings file
// where the ports are set; a port that does not open is not followed by "converter not found".
TEST(Startup, IdentificationFailuresEndTheProgram) {
    struct Case {
        const char* name;
        sim::InstrumentOptions options;
        QString ini;
        bool english;
        bool mainMissing;
        bool secondFailsToOpen;
        QStringList boxes; // "<head>" and "<note>" stand for the end box's head and the file's note
    };
    sim::InstrumentOptions silent;
    silent.silent = true;
    sim::InstrumentOptions badId;
    badId.badIdentification = true;
    sim::InstrumentOptions silentTwo = twoConverters();
    silentTwo.silent = true;
    const Case cases[] = {
        {"silent", silent, "DeviceTyp/Typ=FID", false, false, false,
         {"<head>KORVAT-SIM-A: AD-Wandler nicht gefunden. Programm wird beendet.\r<note>\r"}},
        {"no 4", badId, "DeviceTyp/Typ=FPD", false, false, false,
         {"<head>AD-Wandler hat keine I2C Schnittstelle ! Programm Abbruch\r<note>\r"}},
        {"missing", {}, "DeviceTyp/Typ=FID", false, true, false,
         {"Fehler: Schnittstelle nicht verfügbar", "<head>Programm wird beendet.\r<note>\r"}},
        {"missing, English", {}, "DeviceTyp/Typ=FID", true, true, false,
         {"Error: COM port not available", "<head>The program ends.\r<note>\r"}},
        {"silent two", silentTwo, "DeviceTyp/Typ=FIDFPD", false, false, false,
         {"KORVAT-SIM-A: AD-Wandler nicht gefunden. Programm wird beendet.\n<note>"}},
        {"second open fails", twoConverters(), "DeviceTyp/Typ=FIDFPD", false, false, true,
         {"Fehler: Beim Öffnen des seriellen Anschlusses KORVAT-SIM-B",
          "AD-Wandler für FPD nicht gefunden! Schalte auf FID Mode."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFixture f(c.options);
        f.writeIni({c.english ? "Language/Code=US" : "Language/Code=DE", c.ini});
        f.instrument->mainLine().setExists(!c.mainMissing);
        if (c.secondFailsToOpen)
            f.instrument->fpdLine().setOpenResult(false);
        EXPECT_EQ(f.start(), StartupOutcome::Ended);
        const QString head = QString(c.english ? "Program: KORVAT-PC\r" : "Programm : KORVAT-PC\r") + GetVersionString() + "\r";
        const QString note = QString(c.english ? "The ports are set in %1 under [Communication] ComPortA and ComPortB."
                                        : "Die Anschlüsse stehen in %1 unter [Communication] ComPortA und ComPortB.")
                                 .arg(f.dir + "Korvat.ini");
        QStringList expected;
        for (QString box : c.boxes)
            expected << box.replace("<head>", head).replace("<note>", note);
        EXPECT_EQ(f.dialogs.texts(), expected);
        EXPECT_TRUE(f.app().startupProblem().endsWith(note)) << f.app().startupProblem().toStdString();
        EXPECT_FALSE(f.instrument->mainLine().isOpen() && !c.secondFailsToOpen);
        EXPECT_FALSE(f.view.power);
    }
}

TEST(Startup, WithoutAFileCreatesItAndComesUpInGerman) {
    AppFixture f;
    f.start(); // the in-process lines answer whatever they are called
    EXPECT_TRUE(QFile::exists(f.dir + "Korvat.ini"));
    EXPECT_EQ(f.translatedWith, 0);
    EXPECT_EQ(f.app().DeviceTyp, TDeviceTyp::FID);
    EXPECT_EQ(f.instrument->mainLine().deviceName(), "COM2");
    EXPECT_EQ(f.instrument->fpdLine().deviceName(), "COM3");
    EXPECT_EQ(f.view.standard, 1);
}

TEST(Startup, LanguageAndStandardCodesMustMatchExactly) {
    const struct {
        const char* iniLine;
        int offset;
    } languages[] = {{"Info/SampleInfo1=x", 1000}, {"Language/Code=de", 0}, {"Language/Code=US", 1000},
                     {"Language/Code=FR", 0}};
    for (const auto& l : languages) {
        AppFixture f;
        f.writeIni({l.iniLine});
        f.start();
        EXPECT_EQ(f.translatedWith, l.offset) << l.iniLine;
    }
    AppFixture f;
    f.writeIni({"Preferences/Standard=EN"});
    f.start();
    EXPECT_EQ(f.view.standard, -1);
}

// A value that cannot be read is named with its key and gets its default; the start goes on and
// the window can run. A number written under another locale is no such value.
TEST(Startup, AValueThatCannotBeReadIsNamedAndTheStartGoesOn) {
    for (const QLocale& process : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        SCOPED_TRACE(process.name().toStdString());
        korvat::test::LocaleGuard guard(process);
        AppFixture f;
        f.writeIni({"Language/Code=DE", "Measurement/SampleFlow2=zwei", "Measurement/FIDSampleFactor1=0.57",
                    "Measurement/SampleFlow1=150,5"});
        EXPECT_EQ(f.start(), StartupOutcome::Running);
        ASSERT_EQ(f.dialogs.boxes.size(), 1);
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains("SampleFlow2"));
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains(f.dir + "Korvat.ini"));
        EXPECT_TRUE(f.instrument->mainLine().isOpen());
        EXPECT_DOUBLE_EQ(f.app().settings().SampleFlow2, 100); // its missing-key default
        EXPECT_DOUBLE_EQ(f.app().settings().FIDFactor1, 0.57);
        EXPECT_DOUBLE_EQ(f.app().settings().SampleFlow1, 150.5);
        EXPECT_TRUE(f.view.power);
    }
}

TEST(Startup, AMissingSubstanceListHaltsStartupWithoutConnecting) {
    {
        AppFixture f;
        f.writeIni({});
        QFile::remove(f.dir + "S-Substanzen.txt");
        EXPECT_EQ(f.start(), StartupOutcome::Halted);
        ASSERT_EQ(f.dialogs.boxes.size(), 1);
        EXPECT_TRUE(f.dialogs.boxes[0].text.contains("S-Substanzen.txt"));
        EXPECT_FALSE(f.instrument->mainLine().isOpen());
    }
}

TEST(Startup, CloseReleasesTheQueues) {
    AppFixture f;
    f.writeIni({});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    f.app().FormClose();
    EXPECT_EQ(f.app().link().ReplyQueue(), nullptr);
    EXPECT_EQ(f.app().link().DataQueue1(), nullptr);
}

// Only a line of the identification's form from the port asked is its answer. What an earlier
// session left on the line is thrown away before the exchange (a stale answer of the other board,
// half a line that would swallow the real answer), and lines that turn up during the wait are
// skipped, with the 5 s still counted from the send.
TEST(Startup, IdentificationTakesOnlyAFreshIdentificationLine) {
    struct Case {
        const char* name;
        QByteArray staleOnOpen;   // waiting in the driver when the line is opened
        QByteArray duringTheWait; // arriving once the wait has begun
        bool silent;              // the converter itself does not answer
        StartupOutcome outcome;
    };
    const Case cases[] = {
        {"stale answer of the FPD board", ":SN2B01-0816\r", "", false, StartupOutcome::Running},
        {"stale half line", "[A10", "", false, StartupOutcome::Running},
        {"stale status reply", ":HG0000\r", "", false, StartupOutcome::Running},
        {"other lines before the answer", "", ":HG0000\r:SG0258\r:SN4A01-0815\r", true, StartupOutcome::Running},
        {"other lines and no answer", "", ":HG0000\r:SG0258\r", true, StartupOutcome::Ended},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::InstrumentOptions o;
        o.silent = c.silent;
        AppFixture f(o);
        f.writeIni({"Language/Code=DE", "DeviceTyp/Typ=FID"});
        sim::InProcessLine& line = f.instrument->mainLine();
        line.leaveStale(c.staleOnOpen);
        bool fed = false;
        f.clock.onAdvance([&](Millis) {
            if (!fed && line.isOpen() && !c.duringTheWait.isEmpty()) {
                fed = true;
                line.feedReceived(c.duringTheWait);
            }
        });
        ASSERT_EQ(f.start(), c.outcome);
        if (c.outcome == StartupOutcome::Running) {
            EXPECT_EQ(f.app().sSerialNumber, "SN4A01-0815");
            EXPECT_EQ(f.view.connections[0], std::make_pair(QString("KORVAT-SIM-A SN4A01-0815"), true));
            EXPECT_TRUE(f.dialogs.boxes.isEmpty());
        } else {
            EXPECT_GT(f.clock.monotonicNow(), Millis(5000));
            EXPECT_LT(f.clock.monotonicNow(), Millis(5100));
            EXPECT_EQ(f.dialogs.texts().filter("AD-Wandler nicht gefunden").size(), 1);
        }
        if (!c.duringTheWait.isEmpty()) {
            EXPECT_TRUE(f.view.log.contains(":HG0000")) << "skipped lines are logged";
        }
    }
}

// In two-port mode a stale line on port A must not make the cables look crossed.
TEST(Startup, StaleLinesOnBothPortsSwapNothing) {
    AppFixture f(twoConverters());
    f.writeIni({"DeviceTyp/Typ=FIDFPD", "Language/Code=DE"});
    f.instrument->mainLine().leaveStale(":HG0000\r");
    f.instrument->fpdLine().leaveStale(":SG0258\r:SN4");
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    EXPECT_EQ(f.app().sSerialNumber, "SN4A01-0815");
    EXPECT_EQ(f.instrument->mainLine().deviceName(), "KORVAT-SIM-A");
    EXPECT_EQ(f.view.connections[0].first, "KORVAT-SIM-A SN4A01-0815");
    EXPECT_EQ(f.view.connections[1], std::make_pair(QString("KORVAT-SIM-B SN2B01-0816"), true));
    EXPECT_TRUE(f.instrument->fpdLine().writtenData().startsWith("<SN\r"));
    EXPECT_FALSE(f.instrument->fpdLine().writtenData().contains("<PS")) << "no main-board command to the FPD";
}

// The identification answer in every form the protocol allows, and the few it refuses: the first
// line after the command that is not recognisably something else is the answer; the main
// converter's has "4" in fourth place, the FPD converter's is any line; trailing blanks are no
// part of the serial number. Each case runs with and without stale lines waiting on the ports.
// (Crossed cables need real device names: tests/e2e/StartupOverPtyTest.cpp.)
TEST(Startup, IdentificationAcceptsEveryAnswerTheProtocolAllows) {
    const QString wrongBoard = "AD-Wandler hat keine I2C Schnittstelle";
    const QString notFound = "AD-Wandler nicht gefunden";
    auto delayed = [](int ms) {
        sim::WireHabits h;
        h.replyDelay = Millis(ms);
        return h;
    };
    auto ending = [](sim::LineEnd end) {
        sim::WireHabits h;
        h.lineEnd = end;
        return h;
    };
    sim::WireHabits echo;
    echo.echo = true;
    sim::WireHabits pieces;
    pieces.chunkBytes = 2;
    pieces.chunkGap = Millis(30);
    struct Case {
        const char* name;
        bool twoPorts;
        QByteArray identA;
        QByteArray identB;
        sim::WireHabits habits;
        // Running: the serial number and, with two ports, what port B shows after its name.
        // Ended: the message box holds `box`.
        const char* serial;
        const char* second;
        QString box;
    };
    const Case cases[] = {
        {"main SN", false, ":SN4A01-0815", "", {}, "SN4A01-0815", nullptr, {}},
        {"main AD", false, ":AD4-4711-042", "", {}, "AD4-4711-042", nullptr, {}},
        {"main :4", false, ":4", "", {}, nullptr, nullptr, wrongBoard},
        {"main with blanks", false, ":AD4-4711-042   ", "", {}, "AD4-4711-042", nullptr, {}},
        {"main wrong board", false, ":AD3-4711-042", "", {}, nullptr, nullptr, wrongBoard},
        {"main silent", false, "", "", {}, nullptr, nullptr, "KORVAT-SIM-A: " + notFound},
        {"status line first", false, ":HG0000\r:AD4-4711-042", "", {}, "AD4-4711-042", nullptr, {}},
        {"looks like a status reply", false, ":SG4A01", "", {}, "SG4A01", nullptr, {}},
        {"echoed command", false, ":AD4-4711-042", "", echo, "AD4-4711-042", nullptr, {}},
        {"answer after 4.5 s", false, ":AD4-4711-042", "", delayed(4500), "AD4-4711-042", nullptr, {}},
        {"answer after 5.2 s", false, ":AD4-4711-042", "", delayed(5200), nullptr, nullptr,
         "KORVAT-SIM-A: " + notFound},
        {"CR LF", false, ":AD4-4711-042", "", ending(sim::LineEnd::CrLf), "AD4-4711-042", nullptr, {}},
        {"LF CR", false, ":AD4-4711-042", "", ending(sim::LineEnd::LfCr), "AD4-4711-042", nullptr, {}},
        {"in pieces", false, ":AD4-4711-042", "", pieces, "AD4-4711-042", nullptr, {}},
        {"both SN", true, ":SN4A01-0815", ":SN2B01-0816", {}, "SN4A01-0815", "SN2B01-0816", {}},
        {"both AD", true, ":AD4-4711-042", ":4711-043", {}, "AD4-4711-042", "4711-043", {}},
        {"FPD :4", true, ":AD4-4711-042", ":4", {}, "AD4-4711-042", "4", {}},
        {"both with blanks", true, ":AD4-4711-042  ", ":4711-043  ", {}, "AD4-4711-042", "4711-043", {}},
        {"FPD status line first", true, ":AD4-4711-042", ":12AS118\r:4711-043", {}, "AD4-4711-042",
         "4711-043", {}},
        {"FPD blank line first", true, ":AD4-4711-042", "   \r:4711-043", {}, "AD4-4711-042", "4711-043", {}},
        {"both echo", true, ":AD4-4711-042", ":4711-043", echo, "AD4-4711-042", "4711-043", {}},
        {"FPD silent", true, ":AD4-4711-042", "", {}, nullptr, nullptr, "KORVAT-SIM-B: " + notFound},
        {"main silent, two ports", true, "", ":4711-043", {}, nullptr, nullptr, "KORVAT-SIM-A: " + notFound},
    };
    for (const Case& c : cases) {
        for (const bool stale : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (stale ? ", stale lines waiting" : ""));
            sim::InstrumentOptions o;
            o.twoConverters = c.twoPorts;
            o.mainIdentification = c.identA;
            o.fpdIdentification = c.identB;
            o.habits = c.habits;
            AppFixture f(o);
            f.writeIni({"Language/Code=DE", c.twoPorts ? "DeviceTyp/Typ=FIDFPD" : "DeviceTyp/Typ=FID"});
            if (stale) {
                f.instrument->mainLine().leaveStale(":HG0000\r:SN2B01-0816\r:SN4");
                f.instrument->fpdLine().leaveStale(":SG0258\r:AD4-");
            }
            const StartupOutcome outcome = f.start();
            if (c.serial) {
                ASSERT_EQ(outcome, StartupOutcome::Running) << f.dialogs.texts().join('|').toStdString();
                EXPECT_TRUE(f.dialogs.boxes.isEmpty());
                EXPECT_EQ(f.app().sSerialNumber, c.serial);
                EXPECT_EQ(f.view.connections[0], std::make_pair("KORVAT-SIM-A " + QString(c.serial), true));
                if (c.twoPorts) {
                    EXPECT_EQ(f.app().DeviceTyp, TDeviceTyp::FIDFPD);
                    EXPECT_EQ(f.view.connections[1], std::make_pair("KORVAT-SIM-B " + QString(c.second), true));
                }
                EXPECT_TRUE(f.view.power);
            } else {
                EXPECT_EQ(outcome, StartupOutcome::Ended);
                ASSERT_EQ(f.dialogs.boxes.size(), 1) << f.dialogs.texts().join('|').toStdString();
                EXPECT_TRUE(f.dialogs.boxes[0].text.contains(c.box)) << f.dialogs.boxes[0].text.toStdString();
                EXPECT_FALSE(f.view.power);
            }
        }
    }
}

namespace {
// A chooser that answers as an operator would: looks at what it was told, tests a pair, and
// stores it or quits.
struct ScriptedChooser : PortChooser {
    std::function<std::optional<PortPair>(const PortChooserRequest&)> answer;
    QList<PortChooserRequest> requests;
    std::optional<PortPair> choosePorts(const PortChooserRequest& request) override {
        requests << request;
        return answer(request);
    }
};
} // namespace

// With a chooser, a port that is not there opens no box: the chooser names the port, the
// problem and the settings file; the pair it stores is tested, written and used at once.
TEST(Startup, TheChooserFindsThePortsAndStartUpGoesOn) {
    struct Case {
        const char* name;
        bool english;
        const char* problem;
    };
    const Case cases[] = {
        {"German", false, "KORVAT-SIM-A: Fehler: Schnittstelle nicht verfügbar"},
        {"English", true, "KORVAT-SIM-A: Error: COM port not available"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFixture f;
        ScriptedChooser chooser;
        f.chooser = &chooser;
        f.writeIni({c.english ? "Language/Code=US" : "Language/Code=DE", "DeviceTyp/Typ=FID"});
        f.instrument->mainLine().setExists(false);
        PortTestResult tested;
        chooser.answer = [&](const PortChooserRequest& r) -> std::optional<PortPair> {
            f.instrument->mainLine().setExists(true); // the adapter plugged in
            tested = r.test({"KORVAT-SIM-A", "KORVAT-SIM-B"});
            EXPECT_EQ(r.store({"KORVAT-SIM-A", "KORVAT-SIM-B"}), "");
            return PortPair{"KORVAT-SIM-A", "KORVAT-SIM-B"};
        };
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        EXPECT_TRUE(f.dialogs.boxes.isEmpty());
        ASSERT_EQ(chooser.requests.size(), 1);
        const PortChooserRequest& r = chooser.requests[0];
        EXPECT_TRUE(r.problem.contains(QString::fromUtf8(c.problem))) << r.problem.toStdString();
        EXPECT_EQ(r.settingsFile, f.dir + "Korvat.ini");
        EXPECT_EQ(r.language, c.english ? 1000 : 0);
        EXPECT_TRUE(r.atStartup);
        EXPECT_FALSE(r.usesPortB);
        EXPECT_TRUE(tested.identified);
        EXPECT_EQ(tested.lines, QStringList{c.english ? "KORVAT-SIM-A: converter answers, serial number SN4A01-0815"
                                                      : "KORVAT-SIM-A: Wandler antwortet, Seriennummer SN4A01-0815"});
        EXPECT_EQ(f.app().sSerialNumber, "SN4A01-0815");
        EXPECT_TRUE(f.view.power);
        EXPECT_EQ(f.app().startupProblem(), "");
        EXPECT_EQ(IniFile(f.dir + "Korvat.ini").readString(key::ComPortA, {}), "KORVAT-SIM-A");
    }
}

TEST(Startup, QuittingTheChooserEndsWithTheReasonForTheTerminal) {
    AppFixture f;
    ScriptedChooser chooser;
    f.chooser = &chooser;
    f.writeIni({"Language/Code=DE", "DeviceTyp/Typ=FID"});
    f.instrument->mainLine().setOpenResult(false);
    chooser.answer = [](const PortChooserRequest&) { return std::nullopt; };
    EXPECT_EQ(f.start(), StartupOutcome::Ended);
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
    EXPECT_EQ(chooser.requests.size(), 1);
    EXPECT_EQ(f.app().startupProblem(),
              "Fehler: Beim Öffnen des seriellen Anschlusses KORVAT-SIM-A\n"
              "Die Anschlüsse stehen in " + f.dir + "Korvat.ini unter [Communication] ComPortA und ComPortB.");
    EXPECT_FALSE(f.view.power);
}
