// Re-evaluates stored raw-data files from the command line, one result line per file, for batch
// checks of old measurements. The detection settings come from the Korvat.ini beside the program
// or from --ini; every file is evaluated as the first load after start-up would be.
#include "evaluation/RawDataLoader.h"
#include "shell/Config.h"
#include "shell/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <cstdio>

using namespace korvat;

namespace {

constexpr const char* kUsage =
    "usage: korvat-eval [--ini FILE] RAWFILE...\n"
    "Prints one line per raw-data file:\n"
    "  file;NoPeak;FIDArea;FIDStart;FIDEnd;FIDStartLevel;FIDEndLevel\n"
    "or file;error;reason when the file does not load or gives no finite area. Control\n"
    "characters in the file name and the reason are escaped (\\r \\n \\0 \\xNN, \\\\ for a\n"
    "backslash); a field holding ';' or '\"' is put in double quotes, inner ones doubled.\n"
    "Detection settings come from FILE, or else from the Korvat.ini beside the program.\n"
    "Exit status: 0 all files evaluated, 1 some file did not, 2 bad usage.\n";

void printErr(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    QString iniPath;
    QStringList files;
    const QStringList args = app.arguments().mid(1);
    bool optionsDone = false;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString& a = args[k];
        if (!optionsDone && a == QLatin1String("--ini")) {
            if (k + 1 >= args.size() || !iniPath.isEmpty()) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            iniPath = args[++k];
        } else if (!optionsDone && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsDone && a == QLatin1String("--")) {
            optionsDone = true;
        } else if (!optionsDone && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            printErr(QStringLiteral("korvat-eval: unknown option %1\n").arg(a));
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            files << a;
        }
    }
    if (files.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const bool iniGiven = !iniPath.isEmpty();
    if (!iniGiven)
        iniPath =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Korvat.ini"));
    Settings settings;
    IniFile ini(iniPath);
    if (iniGiven && !ini.exists()) {
        // A mistyped --ini must not pass as a check with other settings.
        printErr(QStringLiteral("korvat-eval: %1 not found\n").arg(iniPath));
        return 2;
    }
    QString readError;
    const auto doc = ini.read(&readError);
    const QString unusable = !readError.isEmpty() ? readError
                             : doc && doc->verdict == IniVerdict::NotSettings
                                 ? QStringLiteral("%1 is not a settings file: %2").arg(iniPath, doc->reason)
                                 : QString();
    if (!unusable.isEmpty() && iniGiven) {
        // Nor is a --ini that holds no settings.
        printErr(QStringLiteral("korvat-eval: %1\n").arg(unusable));
        return 2;
    }
    if (!unusable.isEmpty()) {
        printErr(QStringLiteral("korvat-eval: %1; using the default detection settings\n").arg(unusable));
    } else if (!ini.exists()) {
        printErr(QStringLiteral("korvat-eval: %1 not found, using the default detection settings\n")
                     .arg(iniPath));
    } else if (const auto error = loadSettings(ini, settings)) {
        // The detection keys are integers and are read before any float key, so they are in
        // place even when a later key stops the reading.
        printErr(QStringLiteral("korvat-eval: %1\n").arg(*error));
    }
    for (const QString& warning : std::as_const(settings.warnings))
        printErr(QStringLiteral("korvat-eval: %1\n").arg(warning));
    const DetectionSettings detection = DetectionSettings::from(settings);

    int status = 0;
    for (const QString& file : files) {
        bool ok = false;
        const QString line = evaluateRawFileLine(file, detection, &ok);
        std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
        if (!ok)
            status = 1;
    }
    std::fflush(stdout);
    return status;
}
