// Line assembly and routing throughput. The instrument's line carries at most 10,473 bytes/s
// (115200 baud, 11 bits a character); the program should handle a thousand times that on its
// receiving thread. At the instrument's own rhythm a notification carries about one line, so the
// cost that counts is the one of a notification with a single line in it, through the real port
// class on a pseudo-terminal.

#include "bench/BenchMain.h"
#include "bench/NullUi.h"
#include "link/LineAssembler.h"
#include "link/Link.h"
#include "link/QtSerialLine.h"
#include "model/ConverterStream.h"
#include "model/InProcessLine.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace korvat;

namespace {

constexpr double kLineMaxBytesPerSecond = 10473.0;

// The data line a converter sends for sample `k` (9 bytes, CR-terminated).
QByteArray sampleLine(int k) {
    return sim::dataLine(k % 100 == 99 ? ']' : '[', 'A', 0x10000 + k % 0xFFFF);
}

// A realistic mix: a burst of data lines with the odd reply in between.
struct Traffic {
    QByteArray bytes;
    int dataLines = 0;
    int replies = 0;
};

Traffic traffic(int lines) {
    Traffic t;
    for (int i = 0; i < lines; ++i) {
        if (i % 20 == 0) {
            t.bytes += ":SG0258\r";
            ++t.replies;
        }
        t.bytes += sampleLine(i);
        t.bytes += '\n'; // dropped by the assembler, as the converters' LF is
        ++t.dataLines;
    }
    return t;
}

void setLineMaxCounter(benchmark::State& state, double bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["x_line_max"] =
        benchmark::Counter(bytes / kLineMaxBytesPerSecond, benchmark::Counter::kIsRate);
}

void BM_LineAssembler(benchmark::State& state) {
    const Traffic t = traffic(10000);
    std::size_t lines = 0;
    LineAssembler a([&](const QByteArray&) { ++lines; }, {});
    for (auto _ : state) {
        a.feed(t.bytes);
        benchmark::DoNotOptimize(lines);
    }
    if (lines != state.iterations() * static_cast<std::size_t>(t.dataLines + t.replies) || !a.partial().isEmpty()) {
        state.SkipWithError("the assembler gave another number of lines than were fed");
        return;
    }
    setLineMaxCounter(state, static_cast<double>(state.iterations()) * t.bytes.size());
}
BENCHMARK(BM_LineAssembler);

// The receive path without a device: the port's notification, the assembler and the queues, with
// `range(0)` lines a notification (1 is the instrument's rhythm, 1000 a backlog read at once).
void BM_ReceiveAndRoute(benchmark::State& state) {
    ManualClock clock;
    bench::NullView view;
    bench::NullDialogs dialogs;
    sim::InProcessLine com1("A"), com2("B");
    Link link(com1, com2, clock, dialogs, view);
    link.createQueues(true);
    link.OpenComPort(com1);
    const Traffic t = traffic(static_cast<int>(state.range(0)));
    const QString first = QString::fromLatin1(sampleLine(0).chopped(1));
    for (auto _ : state) {
        com1.feedReceived(t.bytes);
        QCoreApplication::processEvents(); // delivers readyRead, which runs ComPort1RxChar
        if (link.DataQueue1()->size() != static_cast<std::size_t>(t.dataLines) ||
            link.ReplyQueue()->size() != static_cast<std::size_t>(t.replies) ||
            link.DataQueue1()->front() != first) {
            state.SkipWithError("the lines did not arrive in their queues as sent");
            return;
        }
        link.DataQueue1()->clear();
        link.ReplyQueue()->clear();
        link.ReadReply(false); // keeps the reply bookkeeping from growing
    }
    setLineMaxCounter(state, static_cast<double>(state.iterations()) * t.bytes.size());
}
BENCHMARK(BM_ReceiveAndRoute)->Arg(1)->Arg(1000);

// A pseudo-terminal pair: the program opens the far end (the slave) as it opens a converter's
// port; the benchmark writes on the master as the converter would.
class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        if (const char* name = ptsname(master_))
            slave_ = QString::fromLocal8Bit(name);
    }
    ~PtyPair() {
        if (master_ >= 0)
            ::close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.isEmpty(); }
    const QString& slaveName() const { return slave_; }

    bool writeAll(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

private:
    int master_ = -1;
    QString slave_;
};

// The converter: a thread that writes `lines` data lines on the master, one every `pace`, so that
// each arrives on its own as the instrument's lines do.
class PacedWriter {
public:
    PacedWriter(const PtyPair& pty, int lines, std::chrono::microseconds pace)
        : thread_([this, &pty, lines, pace] {
              auto due = std::chrono::steady_clock::now();
              for (int k = 0; k < lines && !stop_; ++k) {
                  due += pace;
                  std::this_thread::sleep_until(due);
                  if (!pty.writeAll(sampleLine(k))) {
                      failed_ = true;
                      return;
                  }
              }
          }) {}
    ~PacedWriter() {
        stop_ = true;
        thread_.join();
    }
    PacedWriter(const PacedWriter&) = delete;
    PacedWriter& operator=(const PacedWriter&) = delete;

