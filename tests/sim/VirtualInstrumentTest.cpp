// The virtual instrument's converters as the program meets them on the wire: identification
// replies of the main and the FPD converter (the "4" in fourth place tells them apart), the
// silent and bad-identification variants, and that every received line is reported while
// anything unknown stays unanswered.

#include "model/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using namespace korvat;
using namespace korvat::sim;

namespace {

// Collects what each converter says.
struct Wire {
    explicit Wire(VirtualInstrument& instrument) {
        instrument.mainConverter().setOutput([this](const QByteArray& b) { fromMain += b; });
        if (ConverterEndpoint* fpd = instrument.fpdConverter())
            fpd->setOutput([this](const QByteArray& b) { fromFpd += b; });
    }
    QByteArray fromMain;
    QByteArray fromFpd;
};

InstrumentOptions twoConverters() {
    InstrumentOptions options;
    options.twoConverters = true;
    return options;
}

TEST(VirtualInstrument, MainConverterIdentifiesWithFourInFourthPlace) {
    VirtualInstrument instrument;
    Wire wire(instrument);
    instrument.mainConverter().receive("\r\n<SN\r\n");
    EXPECT_EQ(wire.fromMain, ":SN4A01-0815\r");
    EXPECT_EQ(wire.fromMain.at(3), '4');
}

TEST(VirtualInstrument, FpdConverterIdentifiesWithoutFourInFourthPlace) {
    VirtualInstrument instrument(twoConverters());
    Wire wire(instrument);
    instrument.fpdConverter()->receive("<SN\r");
    EXPECT_EQ(wire.fromFpd, ":SN2B01-0816\r");
    EXPECT_NE(wire.fromFpd.at(3), '4');
    EXPECT_TRUE(wire.fromMain.isEmpty()) << "the question went to B, A must stay quiet";
}

struct OptionCase {
    const char* name;
    InstrumentOptions options;
    QByteArray expectMain;
    QByteArray expectFpd;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

class IdentificationOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(IdentificationOptions, AnswerBothConverters) {
    const OptionCase& c = GetParam();
    VirtualInstrument instrument(c.options);
    Wire wire(instrument);
    instrument.mainConverter().receive("\r<SN\r");
    instrument.fpdConverter()->receive("<SN\r");
    EXPECT_EQ(wire.fromMain, c.expectMain);
    EXPECT_EQ(wire.fromFpd, c.expectFpd);
    EXPECT_FALSE(wire.fromMain.contains('\n'));
    EXPECT_FALSE(wire.fromFpd.contains('\n'));
}

OptionCase silentCase() {
    OptionCase c{"Silent", twoConverters(), "", ""};
    c.options.silent = true;
    return c;
}

OptionCase badIdCase() {
    OptionCase c{"BadIdentification", twoConverters(), ":SN2A01-0815\r", ":SN2B01-0816\r"};
    c.options.badIdentification = true;
    return c;
}

OptionCase ownIdsCase() {
    OptionCase c{"OwnIds", twoConverters(), ":AD4-4711-042\r", ":4711-043\r"};
    c.options.mainIdentification = ":AD4-4711-042";
    c.options.fpdIdentification = ":4711-043";
    return c;
}

OptionCase shortIdCase() {
    // A reply too short to have a fourth character: the program must reject it.
    OptionCase c{"EmptyMainId", twoConverters(), ":SN\r", ":SN2B01-0816\r"};
    c.options.mainIdentification = ":SN";
    return c;
}

INSTANTIATE_TEST_SUITE_P(Variants, IdentificationOptions,
                         ::testing::Values(silentCase(), badIdCase(), ownIdsCase(), shortIdCase()),
                         [](const ::testing::TestParamInfo<OptionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(VirtualInstrument, BadIdentificationReplyFailsTheFourthCharacterCheck) {
    InstrumentOptions options;
    options.badIdentification = true;
    VirtualInstrument instrument(options);
    Wire wire(instrument);
    instrument.mainConverter().receive("\r\n<SN\r\n");
    ASSERT_GE(wire.fromMain.size(), 4);
    EXPECT_EQ(wire.fromMain.at(0), ':');
    EXPECT_NE(wire.fromMain.at(3), '4');
}

TEST(VirtualInstrument, AnswersOnlyOnceTheLineIsComplete) {
    VirtualInstrument instrument;
    Wire wire(instrument);
    instrument.mainConverter().receive("<S");
    instrument.mainConverter().receive("N\n");
    EXPECT_TRUE(wire.fromMain.isEmpty());
    instrument.mainConverter().receive("\r<SN\r");
    EXPECT_EQ(wire.fromMain, ":SN4A01-0815\r:SN4A01-0815\r");
}

TEST(VirtualInstrument, SingleConverterConfigurationHasNoPortB) {
    VirtualInstrument instrument;
    EXPECT_EQ(instrument.fpdConverter(), nullptr);
    EXPECT_EQ(instrument.endpoint(Port::Fpd), nullptr);
    EXPECT_EQ(instrument.endpoint(Port::Main), &instrument.mainConverter());
}

TEST(VirtualInstrument, ReportsEveryReceivedLineWithPortAndTimeAndLeavesUnknownUnanswered) {
    InstrumentOptions options = twoConverters();
    options.silent = true; // silence must not hide lines from the log
    VirtualInstrument instrument(options);
    Wire wire(instrument);
    std::vector<ReceivedLine> seen;
    instrument.setLineObserver([&seen](const ReceivedLine& line) { seen.push_back(line); });

    instrument.advanceTo(Millis(1500));
    instrument.mainConverter().receive("<SN\r<12Z0100\r");
    instrument.advanceTo(Millis(1000)); // time never runs backwards
    instrument.fpdConverter()->receive("garbage\r");

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].port, Port::Main);
    EXPECT_EQ(seen[0].text, "<SN");
    EXPECT_EQ(seen[1].text, "<12Z0100");
    EXPECT_EQ(seen[2].port, Port::Fpd);
    EXPECT_EQ(seen[2].text, "garbage");
    for (const ReceivedLine& line : seen) {
        EXPECT_EQ(line.at, Millis(1500));
        EXPECT_FALSE(line.overlong);
    }
    EXPECT_TRUE(wire.fromMain.isEmpty());
    EXPECT_TRUE(wire.fromFpd.isEmpty());
    EXPECT_EQ(portName(Port::Main), QStringLiteral("A"));
    EXPECT_EQ(portName(Port::Fpd), QStringLiteral("B"));
}

TEST(VirtualInstrument, UnknownCommandGetsNoReplyButTheNextIdentificationDoes) {
    VirtualInstrument instrument;
    Wire wire(instrument);
    // An unknown mnemonic, known ones with a parameter of the wrong shape, and the end of a
    // burst that was never started.
    instrument.mainConverter().receive("<12Z0100\r<XY\r<VS258\r<VO2\r<PGFF\r<SN\r");
    EXPECT_EQ(wire.fromMain, ":SN4A01-0815\r");
}

TEST(VirtualInstrument, OverlongLineIsReportedAndNeverAnswered) {
    VirtualInstrument instrument;
    Wire wire(instrument);
    std::vector<ReceivedLine> seen;
    instrument.setLineObserver([&seen](const ReceivedLine& line) { seen.push_back(line); });
    instrument.mainConverter().receive("<SN" + QByteArray(LineSplitter::kDefaultMaxLength, ' ') +
                                       "\r");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].overlong);
    EXPECT_TRUE(seen[0].text.startsWith("<SN"));
    EXPECT_TRUE(wire.fromMain.isEmpty());
}

} // namespace
