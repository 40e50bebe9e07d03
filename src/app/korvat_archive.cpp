// The lab's archive from the command line: korvat-archive [--archive WHERE] COMMAND …
//   import RESULTS.csv…   every run of each results file, with its companions (again: nothing changes)
//   list                  every test
//   find [--chemical C] [--material M] [--since DATE] [--serial S]
//   show TEST             a test's parameters and per-cell figures (TEST: its id or the id's start)
//   export TEST [-o FILE] the test's measurements as the locale-free CSV
//   chart [filters] [--pdf FILE]  the chemical resistance chart: materials × chemicals
// The archive is --archive, else [Archive] Database of the user's settings, else
// $XDG_DATA_HOME/korvat/archive.sqlite.
#include "run/Archive.h"
#include "run/ArchiveImport.h"
#include "shell/IniFile.h"
#include "shell/ProgramFolders.h"
#include "util/Clock.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <memory>

using namespace korvat;

namespace {

constexpr const char* kVersion = "1.1.0";

void out(const QString& text) { std::fputs(text.toUtf8().constData(), stdout); }
void err(const QString& text) { std::fputs(text.toUtf8().constData(), stderr); }

QString usage() {
    return QStringLiteral(
        "Usage: korvat-archive [--archive WHERE] [--ini FILE] COMMAND ...\n"
        "  import RESULTS.csv...        store every run of the results files (again: nothing changes)\n"
        "  list                         every test in the archive\n"
        "  find [--chemical C] [--material M] [--since YYYY-MM-DD] [--serial S]\n"
        "  show TEST                    a test's parameters and per-cell figures\n"
        "  export TEST [-o FILE]        the test's measurements as locale-free CSV\n"
        "  chart [filters] [--pdf FILE] the chemical resistance chart (CSV; a PDF page with --pdf)\n"
        "WHERE: a SQLite file, or postgresql://host/db (credentials in ~/.pgpass or the service file).\n"
        "Default: [Archive] Database of the settings, else $XDG_DATA_HOME/korvat/archive.sqlite.\n");
}

int usageError(const QString& why) {
    err(QStringLiteral("korvat-archive: %1\n%2").arg(why, usage()));
    return 2;
}

QString archiveLocation(const QCommandLineParser& p, const QCommandLineOption& archive, const QCommandLineOption& ini) {
    if (p.isSet(archive))
        return p.value(archive);
    const ProgramFolders folders =
        chooseProgramFolders(gatherFolderFacts(QCoreApplication::applicationDirPath() + QLatin1Char('/'),
                                               p.isSet(ini) ? QFileInfo(p.value(ini)).absoluteFilePath() : QString()));
    if (QFileInfo::exists(folders.iniFile)) {
        const QString named = IniFile(folders.iniFile).readString(QStringLiteral("Archive"), QStringLiteral("Database"), QString()).trimmed();
        if (!named.isEmpty())
            return named;
    }
    return Archive::defaultLocation();
}

QString number(const std::optional<double>& v, int decimals = 1) {
    return v ? QString::number(*v, 'f', decimals) : QStringLiteral("-");
}

// A test named by its id or the id's beginning; exactly one must match.
std::optional<QString> resolve(const Archive& archive, const QString& given) {
    const QStringList ids = archive.idsStartingWith(given);
    if (ids.size() == 1)
        return ids.first();
    err(ids.isEmpty() ? QStringLiteral("korvat-archive: no test %1 in the archive\n").arg(given)
                      : QStringLiteral("korvat-archive: %1 names %2 tests; give more of the id\n").arg(given).arg(ids.size()));
    return std::nullopt;
}

bool writeChartPdf(const std::vector<ChartLine>& lines, const QString& title, const QString& path) {
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setResolution(300);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("korvat-archive"));
    QPainter p;
    if (!p.begin(&pdf))
        return false;
    const int w = pdf.width();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(14);
    p.setFont(font);
    int y = 120;
    p.drawText(0, y, title);
    font.setPointSizeF(9);
    p.setFont(font);
    y += 120;
    const QStringList heads = {QStringLiteral("Material"), QStringLiteral("Chemical"), QStringLiteral("EN ISO 374-1 level"),
                               QStringLiteral("Lowest breakthrough (min)"), QStringLiteral("Specimens"), QStringLiteral("Tests")};
    const double share[] = {0.28, 0.24, 0.14, 0.16, 0.09, 0.09};
    auto row = [&](const QStringList& cells, bool bold) {
        QFont f = font;
        f.setBold(bold);
        p.setFont(f);
        int x = 0;
        for (int i = 0; i < cells.size(); ++i) {
            const int cw = int(w * share[i]);
            p.drawText(QRect(x, y - 50, cw - 20, 60), Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(cells[i], Qt::ElideRight, cw - 20));
            x += cw;
        }
        y += 60;
        p.drawLine(0, y - 45, w, y - 45);
    };
    row(heads, true);
    for (const ChartLine& l : lines) {
        if (y > pdf.height() - 80) {
            pdf.newPage();
            y = 120;
            row(heads, true);
        }
        row({l.material, l.chemical,
             l.level == 0 && !l.levelAtLeast ? QStringLiteral("0") : (l.levelAtLeast ? QStringLiteral("≥ ") : QString()) + QString::number(l.level),
             l.lowestBt10      ? QString::number(*l.lowestBt10, 'f', 1)
             : l.brokeUntimed ? QStringLiteral("by the first measurement")
                              : QStringLiteral("none in %1").arg(QString::number(l.heldMinutes, 'f', 0)),
             QString::number(l.specimens), QString::number(l.tests)},
            false);
    }
    return p.end();
}

} // namespace