    bool failed() const { return failed_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};
    std::thread thread_;
};

// Runs the event loop until `arrived()` says a line is there; false when none came within 5 s.
// A timer wakes the loop now and then, so a line that never comes cannot hang the benchmark.
class LineWaiter {
public:
    explicit LineWaiter(const PacedWriter& writer) : writer_(writer) { wake_.start(250); }

    template <class Arrived>
    bool await(Arrived arrived) {
        if (arrived())
            return true;
        QElapsedTimer waited;
        waited.start();
        while (!arrived()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (!arrived() && (writer_.failed() || waited.elapsed() > 5000))
                return false;
        }
        return true;
    }

private:
    const PacedWriter& writer_;
    QTimer wake_;
};

// One data line a notification through QtSerialLine and the Link on a pseudo-terminal, a line
// every range(0) microseconds. The time is the receiving thread's processor time per line (the
// event loop's wake-up, the port's read, the assembler, the queue); the writer's is not counted.
// The lines that arrive are checked against the lines sent, and the notifications are counted.
void BM_ReceiveOneLinePerNotification(benchmark::State& state) {
    PtyPair pty;
    if (!pty.ok()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SystemClock clock;
    bench::NullView view;
    bench::NullDialogs dialogs;
    QtSerialLine com1, com2;
    com1.setDeviceName(pty.slaveName());
    Link link(com1, com2, clock, dialogs, view);
    link.createQueues(true);
    if (!link.OpenComPort(com1)) {
        state.SkipWithError("the pseudo-terminal did not open");
        return;
    }
    long notifications = 0;
    QObject::connect(&com1, &SerialLine::readyRead, [&] { ++notifications; });

    const int lines = static_cast<int>(state.max_iterations);
    LineQueue& queue = *link.DataQueue1();
    int received = 0;
    int wrong = 0;
    {
        PacedWriter writer(pty, lines, std::chrono::microseconds(state.range(0)));
        LineWaiter waiter(writer);
        for (auto _ : state) {
            if (!waiter.await([&] { return !queue.empty(); })) {
                state.SkipWithError("a line did not arrive");
                break;
            }
            // Lines that came together under load count one iteration each.
            if (queue.front() != QString::fromLatin1(sampleLine(received).chopped(1)))
                ++wrong;
            queue.pop_front();
            ++received;
        }
    }
    com1.close();
    if (state.error_occurred())
        return;
    if (wrong > 0 || received != lines || !queue.empty() || !link.ReplyQueue()->empty()) {
        state.SkipWithError("the lines that arrived differ from the lines sent");
        return;
    }
    setLineMaxCounter(state, static_cast<double>(received) * sampleLine(0).size());
    state.counters["lines_per_notification"] = static_cast<double>(received) / static_cast<double>(notifications);
}
BENCHMARK(BM_ReceiveOneLinePerNotification)->Arg(200)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// The same pseudo-terminal and event loop with the least any program has to do per line: a
// notifier on the raw device and one read. What the program's path costs beyond this is its own.
void BM_PtyWakeUpAlone(benchmark::State& state) {
    PtyPair pty;
    if (!pty.ok()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int fd = ::open(pty.slaveName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) {
        state.SkipWithError("the pseudo-terminal did not open");
        if (fd >= 0)
            ::close(fd);
        return;
    }
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    long linesIn = 0;
    long bytesIn = 0;
    long notifications = 0;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        ++notifications;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i)
            linesIn += buffer[i] == '\r';
        bytesIn += n > 0 ? n : 0;
    });

    const int lines = static_cast<int>(state.max_iterations);
    long taken = 0;
    {
        PacedWriter writer(pty, lines, std::chrono::microseconds(state.range(0)));
        LineWaiter waiter(writer);
        for (auto _ : state) {
            if (!waiter.await([&] { return linesIn > taken; })) {
                state.SkipWithError("a line did not arrive");
                break;
            }
            ++taken;
        }
    }
    notifier.setEnabled(false);
    ::close(fd);
    if (state.error_occurred())
        return;
    if (linesIn != lines || bytesIn != lines * sampleLine(0).size()) {
        state.SkipWithError("the bytes that arrived differ from the bytes sent");
        return;
    }
    setLineMaxCounter(state, static_cast<double>(bytesIn));
    state.counters["lines_per_notification"] = static_cast<double>(linesIn) / static_cast<double>(notifications);
}
BENCHMARK(BM_PtyWakeUpAlone)->Arg(200)->Iterations(20000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
