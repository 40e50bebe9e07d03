// Re-evaluates stored raw-data files from the command line, one result line per file, for batch
// checks of old measurements. The detection settings come from the Korvat.ini beside the program
// or from --ini; every file is evaluated as the first load after start-up would be. With --summary
// it reads results files instead and prints the lab's figures of every cell, as the run showed them.
#include "util/Clock.h"
#include "evaluation/CellSummary.h"
#include "evaluation/GroupSummary.h"
#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFileReader.h"
#include "run/EventJournal.h"
#include "shell/Config.h"
#include "shell/CommandLine.h"
#include "shell/IniFile.h"
#include "shell/ProgramFolders.h"
#include "util/Utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <algorithm>
#include <cstdio>

using namespace korvat;

namespace {

void printErr(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
}

const QStringList kUsage = {QStringLiteral("[--ini FILE] RAWFILE..."),
                            QStringLiteral("[--ini FILE] --summary RESULTSFILE..."),
                            QStringLiteral("--verify-journal JOURNAL..."), QStringLiteral("--version")};
const char* const kHelp =
    "Prints one line per raw-data file:\n"
    "  file;NoPeak;FIDArea;FIDStart;FIDEnd;FIDStartLevel;FIDEndLevel\n"
    "or file;error;reason when the file does not load or gives no finite area. Control\n"
    "characters in the file name and the reason are escaped (\\r \\n \\0 \\xNN, \\\\ for a\n"
    "backslash); a field holding ';' or '\"' is put in double quotes, inner ones doubled.\n"
    "With --summary, per results file a title line and one line per sample cell and detector\n"
    "of its last run:\n"
    "  file;cell;detector;sample;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;\n"
    "  cumulative;mdpr;duration;bt01_below;bt10_below;level_bound;contact;mass_basis;status;\n"
    "  material;thickness;lot;area;u_rate01;u_rate10;u_bt01;u_bt10;u_sspr;D;time_lag;sspr_fit;\n"
    "  fit_residual;fit;decision\n"
    "(standard uncertainties, k = 1: of rates in %, of times in minutes; D in cm2/s), then,\n"
    "when cells test the same material against the same chemical, a title line and three\n"
    "lines (mean, sd, min) per group of replicates:\n"
    "  file;group;detector;material;chemical;cells;statistic;bt01;bt10;sspr;cumulative;D;\n"
    "  u_bt01;u_bt10;u_sspr;level;requirement;rule;decision;note\n"
    "(minutes, ug/cm2/min, ug/cm2; empty when not reached), or file;error;reason.\n"
    "With --verify-journal, per event journal (<name>_events.log) one line:\n"
    "  file;ok;LINES   or   file;bad;LINE;reason   (the first line that does not fit the chain)\n"
    "then one line per row or raw-data file that no longer matches what the journal recorded:\n"
    "  file;row;LINE;reason   or   file;raw;LINE;reason   (LINE: the measurement's journal line)\n"
    "Detection settings come from FILE, or else from the Korvat.ini korvat itself reads: the\n"
    "one beside the program, or for the installed program ~/.config/korvat/Korvat.ini.\n"
    "Exit status: 0 all files evaluated, 1 some file did not, 2 bad usage.\n";

QString csvField(const QString& text) {
    return spreadsheetField(escapeControlCharacters(text));
}

QString summaryTitleLine() {
    return QStringLiteral(
        "file;cell;detector;sample;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;cumulative;mdpr;duration;"
        "bt01_below;bt10_below;level_bound;contact;mass_basis;status;material;thickness;lot;area;u_rate01;u_rate10;"
        "u_bt01;u_bt10;u_sspr;D;time_lag;sspr_fit;fit_residual;fit;decision");
}

// The figures of the file's last run, with the summary file's decimals and a decimal point: the
// columns of summaryFields, in the C locale whatever the process runs under.
QStringList summaryLines(const QString& path, const DetectionSettings& detection, bool* ok) {
    ResultsFileRead read = readResultsFile(path);
    const QString name = csvField(path);
    if (!read.ok) {
        *ok = false;
        return {name + QStringLiteral(";error;") + spreadsheetField(escapeControlCharacters(path) + read.detail)};
    }
    *ok = true;
    ResultsRun& run = read.runs.back();
    if (read.runs.size() > 1)
        printErr(QStringLiteral("korvat-eval: %1 holds %2 runs; the figures are those of the last one (from line %3)\n")
                     .arg(escapeControlCharacters(path))
                     .arg(read.runs.size())
                     .arg(run.firstLine > 0 ? run.firstLine : run.headerLine));
    // The smallest findable peak counts the baseline noise of the cells' windows, which only the
    // raw-data files beside the results still hold; the searches' settings are the run's.
    QStringList notes;
    const DetectionSettings settings = run.parameters.detection.value_or(detection);
    attachRawDataNoise(run, path, settings, &notes);
    for (const QString& note : std::as_const(notes))
        printErr(QStringLiteral("korvat-eval: %1; that detection limit rests on the search's threshold alone\n")
                     .arg(escapeControlCharacters(note)));
    std::vector<const ResultRow*> rows;
    rows.reserve(run.rows.size());
    for (const ResultRow& r : run.rows)
        rows.push_back(&r);
    const std::vector<CellSummary> summaries =
        summarizeCells(rows, run.parameters, run.deviceTyp == TDeviceTyp::FIDFPD, detection);
    QStringList lines{summaryTitleLine()};
    for (const CellSummary& s : summaries) {
        const QStringList f = summaryFields(s, QLocale::c());
        QStringList out{name,
                        f[kSumCell],
                        f[kSumDetector],
                        csvField(s.sampleName),
                        f[kSumBt01First],
                        f[kSumBt01],
                        f[kSumBt10First],
                        f[kSumBt10],
                        f[kSumResolution],
                        f[kSumLevel],
                        f[kSumSteady],
                        f[kSumCumulative],
                        f[kSumMdpr],
                        f[kSumDuration],
                        f[kSumBt01Below],
                        f[kSumBt10Below],
                        f[kSumLevelBound],
                        f[kSumContact],
                        csvField(f[kSumMassBasis]),
                        csvField(f[kSumStatus])};
        for (int c = kSumMaterial; c <= kSumDecision; ++c)
            out << csvField(f[c]);
        lines << out.join(QLatin1Char(';'));
    }
    // The groups of replicates after the cells, judged against the run's requirement.
    const std::vector<GroupSummary> groups = summarizeGroups(summaries);
    if (!groups.empty()) {
        lines << QStringLiteral("file;") + groupTitles().join(QLatin1Char(';'));
        for (const GroupSummary& g : groups)
            for (const QStringList& f : groupLines(g, run.parameters.requirement, QLocale::c())) {
                QStringList out{name};
                for (const QString& field : f)
                    out << csvField(field);
                lines << out.join(QLatin1Char(';'));
            }
    }
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    QCoreApplication app(argc, argv);

    CommandLine line(QStringLiteral("korvat-eval"), kUsage, QString::fromLatin1(kHelp));
    const QCommandLineOption iniOption(QStringLiteral("ini"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption summaryOption(QStringLiteral("summary"));
    const QCommandLineOption verifyOption(QStringLiteral("verify-journal"));
    line.parser().addOptions({iniOption, summaryOption, verifyOption});
    if (const int status = line.parse(app.arguments()); status >= 0)
        return status;
    const QStringList inis = line.parser().values(iniOption);
    if (inis.size() > 1 || (inis.size() == 1 && inis.first().isEmpty()))
        return line.usageError(QStringLiteral("--ini needs one file name"));
    QString iniPath = inis.value(0);
    const QStringList files = line.parser().positionalArguments();
    const bool summary = line.parser().isSet(summaryOption);
    const bool verifyJournals = line.parser().isSet(verifyOption);
    if (files.isEmpty())
        return line.usageError(QStringLiteral("no file given"));

    if (verifyJournals) {
        if (summary)
            return line.usageError(QStringLiteral("--summary and --verify-journal exclude each other"));
        int status = 0;
        for (const QString& file : files) {
            const JournalCheck check = verifyJournal(file);
            QString line;
            if (!check.readable)
                line = csvField(file) + QStringLiteral(";error;") + csvField(check.reason);
            else if (check.firstBadLine > 0)
                line = csvField(file) + QStringLiteral(";bad;%1;").arg(check.firstBadLine) + csvField(check.reason);
            else
                line = csvField(file) + QStringLiteral(";ok;%1").arg(check.lines);
            if (!check.readable || check.firstBadLine > 0)
                status = 1;
            std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
            if (!check.readable)
                continue;
            // The chain says the journal is as written; the hashes in it say whether the rows
            // and raw-data files still are.
            for (const JournalMismatch& m : verifyJournalData(file)) {
                status = 1;
                const QString mismatch = csvField(file) + (m.raw ? QStringLiteral(";raw;") : QStringLiteral(";row;")) +
                                         QString::number(m.line) + QLatin1Char(';') + csvField(m.text);
                std::fputs((mismatch + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
            }
        }
        std::fflush(stdout);
        return status;
    }

    const bool iniGiven = !iniPath.isEmpty();
    // The settings korvat itself would read: beside the program, or the user's for the installed one.
    if (!iniGiven)
        iniPath = chooseProgramFolders(gatherFolderFacts(QCoreApplication::applicationDirPath(), {})).iniFile;
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
    } else {
        for (const QString& problem : loadSettings(ini, settings))
            printErr(QStringLiteral("korvat-eval: %1\n").arg(problem));
    }
    for (const QString& warning : std::as_const(settings.warnings))
        printErr(QStringLiteral("korvat-eval: %1\n").arg(warning));
    const DetectionSettings detection = DetectionSettings::from(settings);

    int status = 0;
    if (summary) {
        for (const QString& file : files) {
            bool ok = false;
            for (const QString& line : summaryLines(file, detection, &ok))
                std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
            if (!ok)
                status = 1;
        }
        std::fflush(stdout);
        return status;
    }
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
