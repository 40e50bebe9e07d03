// The event journal: one line per event whatever its text holds, a hash chain that names the
// first line changed, inserted or removed, and a journal continued after the program ended in the
// middle of a line.

#include "run/EventJournal.h"
#include "run/Events.h"
#include "util/Clock.h"

#include "support/AppFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

struct Journal : ::testing::Test {
    void writeLines(int n) {
        EventJournal j;
        ASSERT_TRUE(j.open(path));
        for (int i = 1; i <= n; ++i)
            ASSERT_TRUE(j.append({clock.wallNow().addSecs(i), "measurement", "/dev/ttyA", i,
                                  QStringLiteral("line %1 µg/cm²").arg(i)}));
    }
    QTemporaryDir dir;
    QString path = dir.path() + "/Glove_events.log";
    ManualClock clock;
};

} // namespace

TEST_F(Journal, EveryTextStaysOnItsLineAndReadsBackTheSame) {
    const QString texts[] = {"tab\there", "CR\rLF\nboth\r\n", QString("NUL") + QChar(0) + "end", "back\\slash \\t",
                             "Ölbad 25 µg/cm²", QString("\x1b[31m escape")};
    EventJournal j;
    ASSERT_TRUE(j.open(path));
    for (const QString& t : texts) {
        ASSERT_TRUE(j.append({clock.wallNow(), "value-warning", "p", 1, t}));
        const std::optional<QString> back = unescapeJournalField(escapeJournalField(t));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, t);
    }
    const QList<QByteArray> lines = test::readBytes(path).split('\n');
    EXPECT_EQ(lines.size(), std::size(texts) + 1); // the last split is the empty rest after LF
    for (int i = 0; i < int(std::size(texts)); ++i)
        EXPECT_EQ(lines[i].split('\t').size(), 6) << i;
    EXPECT_EQ(verifyJournal(path).firstBadLine, 0);
    EXPECT_FALSE(unescapeJournalField("trailing\\").has_value());
    EXPECT_FALSE(unescapeJournalField("\\q").has_value());
    EXPECT_FALSE(unescapeJournalField("\\x4").has_value());
}

TEST_F(Journal, AChangedInsertedOrRemovedLineIsNamed) {
    writeLines(6);
    const QByteArray good = test::readBytes(path);
    ASSERT_EQ(verifyJournal(path).firstBadLine, 0);
    ASSERT_EQ(verifyJournal(path).lines, 6);
    QList<QByteArray> lines = good.split('\n');
    lines.removeLast();

    struct Case {
        const char* what;
        std::function<QByteArray()> make;
        int badLine;
    } cases[] = {
        {"one byte of a text", [&] { QByteArray b = good; b[good.indexOf("line 3") + 5] = '9'; return b; }, 3},
        {"one byte of a hash", [&] { QByteArray b = good; const int end = good.indexOf('\n'); b[end - 1] = b[end - 1] == 'a' ? 'b' : 'a'; return b; }, 1},
        {"a line removed", [&] { QList<QByteArray> l = lines; l.removeAt(3); return l.join('\n') + '\n'; }, 4},
        {"two lines swapped", [&] { QList<QByteArray> l = lines; l.swapItemsAt(1, 2); return l.join('\n') + '\n'; }, 2},
        {"a line copied in", [&] { QList<QByteArray> l = lines; l.insert(5, l[4]); return l.join('\n') + '\n'; }, 6},
        {"the end cut off", [&] { return good.left(good.size() - 10); }, 6},
    };
    for (const Case& c : cases) {
        test::writeFile(path, c.make());
        const JournalCheck check = verifyJournal(path);
        EXPECT_TRUE(check.readable);
        EXPECT_EQ(check.firstBadLine, c.badLine) << c.what << ": " << check.reason.toStdString();
        EXPECT_FALSE(check.reason.isEmpty()) << c.what;
    }
}

TEST_F(Journal, AContinuedJournalChainsOnAndAHalfWrittenLineFailsAlone) {
    writeLines(3);
    writeLines(2); // a second program start continues the chain
    EXPECT_EQ(verifyJournal(path).firstBadLine, 0);
    EXPECT_EQ(verifyJournal(path).lines, 5);

    // The power failed in the middle of line 6.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("2026-01-15T08:00:09.000\tmeasurement\tp\t6\thalf a li");
    f.close();
    writeLines(2);
    const JournalCheck check = verifyJournal(path);
    EXPECT_EQ(check.lines, 6);
    EXPECT_EQ(check.firstBadLine, 6) << check.reason.toStdString();
    // The lines after the broken one chain from the last whole line.
    QList<QByteArray> lines = test::readBytes(path).split('\n');
    lines.removeAt(5);
    test::writeFile(path, lines.join('\n'));
    EXPECT_EQ(verifyJournal(path).firstBadLine, 0);
    EXPECT_EQ(verifyJournal(path).lines, 7);
}

TEST_F(Journal, AMissingFileIsNotReadable) {
    const JournalCheck check = verifyJournal(dir.path() + "/none.log");
    EXPECT_FALSE(check.readable);
}

TEST(EventList, DataEventsLightTheLampUntilTheListIsSeenAndTheListStaysBounded) {
    ManualClock clock;
    Events events(clock);
    std::vector<bool> lamp;
    int listed = 0;
    events.setObserver({[&](const RunEvent&) { ++listed; }, [&](bool lit) { lamp.push_back(lit); }, {}});

    events.add(EventKind::Measurement, "position 4");   // journal only
    events.add(EventKind::Breakthrough, "cell 1");      // listed, lamp stays out
    EXPECT_EQ(listed, 1);
    EXPECT_TRUE(lamp.empty());
    events.add(EventKind::LineLost, "/dev/ttyB: line lost", "/dev/ttyB", 7);
    events.add(EventKind::LinesDropped, "3 lines", "/dev/ttyB", 7);
    EXPECT_EQ(lamp, (std::vector<bool>{true}));
    EXPECT_TRUE(events.warningLit());
    events.acknowledge();
    events.add(EventKind::LineBack, "back");
    EXPECT_EQ(lamp, (std::vector<bool>{true, false}));
    events.add(EventKind::ValueWarning, "factor 0");
    EXPECT_EQ(lamp, (std::vector<bool>{true, false, true}));

    for (std::size_t i = 0; i < Events::kListLimit + 10; ++i)
        events.add(EventKind::LineBack, QString::number(i));
    EXPECT_EQ(events.listed().size(), Events::kListLimit);
    EXPECT_EQ(events.listed().back().text, QString::number(Events::kListLimit + 9));
    EXPECT_EQ(events.droppedFromList(), 15u);
}
