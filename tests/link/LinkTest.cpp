// The serial link: assembling bytes into lines and routing them to the queues, sending, taking
// replies, the reply wait with its 5 s limit, opening ports, and the debug log.

#include "link/LineAssembler.h"
#include "link/Link.h"
#include "model/InProcessLine.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::sim::InProcessLine;
using korvat::test::RecordingDialogs;
using korvat::test::RecordingView;

namespace {

struct LinkFixture : ::testing::Test {
    LinkFixture() : com1("A"), com2("B"), link(com1, com2, clock, dialogs, view) {
        link.createQueues(true);
        link.setTerminateRequest([this] { ++terminateRequests; });
    }
    void openBoth() {
        ASSERT_TRUE(link.OpenComPort(com1));
        ASSERT_TRUE(link.OpenComPort(com2));
    }
    void arrive(InProcessLine& line, const QByteArray& bytes) {
        line.feedReceived(bytes);
        QCoreApplication::processEvents();
    }
    QStringList queue(LineQueue* q) { return q ? QStringList(q->begin(), q->end()) : QStringList(); }

    ManualClock clock;
    RecordingView view;
    RecordingDialogs dialogs;
    InProcessLine com1, com2;
    Link link;
    int terminateRequests = 0;
};

} // namespace

TEST(LineAssembler, SplitsAndJoinsLines) {
    const struct {
        std::vector<QByteArray> chunks;
        QStringList lines;
        QByteArray partial;
    } cases[] = {
        {{"ab\n", "cd\r"}, {"abcd"}, ""},           // LF dropped, one line over two notifications
        {{"\r\r"}, {}, ""},                         // CR on an empty buffer gives nothing
        {{":SG0258\r:VG", "0100\r"}, {":SG0258", ":VG0100"}, ""},
        {{"[A0FFFFF\r\n]A100010\r"}, {"[A0FFFFF", "]A100010"}, ""},
        {{"tail"}, {}, "tail"},                     // no CR yet: stays in the buffer
    };
    for (const auto& c : cases) {
        QStringList got;
        LineAssembler a([&](const QByteArray& l) { got.append(QString::fromLatin1(l)); }, {});
        for (const auto& chunk : c.chunks)
            a.feed(chunk);
        EXPECT_EQ(got, c.lines);
        EXPECT_EQ(a.partial(), c.partial);
    }
}

TEST(LineAssembler, OverlongPartialLineIsDroppedAndTheNextLineSurvives) {
    QStringList got;
    int overflows = 0;
    LineAssembler a([&](const QByteArray& l) { got.append(QString::fromLatin1(l)); },
                    [&](const QByteArray&) { ++overflows; });
    a.feed(QByteArray(LineAssembler::kMaxLineLength + 100, 'x'));
    a.feed("still garbage\r:SG0258\r");
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(got, QStringList{":SG0258"});
    // Exactly at the limit is still a line.
    got.clear();
    a.feed(QByteArray(LineAssembler::kMaxLineLength, 'y') + "\r");
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].size(), LineAssembler::kMaxLineLength);
}

// The assembler works on runs of bytes and reuses its buffer: wherever the stream is cut, the
// lines and overflows are the same, and a line a sink kept stays as it was.
TEST(LineAssembler, SameLinesWhereverTheStreamIsCut) {
    const QByteArray stream = ":SG0258\r\n[A0FFFFF\r\r]A1\n00010\r" + QByteArray(LineAssembler::kMaxLineLength - 1, 'x') +
                              "\n" + QByteArray(5, 'y') + "\r\n:after\r" +
                              QByteArray(LineAssembler::kMaxLineLength, 'z') + "\r/A1000" + "01\rtail";
    struct Result {
        QList<QByteArray> lines;
        QList<QByteArray> heads;
        QByteArray partial;
    };
    auto feedInPieces = [&](qsizetype piece) {
        Result r;
        LineAssembler a([&](const QByteArray& l) { r.lines.append(l); }, // kept, not copied
                        [&](const QByteArray& head) { r.heads.append(head); });
        for (qsizetype at = 0; at < stream.size(); at += piece)
            a.feed(stream.mid(at, piece));
        r.partial = a.partial();
        return r;
    };
    const Result whole = feedInPieces(stream.size());
    EXPECT_EQ(whole.lines, (QList<QByteArray>{":SG0258", "[A0FFFFF", "]A100010", ":after",
                                              QByteArray(LineAssembler::kMaxLineLength, 'z'), "/A100001"}));
    EXPECT_EQ(whole.heads, QList<QByteArray>{QByteArray(40, 'x')});
    EXPECT_EQ(whole.partial, "tail");
    for (const qsizetype piece : {1, 2, 7, 9, 4095, 4097}) {
        SCOPED_TRACE(piece);
        const Result r = feedInPieces(piece);
        EXPECT_EQ(r.lines, whole.lines);
        EXPECT_EQ(r.heads, whole.heads);
        EXPECT_EQ(r.partial, whole.partial);
    }
}

