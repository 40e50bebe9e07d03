// The in-process serial line behaves like a port as the link code sees one: a closed line refuses
// writes with the port layer's text, answers arrive from the event loop after write() returned
// (one notification for a burst), a missing device and a refused open fail open(), and a lost
// line closes and says so exactly once. InProcessInstrument wires the lines to the converters and
// follows a manual clock.

#include "model/InProcessLine.h"
#include "model/InProcessInstrument.h"
#include "util/Clock.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

using namespace korvat;
using namespace korvat::sim;

namespace {

struct Signals {
    explicit Signals(InProcessLine& line) {
        QObject::connect(&line, &SerialLine::readyRead, [this] { ++readyRead; });
        QObject::connect(&line, &SerialLine::lost, [this](const QString& reason) {
            ++lost;
            lastReason = reason;
        });
    }
    int readyRead = 0;
    int lost = 0;
    QString lastReason;
};

void processEvents() {
    QCoreApplication::processEvents();
}

TEST(InProcessLine, WriteOnClosedLineFailsWithPortLayerTextAndReachesNobody) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    std::vector<QByteArray> seen;
    sim.model().setLineObserver([&seen](const ReceivedLine& l) { seen.push_back(l.text); });

    EXPECT_FALSE(line.write("<SN\r"));
    EXPECT_EQ(line.errorString(), QStringLiteral("Can't perform this operation on a closed port"));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(line.writtenData().isEmpty());

    ASSERT_TRUE(line.open({}));
    line.close();
    EXPECT_FALSE(line.write("<SN\r"));
    EXPECT_EQ(line.errorString(), InProcessLine::kClosedPortError);
}

TEST(InProcessLine, ReplyArrivesOnlyFromTheEventLoopWithOneNotificationPerBurst) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    Signals sig(line);
    ASSERT_TRUE(line.open({}));

    ASSERT_TRUE(line.write("\r\n<SN\r\n"));
    ASSERT_TRUE(line.write("<SN\r"));
    EXPECT_EQ(line.bytesAvailable(), 0);
    EXPECT_TRUE(line.readAll().isEmpty());
    EXPECT_EQ(sig.readyRead, 0);

    processEvents();
    EXPECT_EQ(sig.readyRead, 1);
    EXPECT_EQ(line.bytesAvailable(), 26);
    EXPECT_EQ(line.readAll(), ":SN4A01-0815\r:SN4A01-0815\r");
    EXPECT_EQ(line.bytesAvailable(), 0);
    EXPECT_TRUE(line.readAll().isEmpty());
    EXPECT_EQ(line.writtenData(), "\r\n<SN\r\n<SN\r");

    processEvents();
    EXPECT_EQ(sig.readyRead, 1) << "no notification without new bytes";
}

TEST(InProcessLine, NothingIsReadableBeforeTheEventLoopRuns) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    Signals sig(line);
    int availableInsideHandler = -1;
    QObject::connect(&line, &SerialLine::readyRead,
                     [&] { availableInsideHandler = static_cast<int>(line.bytesAvailable()); });
    ASSERT_TRUE(line.open({}));
    // The program's receive code runs from readyRead; a reply must never be handed over while the
    // write that caused it is still on the stack.
    ASSERT_TRUE(line.write("<SN\r"));
    EXPECT_EQ(availableInsideHandler, -1);
    processEvents();
    EXPECT_EQ(availableInsideHandler, 13);
}

TEST(InProcessLine, OpenFailsOnMissingDeviceAndOnRefusal) {
    InProcessLine line(QStringLiteral("/dev/ttyS7"));
    EXPECT_TRUE(line.deviceExists());

    line.setExists(false);
    EXPECT_FALSE(line.deviceExists());
    EXPECT_FALSE(line.open({}));
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.errorString(), InProcessLine::kDeviceMissingError);

    line.setExists(true);
    line.setOpenResult(false, QStringLiteral("Permission denied"));
    EXPECT_FALSE(line.open({}));
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.errorString(), QStringLiteral("Permission denied"));
    EXPECT_EQ(line.openCount(), 0);

    line.setOpenResult(true);
    LineSettings settings;
    settings.stopBits = 1; // any value, to see the settings are kept
    EXPECT_TRUE(line.open(settings));
    EXPECT_TRUE(line.isOpen());
    EXPECT_EQ(line.lastSettings().stopBits, 1);
    EXPECT_EQ(line.openCount(), 1);
    EXPECT_FALSE(line.open(settings)) << "a second open of an open line";
    EXPECT_TRUE(line.isOpen());
}

