#pragma once
// The main of every benchmark program: the Qt application the benchmarks need (a window system,
// headless unless told otherwise, for those that build widgets), then Google Benchmark.

#include <QApplication>
#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace korvat::bench {

enum class Needs { Core, Widgets };

inline int runBenchmarks(int argc, char** argv, Needs needs) {
    auto run = [&] {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    };
    if (needs == Needs::Core) {
        QCoreApplication app(argc, argv);
        return run();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return run();
}

} // namespace korvat::bench
