// Makes the test report of a results file as an A4 PDF, the same report as the sample-info page's
// "Report" button: korvat-report RESULTS.csv [-o REPORT.pdf] [--lang DE|US]. It reads what lies
// beside the results file (raw-data files, the event journal) and runs headless.
#include "util/Clock.h"
#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "ui/TestReport.h"
#include "evaluation/RawDataLoader.h"
#include "util/Utils.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

using namespace korvat;

namespace {

constexpr const char* kUsage =
    "usage: korvat-report RESULTS.csv [-o REPORT.pdf] [--lang DE|US]\n"
    "       korvat-report --version\n"
    "Writes the test report of the last run of RESULTS.csv as an A4 PDF, by default\n"
    "<name>_report.pdf beside it, in German (DE, the default) or English (US).\n"
    "Exit status: 0 report written, 1 it could not be, 2 bad usage.\n";

void printErr(const QString& text) { std::fputs(text.toLocal8Bit().constData(), stderr); }

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    // Headless unless a display is there: the report needs fonts and painting, not a window.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString input, output;
    int ID = kGermanOffset;
    for (int k = 1; k < args.size(); ++k) {
        const QString& a = args[k];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::fputs((QStringLiteral("korvat-report ") + GetVersionString() + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
            return 0;
        }
        if (a == QLatin1String("-o") && k + 1 < args.size() && output.isEmpty()) {
            output = args[++k];
        } else if (a == QLatin1String("--lang") && k + 1 < args.size()) {
            const QString lang = args[++k].toUpper();
            if (lang == QLatin1String("DE"))
                ID = kGermanOffset;
            else if (lang == QLatin1String("US") || lang == QLatin1String("EN"))
                ID = kEnglishOffset;
            else {
                std::fputs(kUsage, stderr);
                return 2;
            }
        } else if (!a.startsWith(QLatin1Char('-')) && input.isEmpty()) {
            input = a;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (input.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const ReportData data = gatherReportData(input, ID);
    if (output.isEmpty())
        output = defaultReportPath(input, data.fileRun);
    if (!data.ok) {
        printErr(QStringLiteral("korvat-report: %1\n").arg(escapeControlCharacters(data.error)));
        return 1;
    }
    for (const QString& n : data.notes)
        printErr(QStringLiteral("korvat-report: %1\n").arg(escapeControlCharacters(n)));
    QString error;
    if (!writeTestReport(data, output, &error)) {
        printErr(QStringLiteral("korvat-report: %1\n").arg(escapeControlCharacters(error)));
        return 1;
    }
    std::fputs((output + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    return 0;
}
