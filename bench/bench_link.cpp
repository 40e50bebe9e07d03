// Line assembly and routing throughput. The instrument's line carries at most 10,473 bytes/s
// (115200 baud, 11 bits a character); the program should handle a thousand times that.

#include "bench/BenchMain.h"
#include "link/LineAssembler.h"
#include "link/Link.h"
#include "model/InProcessLine.h"
#include "bench/NullUi.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

using namespace korvat;

namespace {

// A realistic mix: a burst of data lines with the odd reply in between.
QByteArray traffic(int lines) {
    QByteArray out;
    for (int i = 0; i < lines; ++i) {
        if (i % 20 == 0)
            out += ":SG0258\r";
        out += (i % 100 == 99 ? "]A1" : "[A1") + QByteArray::number(0x10000 + i % 0xFFFF, 16).toUpper().right(5) + "\r\n";
    }
    return out;
}

void BM_LineAssembler(benchmark::State& state) {
    const QByteArray bytes = traffic(10000);
    std::size_t lines = 0;
    LineAssembler a([&](const QByteArray&) { ++lines; }, {});
    for (auto _ : state) {
        a.feed(bytes);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["x_line_max"] = benchmark::Counter(
        static_cast<double>(state.iterations() * bytes.size()) / 10473.0,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LineAssembler);

// The whole receive path: the port's notification, the assembler and the queues.
void BM_ReceiveAndRoute(benchmark::State& state) {
    ManualClock clock;
    bench::NullView view;
    bench::NullDialogs dialogs;
    sim::InProcessLine com1("A"), com2("B");
    Link link(com1, com2, clock, dialogs, view);
    link.createQueues(true);
    link.OpenComPort(com1);
    const QByteArray bytes = traffic(1000);
    for (auto _ : state) {
        com1.feedReceived(bytes);
        QCoreApplication::processEvents(); // delivers readyRead, which runs ComPort1RxChar
        if (link.DataQueue1()->empty())
            state.SkipWithError("nothing arrived");
        link.DataQueue1()->clear();
        link.ReplyQueue()->clear();
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    state.counters["x_line_max"] = benchmark::Counter(
        static_cast<double>(state.iterations() * bytes.size()) / 10473.0,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveAndRoute);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