TEST_F(LinkFixture, LinesAreRoutedByTheirFirstCharacterAndPortsInterleave) {
    openBoth();
    arrive(com1, "[A0FFFFF\r:SG0258\r");
    arrive(com2, "/A100010\r :X\r");
    arrive(com1, "]A100001\r:VG0100\r");
    EXPECT_EQ(queue(link.DataQueue1()), (QStringList{"[A0FFFFF", "]A100001"}));
    EXPECT_EQ(queue(link.DataQueue2()), QStringList{"/A100010"});
    EXPECT_EQ(queue(link.ReplyQueue()), (QStringList{":SG0258", " :X", ":VG0100"}));
}

TEST_F(LinkFixture, AFloodOfRepliesKeepsOnlyTheNewestAndSaysSo) {
    // The tick takes one reply at a time; a device sending replies faster than that over a night
    // must not fill the memory.
    openBoth();
    const std::size_t limit = Link::kMaxWaitingReplies;
    QByteArray flood;
    for (std::size_t i = 0; i < limit + 500; ++i)
        flood += ":R" + QByteArray::number(static_cast<qulonglong>(i)) + "\r";
    arrive(com1, flood);
    ASSERT_EQ(link.ReplyQueue()->size(), limit);
    EXPECT_EQ(link.ReplyQueue()->front(), ":R500");
    EXPECT_EQ(link.ReplyQueue()->back(), QString(":R%1").arg(limit + 499));
    ASSERT_EQ(view.log.size(), 1);
    EXPECT_TRUE(view.log[0].contains("oldest are dropped")) << view.log[0].toStdString();
    EXPECT_EQ(link.ReadReply(false), ":R500");
    EXPECT_EQ(link.lastReplyDevice(), "A"); // the ports still belong to their lines
}

TEST_F(LinkFixture, ReadReplyTakesTheOldestLineAndLogsIt) {
    openBoth();
    EXPECT_EQ(link.ReadReply(true), "");
    EXPECT_TRUE(view.log.isEmpty());
    arrive(com1, ":one\r:two\r");
    EXPECT_EQ(link.ReadReply(true), ":one");
    EXPECT_EQ(link.ReadReply(false), ":two");
    EXPECT_EQ(view.log, QStringList{":one"});
}

TEST_F(LinkFixture, SendAndWaitReturnsAWaitingLineAtOnce) {
    openBoth();
    arrive(com1, ":old\r");
    const Millis before = clock.monotonicNow();
    EXPECT_EQ(link.SendAndWait(com1, "<SG\r"), ":old");
    EXPECT_EQ(clock.monotonicNow(), before);
    EXPECT_EQ(com1.writtenData(), "<SG\r");
}

TEST_F(LinkFixture, SendAndWaitGivesUpJustAfterFiveSeconds) {
    openBoth();
    const Millis before = clock.monotonicNow();
    EXPECT_EQ(link.SendAndWait(com1, "<SN\r"), "");
    const Millis waited = clock.monotonicNow() - before;
    EXPECT_GT(waited, Millis(5000));
    EXPECT_LE(waited, Millis(5020));
}

TEST_F(LinkFixture, SendAndWaitTakesAReplyThatArrivesWhileWaiting) {
    openBoth();
    bool sent = false;
    clock.onAdvance([&](Millis now) {
        if (!sent && now >= Millis(4990)) {
            sent = true;
            com2.feedReceived(":late\r");
        }
    });
    EXPECT_EQ(link.SendAndWait(com1, "<SN\r"), ":late"); // any port's reply answers
    EXPECT_LT(clock.monotonicNow(), Millis(5100));
}

TEST_F(LinkFixture, SendAndWaitIsNotFooledByTheWallClock) {
    openBoth();
    clock.onAdvance([&](Millis now) {
        if (now == Millis(100))
            clock.shiftWallClock(Millis(-3600 * 1000)); // clocks go back an hour
    });
    EXPECT_EQ(link.SendAndWait(com1, "<SN\r"), "");
    EXPECT_LE(clock.monotonicNow(), Millis(5020));
}

