// Faults met while fuzzing the instrument's lines, kept as ordinary cases: converter status
// replies whose three characters hide a sign behind a blank.

#include "link/StatusPoll.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

TEST(FuzzRegression, AStatusWithASignBehindABlankIsNotUnderstood) {
    AppFixture f;
    f.writeIni({"Language/Code=DE"});
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    QCoreApplication::processEvents(); // what the instrument answered at start-up
    f.app().link().ReplyQueue()->clear();
    StatusPoll& poll = f.app().poll();
    const auto reply = [&](const QByteArray& text) {
        f.view.log.clear();
        f.instrument->mainLine().feedReceived(text + "\r");
        QCoreApplication::processEvents();
        poll.dispatchStep();
    };
    const struct {
        const char* reply;
        int status; // -1: not understood, the status keeps its value
    } cases[] = {
        {":12AS\t-1", -1}, // became the status -1 before
        {":12AS -5", -1},  {":12AS +7", -1}, {":12AS 42", 42}, {":12AS118", 118},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        poll.intAD1Status = 103;
        reply(c.reply);
        if (c.status >= 0) {
            EXPECT_EQ(poll.intAD1Status, c.status);
            continue;
        }
        EXPECT_EQ(poll.intAD1Status, 103);
        ASSERT_EQ(f.view.log.size(), 2);
        EXPECT_TRUE(f.view.log[1].contains("reply not understood")) << f.view.log[1].toStdString();
    }
}
