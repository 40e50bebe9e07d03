// The main converter's control interface as the status poll and the service panel meet it: every
// query's reply form and value (registers, temperatures, high voltage, zero, converter status),
// register writes read back, the P register's front-panel bits and written heating bits, the
// acknowledgements that end the program's reply wait at once and stay clear of every reply
// pattern the program interprets, and the heaters warming towards their setpoints and cooling back
// to the room on a manual clock.

#include "SimWire.h"

#include "link/Commands.h"
#include "model/InProcessInstrument.h"
#include "util/Clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using namespace korvat;
using namespace korvat::sim;
using korvat::sim::test::SimWire;

namespace {

InstrumentOptions exactTemperatures(double ambient = 22.0) {
    InstrumentOptions options;
    options.ambientCelsius = ambient;
    options.temperatureNoise = 0;
    return options;
}

// ---- queries after a few writes ------------------------------------------------------------------

struct QueryCase {
    const char* name;
    std::vector<QByteArray> before; // sent first, whatever they answer
    QByteArray query;
    QByteArray reply; // CR included
    bool heatersOff = false;
};

void PrintTo(const QueryCase& c, std::ostream* os) {
    *os << c.name;
}

class Queries : public ::testing::TestWithParam<QueryCase> {};

TEST_P(Queries, AnswerWithTheirOwnLettersAndTheValue) {
    const QueryCase& c = GetParam();
    InstrumentOptions options = exactTemperatures();
    options.heatersOff = c.heatersOff;
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    for (const QByteArray& command : c.before)
        wire.ask(command);
    EXPECT_EQ(wire.ask(c.query), c.reply);
}

INSTANTIATE_TEST_SUITE_P(
    ControlInterface, Queries,
    ::testing::Values(
        // A fresh instrument: both heatings requested at the front panel, nothing switched on.
        QueryCase{"PFresh", {}, "<PG", ":PGFC\r"},
        QueryCase{"PFreshHeatersOff", {}, "<PG", ":PGFF\r", true},
        // The program's answer to FC: heating bits 4 and 5 written 0, bits 0 to 3 as ones.
        QueryCase{"PAfterHeatingOn", {"<PSCF"}, "<PG", ":PGCC\r"},
        QueryCase{"PAfterHeatingOnHeatersOff", {"<PSCF"}, "<PG", ":PGCF\r", true},
        QueryCase{"PLowBitsAreInputs", {"<PS00"}, "<PG", ":PG0C\r"},
        QueryCase{"PStartUpAllOnes", {"<PSCF", "<PSFF"}, "<PG", ":PGFC\r"},
        QueryCase{"DFresh", {}, "<DG", ":DG00\r"},
        QueryCase{"DLoopIn", {"<D1"}, "<DG", ":DG01\r"},
        QueryCase{"DLoopOut", {"<D1", "<D0"}, "<DG", ":DG00\r"},
        QueryCase{"DLoggedQuery", {"<D1"}, "<D?", ":D?01\r"},
        QueryCase{"V1Fresh", {}, "<V1G", ":V1GFF\r"},
        QueryCase{"V1Written", {"<V1S3E"}, "<V1G", ":V1G3E\r"},
        QueryCase{"V2Written", {"<V1S3E", "<V2SC1"}, "<V2G", ":V2GC1\r"},
        QueryCase{"LWritten", {"<LSEF"}, "<LG", ":LGEF\r"},
        QueryCase{"HighVoltageOffReadsZero", {"<HS199A"}, "<HG", ":HG0000\r"},
        QueryCase{"HighVoltageOn", {"<HS199A", "<HO1"}, "<HG", ":HG199A\r"},
        QueryCase{"HighVoltageSetWhileOn", {"<HO1", "<HSFFFF"}, "<HG", ":HGFFFF\r"},
        QueryCase{"HighVoltageSwitchedOff", {"<HSFFFF", "<HO1", "<HS0000", "<HO0"}, "<HG",
                  ":HG0000\r"},
        QueryCase{"HighVoltageKeepsCodeWhileOff", {"<HS199A", "<HO1", "<HO0", "<HO1"}, "<HG",
                  ":HG199A\r"},
        QueryCase{"ZeroFresh", {}, "<ZG", ":ZG8000\r"},
        QueryCase{"ZeroWritten", {"<ZS7EB7"}, "<ZG", ":ZG7EB7\r"},
        QueryCase{"ValveBlockAtRoom", {}, "<VG", ":VG00DC\r"},
        QueryCase{"SetpointAloneDoesNotHeat", {"<TS07D0"}, "<TG", ":TG00DC\r"},
        QueryCase{"ConverterIdle", {"<12B1100", "<12W1100"}, "<12AS100", ":12AS100\r"},
        QueryCase{"ConverterInBurst", {"<12Z1100"}, "<12AS100", ":12AS118\r"},
        QueryCase{"ConverterAfterBurst", {"<12Z1100", "<12Z0100"}, "<12AS100", ":12AS100\r"}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

// ---- acknowledgements ----------------------------------------------------------------------------

// The program takes a reply apart only if it matches one of these; an acknowledgement must not,
// or the program would read a setpoint echo as a measured value.
bool interpretedByProgram(const QByteArray& line) {
    const qsizetype n = line.size();
    auto at = [&line](int position) { return line.at(position - 1); };
    if (n < 4 || at(1) != ':')
        return false;
    return (at(3) == 'G' && at(4) != 'G') || ((at(3) == '1' || at(3) == '2') && at(4) == 'G') ||
           (n >= 5 && at(4) == 'A' && at(5) == 'S');
}

TEST(ControlInterface, InterpretedPatternsAreTheProgramsOwn) {
    // The guard below is only worth something if it recognises real replies.
    for (const char* reply : {":VG0258", ":V1GFF", ":V2G00", ":12AS118", ":PGFC", ":LGEF"})
        EXPECT_TRUE(interpretedByProgram(reply)) << reply;
    EXPECT_FALSE(interpretedByProgram(":SGG1"));
}

TEST(ControlInterface, EverySetpointAndSwitchIsAcknowledgedAtOnceWithOneUninterpretedLine) {
    const QByteArray commands[] = {"<VS0258", "<SS00C8", "<ES0320", "<TS07D0", "<HSFFFF",
                                   "<HS0000", "<ZS7EB7", "<ZS0000", "<VO1",    "<VO0",
                                   "<SO1",    "<SO0",    "<EO1",    "<EO0",    "<TO1",
                                   "<TO0",    "<HO1",    "<HO0"};
    VirtualInstrument instrument;
    SimWire wire(instrument);
    for (const QByteArray& command : commands) {
        SCOPED_TRACE(command.constData());
        const QByteArray answer = wire.ask(command);
        EXPECT_EQ(answer, ':' + command.mid(1) + '\r');
        EXPECT_EQ(answer.count('\r'), 1);
        EXPECT_FALSE(interpretedByProgram(answer.chopped(1)));
    }
}

TEST(ControlInterface, RegisterWritesLoopSwitchAndConverterSetupAnswerNothing) {
    const QByteArray commands[] = {"<PSFF", "<V1SFF", "<V2SFF", "<LSEF",     "<D1",
                                   "<D0",   "<PSCF",  "<V1S3E", "<12B1100", "<12W1100"};
    VirtualInstrument instrument;
    SimWire wire(instrument);
    for (const QByteArray& command : commands)
        EXPECT_TRUE(wire.ask(command).isEmpty()) << command.constData();
}

TEST(ControlInterface, FpdConverterHasNoControlInterfaceButReportsItsOwnStatus) {
    InstrumentOptions options;
    options.twoConverters = true;
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    for (const QByteArray& command : {QByteArray("<PG"), QByteArray("<VS0258"), QByteArray("<D1"),
                                      QByteArray("<HO1"), QByteArray("<SG")})
        EXPECT_TRUE(wire.ask(command, Port::Fpd).isEmpty()) << command.constData();
    EXPECT_EQ(wire.ask("<DG"), ":DG00\r") << "the D1 on port B must not reach the main converter";
    EXPECT_EQ(wire.ask("<HG"), ":HG0000\r");

    wire.ask("<12Z1100", Port::Fpd);
    EXPECT_EQ(wire.ask("<12AS100", Port::Fpd), ":12AS118\r");
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS100\r") << "the main converter is not in a burst";
}

// ---- P register and heating ----------------------------------------------------------------------

struct HeatingCase {
    const char* name;
    std::vector<QByteArray> commands;
    bool valveBlock;
    bool measuringCell;
};

TEST(ControlInterface, ValveBlockAndCellHeatWhenSwitchedOnOrWhenTheirPBitIsZero) {
    const HeatingCase cases[] = {
        {"fresh", {}, false, false},
        {"P bits 4 and 5 zero", {"<PSCF"}, true, true},
        {"P bit 4 zero", {"<PSEF"}, true, false},
        {"P bit 5 zero", {"<PSDF"}, false, true},
        {"on/off commands", {"<VO1", "<SO1"}, true, true},
        {"switched off again", {"<VO1", "<SO1", "<VO0", "<SO0"}, false, false},
        {"either one is enough", {"<PSCF", "<VO0", "<SO0"}, true, true},
        {"P all ones, VO on", {"<PSFF", "<VO1"}, true, false},
    };
    for (const HeatingCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualInstrument instrument;
        SimWire wire(instrument);
        for (const QByteArray& command : c.commands)
            wire.ask(command);
        EXPECT_EQ(instrument.isHeating(Zone::ValveBlock), c.valveBlock);
        EXPECT_EQ(instrument.isHeating(Zone::MeasuringCell), c.measuringCell);
        EXPECT_FALSE(instrument.isHeating(Zone::EmissionChamber)) << "P does not reach the FPD";
        EXPECT_FALSE(instrument.isHeating(Zone::TransferLine));
    }
}

TEST(ControlInterface, FrontPanelSwitchesShowInPBitsZeroAndOne) {
    VirtualInstrument instrument;
    SimWire wire(instrument);
    instrument.setHeatingRequests(false, true);
    EXPECT_EQ(wire.ask("<PG"), ":PGFD\r");
    instrument.setHeatingRequests(true, false);
    EXPECT_EQ(wire.ask("<PG"), ":PGFE\r");
    EXPECT_FALSE(instrument.isHeating(Zone::MeasuringCell)) << "a request alone heats nothing";
}

// ---- temperatures over time ----------------------------------------------------------------------

// Sends a query through the in-process line as the program does and decodes the reply's value.
struct Poller {
    InProcessLine& line;
    double temperature(char letter) {
        const QByteArray query = QByteArray("<") + letter + "G\r";
        if (!line.write(query))
            return -1000;
        QCoreApplication::processEvents();
        const QString reply = QString::fromLatin1(line.readAll());
        EXPECT_TRUE(reply.startsWith(QStringLiteral(":%1G").arg(letter))) << reply.toStdString();
        EXPECT_EQ(reply.size(), 8) << reply.toStdString();
        const std::optional<int> code = hexField(reply, 4, 7);
        return code ? signed16(*code) / 10.0 : -1000;
    }
};

TEST(ControlInterface, EveryZoneWarmsTowardsItsSetpointAndCoolsBackWhenOff) {
    ManualClock clock;
    InProcessInstrument sim;
    sim.follow(clock);
    ASSERT_TRUE(sim.mainLine().open({}));
    Poller poll{sim.mainLine()};
    for (char letter : {'V', 'S', 'E', 'T'}) {
        SCOPED_TRACE(letter);
        const QByteArray zone(1, letter);
        ASSERT_TRUE(sim.mainLine().write("<" + zone + "S0258\r<" + zone + "O1\r"));
        QCoreApplication::processEvents();
        EXPECT_EQ(sim.mainLine().readAll(), ":" + zone + "S0258\r:" + zone + "O1\r");

        std::vector<double> seen{poll.temperature(letter)};
        for (int minutes : {1, 3, 10, 16}) {
            clock.advance(Millis(minutes * 60'000));
            seen.push_back(poll.temperature(letter));
        }
        // 0, 1, 4, 14 and 30 minutes: from the room, rising all the way, settled at 60.0.
        EXPECT_NEAR(seen.front(), 22.0, 0.15);
        for (std::size_t i = 1; i < seen.size(); ++i)
            EXPECT_GT(seen[i], seen[i - 1]) << "at reading " << i;
        EXPECT_GT(seen[1], 22.5) << "a heater on is seen warming within a minute";
        EXPECT_LT(seen[2], 59.0) << "not there after four minutes: a lag of minutes";
        EXPECT_NEAR(seen.back(), 60.0, 1.0);

        ASSERT_TRUE(sim.mainLine().write("<" + zone + "O0\r"));
        QCoreApplication::processEvents();
        sim.mainLine().readAll();
        clock.advance(Millis(60 * 60'000));
        EXPECT_NEAR(poll.temperature(letter), 22.0, 0.2);
    }
}

TEST(ControlInterface, PHeatingBitsWarmValveBlockAndCellOnly) {
    ManualClock clock;
    VirtualInstrument instrument(exactTemperatures());
    clock.onAdvance([&instrument](Millis now) { instrument.advanceTo(now); });
    SimWire wire(instrument);
    for (const char* command : {"<VS0258", "<SS0190", "<ES0320", "<TS07D0", "<PSCF"})
        wire.ask(command);
    clock.advance(Millis(30 * 60'000));
    EXPECT_EQ(wire.ask("<VG"), ":VG0258\r");
    EXPECT_EQ(wire.ask("<SG"), ":SG0190\r");
    EXPECT_EQ(wire.ask("<EG"), ":EG00DC\r");
    EXPECT_EQ(wire.ask("<TG"), ":TG00DC\r");
    wire.ask("<PSFF");
    clock.advance(Millis(60 * 60'000));
    EXPECT_EQ(wire.ask("<VG"), ":VG00DC\r");
    EXPECT_EQ(wire.ask("<SG"), ":SG00DC\r");
}

TEST(ControlInterface, TemperaturesTravelAsSigned16BitTenths) {
    struct Case {
        double ambient;
        QByteArray reply;
    };
    const Case cases[] = {{-1.5, ":VGFFF1\r"}, {-0.5, ":VGFFFB\r"}, {0.0, ":VG0000\r"},
                          {22.0, ":VG00DC\r"}, {27.3, ":VG0111\r"}};
    for (const Case& c : cases) {
        VirtualInstrument instrument(exactTemperatures(c.ambient));
        SimWire wire(instrument);
        EXPECT_EQ(wire.ask("<VG"), c.reply) << c.ambient;
    }
    // And hot: the transfer line at 200.0 °C.
    VirtualInstrument instrument(exactTemperatures());
    SimWire wire(instrument);
    wire.ask("<TS07D0");
    wire.ask("<TO1");
    instrument.advanceTo(Millis(3'600'000));
    EXPECT_EQ(wire.ask("<TG"), ":TG07D0\r");
}

TEST(ControlInterface, ReadingsJitterByATenthAtMostAndRepeatWithTheSeed) {
    auto readings = [](std::uint64_t seed) {
        InstrumentOptions options;
        options.seed = seed;
        VirtualInstrument instrument(options);
        SimWire wire(instrument);
        QByteArray all;
        for (int second = 1; second <= 120; ++second) {
            instrument.advanceTo(Millis(second * 1000));
            all += wire.ask("<SG");
        }
        return all;
    };
    const QByteArray first = readings(7);
    int off = 0;
    for (const QByteArray& line : korvat::sim::test::linesOf(first)) {
        const int tenths = signed16(QByteArray(line.mid(3)).toInt(nullptr, 16));
        EXPECT_NEAR(tenths, 220, 1) << line.constData();
        off += tenths != 220 ? 1 : 0;
    }
    EXPECT_GT(off, 0) << "a settled reading still flickers now and then";
    EXPECT_EQ(readings(7), first);
    EXPECT_NE(readings(8), first);
}

} // namespace
