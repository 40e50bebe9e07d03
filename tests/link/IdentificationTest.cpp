// The identification answer's rules: which lines the exchange passes over while it waits, which
// answer identifies the main converter, and the serial number an answer carries. The exchange
// itself (discarding stale lines, the 5 s wait) is tested with the whole start-up in
// tests/app/StartupTest.cpp and over pseudo-terminals in tests/e2e/StartupOverPtyTest.cpp.

#include "link/Commands.h"
#include "link/Identification.h"

#include <gtest/gtest.h>

using namespace korvat;

namespace {

constexpr auto Main = IdentifiedBoard::Main;
constexpr auto Fpd = IdentifiedBoard::Fpd;

struct SkipCase {
    const char* line;
    IdentifiedBoard board;
    bool passedOver;
};

} // namespace

TEST(Identification, OnlyEchoesBlanksAndExactStatusRepliesArePassedOver) {
    const SkipCase cases[] = {
        // Identifications in any form are answers.
        {":SN4A01-0815", Main, false},
        {":AD4-4711-042", Main, false},
        {":4711-043", Fpd, false},
        {":4", Fpd, false},
        {":4", Main, false}, // an answer, though too short to identify the main converter
        {"SN4", Main, false},
        {"x", Fpd, false},
        {":AD3-4711", Main, false}, // the wrong board answers: judged, not passed over
        {":SN2B01-0816", Main, false},
        // The command echoed back, however it was framed.
        {"<SN", Main, true},
        {"<SN", Fpd, true},
        {"<SN  ", Main, true},
        {"<SNX", Main, false},
        // Lines of blanks carry nothing.
        {"   ", Fpd, true},
        {" \t", Main, true},
        // Status replies in their exact full-width form.
        {":SG0258", Main, true},
        {":VGFFF1", Fpd, true},
        {":EG05dc", Main, true},
        {":TG07D0", Main, true},
        {":ZG8000", Fpd, true},
        {":HG0000", Main, true},
        {":HG0000  ", Main, true},
        {":PGFC", Main, true},
        {":DG00", Fpd, true},
        {":LGEF", Main, true},
        {":V1GFF", Main, true},
        {":V2G00", Fpd, true},
        {":12AS118", Main, true},
        {":12AS100", Fpd, true},
        // Near forms are not status replies: they are judged as answers.
        {":HG000", Main, false},
        {":HG00000", Main, false},
        {":HG00G0", Main, false},
        {":PGF", Fpd, false},
        {":PGFCC", Fpd, false},
        {":V1G", Fpd, false},
        {":V1GFFF", Fpd, false},
        {":12AS11", Main, false},
        {":12AS1180", Main, false},
        {":12AS1A8", Main, false},
        {":XG0258", Main, false},
        {" :HG0000", Main, false},
        // On the main port a line that meets the protocol's rule is never passed over, whatever
        // it looks like.
        {":SG4A01", Main, false},
        {":HG4000", Main, false},
        {":PG4F", Main, false},
        {":SG4A01", Fpd, true},
    };
    for (const SkipCase& c : cases) {
        SCOPED_TRACE(c.line);
        for (const QString& command : {kIdentifySinglePort, kIdentify, kIdentifyAgain})
            EXPECT_EQ(isNoIdentification(QString::fromLatin1(c.line), command, c.board), c.passedOver)
                << command.toLatin1().toHex().constData();
    }
}

TEST(Identification, MainConverterNeedsTheFourInFourthPlaceAndTheSerialIsTheRest) {
    const struct {
        const char* reply;
        bool main;
        const char* serial;
    } cases[] = {
        {":SN4A01-0815", true, "SN4A01-0815"},
        {":AD4-4711-042", true, "AD4-4711-042"},
        {":AD4-4711-042   ", true, "AD4-4711-042"},
        {":AD4\t ", true, "AD4"},
        {"xyz4", true, "yz4"},
        {":4", false, "4"},
        {":44", false, "44"},
        {":4   ", false, "4"}, // blanks do not make it long enough
        {":AD3-4711-042", false, "AD3-4711-042"},
        {":4711-043", false, "4711-043"},
        {":SN 4", false, "SN 4"},
        {"", false, ""},
        {":", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        const QString reply = QString::fromLatin1(c.reply);
        EXPECT_EQ(identifiesMainConverter(reply), c.main);
        EXPECT_EQ(serialNumberOf(reply), QString::fromLatin1(c.serial));
    }
    EXPECT_EQ(withoutTrailingBlanks(" a b \t "), " a b");
}
