// korvat-sim's options for what the protocol leaves to the instrument, end to end on its
// pseudo-terminals: the exact identification lines, line ends, echoes, acknowledgements, reply
// tails, the idle status, the data lines' form, lines after the stop, and malformed values
// refused. The model behind each option is tested in WireHabitsTest.cpp.

#include "support/SimProcess.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using korvat::test::SimProcess;

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

// Reads into `got` until `done(got)` or two seconds passed.
template <typename Done> void readUntil(int fd, QByteArray& got, Done done) {
    QDeadlineTimer deadline(2000);
    while (!done(got) && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, static_cast<qsizetype>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
}

// Sends and reads until `text` has arrived or two seconds passed.
QByteArray exchangeUntil(int fd, const QByteArray& command, const QByteArray& text) {
    if (::write(fd, command.constData(), static_cast<size_t>(command.size())) < 0)
        return {};
    QByteArray got;
    readUntil(fd, got, [&text](const QByteArray& g) { return g.contains(text); });
    return got;
}

TEST(KorvatSimHabits, OptionsReachTheWirePty) {
    if (!SimProcess::available())
        GTEST_SKIP() << "korvat-sim not found";
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--fidfpd", "--ident-a", ":AD4-4711-042  ", "--ident-b", ":4711-043", "--line-end",
                           "crlf", "--echo", "--reply-tail", ";x", "--idle-status", "5", "--ack", "text",
                           "--ack-text", "OK", "--ack-all", "--data-channel", "XY", "--plus-sign", "+",
                           "--lowercase-hex", "--data-tail", "\\\\t", "--burst-markers", "/",
                           "--after-stop", "2,0", "--idle-close"}));
    const int a = openRaw(sim.linkA);
    const int b = openRaw(sim.linkB);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(exchangeUntil(a, "\r\n<SN\r\n", "042  \r\n"), "<SN\r\n:AD4-4711-042  \r\n");
    EXPECT_EQ(exchangeUntil(b, "<SN\r", "043\r\n"), "<SN\r\n:4711-043\r\n");
    EXPECT_EQ(exchangeUntil(a, "<12AS100\r", ";x\r\n"), "<12AS100\r\n:12AS5;x\r\n");
    EXPECT_EQ(exchangeUntil(a, "<VS0258\r", "OK\r\n"), "<VS0258\r\nOK\r\n");
    EXPECT_EQ(exchangeUntil(a, "<V1SFE\r", "OK\r\n"), "<V1SFE\r\nOK\r\n");
    EXPECT_EQ(exchangeUntil(b, "<12Z0100\r", "OK\r\n").left(12), "<12Z0100\r\n]Y") << "--idle-close";

    // A burst on port A: its lines in the asked form, two more after the stop, then "]".
    exchangeUntil(a, "<12Z1100\r", "OK\r\n");
    QByteArray all;
    readUntil(a, all, [](const QByteArray& g) { return g.count("/X") >= 4; });
    all += exchangeUntil(a, "<12Z0100\r", "]X");
    readUntil(a, all, [](const QByteArray& g) { return g.mid(g.indexOf("]X")).contains("\r\n"); });
    const QList<QByteArray> lines = all.split('\n');
    int slashLines = 0;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (!line.startsWith('/') && !line.startsWith(']'))
            continue;
        SCOPED_TRACE(line.constData());
        EXPECT_EQ(line.size(), 10);
        EXPECT_EQ(line[1], 'X');
        EXPECT_TRUE(line[2] == '+' || line[2] == '0');
        EXPECT_EQ(line.mid(3, 5), line.mid(3, 5).toLower());
        EXPECT_TRUE(line.endsWith("\\t"));
        slashLines += line.startsWith('/') ? 1 : 0;
    }
    EXPECT_GE(slashLines, 3);
    EXPECT_TRUE(all.contains("<12Z0100\r\nOK\r\n")) << all.constData();
    const qsizetype stopAt = all.indexOf("<12Z0100");
    EXPECT_EQ(all.mid(stopAt).count("/X"), 2) << "two lines after the stop";
    EXPECT_EQ(all.count("]X"), 1);
    ::close(a);
    ::close(b);
}

TEST(KorvatSimHabits, RefusesBadHabitOptionsPty) {
    if (!SimProcess::available())
        GTEST_SKIP() << "korvat-sim not found";
    const QStringList cases[] = {
        {"--ident-b", ":4711"}, // needs --fidfpd
        {"--ident-a", ":AD4", "--main-id", "4A"},
        {"--line-end", "lf"},
        {"--reply-delay", "-5"},
        {"--reply-delay", "0.5"},
        {"--chunk", "0"},
        {"--chunk-gap", "5"}, // needs --chunk
        {"--ack", "maybe"},
        {"--ack", "none", "--ack-text", "OK"},
        {"--ack-text", ""},
        {"--reply-tail", "a\\rb"},
        {"--idle-status", "118"},
        {"--idle-status", "1000"},
        {"--data-channel", "ABC"},
        {"--plus-sign", "0"},
        {"--plus-sign", "++"},
        {"--burst-markers", "[]"},
        {"--after-stop", "3,4"}, // two ports need --fidfpd
        {"--after-stop", "x"},
        {"--data-batch", "0"},
        {"--sample-period", "5"},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        SimProcess sim;
        EXPECT_FALSE(sim.start(arguments));
        if (sim.process.state() != QProcess::NotRunning) {
            EXPECT_TRUE(sim.process.waitForFinished(5000));
        }
        EXPECT_EQ(sim.process.exitCode(), 1);
        EXPECT_TRUE(sim.process.readAllStandardError().startsWith("korvat-sim: "));
    }
}

} // namespace
