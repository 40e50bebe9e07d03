// The lab archive at the size of years of testing: 1,000 tests of 500 measurements each (three
// cells, 20 materials, 15 chemicals), imported one test per transaction, then `find` by
// chemical and material and the chemical resistance chart over all of them. Against SQLite in a
// temporary folder and against a PostgreSQL server started for the run (Unix socket, this
// machine). Goal: each query under 100 ms.
//   bench_archive --benchmark_filter=SQLite   (or PostgreSQL)

#include "bench/BenchMain.h"
#include "run/Archive.h"
#include "tests/support/PostgresServer.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <QUuid>
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <memory>

using namespace korvat;

namespace {

constexpr int kTests = 1000;
constexpr int kMeasurements = 500;

ArchivedTest makeTest(int n) {
    ArchivedTest t;
    t.testId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    t.instrument = QStringLiteral("SN%1").arg(n % 4);
    t.resultsFile = QStringLiteral("/lab/tests/T%1.csv").arg(n);
    t.started = QDateTime(QDate(2024, 1, 1), QTime(8, 0), QTimeZone::utc()).addSecs(qint64(n) * 86400 / 2);
    t.detector = QStringLiteral("FID");
    t.measuringSeconds = 60;
    t.plannedMinutes = 480;
    t.sampleArea = 20.43;
    t.source = QStringLiteral("import");
    for (int k = 1; k <= 3; ++k) {
        ArchivedCell c;
        c.cell = k;
        c.detector = QStringLiteral("FID");
        c.material = QStringLiteral("Material %1").arg((n + k) % 20);
        c.chemical = QStringLiteral("Chemical %1").arg(n % 15);
        c.bt10Minutes = (n * 7 + k * 13) % 5 == 0 ? std::nullopt : std::optional<double>(5.0 + (n * 37 + k * 11) % 470);
        c.brokeThrough = c.bt10Minutes.has_value();
        c.heldMinutes = c.bt10Minutes.value_or(480);
        c.measurements = kMeasurements / 3;
        t.cells.push_back(c);
    }
    for (int m = 1; m <= kMeasurements; ++m) {
        ExportRecord r;
        r.testId = t.testId;
        r.measurement = m;
        r.cycle = (m + 2) / 3;
        r.moment = t.started.addSecs(60 * m);
        r.elapsedMinutes = m;
        r.position = 4 + (m - 1) % 3;
        r.cell = r.position - 3;
        r.chemical = t.cells[0].chemical;
        r.detector = t.detector;
        r.flow = 100;
        r.fidArea = 1000.5 * m;
        r.fidPpm = 0.25 * m;
        r.fidRate = 0.001 * m;
        r.rawFile = QStringLiteral("T%1_%2.txt").arg(n).arg(m);
        r.rawSha256 = QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
        t.measurements.push_back(r);
    }
    return t;
}

struct Backend {
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<test::PostgresServer> server;
    std::unique_ptr<Archive> archive;
    bool filled = false;
};

Backend& backend(bool postgres, benchmark::State& state) {
    static std::map<bool, Backend> backends;
    Backend& b = backends[postgres];
    if (b.archive)
        return b;
    QString error;
    QString where;
    if (postgres) {
        if (!test::PostgresServer::available()) {
            state.SkipWithError("PostgreSQL server not installed");
            return b;
        }
        b.server = std::make_unique<test::PostgresServer>();
        if (!b.server->start(&error)) {
            state.SkipWithError(error.toStdString().c_str());
            return b;
        }
        where = b.server->address();
    } else {
        b.folder = std::make_unique<QTemporaryDir>();
        where = b.folder->path() + QStringLiteral("/archive.sqlite");
    }
    b.archive = Archive::open(where, &error);
    if (!b.archive)
        state.SkipWithError(error.toStdString().c_str());
    return b;
}

void BM_Import(benchmark::State& state, bool postgres) {
    Backend& b = backend(postgres, state);
    if (!b.archive)
        return;
    for (auto _ : state) {
        if (b.filled) {
            state.SkipWithError("imported once already");
            return;
        }
        for (int n = 0; n < kTests; ++n) {
            state.PauseTiming();
            const ArchivedTest t = makeTest(n);
            state.ResumeTiming();
            QString error;
            if (b.archive->store(t, &error) != Archive::Stored::Added) {
                state.SkipWithError(error.toStdString().c_str());
                return;
            }
        }
        b.filled = true;
    }
    state.counters["tests"] = kTests;
    state.counters["measurements"] = double(kTests) * kMeasurements;
}

// The queries run over what the import stored; without it there is nothing to time.
Backend* filledBackend(bool postgres, benchmark::State& state) {
    Backend& b = backend(postgres, state);
    if (!b.archive || !b.filled) {
        state.SkipWithError("run the import first");
        return nullptr;
    }
    return &b;
}

void BM_FindByChemical(benchmark::State& state, bool postgres) {
    Backend* b = filledBackend(postgres, state);
    if (!b)
        return;
    std::size_t found = 0;
    for (auto _ : state) {
        ArchiveFilter f;
        f.chemical = QStringLiteral("chemical 7");
        found = b->archive->find(f).size();
    }
    state.counters["tests_found"] = double(found);
}

void BM_FindByMaterialSince(benchmark::State& state, bool postgres) {
    Backend* b = filledBackend(postgres, state);
    if (!b)
        return;
    std::size_t found = 0;
    for (auto _ : state) {
        ArchiveFilter f;
        f.material = QStringLiteral("Material 3");
        f.since = QDateTime(QDate(2024, 6, 1), QTime(0, 0), QTimeZone::utc());
        found = b->archive->find(f).size();
    }
    state.counters["tests_found"] = double(found);
}

void BM_Chart(benchmark::State& state, bool postgres) {
    Backend* b = filledBackend(postgres, state);
    if (!b)
        return;
    std::size_t lines = 0;
    for (auto _ : state)
        lines = b->archive->chart({}).size();
    state.counters["lines"] = double(lines);
}

} // namespace

BENCHMARK_CAPTURE(BM_Import, SQLite, false)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FindByChemical, SQLite, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FindByMaterialSince, SQLite, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Chart, SQLite, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Import, PostgreSQL, true)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FindByChemical, PostgreSQL, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FindByMaterialSince, PostgreSQL, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Chart, PostgreSQL, true)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) { return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core); }
