// korvat-report as the lab runs it on results files of fixed runs: the PDF's text holds the
// figures of the summary in the report's language and decimal separator, one page of curves per
// detector, the journal's events, and a page that is not blank; a results file that does not read
// or a folder that cannot be written gives a message naming the file and leaves no report behind.

#include "evaluation/CellSummary.h"
#include "evaluation/ResultsFileReader.h"
#include "run/EventJournal.h"
#include "support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

namespace korvat {
namespace {

QString reportTool() { return test::SimProcess::binDir() + "/korvat-report"; }

bool havePoppler() { return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(); }

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

ToolRun runTool(const QStringList& args, const QString& program = reportTool()) {
    QProcess p;
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// The golden run's results file and raw-data files in `dir`, the file's own path in its header.
QString copyGolden(const QString& which, const QString& dir) {
    const QDir src(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/") + which);
    for (const QString& name : src.entryList(QDir::Files)) {
        QFile in(src.filePath(name));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray bytes = in.readAll();
        bytes.replace("@DIR@", dir.toLocal8Bit());
        QFile out(QDir(dir).filePath(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    return QDir(dir).filePath(QStringLiteral("Golden.csv"));
}

int pageCount(const QString& pdf) {
    const ToolRun r = runTool({pdf}, QStringLiteral("pdfinfo"));
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(r.out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& pdf) {
    return runTool({QStringLiteral("-raw"), pdf, QStringLiteral("-")}, QStringLiteral("pdftotext")).out;
}

// The summary's figures of the last run, computed here from the reader's rows.
std::vector<QStringList> expectedFigures(const QString& csv, const QLocale& locale) {
    ResultsFileRead read = readResultsFile(csv);
    EXPECT_TRUE(read.ok) << read.error.toStdString();
    std::vector<QStringList> lines;
    if (!read.ok)
        return lines;
    ResultsRun& run = read.runs.back();
    std::vector<const ResultRow*> rows;
    for (const ResultRow& r : run.rows)
        rows.push_back(&r);
    for (const CellSummary& s : summarizeCells(rows, run.parameters, run.deviceTyp == TDeviceTyp::FIDFPD, DetectionSettings{}))
        lines.push_back(summaryFields(s, locale));
    return lines;
}

struct ReportCase {
    const char* name;
    const char* golden;
    const char* lang;
    const char* heading;   // the report's title in the language
    const char* notBroken; // how a cell that did not break through is given
    bool germanNumbers;
    int detectors;
};

class KorvatReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(KorvatReport, PdfHoldsTheSummaryFiguresInTheLanguageAndOneCurvePagePerDetector)
{
    if (!QFileInfo::exists(reportTool()) || !havePoppler())
        GTEST_SKIP() << "korvat-report or poppler-utils missing";
    const ReportCase& c = GetParam();
    QTemporaryDir dir;
    const QString csv = copyGolden(QString::fromLatin1(c.golden), dir.path());
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const ToolRun r = runTool({csv, QStringLiteral("-o"), pdf, QStringLiteral("--lang"), QString::fromLatin1(c.lang)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.heading))) << text.left(300).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("SN4A01-0815")));
    EXPECT_TRUE(text.contains(QString::fromUtf8("µg/cm²/min")));

    const QLocale locale = c.germanNumbers ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    const std::vector<QStringList> figures = expectedFigures(csv, locale);
    ASSERT_FALSE(figures.empty());
    EXPECT_EQ(std::count_if(figures.begin(), figures.end(), [](const QStringList& f) { return f[1] == QLatin1String("FPD"); }) > 0, c.detectors == 2);
    bool someNotBroken = false;
    for (const QStringList& f : figures) {
        SCOPED_TRACE(f.join(';').toStdString());
        // first measurement at 0.1, cumulative, test time; the detection limit where there is one.
        for (int i : {4, 11, 15, 14}) {
            if (!f[i].isEmpty()) {
                EXPECT_TRUE(text.contains(f[i])) << "field " << i;
            }
        }
        if (!f[11].isEmpty()) {
            EXPECT_EQ(f[11].contains(','), c.germanNumbers);
        }
        if (f[6].isEmpty()) {
            someNotBroken = true;
            EXPECT_TRUE(text.contains(QString::fromUtf8(c.notBroken).arg(f[15])));
        }
    }
    EXPECT_TRUE(someNotBroken) << "the golden runs hold a cell that never reached 1.0";
    const QString noEvents = QString::fromLatin1(c.lang) == "DE" ? QStringLiteral("keine") : QStringLiteral("none");
    EXPECT_TRUE(text.contains(noEvents));

    // Text pages around one page of curves per detector.
    QFile::remove(pdf);
    const ToolRun fidOnly = runTool({csv, QStringLiteral("-o"), pdf});
    ASSERT_EQ(fidOnly.exitCode, 0);
    const int pages = pageCount(pdf);
    EXPECT_GE(pages, 2 + c.detectors);
    EXPECT_EQ(text.count(QStringLiteral("FID")) > 0, true);
}

INSTANTIATE_TEST_SUITE_P(
    GoldenRuns, KorvatReport,
    ::testing::Values(
        ReportCase{"FidGerman", "fid", "DE", "Prüfbericht Permeation", "nicht durchgebrochen innerhalb %1 min", true, 1},
        ReportCase{"FidEnglish", "fid", "US", "Permeation test report", "not broken through within %1 min", false, 1},
        ReportCase{"FidfpdGerman", "fidfpd", "DE", "Prüfbericht Permeation", "nicht durchgebrochen innerhalb %1 min", true, 2},
        ReportCase{"FidfpdEnglish", "fidfpd", "US", "Permeation test report", "not broken through within %1 min", false, 2}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

TEST(KorvatReportPages, FidfpdHasOneMoreCurvePageThanFidAndPageOneIsNotBlank)
{
    if (!QFileInfo::exists(reportTool()) || !havePoppler())
        GTEST_SKIP() << "korvat-report or poppler-utils missing";
    QTemporaryDir a, b;
    const QString fid = copyGolden(QStringLiteral("fid"), a.path());
    const QString both = copyGolden(QStringLiteral("fidfpd"), b.path());
    ASSERT_EQ(runTool({fid, QStringLiteral("-o"), a.filePath("r.pdf")}).exitCode, 0);
    ASSERT_EQ(runTool({both, QStringLiteral("-o"), b.filePath("r.pdf")}).exitCode, 0);
    // One page of curves per detector (the text before them is longer with two detectors).
    const QString curves = QStringLiteral("5. Permeationskurven");
    EXPECT_EQ(pdfText(a.filePath("r.pdf")).count(curves), 1);
    EXPECT_EQ(pdfText(b.filePath("r.pdf")).count(curves), 2);
    EXPECT_GE(pageCount(b.filePath("r.pdf")), pageCount(a.filePath("r.pdf")) + 1);

    for (int page : {1, 2}) {
        SCOPED_TRACE(page);
        const QString prefix = a.filePath(QStringLiteral("page"));
        const QString n = QString::number(page);
        ASSERT_EQ(runTool({"-r", "40", "-f", n, "-l", n, "-png", "-singlefile", a.filePath("r.pdf"), prefix},
                          QStringLiteral("pdftoppm")).exitCode, 0);
        QImage image(prefix + QStringLiteral(".png"));
        ASSERT_FALSE(image.isNull());
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        EXPECT_GT(dark, image.width() * image.height() / 200) << "a page with almost nothing on it";
    }
}

TEST(KorvatReportEvents, TheJournalsDataEventsAndCalibrationAreInTheReport)
{
    if (!QFileInfo::exists(reportTool()) || !havePoppler())
        GTEST_SKIP() << "korvat-report or poppler-utils missing";
    QTemporaryDir dir;
    const QString csv = copyGolden(QStringLiteral("fid"), dir.path());
    {
        EventJournal journal;
        ASSERT_TRUE(journal.open(dir.filePath(QStringLiteral("Golden_events.log"))));
        const QDateTime t(QDate(2026, 1, 15), QTime(8, 1, 0));
        ASSERT_TRUE(journal.append({t, "run-start", "", 0, "run started"}));
        ASSERT_TRUE(journal.append({t.addSecs(10), "calibration", "", 0, "FID area 445163 taken over"}));
        ASSERT_TRUE(journal.append({t.addSecs(60), "line-lost", "/dev/ttyUSB0", 4, "no answer for 5 s"}));
        ASSERT_TRUE(journal.append({t.addSecs(70), "setting-changed", "", 0, "not a data event"}));
    }
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    const ToolRun r = runTool({csv, "-o", pdf, "--lang", "US"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString text = pdfText(pdf);
    // The kind and the moment as the report's language writes them, not as the journal keeps them.
    EXPECT_TRUE(text.contains(QStringLiteral("Line lost"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("2026-01-15 08:02:00"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("no answer for 5 s")));
    EXPECT_TRUE(text.contains(QStringLiteral("FID area 445163 taken over")));
    EXPECT_FALSE(text.contains(QStringLiteral("not a data event")));
    EXPECT_FALSE(text.contains(QStringLiteral("\nnone\n")));
}

TEST(KorvatReportFailures, AMessageNamingTheFileAndNoReportLeftBehind)
{
    if (!QFileInfo::exists(reportTool()))
        GTEST_SKIP() << "korvat-report missing";
    QTemporaryDir dir;
    const QString csv = copyGolden(QStringLiteral("fid"), dir.path());
    QFile garbage(dir.filePath(QStringLiteral("garbage.csv")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a results file\r\n1;2;3\r\n");
    garbage.close();
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    struct Case {
        const char* what;
        QString input, output, named;
    } cases[] = {
        {"missing results file", dir.filePath("absent.csv"), dir.filePath("a.pdf"), dir.filePath("absent.csv")},
        {"not a results file", garbage.fileName(), dir.filePath("b.pdf"), garbage.fileName()},
        {"folder that cannot be made", csv, dir.filePath("plain/c.pdf"), dir.filePath("plain/c.pdf")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = runTool({c.input, "-o", c.output});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(c.named)) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(c.output));
    }
    // Nothing but the inputs: no temporary leftovers.
    EXPECT_EQ(QDir(dir.path()).entryList(QStringList{"*.pdf*"}, QDir::Files).size(), 0);
    EXPECT_EQ(runTool({}).exitCode, 2);
}

} // namespace
} // namespace korvat