int main(int argc, char** argv) {
    korvat::readLocalTimeZoneOnce();
    // Only the chart's PDF page needs fonts (and then no display): the rest runs without a GUI.
    bool pdf = false;
    for (int i = 1; i < argc; ++i)
        pdf = pdf || QByteArray(argv[i]).startsWith("--pdf");
    if (pdf && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (pdf)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvat-archive"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion));

    QCommandLineParser p;
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption archiveOpt(QStringLiteral("archive"), QString(), QStringLiteral("WHERE"));
    const QCommandLineOption iniOpt(QStringLiteral("ini"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption chemical(QStringLiteral("chemical"), QString(), QStringLiteral("C"));
    const QCommandLineOption material(QStringLiteral("material"), QString(), QStringLiteral("M"));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("S"));
    const QCommandLineOption output(QStringLiteral("o"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption pdfOpt(QStringLiteral("pdf"), QString(), QStringLiteral("FILE"));
    p.addOptions({help, version, archiveOpt, iniOpt, chemical, material, since, serial, output, pdfOpt});
    if (!p.parse(QCoreApplication::arguments()))
        return usageError(p.errorText());
    if (p.isSet(help)) {
        out(usage());
        return 0;
    }
    if (p.isSet(version)) {
        out(QStringLiteral("korvat-archive %1\n").arg(QString::fromLatin1(kVersion)));
        return 0;
    }
    const QStringList args = p.positionalArguments();
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    const QStringList commands = {"import", "list", "find", "show", "export", "chart"};
    if (!commands.contains(command))
        return usageError(QStringLiteral("unknown command %1").arg(command));

    ArchiveFilter filter;
    filter.chemical = p.value(chemical);
    filter.material = p.value(material);
    filter.serial = p.value(serial);
    if (p.isSet(since)) {
        const QDate d = QDate::fromString(p.value(since), Qt::ISODate);
        if (!d.isValid())
            return usageError(QStringLiteral("--since takes a date as 2026-12-31, not %1").arg(p.value(since)));
        filter.since = d.startOfDay();
    }
    if ((command == QLatin1String("import") && rest.isEmpty()) ||
        ((command == QLatin1String("show") || command == QLatin1String("export")) && rest.size() != 1))
        return usageError(QStringLiteral("%1: wrong number of arguments").arg(command));

    const QString where = archiveLocation(p, archiveOpt, iniOpt);
    QString error;
    const std::unique_ptr<Archive> archive = Archive::open(where, &error);
    if (!archive) {
        err(QStringLiteral("korvat-archive: %1\n").arg(error));
        return 1;
    }

    if (command == QLatin1String("import")) {
        int status = 0, added = 0, present = 0, completed = 0;
        for (const QString& file : rest) {
            const ImportedFile imported = archivedTestsOf(file);
            if (!imported.ok) {
                err(QStringLiteral("korvat-archive: %1; nothing of it imported\n").arg(imported.error));
                status = 1;
                continue;
            }
            for (const ArchivedTest& t : imported.tests) {
                int filled = 0;
                switch (archive->store(t, &error, &filled)) {
                case Archive::Stored::Added:
                    ++added;
                    out(QStringLiteral("added %1 %2 (run %3, %4 measurements)\n")
                            .arg(t.testId, file)
                            .arg(t.fileRun)
                            .arg(t.measurements.size()));
                    break;
                case Archive::Stored::Completed:
                    ++completed;
                    out(QStringLiteral("completed %1 %2 (run %3, %4 missing measurements added)\n")
                            .arg(t.testId, file)
                            .arg(t.fileRun)
                            .arg(filled));
                    break;
                case Archive::Stored::AlreadyThere:
                    ++present;
                    out(QStringLiteral("already there %1 %2 (run %3)\n").arg(t.testId, file).arg(t.fileRun));
                    break;
                case Archive::Stored::Failed:
                    err(QStringLiteral("korvat-archive: %1 run %2: %3; nothing of that run stored\n")
                            .arg(file)
                            .arg(t.fileRun)
                            .arg(error));
                    status = 1;
                    break;
                }
            }
        }
        err(QStringLiteral("%1 test(s) added, %2 completed, %3 already in the archive\n").arg(added).arg(completed).arg(present));
        return status;
    }
    if (command == QLatin1String("list") || command == QLatin1String("find")) {
        const std::vector<TestListing> tests = archive->find(command == QLatin1String("list") ? ArchiveFilter{} : filter, &error);
        if (!error.isEmpty()) {
            err(QStringLiteral("korvat-archive: %1\n").arg(error));
            return 1;
        }
        for (const TestListing& t : tests)
            out(QStringLiteral("%1  %2  %3  %4 measurements  %5  %6  %7\n")
                    .arg(t.testId, t.started.toString(Qt::ISODate), t.instrument.isEmpty() ? QStringLiteral("-") : t.instrument)
                    .arg(t.measurements)
                    .arg(t.chemicals.join(QLatin1Char('/')), t.materials.join(QLatin1Char('/')), t.resultsFile));
        return 0;
    }
    if (command == QLatin1String("show") || command == QLatin1String("export")) {
        const std::optional<QString> id = resolve(*archive, rest.first());
        if (!id)
            return 1;
        const std::optional<ArchivedTest> t = archive->load(*id, &error);
        if (!t) {
            err(QStringLiteral("korvat-archive: %1\n").arg(error));
            return 1;
        }
        if (command == QLatin1String("export")) {
            QByteArray bytes = exportHeaderLine();
            for (const ExportRecord& r : t->measurements)
                bytes += exportRowLine(r);
            if (p.isSet(output)) {
                QFile f(p.value(output));
                if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
                    err(QStringLiteral("korvat-archive: %1: %2\n").arg(p.value(output), f.errorString()));
                    return 1;
                }
                return 0;
            }
            std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
            return 0;
        }
        out(QStringLiteral("test %1\ninstrument %2\nresults file %3 (run %4)\nstarted %5\ndetector %6\n"
                           "measuring time %7 s, planned %8 min, sample area %9 cm²\n")
                .arg(t->testId, t->instrument, t->resultsFile)
                .arg(t->fileRun)
                .arg(t->started.toString(Qt::ISODate), t->detector)
                .arg(t->measuringSeconds)
                .arg(t->plannedMinutes)
                .arg(number(t->sampleArea, 2)));
        out(QStringLiteral("calibration FID %1 ppm = %2, FPD %3 ppm = %4; requirement %5; %6 measurements\n")
                .arg(t->fidCalPpm)
                .arg(t->fidCalArea)
                .arg(t->fpdCalPpm)
                .arg(t->fpdCalArea)
                .arg(t->requirement)
                .arg(t->measurements.size()));
        out(QStringLiteral("cell detector sample | material | lot | chemical | bt0.1 min | bt1.0 min | level | steady rate | cumulative | decision\n"));
        for (const ArchivedCell& c : t->cells)
            out(QStringLiteral("%1 %2 %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 | %11 | %12\n")
                    .arg(c.cell)
                    .arg(c.detector, c.sample, c.material, c.lot, c.chemical, number(c.bt01Minutes), number(c.bt10Minutes),
                         c.level.isEmpty() ? QStringLiteral("-") : c.level)
                    .arg(number(c.steadyRate, 4), QString::number(c.cumulative, 'f', 3),
                         c.decision.isEmpty() ? QStringLiteral("-") : c.decision));
        return 0;
    }
    // chart
    const std::vector<ChartLine> lines = archive->chart(filter, &error);
    if (!error.isEmpty()) {
        err(QStringLiteral("korvat-archive: %1\n").arg(error));
        return 1;
    }
    const QByteArray csv = chartCsv(lines);
    std::fwrite(csv.constData(), 1, std::size_t(csv.size()), stdout);
    if (p.isSet(pdfOpt)) {
        QStringList what;
        if (!filter.chemical.isEmpty())
            what << filter.chemical;
        if (!filter.material.isEmpty())
            what << filter.material;
        const QString title = QStringLiteral("Chemical resistance chart") +
                              (what.isEmpty() ? QString() : QStringLiteral(": ") + what.join(QStringLiteral(", ")));
        if (!writeChartPdf(lines, title, p.value(pdfOpt))) {
            err(QStringLiteral("korvat-archive: %1 cannot be written\n").arg(p.value(pdfOpt)));
            return 1;
        }
    }
    return 0;
}