TEST_F(LinkFixture, SendCommandOnAClosedPortReportsAndReturns) {
    link.SendCommand(com1, "<PSFF\r");
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Can't perform this operation on a closed port");
    EXPECT_EQ(com1.writtenData(), "");
}

// Both texts in the program's language, the device named apart from the text; only a device that
// is there but refuses to open asks the program to end.
TEST_F(LinkFixture, OpenProblemsAreSaidInTheProgramsLanguage) {
    struct Case {
        const char* name;
        int language;
        bool missing;
        const char* text;
        const char* caption;
        int terminate;
    };
    const Case cases[] = {
        {"missing, German", 0, true, "Fehler: Schnittstelle nicht verfügbar", "A", 0},
        {"missing, English", 1000, true, "Error: COM port not available", "A", 0},
        {"refused, German", 0, false, "Fehler: Beim Öffnen des seriellen Anschlusses A", "Fehler", 1},
        {"refused, English", 1000, false, "Error: Cannot open COM port A", "Error", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.boxes.clear();
        terminateRequests = 0;
        link.setLanguage(c.language);
        com1.setExists(!c.missing);
        com1.setOpenResult(c.missing);
        EXPECT_FALSE(link.OpenComPort(com1));
        ASSERT_EQ(dialogs.boxes.size(), 1);
        EXPECT_EQ(dialogs.boxes[0].text, QString::fromUtf8(c.text));
        EXPECT_EQ(dialogs.boxes[0].caption, QString::fromUtf8(c.caption));
        EXPECT_EQ(terminateRequests, c.terminate);
        // The quiet form says the same without a box.
        Link::OpenProblem problem;
        EXPECT_FALSE(link.openPort(com1, &problem));
        EXPECT_EQ(problem.text, QString::fromUtf8(c.text));
        EXPECT_EQ(problem.failedToOpen, !c.missing);
        EXPECT_EQ(dialogs.boxes.size(), 1);
    }
}

TEST_F(LinkFixture, OpenUsesTheInstrumentsLineSettings) {
    openBoth();
    const LineSettings s = com1.lastSettings();
    EXPECT_EQ(s.baudRate, 115200);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_FALSE(s.parity);
    EXPECT_FALSE(s.dtr);
    EXPECT_FALSE(s.rts);
}

TEST_F(LinkFixture, ALostLineIsReportedOnceWithoutAMessageBox) {
    openBoth();
    com1.injectLoss("device removed");
    com1.injectLoss("device removed");
    QCoreApplication::processEvents();
    EXPECT_EQ(view.log.filter("device removed").size(), 1);
    EXPECT_TRUE(view.status.contains("device removed"));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

TEST_F(LinkFixture, ALostLineDropsCommandsQuietlyAndIsOpenedAgainWhenTheDeviceIsBack) {
    openBoth();
    com1.setExists(false);
    com1.injectLoss("device removed");
    QCoreApplication::processEvents();
    EXPECT_TRUE(link.lineDown(com1));
    link.SendCommand(com1, "<V1SFF\r");
    EXPECT_EQ(link.SendAndWait(com1, "<SN\r"), ""); // returns at once, no 5 s wait
    EXPECT_EQ(clock.monotonicNow(), Millis(0));
    EXPECT_EQ(link.commandsDroppedWhileDown(), 2);
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    // Tries at most once a second, and only once the device exists again.
    clock.advance(Millis(5000));
    link.reconnectStep();
    EXPECT_FALSE(com1.isOpen());
    com1.setExists(true);
    clock.advance(Millis(500));
    link.reconnectStep();
    EXPECT_FALSE(com1.isOpen()); // tried 0.5 s ago
    clock.advance(Millis(600));
    link.reconnectStep();
    ASSERT_TRUE(com1.isOpen());
    EXPECT_FALSE(link.lineDown(com1));
    EXPECT_TRUE(view.status.contains("open again"));
    // Down from 0 to 6.1 s: a measurement that began at any time up to the return overlapped it.
    EXPECT_TRUE(link.wasDownSince(com1, Millis(0)));
    EXPECT_TRUE(link.wasDownSince(com1, Millis(3000)));
    EXPECT_FALSE(link.wasDownSince(com1, clock.monotonicNow() + Millis(1)));
    EXPECT_FALSE(link.wasDownSince(com2, Millis(0)));

    // A partial line from before the loss does not glue onto the first line after it.
    arrive(com1, ":VG01");
    com1.injectLoss("again");
    QCoreApplication::processEvents();
    clock.advance(Millis(1000));
    link.reconnectStep();
    arrive(com1, ":SG0258\r");
    EXPECT_EQ(queue(link.ReplyQueue()), QStringList{":SG0258"});
    // An ordinary write failure on an open line still gets its box.
    com2.setWriteError("Timeout");
    link.SendCommand(com2, "<SN\r");
    EXPECT_EQ(dialogs.boxes.size(), 1);
}

TEST_F(LinkFixture, LinesArrivingAfterTheQueuesAreReleasedAreDropped) {
    openBoth();
    link.releaseQueues();
    arrive(com1, ":late\r[A100001\r");
    EXPECT_EQ(link.ReplyQueue(), nullptr);
    EXPECT_EQ(link.ReadReply(true), "");
}

TEST_F(LinkFixture, DebugLogRecordsCommandsAndRepliesOnlyWhenEnabled) {
    QTemporaryDir dir;
    const QString path = dir.filePath("debug.log");
    link.setDebugLog(std::make_unique<DebugLog>(clock, path));
    openBoth();
    link.SendCommand(com1, "<SG\r");
    EXPECT_FALSE(QFile::exists(path));

    link.setDebugLevel(1);
    link.SendCommand(com1, "<VG\r");
    arrive(com2, ":SN2B\r");
    link.ReadReply(true);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("A > <VG\\r"));
    EXPECT_TRUE(lines[1].endsWith("B < :SN2B"));
}

TEST_F(LinkFixture, ARepliesPortIsRightAlsoAfterTheQueueWasEmptiedDirectly) {
    // The ports kept beside the reply queue must not outlive the lines they belong to: after the
    // queue was emptied from outside, the next line still names its own port.
    openBoth();
    for (int i = 0; i < 5; ++i)
        arrive(com1, ":SG0258\r");
    link.ReplyQueue()->clear();
    arrive(com2, ":SN2B\r");
    EXPECT_EQ(link.ReadReply(true), ":SN2B");
    EXPECT_EQ(link.lastReplyDevice(), "B");
}

TEST_F(LinkFixture, AWaitForAKnownAnswerSkipsOtherLinesAndKeepsItsFiveSeconds) {
    openBoth();
    const auto identification = [](const QString& l) { return l.startsWith(":SN"); };
    struct Case {
        const char* name;
        QByteArray fromA, fromB; // arriving once the wait has begun
        QString answer;
        bool fullWait;
    };
    const Case cases[] = {
        {"answer after other lines", ":HG0000\r:SG0258\r:SN4A01\r", "", ":SN4A01", false},
        {"the other port's answer is none", "", ":SN2B01\r", "", true},
        {"only other lines", ":HG0000\r", "", "", true},
    };
    const Case* pending = nullptr;
    clock.onAdvance([&](Millis) {
        if (!pending)
            return;
        com1.feedReceived(pending->fromA);
        com2.feedReceived(pending->fromB);
        pending = nullptr;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pending = &c;
        const Millis start = clock.monotonicNow();
        EXPECT_EQ(link.SendAndWaitFor(com1, "<SN\r", identification), c.answer);
        const Millis waited = clock.monotonicNow() - start;
        if (c.fullWait) {
            EXPECT_GT(waited, Link::kReplyWait);
            EXPECT_LT(waited, Link::kReplyWait + Millis(20));
        } else {
            EXPECT_LT(waited, Millis(100));
        }
        while (!link.ReadReply(false).isEmpty()) {
        }
    }
}

TEST_F(LinkFixture, DiscardingAPortsInputDropsWhatItHeldAndLeavesTheOtherPort) {
    openBoth();
    arrive(com1, ":HG0000\r[A100001\r:SG");
    arrive(com2, ":SN2B\r");
    com1.feedReceived(":VG0100\r"); // arrived, not yet delivered
    link.discardInput(com1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(link.DataQueue1()->empty());
    EXPECT_EQ(queue(link.ReplyQueue()), QStringList{":SN2B"});
    arrive(com1, "0258\r:SN4A\r");
    EXPECT_EQ(queue(link.ReplyQueue()), (QStringList{":SN2B", "0258", ":SN4A"})) << "no half line survives";
}
