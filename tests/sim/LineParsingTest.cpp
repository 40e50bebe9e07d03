// How a converter of the virtual instrument cuts its input into lines and recognises commands:
// CR ends a line, LF vanishes, empty lines vanish, partial lines wait for their CR, overlong lines
// are dropped whole; and which lines count as which command.

#include "model/Command.h"
#include "model/LineSplitter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using namespace korvat::sim;

namespace {

struct SplitCase {
    const char* name;
    std::vector<QByteArray> chunks;
    std::vector<QByteArray> lines;
    qsizetype pendingAfter;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class LineSplitterCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitterCases, GivesCompleteLinesOnly) {
    const SplitCase& c = GetParam();
    LineSplitter splitter;
    std::vector<QByteArray> lines;
    for (const QByteArray& chunk : c.chunks)
        for (const LineSplitter::Line& line : splitter.feed(chunk)) {
            EXPECT_FALSE(line.overlong);
            lines.push_back(line.text);
        }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(splitter.pendingSize(), c.pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, LineSplitterCases,
    ::testing::Values(SplitCase{"LfInsideLineDroppedAcrossChunks", {"ab\n", "cd\r"}, {"abcd"}, 0},
                      SplitCase{"CrCrGivesNothing", {"\r\r"}, {}, 0},
                      SplitCase{"IdentificationFramedByCrLf", {"\r\n<SN\r\n"}, {"<SN"}, 0},
                      SplitCase{"SecondIdentificationForm", {"\r<SN\r"}, {"<SN"}, 0},
                      SplitCase{"TwoLinesInOneChunk", {"<SN\r<PG\r"}, {"<SN", "<PG"}, 0},
                      SplitCase{"OneByteAtATime", {"<", "S", "N", "\r"}, {"<SN"}, 0},
                      SplitCase{"LfNeverEndsALine", {"<SN\n\n"}, {}, 3},
                      SplitCase{"PartialLineWaits", {"<SN\r<V1S"}, {"<SN"}, 4}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(LineSplitter, OverlongLineIsDroppedUpToItsCrAndTheNextLineSurvives) {
    LineSplitter splitter(4);
    auto lines = splitter.feed("abcd\rabcdef");
    lines += splitter.feed("gh<SN\r<SN\r");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].text, "abcd"); // exactly the limit is still a line
    EXPECT_FALSE(lines[0].overlong);
    EXPECT_EQ(lines[1].text, "abcd"); // head kept for the log only
    EXPECT_TRUE(lines[1].overlong);
    EXPECT_EQ(lines[2].text, "<SN"); // the "<SN" inside the broken line was not taken as a command
    EXPECT_FALSE(lines[2].overlong);
    EXPECT_EQ(splitter.pendingSize(), 0);
}

TEST(LineSplitter, DefaultLimitKeepsBufferBoundedOnEndlessInput) {
    LineSplitter splitter;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(splitter.feed(QByteArray(1000, 'x')).isEmpty());
    EXPECT_LE(splitter.pendingSize(), LineSplitter::kDefaultMaxLength);
}

TEST(LineSplitter, PrintableLineEscapesControlAndHighBytes) {
    EXPECT_EQ(printableLine("<12Z0100"), QStringLiteral("<12Z0100"));
    EXPECT_EQ(printableLine(QByteArray("a\x01\x1b\\", 4) + char(0xE4)),
              QStringLiteral("a\\x01\\x1B\\\\\\xE4"));
}

struct CommandCase {
    const char* name;
    QByteArray line;
    CommandKind kind;
    QByteArray mnemonic;
    int value = 0;
    bool controlInterface = false;
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandCases : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandCases, Classifies) {
    const CommandCase& c = GetParam();
    const Command command = parseCommand(c.line);
    EXPECT_EQ(command.kind, c.kind);
    EXPECT_EQ(command.mnemonic, c.mnemonic);
    if (c.kind != CommandKind::Unknown) {
        EXPECT_EQ(command.value, c.value);
        EXPECT_EQ(command.controlInterface, c.controlInterface);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandCases,
    ::testing::Values(CommandCase{"Identify", "<SN", CommandKind::Identify, "SN"},
                      CommandCase{"IdentifyWithTrailingText", "<SN1", CommandKind::Unknown, "SN"},
                      CommandCase{"LowerCase", "<sn", CommandKind::Unknown, ""},
                      CommandCase{"WithoutLeadIn", "SN", CommandKind::Unknown, ""},
                      CommandCase{"AReplyEchoedBack", ":SN4A01", CommandKind::Unknown, ""},
                      CommandCase{"UnknownMnemonic", "<XY12", CommandKind::Unknown, ""},
                      CommandCase{"LeadInAlone", "<", CommandKind::Unknown, ""},
                      // The control interface: the longest mnemonic wins ("V1S" over "VS", "D?"
                      // and "DG" over "D"), parameters must have their exact shape.
                      CommandCase{"BankWrite", "<V1S3E", CommandKind::RegisterSet, "V1S", 0x3E,
                                  true},
                      CommandCase{"BankWriteWithoutByte", "<V2S", CommandKind::Unknown, "V2S"},
                      CommandCase{"PWriteLowerCaseHex", "<PScf", CommandKind::Unknown, "PS"},
                      CommandCase{"PQuery", "<PG", CommandKind::RegisterQuery, "PG", 0, true},
                      CommandCase{"LoopQuery", "<D?", CommandKind::RegisterQuery, "D?", 0, true},
                      CommandCase{"LoopIn", "<D1", CommandKind::LoopSwitch, "D", 1, true},
                      CommandCase{"LoopOut", "<D0", CommandKind::LoopSwitch, "D", 0, true},
                      CommandCase{"LoopOther", "<D2", CommandKind::Unknown, "D"},
                      CommandCase{"Setpoint", "<VS0258", CommandKind::SetpointSet, "VS", 600,
                                  true},
                      CommandCase{"SetpointThreeDigits", "<TS258", CommandKind::Unknown, "TS"},
                      CommandCase{"HeaterOn", "<EO1", CommandKind::HeaterSwitch, "EO", 1, true},
                      CommandCase{"HeaterOnWithBlank", "<EO 1", CommandKind::Unknown, "EO"},
                      CommandCase{"HighVoltage", "<HSFFFF", CommandKind::HighVoltageSet, "HS",
                                  0xFFFF, true},
                      CommandCase{"ZeroQuery", "<ZG", CommandKind::ZeroQuery, "ZG", 0, true},
                      CommandCase{"Status", "<12AS100", CommandKind::ConverterStatus, "12AS100"},
                      CommandCase{"StatusOtherChannel", "<12AS101", CommandKind::Unknown, ""},
                      CommandCase{"StreamStart", "<12Z1100", CommandKind::StreamStart, "12Z1100"},
                      CommandCase{"StreamStop", "<12Z0100", CommandKind::StreamStop, "12Z0100"},
                      CommandCase{"ConverterSetup", "<12W1100", CommandKind::ConverterSetup,
                                  "12W1100"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

} // namespace
