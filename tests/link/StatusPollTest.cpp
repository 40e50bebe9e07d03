// The status poll and reply dispatch inside the tick: which query goes out when, what each reply
// shows or mirrors, and that a reply which does not decode is reported and dropped.

#include "link/StatusPoll.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

struct PollFixture : ::testing::Test {
    void SetUp() override {
        f.writeIni({"Language/Code=DE", "Preferences/TempValves=60", "Preferences/TempMeasurementCell=27"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        QCoreApplication::processEvents();
        f.app().link().ReplyQueue()->clear();
        line().clearWrittenData();
        f.view.log.clear();
    }
    sim::InProcessLine& line() { return f.instrument->mainLine(); }
    // One reply arrives and the dispatch step takes it, and whatever the instrument answered to
    // the commands it caused (one line a tick, as in the program).
    void reply(const QByteArray& text) {
        line().feedReceived(text + "\r");
        QCoreApplication::processEvents();
        do
            f.app().poll().dispatchStep();
        while (!f.app().link().ReplyQueue()->empty());
    }
    AppFixture f;
};

} // namespace

TEST_F(PollFixture, EachTickVisitsOneEntryAndSendsItOnlyAfterMoreThanASecond) {
    StatusPoll& poll = f.app().poll();
    ASSERT_EQ(poll.UpdateList.size(), 7u);
    const Millis built = poll.UpdateList[0].UpdateTime;
    std::map<QString, Millis> lastSent;
    int sends = 0;
    for (int tick = 1; tick <= 200; ++tick) {
        f.clock.advance(Millis(90));
        line().clearWrittenData();
        const int before = poll.PollCursor;
        poll.pollStep();
        EXPECT_EQ(poll.PollCursor, before % 7 + 1);
        const QString sent = QString::fromLatin1(line().writtenData());
        if (sent.isEmpty())
            continue;
        ++sends;
        EXPECT_EQ(sent.count('\r'), 1); // at most one query per tick
        const QString query = sent.chopped(1);
        EXPECT_EQ(query, poll.UpdateList[poll.PollCursor - 1].UpdateString);
        const Millis now = f.clock.monotonicNow();
        EXPECT_GT(now - built, Millis(1000));
        if (lastSent.count(query)) {
            EXPECT_GT(now - lastSent[query], Millis(1000));
        }
        lastSent[query] = now;
    }
    EXPECT_EQ(lastSent.size(), 7u);
    // 7 entries, a visit every 630 ms: each is sent every second visit, about every 1.26 s.
    EXPECT_NEAR(sends, 200 / 2, 8);
}

TEST_F(PollFixture, TheFirstQueryGoesOutJustAfterOneSecond) {
    StatusPoll& poll = f.app().poll();
    f.clock.advance(Millis(1000));
    poll.pollStep();
    EXPECT_EQ(line().writtenData(), ""); // exactly one second is not more than one
    f.clock.advance(Millis(1));
    poll.pollStep();
    EXPECT_EQ(line().writtenData(), "<VG\r"); // the cursor is on entry 2 by now
}

TEST_F(PollFixture, RepliesShowTheirValues) {
    const struct {
        const char* reply;
        ReadBack quantity;
        const char* text;
    } cases[] = {
        {":VG0258", ReadBack::Ventilblock, "60.0° C"}, {":VGFFF1", ReadBack::Ventilblock, "-1.5° C"},
        {":SG0111", ReadBack::Messkammer, "27.3° C"},  {":EG05DC", ReadBack::Emmision, "150 ° C"},
        {":TGFFF1", ReadBack::Transfer, "-1 ° C"},     {":ZG8000", ReadBack::Zero, "0 %"},
        {":ZG0000", ReadBack::Zero, "-100 %"},         {":ZGFFFF", ReadBack::Zero, "100 %"},
        {":HG0064", ReadBack::HVoltage, "100 V"},
    };
    for (const auto& c : cases) {
        reply(c.reply);
        EXPECT_EQ(f.view.readBacks.value(c.quantity), QString::fromUtf8(c.text)) << c.reply;
        // The program keeps what it showed (the results file's header reads it).
        EXPECT_EQ(f.app().poll().readBack(c.quantity), QString::fromUtf8(c.text)) << c.reply;
    }
    EXPECT_EQ(f.view.log.size(), std::size(cases)); // every reply taken is logged
}

TEST_F(PollFixture, ConverterStatusAndDisplayRegister) {
    StatusPoll& poll = f.app().poll();
    reply(":12AS118");
    EXPECT_EQ(poll.intAD1Status, 118);
    reply(":12AS");
    EXPECT_EQ(poll.intAD1Status, 103);
    reply(":LG7F");
    EXPECT_EQ(f.app().valves().regs().DispByte, 0x7F);
    EXPECT_EQ(line().writtenData(), ""); // an L reply sends nothing
}

TEST_F(PollFixture, LoopMirrorActsOnChangesOnly) {
    reply(":DG00"); // equal to the initial copy: nothing
    EXPECT_EQ(line().writtenData(), "");
    reply(":DG01");
    EXPECT_TRUE(f.view.lamp(Lamp::Loop));
    EXPECT_EQ(f.app().valves().regs().DispByte, 0xE7);
    EXPECT_EQ(line().writtenData(), "<LSE7\r");
    reply(":DG01");
    EXPECT_EQ(line().writtenData(), "<LSE7\r");
    reply(":DG00");
    EXPECT_FALSE(f.view.lamp(Lamp::Loop));
    EXPECT_EQ(line().writtenData(), "<LSE7\r<LSEF\r");
}

TEST_F(PollFixture, HeatingMirrorPressesBothHeatersAndWritesTheIndicatorBits) {
    reply(":PGFC");
    EXPECT_TRUE(f.app().inputs().checked(Check::MesskammerOn));
    EXPECT_TRUE(f.app().inputs().checked(Check::VentilblockOn));
    EXPECT_EQ(f.view.switchCaptions.value(Check::MesskammerOn), "An");
    const QByteArray sent = line().writtenData();
    EXPECT_TRUE(sent.startsWith("<SS010E\r")) << sent.toStdString();
    EXPECT_TRUE(sent.contains("<SO1\r<VS0258\r"));
    EXPECT_TRUE(sent.endsWith("<VO1\r<PSCF\r")) << sent.toStdString();
    // The same report again changes nothing.
    line().clearWrittenData();
    reply(":PGFC");
    EXPECT_EQ(line().writtenData(), "");
    // Both heatings off.
    reply(":PGFF");
    EXPECT_FALSE(f.app().inputs().checked(Check::MesskammerOn));
    EXPECT_EQ(f.view.switchCaptions.value(Check::VentilblockOn), "Aus");
    EXPECT_TRUE(line().writtenData().endsWith("<VO0\r<PSFF\r"));
}

TEST_F(PollFixture, HeatingMirrorWithABadSetpointReportsInTheStatusLineAndGoesOn) {
    f.app().inputs().edited(Input::Messkammer, "warm");
    reply(":PGFC");
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
    EXPECT_TRUE(f.view.status.contains("warm"));
    const QByteArray sent = line().writtenData();
    EXPECT_FALSE(sent.contains("<SO1")); // the cell's toggle stopped before its command
    EXPECT_TRUE(sent.contains("<VS0258\r"));
    EXPECT_TRUE(sent.endsWith("<PSCF\r"));
}

TEST_F(PollFixture, BankRepliesShowTheProgramsOwnBytes) {
    f.app().valves().ValveSet(12);
    f.view.valves[{1, 1}] = false; // the indicator lost track
    reply(":V1G00");
    EXPECT_TRUE(f.view.valve(1, 1));
    EXPECT_FALSE(f.view.valve(1, 0));
}

TEST_F(PollFixture, UnknownAndUndecodableRepliesChangeNothing) {
    const auto before = f.view.readBacks;
    const int status = f.app().poll().intAD1Status;
    for (const char* r : {":SGG1", ":XX", "garbage", ":VG", ":KG1234", ":ZG", ":DGG"}) {
        reply(r);
    }
    EXPECT_EQ(f.view.log, (QStringList{":SGG1", ":XX", "garbage", ":VG", ":KG1234", ":ZG", ":DGG"}));
    for (const char* r : {":SG02", ":VG02X8", ":PGZZ", ":DGxx", ":12ASx1", ":ZG12"}) {
        f.view.log.clear();
        reply(r);
        ASSERT_EQ(f.view.log.size(), 2) << r;
        EXPECT_EQ(f.view.log[1], QString("KORVAT-SIM-A: reply not understood: ") + r);
    }
    EXPECT_EQ(f.view.readBacks, before);
    EXPECT_EQ(f.app().poll().intAD1Status, status);
    EXPECT_EQ(line().writtenData(), "");
    EXPECT_TRUE(f.dialogs.boxes.isEmpty());
}

// An instrument may send back our commands or acknowledge them with text of its own. Such lines
// are logged and passed over in the same tick; one reply is still interpreted per tick.
TEST_F(PollFixture, LinesThatAreNoReplyDoNotHoldUpTheRepliesBehindThem) {
    StatusPoll& poll = f.app().poll();
    line().feedReceived("<SG\r:VS0258\rOK\r:D1\r:SG0111\r<VG\r:VG0222\r:XG1234\r");
    QCoreApplication::processEvents();
    poll.dispatchStep();
    EXPECT_EQ(f.view.readBacks.value(ReadBack::Messkammer), "27.3° C");
    EXPECT_EQ(f.view.readBacks.value(ReadBack::Ventilblock), "--- ° C") << "the next reply waits for the next tick";
    EXPECT_EQ(f.view.log, (QStringList{"<SG", ":VS0258", "OK", ":D1", ":SG0111"}));
    poll.dispatchStep();
    EXPECT_EQ(f.view.readBacks.value(ReadBack::Ventilblock), "54.6° C");
    poll.dispatchStep();
    EXPECT_EQ(f.view.log.size(), 8) << "the last line is logged";
    EXPECT_TRUE(f.app().link().ReplyQueue()->empty());
    poll.dispatchStep(); // nothing waiting: nothing happens
    EXPECT_EQ(f.view.log.size(), 8);
}

// An instrument that answers no setpoint (the protocol does not say it must): the mirror inside
// the tick sends its setpoints and switches without waiting, so the tick does not stand still
// for 5 s per setpoint while valves, poll and acquisition wait behind it.
TEST(HeatingMirror, DoesNotWaitForAnInstrumentThatAnswersNoSetpoint) {
    sim::InstrumentOptions o;
    o.habits.ack = sim::AckMode::None;
    AppFixture f(o);
    f.writeIni({"Language/Code=DE"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    QCoreApplication::processEvents();
    sim::InProcessLine& line = f.instrument->mainLine();
    line.clearWrittenData();
    const Millis before = f.clock.monotonicNow();
    line.feedReceived(":PGFC\r");
    QCoreApplication::processEvents();
    f.app().poll().dispatchStep();
    EXPECT_LT(f.clock.monotonicNow() - before, Millis(100));
    const QByteArray sent = line.writtenData();
    EXPECT_TRUE(sent.contains("<SS")) << sent.toStdString();
    EXPECT_TRUE(sent.contains("<VS")) << sent.toStdString();
    EXPECT_TRUE(sent.endsWith("<PSCF\r")) << sent.toStdString();
}
