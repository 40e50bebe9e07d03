// Makes the test report of a results file as an A4 PDF, the same report as the sample-info page's
// "Report" button: korvat-report RESULTS.csv [-o REPORT.pdf] [--lang DE|US]. It reads what lies
// beside the results file (raw-data files, the event journal) and runs headless.
#include "util/Clock.h"
#include "run/ReportData.h"
#include "shell/CommandLine.h"
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

const char* const kHelp =
    "Writes the test report of the last run of RESULTS.csv as an A4 PDF, by default\n"
    "<name>_report.pdf beside it, in German (DE, the default) or English (US).\n"
    "Exit status: 0 report written, 1 it could not be, 2 bad usage.\n";

void printErr(const QString& text) { std::fputs(text.toLocal8Bit().constData(), stderr); }

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    CommandLine line(QStringLiteral("korvat-report"),
                     {QStringLiteral("RESULTS.csv [-o REPORT.pdf] [--lang DE|US]"), QStringLiteral("--version")},
                     QString::fromLatin1(kHelp));
    const QCommandLineOption outputOption(QStringLiteral("o"), QString(), QStringLiteral("REPORT.pdf"));
    const QCommandLineOption langOption(QStringLiteral("lang"), QString(), QStringLiteral("DE|US"));
    line.parser().addOptions({outputOption, langOption});
    line.acceptQtOptions();
    // Answered before the application exists: no display is needed to say what is wrong.
    if (const int status = line.parse(argc, argv); status >= 0)
        return status;
    const QStringList inputs = line.parser().positionalArguments();
    if (inputs.size() != 1)
        return line.usageError(inputs.isEmpty() ? QStringLiteral("no results file given")
                                                : QStringLiteral("unexpected argument %1").arg(inputs[1]));
    if (line.parser().values(outputOption).size() > 1)
        return line.usageError(QStringLiteral("-o given more than once"));
    int ID = kGermanOffset;
    if (line.parser().isSet(langOption)) {
        const QString lang = line.parser().value(langOption).toUpper();
        if (lang == QLatin1String("US") || lang == QLatin1String("EN"))
            ID = kEnglishOffset;
        else if (lang != QLatin1String("DE"))
            return line.usageError(QStringLiteral("--lang takes DE or US, not %1").arg(line.parser().value(langOption)));
    }
    const QString input = inputs.first();
    QString output = line.parser().value(outputOption);

    // Headless unless a display is there: the report needs fonts and painting, not a window.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
