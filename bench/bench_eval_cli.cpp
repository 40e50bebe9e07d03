// Batch re-evaluation of stored raw-data files: 1,000 measurements of 600 points each, evaluated
// in-process (load, slopes, FID search) and by the korvat-eval program over the same files.

#include "bench/BenchMain.h"
#include "evaluation/RawDataLoader.h"
#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "shell/Config.h"
#include "shell/IniFile.h"
#include "tests/evaluation/SyntheticPeak.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace korvat;

namespace {

constexpr int kFiles = 1000;
constexpr int kPoints = 600;

// Written once for every benchmark: the files, a Korvat.ini with the settings a fresh
// installation writes, and the lines the in-process evaluation gives, for comparison.
struct BatchFolder {
    QTemporaryDir dir;
    QString ini;
    QStringList paths;
    DetectionSettings detection;
    QStringList expected;
    QString error;

    BatchFolder() {
        ini = dir.filePath("Korvat.ini");
        IniFile file(ini);
        Settings settings;
        if (!createDefaultConfig(file, dir.path() + "/") || !loadSettings(file, settings).isEmpty()) {
            error = "Korvat.ini could not be written or read";
            return;
        }
        detection = DetectionSettings::from(settings);

        for (int k = 0; k < kFiles; ++k) {
            // Peaks differ in size, time and baseline as real injections do; every other file
            // comes from the two-detector instrument.
            test::InjectionPeak fid;
            fid.seed = static_cast<unsigned>(k + 1);
            fid.baseline = 1200 + (k * 37) % 600;
            fid.riseStart = 1.5 + (k % 25) * 0.1;
            fid.area = 20000 + (k * 7919) % 40000;
            test::InjectionPeak fpd = fid;
            fpd.seed += kFiles;
            fpd.baseline = 300;
            fpd.area /= 10;
            const TDeviceTyp layout = k % 2 ? TDeviceTyp::FIDFPD : TDeviceTyp::FID;
            const QString path = dir.filePath(QStringLiteral("Glove_%1.txt").arg(k + 1));
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) ||
                out.write(rawDataContent(layout, fid.make(kPoints), fpd.make(kPoints), {}, QLocale::c())) < 0) {
                error = "cannot write " + path;
                return;
            }
            paths << path;
        }

        int found = 0;
        for (const QString& path : paths) {
            bool ok = false;
            expected << evaluateRawFileLine(path, detection, &ok);
            if (!ok) {
                error = expected.last();
                return;
            }
            found += expected.last().section(';', 1, 1) == "0";
        }
        // A fast evaluation that misses the peaks would be worth nothing.
        if (found != kFiles)
            error = QStringLiteral("peaks found in only %1 of %2 files").arg(found).arg(kFiles);
    }
};

const BatchFolder& folder() {
    static const BatchFolder f;
    return f;
}

void BM_EvaluateFilesInProcess(benchmark::State& state) {
    const BatchFolder& f = folder();
    if (!f.error.isEmpty()) {
        state.SkipWithError(f.error.toStdString().c_str());
        return;
    }
    qsizetype differing = 0;
    for (auto _ : state) {
        for (qsizetype k = 0; k < f.paths.size(); ++k) {
            bool ok = false;
            const QString line = evaluateRawFileLine(f.paths[k], f.detection, &ok);
            differing += !ok || line != f.expected[k];
        }
    }
    if (differing > 0) {
        state.SkipWithError("an evaluation gave another line than the first one");
        return;
    }
    state.counters["files"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFiles,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateFilesInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// The program itself, once over all files: start-up, the ini, loading, evaluation and printing.
void BM_EvaluateFilesWithProgram(benchmark::State& state) {
    const BatchFolder& f = folder();
    if (!f.error.isEmpty()) {
        state.SkipWithError(f.error.toStdString().c_str());
        return;
    }
    const QString program = QStringLiteral(CMAKE_BIN_DIR "/korvat-eval");
    if (!QFileInfo::exists(program)) {
        state.SkipWithError("korvat-eval not built");
        return;
    }
    const QStringList args = QStringList{"--ini", f.ini} + f.paths;
    QString failure;
    for (auto _ : state) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            failure = "korvat-eval failed: " + QString::fromLocal8Bit(p.readAllStandardError());
            break;
        }
        const QStringList lines =
            QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        if (lines != f.expected) {
            failure = "korvat-eval printed other results than the in-process evaluation";
            break;
        }
    }
    if (!failure.isEmpty()) {
        state.SkipWithError(failure.toStdString().c_str());
        return;
    }
    state.counters["files"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFiles,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EvaluateFilesWithProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Core);
}
