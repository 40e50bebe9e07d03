// korvat-sim as a separate process on real pseudo-terminals, reached through QSerialPort as the
// program reaches the instrument: the stdout handshake, the device links, identification on both
// converters, closing and reopening a device, the received-line log, a clean exit on SIGTERM
// that removes the links, and the control interface and a burst of data lines on real time, the
// gas options reaching the model (an injection peak of the given size and delay) and malformed
// option values refused. Every wait has a limit; the suite's tests end in "Pty" so they can be
// filtered out where ptys are not available.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <csignal>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStartLimitMs = 10000;
constexpr int kReplyLimitMs = 5000;
constexpr int kExitLimitMs = 5000;

// KORVAT_BIN_DIR names the folder of the built programs; without it, the folder of this test
// program, where the build puts every executable.
QString simBinary() {
    const QByteArray dir = qgetenv("KORVAT_BIN_DIR");
    const QString folder =
        dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
    return folder + QStringLiteral("/korvat-sim");
}

// korvat-sim started with the given arguments; its handshake lines parsed.
class SimProcess {
public:
    bool start(const QStringList& arguments, QString* failure) {
        process_.setProgram(simBinary());
        process_.setArguments(arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(kStartLimitMs)) {
            *failure = process_.errorString();
            return false;
        }
        QDeadlineTimer deadline(kStartLimitMs);
        while (!deadline.hasExpired()) {
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().trimmed();
                if (line == "READY")
                    return true;
                if (line.startsWith("A "))
                    deviceA = QString::fromLocal8Bit(line.mid(2));
                else if (line.startsWith("B "))
                    deviceB = QString::fromLocal8Bit(line.mid(2));
                else
                    handshakeNoise.append(QString::fromLocal8Bit(line));
            }
            if (process_.state() == QProcess::NotRunning) {
                *failure = QStringLiteral("korvat-sim exited with %1").arg(process_.exitCode());
                return false;
            }
            process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        }
        *failure = QStringLiteral("no READY within the limit");
        return false;
    }

    // SIGTERM and wait; true when it left normally with exit code 0.
    bool terminate() {
        process_.terminate();
        return process_.waitForFinished(kExitLimitMs) &&
               process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

    ~SimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(kExitLimitMs);
        }
    }

    qint64 processId() const { return process_.processId(); }

    QString deviceA;
    QString deviceB;
    QStringList handshakeNoise;

private:
    QProcess process_;
};

// Opens the device the way the program does: 115200 8N2, no flow control, DTR and RTS low. A pty
// has no modem lines, so those two calls fail there; the program tolerates that and so do we.
std::unique_ptr<QSerialPort> openLikeTheProgram(const QString& device) {
    auto port = std::make_unique<QSerialPort>(device);
    if (!port->open(QIODevice::ReadWrite))
        return nullptr;
    port->setBaudRate(QSerialPort::Baud115200);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::TwoStop);
    port->setParity(QSerialPort::NoParity);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setDataTerminalReady(false);
    port->setRequestToSend(false);
    port->clearError();
    return port;
}

