// The test report of an eight-hour three-cell run (1,000 rows: two reference turns and three
// sample cells per cycle of 144 s): gathering the figures from the results file and drawing the
// A4 PDF with its curves, as the report button and korvat-report do. Target: under one second.

#include "bench/BenchMain.h"
#include "run/ReportData.h"
#include "ui/TestReport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <benchmark/benchmark.h>
#include <cmath>

using namespace korvat;

namespace {

constexpr int kCycles = 200; // 5 rows each
constexpr int kCycleSeconds = 144;

QByteArray number(double v, int decimals) { return QByteArray::number(v, 'f', decimals).replace('.', ','); }

QString writeEightHourRun(const QString& dir) {
    const QString path = dir + "/Night.csv";
    QByteArray text = "Datei:;" + path.toLocal8Bit() + ";Datum:;15.01.26 08:00:00;Ger\xe4t:SN4A01-0815\r\n"
                      "Versuchsparameter Sollwerte:;Messkammer:;100 \xb0" "C;Ventilblock:;100 \xb0" "C\r\n"
                      "Versuchsparameter Istwerte:;Messkammer:;--- \xb0 C;Ventilblock:;--- \xb0 C\r\n"
                      "ppm/rate Isobutan:;100;Fl\xe4" "che:;0;Schwelle:;0,10;Faktor:;1,00\r\n"
                      "Startzelle:1\r\nAnzahl Zellen:;4\r\nAnzahl Messreihen:;200\r\nDosierzeit:;5 s\r\n"
                      "Injektionzeit:;3 s\r\nMesszeit pro Zelle:;15 s\r\nVersuchsbeschreibung\r\n\r\n\r\n\r\n\r\n\r\n"
                      "Zelle;Bruch;Bruchzeit;Chemikalie;Faktor;(ml/min);Messzeit;ppm;ppm/rate Isobutan;Fl\xe4"
                      "che;Probeninfo;Datum;Zeit\r\n";
    const QTime start(8, 0, 0);
    int n = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        for (int k = 0; k < 5; ++k) {
            const int cell = k + 2; // 2 zero gas, 3 reference, 4 to 6 the samples
            const int elapsed = cycle * kCycleSeconds + (k + 1) * 24 + 4;
            const QByteArray clock = QTime(0, 0).addSecs(elapsed).toString("hh:mm:ss").toLatin1();
            const QByteArray moment = start.addSecs(elapsed).toString("hh:mm:ss").toLatin1();
            double rate = 0, area = 0;
            QByteArray chem = "Refgas", name = cell == 2 ? "Refgas" : "Ref.Zelle";
            if (cell >= 4) {
                const double minutes = elapsed / 60.0;
                const double t0 = 60.0 * (cell - 3); // breakthrough after 1, 2, 3 hours
                rate = 5.0 / (1.0 + std::exp(-(minutes - t0) / 15.0));
                area = rate * 5000;
                chem = "Isobutan";
                name = "Glove" + QByteArray::number(cell - 3);
            } else if (cell == 2) {
                area = 445163;
            }
            text += QByteArray::number(cell) + (cell >= 4 ? ";*;--:--;" : "; ;;") + chem + ";1,00;100,0;" + clock + ";" +
                    number(rate * 80, 3) + ";" + number(rate, 3) + ";" + QByteArray::number(qint64(area)) + ";" + name +
                    ";15.01.26;" + moment + ";" + QByteArray::number(++n) + "\r\n";
        }
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

int pages(const QString& pdf) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    if (!p.waitForFinished(20000))
        return -1;
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const int at = out.indexOf("Pages:");
    return at < 0 ? -1 : out.mid(at + 6).section('\n', 0, 0).trimmed().toInt();
}

void BM_ReportEightHourRun(benchmark::State& state) {
    QTemporaryDir dir;
    const QString csv = writeEightHourRun(dir.path());
    if (csv.isEmpty())
        return state.SkipWithError("the results file could not be written");
    const QString pdf = dir.filePath("Night_report.pdf");
    for (auto _ : state) {
        const ReportData data = gatherReportData(csv, 1000);
        QString error;
        if (!data.ok || !writeTestReport(data, pdf, &error))
            return state.SkipWithError((data.ok ? error : data.error).toStdString().c_str());
    }
    // The report is there and has pages (pdfinfo from poppler-utils when installed).
    if (!QFileInfo(pdf).isFile() || QFileInfo(pdf).size() == 0)
        return state.SkipWithError("no report written");
    const int n = pages(pdf);
    if (n == 0)
        return state.SkipWithError("the report has no pages");
    state.counters["pages"] = n;
    state.counters["rows"] = kCycles * 5;
}
BENCHMARK(BM_ReportEightHourRun)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return korvat::bench::runBenchmarks(argc, argv, korvat::bench::Needs::Widgets);
}
