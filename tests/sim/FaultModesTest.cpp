// The virtual instrument's fault modes as the program meets them: garbled lines (about the asked
// share, the CR kept, the same faults for the same seed), replies and data lines kept back, an
// instrument that falls silent at a given time, a burst that the stop command does not end, and a
// device that vanishes in mid-run and comes back with the instrument's state kept, in process and
// through korvat-sim's pseudo-terminals and links. Bad fault options are refused.

#include "SimWire.h"

#include "model/Faults.h"
#include "model/InProcessInstrument.h"
#include "util/Clock.h"

#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace korvat;
using namespace korvat::sim;
using korvat::sim::test::linesOf;
using korvat::sim::test::SimWire;

namespace {

constexpr Millis kSecond{1000};
constexpr Millis kTick{100};
const QByteArray kIdentification = ":SN4A01-0815";

// The options with the faults `set` asks for.
template <typename Set> InstrumentOptions withFaults(Set set, std::uint64_t seed = 7) {
    InstrumentOptions options;
    options.seed = seed;
    set(options.faults);
    return options;
}

InstrumentOptions withoutFaults(std::uint64_t seed = 7) {
    return withFaults([](FaultOptions&) {}, seed);
}

void startStream(SimWire& wire, Port port = Port::Main) {
    for (const char* command : {"<12B1100", "<12W1100", "<12Z1100"})
        wire.ask(command, port);
}

// What the main converter says to `queries` identifications and then in `seconds` of a burst,
// moved on in steps of 100 ms.
QByteArray session(VirtualInstrument& instrument, int queries, int seconds) {
    SimWire wire(instrument);
    for (int i = 0; i < queries; ++i)
        wire.ask("<SN");
    startStream(wire);
    for (Millis t = kTick; t <= seconds * kSecond; t += kTick)
        instrument.advanceTo(t);
    return wire.fromMain;
}

// ---- garbled lines --------------------------------------------------------------------------

struct GarbleCase {
    double rate;
    double tolerance;
};

class Garbling : public ::testing::TestWithParam<GarbleCase> {};

TEST_P(Garbling, ChangesAboutTheShareOfLinesKeepsEveryCrAndRepeatsWithTheSeed) {
    const GarbleCase c = GetParam();
    VirtualInstrument clean(withoutFaults());
    VirtualInstrument faulty(withFaults([&](FaultOptions& f) { f.garbleRate = c.rate; }));
    const QByteArray expected = session(clean, 1000, 100);
    const QByteArray received = session(faulty, 1000, 100);

    // 1000 replies and 1000 data lines, the same lines in the same places, only some characters
    // wrong: no CR lost, none added.
    const QList<QByteArray> want = linesOf(expected);
    const QList<QByteArray> got = linesOf(received);
    ASSERT_EQ(want.size(), 2000);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_TRUE(received.endsWith('\r'));
    int garbled = 0;
    for (qsizetype i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got[i].size(), want[i].size()) << i;
        int wrong = 0;
        for (qsizetype k = 0; k < want[i].size(); ++k)
            wrong += got[i][k] != want[i][k] ? 1 : 0;
        EXPECT_LE(wrong, 3) << i;
        garbled += wrong > 0 ? 1 : 0;
    }
    EXPECT_NEAR(garbled / 2000.0, c.rate, c.tolerance);
    EXPECT_EQ(faulty.garbledLines(), garbled);