TEST(InProcessLine, InjectedLossClosesLineDropsPendingBytesAndEmitsLostOnce) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    Signals sig(line);
    ASSERT_TRUE(line.open({}));
    ASSERT_TRUE(line.write("<SN\r"));

    line.injectLoss(QStringLiteral("device unplugged"));
    line.injectLoss(QStringLiteral("again"));
    processEvents();

    EXPECT_EQ(sig.lost, 1);
    EXPECT_EQ(sig.lastReason, QStringLiteral("device unplugged"));
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(sig.readyRead, 0) << "bytes of a lost line are not delivered";
    EXPECT_EQ(line.bytesAvailable(), 0);
    EXPECT_FALSE(line.write("<SN\r"));

    // The device is still there: reopening works and the converter answers again.
    ASSERT_TRUE(line.open({}));
    ASSERT_TRUE(line.write("<SN\r"));
    processEvents();
    EXPECT_EQ(line.readAll(), ":SN4A01-0815\r");
    line.injectLoss(QStringLiteral("second loss"));
    EXPECT_EQ(sig.lost, 2) << "each loss of an open line is reported";
}

TEST(InProcessLine, FeedReceivedActsLikeInstrumentBytes) {
    InProcessLine line(QStringLiteral("X"));
    Signals sig(line);
    line.feedReceived("dropped\r");
    ASSERT_TRUE(line.open({}));
    line.feedReceived("[A1");
    line.feedReceived("0010\r");
    EXPECT_EQ(sig.readyRead, 0);
    EXPECT_EQ(line.bytesAvailable(), 0);
    processEvents();
    EXPECT_EQ(sig.readyRead, 1);
    EXPECT_EQ(line.readAll(), "[A10010\r");
}

TEST(InProcessLine, WriteErrorRefusesWritesUntilCleared) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    ASSERT_TRUE(line.open({}));
    line.setWriteError(QStringLiteral("Timeout"));
    EXPECT_FALSE(line.write("<SN\r"));
    EXPECT_EQ(line.errorString(), QStringLiteral("Timeout"));
    processEvents();
    EXPECT_EQ(line.bytesAvailable(), 0);
    EXPECT_TRUE(line.writtenData().isEmpty());

    line.setWriteError({});
    EXPECT_TRUE(line.write("<SN\r"));
    processEvents();
    EXPECT_EQ(line.readAll(), ":SN4A01-0815\r");
}

TEST(InProcessLine, CloseDiscardsUnreadBytes) {
    InProcessInstrument sim;
    InProcessLine& line = sim.mainLine();
    ASSERT_TRUE(line.open({}));
    ASSERT_TRUE(line.write("<SN\r"));
    processEvents();
    line.close();
    ASSERT_TRUE(line.open({}));
    EXPECT_EQ(line.bytesAvailable(), 0);
}

TEST(InProcessLine, DestroyedLineWithPendingDeliveryIsSafe) {
    InProcessInstrument sim;
    auto line = std::make_unique<InProcessLine>(QStringLiteral("tmp"));
    line->attach(&sim.model().mainConverter());
    ASSERT_TRUE(line->open({}));
    ASSERT_TRUE(line->write("<SN\r"));
    line.reset();
    processEvents();
    // The converter no longer talks into the destroyed line.
    EXPECT_FALSE(sim.model().mainConverter().hasOutput());
    sim.model().mainConverter().receive("<SN\r");
}

TEST(InProcessInstrument, SingleConverterLeavesPortBMissing) {
    InProcessInstrument sim;
    EXPECT_FALSE(sim.fpdLine().deviceExists());
    EXPECT_FALSE(sim.fpdLine().open({}));
    EXPECT_EQ(sim.fpdLine().errorString(), InProcessLine::kDeviceMissingError);
    EXPECT_TRUE(sim.mainLine().deviceExists());
}

TEST(InProcessInstrument, TwoConvertersAnswerOnTheirOwnLines) {
    InstrumentOptions options;
    options.twoConverters = true;
    InProcessInstrument sim(options, QStringLiteral("/dev/ttyUSB0"),
                            QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(sim.mainLine().deviceName(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(sim.fpdLine().deviceName(), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(&sim.line(Port::Fpd), &sim.fpdLine());
    ASSERT_TRUE(sim.mainLine().open({}));
    ASSERT_TRUE(sim.fpdLine().open({}));
    ASSERT_TRUE(sim.fpdLine().write("<SN\r"));
    processEvents();
    EXPECT_EQ(sim.mainLine().bytesAvailable(), 0);
    const QByteArray reply = sim.fpdLine().readAll();
    ASSERT_GE(reply.size(), 4);
    EXPECT_NE(reply.at(3), '4');
}

TEST(InProcessInstrument, FollowsManualClockAndOutlivesNothing) {
    ManualClock clock;
    clock.advance(Millis(250));
    {
        InProcessInstrument sim;
        sim.follow(clock);
        EXPECT_EQ(sim.model().now(), Millis(250));
        clock.advance(Millis(100));
        EXPECT_EQ(sim.model().now(), Millis(350));
        sim.advanceTo(Millis(400));
        EXPECT_EQ(sim.model().now(), Millis(400));
    }
    // The clock keeps the listener of the destroyed instrument; moving it must stay harmless.
    clock.advance(Millis(100));
    EXPECT_EQ(clock.monotonicNow(), Millis(450));
}

} // namespace