// Sends and collects bytes until a CR has arrived or the limit passes.
QByteArray exchange(QSerialPort& port, const QByteArray& command) {
    port.write(command);
    port.waitForBytesWritten(kReplyLimitMs);
    QByteArray reply;
    QDeadlineTimer deadline(kReplyLimitMs);
    while (!reply.contains('\r') && !deadline.hasExpired()) {
        if (port.bytesAvailable() > 0 ||
            port.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            reply += port.readAll();
    }
    return reply;
}

TEST(KorvatSimServer, IdentifiesBothConvertersAndSurvivesReopenPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found at " << simBinary().toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString linkA = dir.filePath(QStringLiteral("korvat-A"));
    const QString linkB = dir.filePath(QStringLiteral("korvat-B"));
    const QString logPath = dir.filePath(QStringLiteral("sim.log"));
    // A link left behind by an earlier run that died: it must be replaced.
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/old-pty"), linkA));

    SimProcess sim;
    QString failure;
    ASSERT_TRUE(sim.start({QStringLiteral("--fidfpd"), QStringLiteral("--link-a"), linkA,
                           QStringLiteral("--link-b"), linkB, QStringLiteral("--log"), logPath},
                          &failure))
        << failure.toStdString();
    EXPECT_TRUE(sim.handshakeNoise.isEmpty()) << sim.handshakeNoise.join('|').toStdString();
    ASSERT_TRUE(sim.deviceA.startsWith(QStringLiteral("/dev/"))) << sim.deviceA.toStdString();
    ASSERT_TRUE(sim.deviceB.startsWith(QStringLiteral("/dev/"))) << sim.deviceB.toStdString();
    EXPECT_NE(sim.deviceA, sim.deviceB);
    EXPECT_EQ(QFileInfo(linkA).symLinkTarget(), sim.deviceA);
    EXPECT_EQ(QFileInfo(linkB).symLinkTarget(), sim.deviceB);

    {
        auto portA = openLikeTheProgram(linkA);
        ASSERT_TRUE(portA);
        const QByteArray reply = exchange(*portA, "\r\n<SN\r\n");
        ASSERT_GE(reply.size(), 4) << reply.constData();
        EXPECT_EQ(reply.at(0), ':');
        EXPECT_EQ(reply.at(3), '4') << reply.constData();
        EXPECT_TRUE(reply.endsWith('\r'));
        EXPECT_FALSE(reply.contains('\n')) << "no echo, no LF";
    }
    {
        auto portB = openLikeTheProgram(linkB);
        ASSERT_TRUE(portB);
        const QByteArray reply = exchange(*portB, "<SN\r");
        ASSERT_GE(reply.size(), 4) << reply.constData();
        EXPECT_EQ(reply.at(0), ':');
        EXPECT_NE(reply.at(3), '4') << reply.constData();
    }
    {
        // Port A was closed above; the program must be able to come back to it.
        auto portA = openLikeTheProgram(linkA);
        ASSERT_TRUE(portA);
        const QByteArray reply = exchange(*portA, "\r<SN\r");
        ASSERT_GE(reply.size(), 4) << reply.constData();
        EXPECT_EQ(reply.at(3), '4');
    }

    ASSERT_TRUE(sim.terminate());
    EXPECT_FALSE(QFileInfo(linkA).isSymLink()) << "links are removed on exit";
    EXPECT_FALSE(QFileInfo(linkB).isSymLink());

    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    int fromA = 0;
    int fromB = 0;
    for (const QByteArray& line : lines) {
        fromA += line.endsWith(" A <SN") ? 1 : 0;
        fromB += line.endsWith(" B <SN") ? 1 : 0;
    }
    EXPECT_EQ(fromA, 2);
    EXPECT_EQ(fromB, 1);
}

TEST(KorvatSimServer, SingleConverterServesOnlyPortAndClearsAStaleLinkBPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString linkA = dir.filePath(QStringLiteral("korvat-A"));
    const QString linkB = dir.filePath(QStringLiteral("korvat-B"));
    // Port B must look missing to the program, not lead to a pty of some earlier run.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), linkB));

    SimProcess sim;
    QString failure;
    ASSERT_TRUE(sim.start({QStringLiteral("--link-a"), linkA, QStringLiteral("--link-b"), linkB,
                           QStringLiteral("--bad-id"), QStringLiteral("--log"),
                           dir.filePath(QStringLiteral("sim.log"))},
                          &failure))
        << failure.toStdString();
    EXPECT_FALSE(sim.deviceA.isEmpty());
    EXPECT_TRUE(sim.deviceB.isEmpty());
    EXPECT_FALSE(QFileInfo(linkB).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(linkB));

    auto portA = openLikeTheProgram(linkA);
    ASSERT_TRUE(portA);
    const QByteArray reply = exchange(*portA, "\r\n<SN\r\n");
    ASSERT_GE(reply.size(), 4) << reply.constData();
    EXPECT_NE(reply.at(3), '4') << "--bad-id";
    portA.reset();
    EXPECT_TRUE(sim.terminate());
}

TEST(KorvatSimServer, KeepsEveryReplyWhenTheReaderFallsBehindPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimProcess sim;
    QString failure;
    ASSERT_TRUE(
        sim.start({QStringLiteral("--log"), dir.filePath(QStringLiteral("sim.log"))}, &failure))
        << failure.toStdString();

    // A pty holds only some kilobytes; far more replies than that make the server meet partial
    // writes and EAGAIN. Raw descriptors here, because QSerialPort would read while it writes.
    const int fd = ::open(QFile::encodeName(sim.deviceA).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    ASSERT_EQ(::tcgetattr(fd, &raw), 0);
    ::cfmakeraw(&raw);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &raw), 0);

    constexpr int kCommands = 20000;
    const QByteArray commands = QByteArray("<SN\r").repeated(kCommands);
    qsizetype written = 0;
    while (written < commands.size()) {
        const ssize_t n = ::write(fd, commands.constData() + written,
                                  static_cast<size_t>(commands.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0);
        written += n;
    }

    const QByteArray oneReply = ":SN4A01-0815\r";
    QByteArray replies;
    QDeadlineTimer deadline(10000);
    while (replies.size() < oneReply.size() * kCommands && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            replies.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(fd);
    EXPECT_EQ(replies.size(), oneReply.size() * kCommands);
    EXPECT_TRUE(replies == oneReply.repeated(kCommands)) << "replies cut or interleaved";
    EXPECT_TRUE(sim.terminate());
}

// Reads a port line by line, keeping a partial line for the next call.
struct LineReader {
    QSerialPort& port;
    QByteArray pending;

    // Every complete line up to and including the first that `last` accepts, or what came within
    // the limit.
    template <typename Accept>
    QList<QByteArray> until(Accept last, int limitMs) {
        QList<QByteArray> lines;
        QDeadlineTimer deadline(limitMs);
        for (;;) {
            qsizetype cr;
            while ((cr = pending.indexOf('\r')) >= 0) {
                lines.append(pending.left(cr));
                pending.remove(0, cr + 1);
                if (last(lines.last()))
                    return lines;
            }
            if (deadline.hasExpired())
                return lines;
            if (port.bytesAvailable() > 0 ||
                port.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                pending += port.readAll();
        }
    }
};

TEST(KorvatSimServer, HeatersOffAcknowledgementsAndABurstOfDataLinesPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimProcess sim;
    QString failure;
    ASSERT_TRUE(sim.start({QStringLiteral("--heaters-off"), QStringLiteral("--log"),
                           dir.filePath(QStringLiteral("sim.log"))},
                          &failure))
        << failure.toStdString();
    auto portA = openLikeTheProgram(sim.deviceA);
    ASSERT_TRUE(portA);
    EXPECT_EQ(exchange(*portA, "<PG\r"), ":PGFF\r");
    EXPECT_EQ(exchange(*portA, "<VS0258\r"), ":VS0258\r");
    EXPECT_EQ(exchange(*portA, "<HO1\r"), ":HO1\r");

    LineReader reader{*portA, {}};
    auto send = [&portA](const QByteArray& bytes) {
        portA->write(bytes);
        portA->waitForBytesWritten(kReplyLimitMs);
    };
    // At ten lines a second the count depends on the scheduler, not on us: ask for three.
    send("<12B1100\r<12W1100\r<12Z1100\r");
    int dataLines = 0;
    const QList<QByteArray> burst =
        reader.until([&dataLines](const QByteArray&) { return ++dataLines == 3; }, kReplyLimitMs);
    ASSERT_EQ(burst.size(), 3);
    send("<12AS100\r");
    QList<QByteArray> lines = reader.until(
        [](const QByteArray& line) { return line.startsWith(":"); }, kReplyLimitMs);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), ":12AS118");
    lines += burst;
    send("<12Z0100\r");
    const QList<QByteArray> rest = reader.until(
        [](const QByteArray& line) { return line.startsWith("]"); }, kReplyLimitMs);
    ASSERT_FALSE(rest.isEmpty());
    EXPECT_TRUE(rest.last().startsWith("]A")) << rest.last().constData();
    EXPECT_EQ(rest.last().size(), 8);
    lines += rest.first(rest.size() - 1);
    for (const QByteArray& line : lines) {
        if (line.startsWith(":"))
            continue;
        EXPECT_TRUE(line.startsWith("[A") && line.size() == 8) << line.constData();
    }

    // Nothing after the closing line.
    EXPECT_FALSE(portA->waitForReadyRead(300)) << portA->readAll().constData();
    EXPECT_TRUE(reader.pending.isEmpty());
    EXPECT_TRUE(sim.terminate());
}

TEST(KorvatSimServer, RefusesMalformedGasOptionsPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    const QStringList cases[] = {
        {QStringLiteral("--cell-ppm"), QStringLiteral("1,2")},
        {QStringLiteral("--cell-sulfur-ppm"), QStringLiteral("a,b,c")},
        {QStringLiteral("--ref-ppm"), QStringLiteral("-3")},
        // A decimal comma would be read as a different number on some desktops: refused.
        {QStringLiteral("--ref-cell-ppm"), QStringLiteral("0,5")},
        {QStringLiteral("--peak-delay"), QStringLiteral("600")},
        {QStringLiteral("--ref-ppm-levels"), QStringLiteral("10,x")},
        {QStringLiteral("--ref-ppm-levels"), QStringLiteral("")},
        {QStringLiteral("--ref-ppm"), QStringLiteral("5"), QStringLiteral("--ref-ppm-levels"), QStringLiteral("10,50")},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        SimProcess sim;
        QString failure;
        EXPECT_FALSE(sim.start(arguments, &failure));
        EXPECT_EQ(failure, QStringLiteral("korvat-sim exited with 2"));
    }
}

// The reference gas at 10 ppm instead of 100 and its peak half a second after "<D0" instead of
// two: both options must reach the model.
TEST(KorvatSimServer, GasOptionsShapeTheInjectionPeakPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimProcess sim;
    QString failure;
    ASSERT_TRUE(sim.start({QStringLiteral("--ref-ppm"), QStringLiteral("10"),
                           QStringLiteral("--peak-delay"), QStringLiteral("0.5"),
                           QStringLiteral("--log"), dir.filePath(QStringLiteral("sim.log"))},
                          &failure))
        << failure.toStdString();
    auto portA = openLikeTheProgram(sim.deviceA);
    ASSERT_TRUE(portA);
    auto send = [&portA](const QByteArray& bytes) {
        portA->write(bytes);
        portA->waitForBytesWritten(kReplyLimitMs);
    };
    // Reference gas path open, loop switched in for ten of its flush times, path closed, inject.
    send("<V1SFD\r<D1\r");
    QThread::msleep(1500);
    send("<V1SFF\r<D0\r<12B1100\r<12W1100\r<12Z1100\r");
    LineReader reader{*portA, {}};
    int count = 0;
    const QList<QByteArray> lines =
        reader.until([&count](const QByteArray&) { return ++count == 30; }, 3 * kReplyLimitMs);
    send("<12Z0100\r");
    ASSERT_EQ(lines.size(), 30);
    std::vector<int> values;
    for (const QByteArray& line : lines) {
        ASSERT_TRUE(line.startsWith("[A1") && line.size() == 8) << line.constData();
        values.push_back(line.mid(3).toInt(nullptr, 16));
    }
    // 10 ppm give a peak of about 2,000 counts over the baseline of about 1,500; 100 ppm would
    // give 20,000. It leaves the noise within 1.5 s; with the default delay it would stay flat
    // for more than two.
    const int baseline = values.front();
    EXPECT_GT(*std::max_element(values.begin(), values.end()) - baseline, 1000);
    EXPECT_LT(*std::max_element(values.begin(), values.end()) - baseline, 3000);
    const auto rise = std::find_if(values.begin(), values.end(),
                                   [baseline](int v) { return v - baseline > 30; });
    EXPECT_LT(rise - values.begin(), 15);
    EXPECT_TRUE(sim.terminate());
}

// Reference gases of several levels: the first cylinder at the start, the next on SIGUSR1 (the
// lab changing it), said in the log; the injection's peak grows with it.
TEST(KorvatSimServer, ANewReferenceCylinderOnSigusr1Pty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString logPath = dir.filePath(QStringLiteral("sim.log"));
    SimProcess sim;
    QString failure;
    ASSERT_TRUE(sim.start({QStringLiteral("--ref-ppm-levels"), QStringLiteral("10,40"), QStringLiteral("--log"), logPath},
                          &failure))
        << failure.toStdString();
    auto portA = openLikeTheProgram(sim.deviceA);
    ASSERT_TRUE(portA);
    auto send = [&portA](const QByteArray& bytes) {
        portA->write(bytes);
        portA->waitForBytesWritten(kReplyLimitMs);
    };
    // The reference gas injected, and the tallest point of its peak above the baseline.
    auto peakHeight = [&]() -> int {
        send("<V1SFD\r<D1\r");
        QThread::msleep(1500);
        portA->readAll();
        send("<V1SFF\r<D0\r<12B1100\r<12W1100\r<12Z1100\r");
        LineReader reader{*portA, {}};
        int count = 0;
        const QList<QByteArray> lines =
            reader.until([&count](const QByteArray& line) { return line.startsWith("[A1") && ++count == 45; }, 3 * kReplyLimitMs);
        send("<12Z0100\r");
        QThread::msleep(300);
        portA->readAll();
        std::vector<int> values;
        for (const QByteArray& line : lines)
            if (line.startsWith("[A1") && line.size() == 8)
                values.push_back(line.mid(3).toInt(nullptr, 16));
        if (values.size() < 40)
            return -1;
        return *std::max_element(values.begin(), values.end()) - values.front();
    };
    const int first = peakHeight();
    ASSERT_GT(first, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(sim.processId()), SIGUSR1), 0);
    QDeadlineTimer deadline(kReplyLimitMs);
    QString log;
    while (!deadline.hasExpired() && !log.contains(QStringLiteral("reference gas now 40 ppm"))) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
        QFile f(logPath);
        if (f.open(QIODevice::ReadOnly))
            log = QString::fromUtf8(f.readAll());
    }
    EXPECT_TRUE(log.contains(QStringLiteral("reference gas now 40 ppm isobutane"))) << log.toStdString();
    const int second = peakHeight();
    // Four times the gas, four times the peak (noise, drift and the real-time timing of the
    // bursts aside).
    EXPECT_GT(double(second) / first, 3.0) << first << " " << second;
    EXPECT_LT(double(second) / first, 5.0) << first << " " << second;
    EXPECT_TRUE(sim.terminate());
}

} // namespace