    VirtualInstrument again(withFaults([&](FaultOptions& f) { f.garbleRate = c.rate; }));
    EXPECT_EQ(session(again, 1000, 100), received) << "same seed, same faults";
    if (c.rate < 1.0) {
        VirtualInstrument otherSeed(withFaults([&](FaultOptions& f) { f.garbleRate = c.rate; }, 8));
        VirtualInstrument otherClean(withoutFaults(8));
        EXPECT_NE(session(otherSeed, 1000, 100), session(otherClean, 1000, 100));
        EXPECT_NE(otherSeed.garbledLines(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, Garbling,
                         ::testing::Values(GarbleCase{0.02, 0.012}, GarbleCase{0.3, 0.04},
                                           GarbleCase{1.0, 0.0}));

// ---- replies and data lines kept back -------------------------------------------------------

struct DropCase {
    double replyRate;
    double dataRate;
};

class DroppedLines : public ::testing::TestWithParam<DropCase> {};

TEST_P(DroppedLines, KeepBackTheirShareOfRepliesAndDataLinesSeparately) {
    const DropCase c = GetParam();
    constexpr int kQueries = 2000;
    constexpr int kSeconds = 200; // 2000 data lines
    VirtualInstrument faulty(withFaults([&](FaultOptions& f) {
        f.dropReplyRate = c.replyRate;
        f.dropDataRate = c.dataRate;
    }));
    const QByteArray received = session(faulty, kQueries, kSeconds);
    int replies = 0;
    int data = 0;
    for (const QByteArray& line : linesOf(received)) {
        if (line == kIdentification)
            ++replies;
        else if (line.startsWith("[A"))
            ++data;
        else
            ADD_FAILURE() << "unexpected line " << line.constData();
    }
    EXPECT_NEAR(replies / double(kQueries), 1.0 - c.replyRate, 0.04);
    EXPECT_NEAR(data / double(kSeconds * 10), 1.0 - c.dataRate, 0.04);
    if (c.replyRate == 0.0) {
        EXPECT_EQ(replies, kQueries);
    }
    if (c.dataRate == 0.0) {
        EXPECT_EQ(data, kSeconds * 10);
    }
    EXPECT_EQ(faulty.droppedLines(), kQueries + kSeconds * 10 - replies - data);

    VirtualInstrument again(withFaults([&](FaultOptions& f) {
        f.dropReplyRate = c.replyRate;
        f.dropDataRate = c.dataRate;
    }));
    EXPECT_EQ(session(again, kQueries, kSeconds), received);
}

INSTANTIATE_TEST_SUITE_P(Rates, DroppedLines,
                         ::testing::Values(DropCase{0.25, 0.0}, DropCase{0.0, 0.1},
                                           DropCase{1.0, 0.5}));

// A stop command that is kept back is not the same as a stop command that is lost: the burst
// ends, only its "]" line may be missing.
TEST(DroppedLines, AKeptBackClosingLineStillEndsTheBurst) {
    VirtualInstrument instrument(withFaults([&](FaultOptions& f) { f.dropDataRate = 1.0; }));
    SimWire wire(instrument);
    startStream(wire);
    instrument.advanceTo(kSecond);
    EXPECT_TRUE(wire.ask("<12Z0100").isEmpty());
    EXPECT_FALSE(instrument.isStreaming(Port::Main));
    EXPECT_EQ(wire.ask("<12AS100"), ":12AS100\r");
}

// ---- silence from a given time on -----------------------------------------------------------

TEST(SilentFrom, AnswersAndDataLinesEndAtTheGivenTimeWhateverTheStep) {
    for (const Millis step : {kTick, Millis(10), 20 * kSecond}) {
        SCOPED_TRACE(step.count());
        VirtualInstrument instrument(
            withFaults([&](FaultOptions& f) { f.silentFrom = 5 * kSecond; }));
        SimWire wire(instrument);
        EXPECT_EQ(wire.ask("<SN"), kIdentification + '\r');
        startStream(wire);
        for (Millis t = step; t <= 20 * kSecond; t += step)
            instrument.advanceTo(t);
        // Lines due at 0.1 s to 4.9 s went out; the one due at 5 s is the first not to.
        const QList<QByteArray> lines = linesOf(wire.fromMain);
        EXPECT_EQ(lines.size(), 1 + 49);
        EXPECT_TRUE(instrument.isSilentAt(5 * kSecond));
        EXPECT_FALSE(instrument.isSilentAt(5 * kSecond - Millis(1)));
        EXPECT_TRUE(wire.ask("<SN").isEmpty());
        EXPECT_TRUE(wire.ask("<12Z0100").isEmpty()) << "no closing line either";
        EXPECT_TRUE(wire.ask("<V1G").isEmpty());
    }
}

// ---- a burst the stop command does not end --------------------------------------------------

struct EndlessCase {
    const char* name;
    Millis from;
    Millis stopAt;
    bool ends;
};

class EndlessBurst : public ::testing::TestWithParam<EndlessCase> {};

TEST_P(EndlessBurst, StopCommandLeavesTheBurstRunningOnceTheFaultIsDue) {
    const EndlessCase c = GetParam();
    InstrumentOptions options = withFaults([&](FaultOptions& f) { f.endlessBurstFrom = c.from; });
    options.twoConverters = true;
    VirtualInstrument instrument(options);
    SimWire wire(instrument);
    startStream(wire);
    startStream(wire, Port::Fpd);
    instrument.advanceTo(c.stopAt);
    const QByteArray stop = wire.ask("<12Z0100");
    const QByteArray stopFpd = wire.ask("<12Z0100", Port::Fpd);
    const qsizetype before = wire.fromMain.size();
    instrument.advanceTo(c.stopAt + kSecond);
    const QList<QByteArray> after = linesOf(wire.fromMain.mid(before));
    if (c.ends) {
        EXPECT_TRUE(stop.startsWith("]A")) << stop.constData();
        EXPECT_TRUE(after.isEmpty());
        EXPECT_EQ(wire.ask("<12AS100"), ":12AS100\r");
    } else {
        EXPECT_TRUE(stop.isEmpty()) << stop.constData();
        EXPECT_TRUE(stopFpd.isEmpty()) << "both converters";
        ASSERT_EQ(after.size(), 10);
        for (const QByteArray& line : after)
            EXPECT_TRUE(line.startsWith("[A")) << line.constData();
        EXPECT_EQ(wire.ask("<12AS100"), ":12AS118\r");
        EXPECT_TRUE(instrument.isStreaming(Port::Fpd));
        EXPECT_TRUE(wire.ask("<12Z0100").isEmpty()) << "a second stop does no better";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Times, EndlessBurst,
    ::testing::Values(EndlessCase{"Always", Millis(0), kSecond, false},
                      EndlessCase{"BeforeTheFault", 3 * kSecond, 2 * kSecond, true},
                      EndlessCase{"AtTheFault", 3 * kSecond, 3 * kSecond, false},
                      EndlessCase{"AfterTheFault", 3 * kSecond, 4 * kSecond, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the device vanishing and coming back, in process ---------------------------------------

struct LineWatch {
    explicit LineWatch(InProcessLine& line) {
        QObject::connect(&line, &SerialLine::lost, [this](const QString& reason) {
            ++lost;
            lastReason = reason;
        });
    }
    int lost = 0;
    QString lastReason;
};

// Writes `command` and returns what arrived once the event loop ran.
QByteArray askLine(InProcessLine& line, const QByteArray& command) {
    EXPECT_TRUE(line.write(command + '\r')) << line.errorString().toStdString();
    QCoreApplication::processEvents();
    return line.readAll();
}

struct VanishCase {
    const char* name;
    FaultPorts ports;
    bool mainGoes;
    bool fpdGoes;
};

class Vanishing : public ::testing::TestWithParam<VanishCase> {};

TEST_P(Vanishing, LineReportsTheLossOnceThenTheDeviceReturnsWithTheInstrumentsState) {
    const VanishCase c = GetParam();
    InstrumentOptions options = withFaults([&](FaultOptions& f) {
        f.vanishing = DeviceVanishing{10 * kSecond, 5 * kSecond, c.ports};
    });
    options.twoConverters = true;
    ManualClock clock;
    InProcessInstrument sim(options);
    sim.follow(clock);
    LineWatch mainWatch(sim.mainLine());
    LineWatch fpdWatch(sim.fpdLine());
    ASSERT_TRUE(sim.mainLine().open({}));
    ASSERT_TRUE(sim.fpdLine().open({}));
    askLine(sim.mainLine(), "<V1SFD");
    EXPECT_EQ(askLine(sim.mainLine(), "<VS0258"), ":VS0258\r");
    EXPECT_EQ(askLine(sim.mainLine(), "<12Z1100"), "");
    EXPECT_EQ(askLine(sim.fpdLine(), "<12Z1100"), "");

    clock.advance(10 * kSecond - Millis(1));
    EXPECT_EQ(mainWatch.lost, 0);
    EXPECT_TRUE(sim.mainLine().isOpen());
    clock.advance(Millis(1));

    for (const auto& [port, goes, watch] : {std::tuple{Port::Main, c.mainGoes, &mainWatch},
                                            std::tuple{Port::Fpd, c.fpdGoes, &fpdWatch}}) {
        SCOPED_TRACE(portName(port).toStdString());
        InProcessLine& line = sim.line(port);
        EXPECT_EQ(watch->lost, goes ? 1 : 0);
        EXPECT_EQ(line.isOpen(), !goes);
        EXPECT_EQ(line.deviceExists(), !goes);
        EXPECT_EQ(sim.model().isStreaming(port), !goes) << "the burst goes with the cable";
        if (goes) {
            EXPECT_EQ(watch->lastReason, InProcessLine::kDeviceRemovedError);
            EXPECT_FALSE(line.open({}));
            EXPECT_EQ(line.errorString(), InProcessLine::kDeviceMissingError);
            EXPECT_FALSE(line.write("<SN\r"));
        }
    }

    clock.advance(5 * kSecond - Millis(1));
    if (c.mainGoes) {
        EXPECT_FALSE(sim.mainLine().deviceExists());
        EXPECT_FALSE(sim.mainLine().open({}));
    }
    clock.advance(Millis(1));

    EXPECT_EQ(mainWatch.lost, c.mainGoes ? 1 : 0) << "one loss, however long the device is away";
    EXPECT_EQ(fpdWatch.lost, c.fpdGoes ? 1 : 0);
    for (Port port : {Port::Main, Port::Fpd}) {
        InProcessLine& line = sim.line(port);
        EXPECT_TRUE(line.deviceExists());
        if (!line.isOpen()) {
            EXPECT_TRUE(line.open({})) << line.errorString().toStdString();
        }
    }
    // The instrument ran on behind the missing device: registers and heaters as they were. A line
    // that stayed also holds the data lines of its running burst, so only the ends count.
    EXPECT_TRUE(askLine(sim.mainLine(), "<V1G").endsWith(":V1GFD\r"));
    EXPECT_EQ(sim.model().heater(Zone::ValveBlock).setpointTenths(), 0x258);
    EXPECT_TRUE(
        askLine(sim.mainLine(), "<12AS100").endsWith(c.mainGoes ? ":12AS100\r" : ":12AS118\r"));
    EXPECT_TRUE(askLine(sim.fpdLine(), "<SN").endsWith(":SN2B01-0816\r"));
}

INSTANTIATE_TEST_SUITE_P(Ports, Vanishing,
                         ::testing::Values(VanishCase{"PortA", FaultPorts::Main, true, false},
                                           VanishCase{"PortB", FaultPorts::Fpd, false, true},
                                           VanishCase{"Both", FaultPorts::Both, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Vanishing, AJumpOverBothMomentsStillReportsTheLossAndEndsWithTheDeviceBack) {
    ManualClock clock;
    InProcessInstrument sim(withFaults([&](FaultOptions& f) {
        f.vanishing = DeviceVanishing{kSecond, kSecond, FaultPorts::Main};
    }));
    sim.follow(clock);
    LineWatch watch(sim.mainLine());
    ASSERT_TRUE(sim.mainLine().open({}));
    clock.advance(60 * kSecond);
    EXPECT_EQ(watch.lost, 1);
    EXPECT_FALSE(sim.mainLine().isOpen());
    EXPECT_TRUE(sim.mainLine().deviceExists());
    EXPECT_TRUE(sim.fpdLine().deviceExists() == false) << "no FPD converter, no device B";
}

TEST(Vanishing, WithoutReturnTheDeviceStaysAway) {
    ManualClock clock;
    InProcessInstrument sim(withFaults([&](FaultOptions& f) {
        f.vanishing = DeviceVanishing{kSecond, std::nullopt, FaultPorts::Main};
    }));
    sim.follow(clock);
    clock.advance(3600 * kSecond);
    EXPECT_FALSE(sim.mainLine().deviceExists());
    EXPECT_FALSE(sim.mainLine().open({}));
}

// Tests can pull the cable themselves, at any moment; pulling twice reports once, and port B
// without its converter never appears.
TEST(Vanishing, DirectRemovalAndReturn) {
    InProcessInstrument sim;
    LineWatch watch(sim.mainLine());
    ASSERT_TRUE(sim.mainLine().open({}));
    sim.removeDevice(FaultPorts::Both, QStringLiteral("cable pulled"));
    sim.removeDevice(FaultPorts::Main);
    EXPECT_EQ(watch.lost, 1);
    EXPECT_EQ(watch.lastReason, QStringLiteral("cable pulled"));
    EXPECT_TRUE(sim.deviceRemoved(Port::Main));
    EXPECT_FALSE(sim.mainLine().open({}));
    sim.restoreDevice(FaultPorts::Both);
    EXPECT_FALSE(sim.deviceRemoved(Port::Main));
    EXPECT_FALSE(sim.fpdLine().deviceExists());
    ASSERT_TRUE(sim.mainLine().open({}));
    EXPECT_EQ(askLine(sim.mainLine(), "<SN"), kIdentification + '\r');
}

// ---- korvat-sim ------------------------------------------------------------------------------

// A raw descriptor on the device: QSerialPort would hide how the reads fail.
int openRaw(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios raw{};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    return fd;
}

// Sends and reads until a CR came, the descriptor failed or the limit passed.
QByteArray exchangeRaw(int fd, const QByteArray& command, bool* failed = nullptr) {
    if (::write(fd, command.constData(), static_cast<size_t>(command.size())) < 0 && failed)
        *failed = true;
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (!reply.contains('\r') && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            reply.append(buffer, static_cast<qsizetype>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            if (failed)
                *failed = true;
            break;
        }
    }
    return reply;
}

template <typename Condition> bool waitFor(Condition condition, int limitMs = 10000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

TEST(KorvatSimFaults, DeviceVanishesAndComesBackUnderTheSameLinkPty) {
    if (!korvat::test::SimProcess::available())
        GTEST_SKIP() << "korvat-sim not found";
    korvat::test::SimProcess sim;
    ASSERT_TRUE(sim.dir.isValid());
    ASSERT_TRUE(sim.start({QStringLiteral("--vanish-at"), QStringLiteral("2"),
                           QStringLiteral("--back-after"), QStringLiteral("1.5")}));
    const int before = openRaw(sim.linkA);
    ASSERT_GE(before, 0);
    EXPECT_EQ(exchangeRaw(before, "<SN\r"), kIdentification + '\r');

    ASSERT_TRUE(waitFor([&] { return !QFileInfo(sim.linkA).isSymLink(); }))
        << "the link goes with the device";
    bool failed = false;
    exchangeRaw(before, "<SN\r", &failed);
    EXPECT_TRUE(failed) << "reads on the vanished device fail";
    ::close(before);

    ASSERT_TRUE(waitFor([&] { return QFileInfo(sim.linkA).isSymLink(); })) << "the link comes back";
    const int after = openRaw(sim.linkA);
    ASSERT_GE(after, 0);
    EXPECT_EQ(exchangeRaw(after, "<SN\r"), kIdentification + '\r');
    ::close(after);

    const QString log = sim.log();
    EXPECT_TRUE(log.contains(QStringLiteral("port A vanished"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("port A back on /dev/"))) << log.toStdString();
}

TEST(KorvatSimFaults, RefusesBadFaultOptionsPty) {
    if (!korvat::test::SimProcess::available())
        GTEST_SKIP() << "korvat-sim not found";
    const QStringList cases[] = {
        {QStringLiteral("--garble"), QStringLiteral("1.5")},
        {QStringLiteral("--drop-replies"), QStringLiteral("some")},
        {QStringLiteral("--drop-data"), QStringLiteral("-0.1")},
        // A decimal comma is refused, not read as something else.
        {QStringLiteral("--silent-after"), QStringLiteral("0,5")},
        {QStringLiteral("--endless-burst"), QStringLiteral("--endless-burst-after"),
         QStringLiteral("3")},
        {QStringLiteral("--back-after"), QStringLiteral("2")},
        {QStringLiteral("--vanish-at"), QStringLiteral("1"), QStringLiteral("--vanish-port"),
         QStringLiteral("C")},
        {QStringLiteral("--vanish-at"), QStringLiteral("1"), QStringLiteral("--vanish-port"),
         QStringLiteral("B")},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        korvat::test::SimProcess sim;
        EXPECT_FALSE(sim.start(arguments));
        if (sim.process.state() != QProcess::NotRunning) {
            EXPECT_TRUE(sim.process.waitForFinished(5000));
        }
        EXPECT_EQ(sim.process.exitCode(), 2) << "bad usage";
        EXPECT_TRUE(sim.process.readAllStandardError().startsWith("korvat-sim: "));
    }
}

} // namespace
