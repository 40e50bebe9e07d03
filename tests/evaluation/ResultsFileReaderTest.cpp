// Reading a results file back: the header values (measuring time per cell, configuration,
// language, decimal separator) and every row as it was written, in both languages, with a decimal
// comma or point, one or two detectors, the exponent form of large numbers and elapsed times past
// a day; files that hold several runs; the line and the reason for a file that does not read; the
// stored results files of the fixed runs read back row for row; and the baseline noise taken from
// the raw-data files beside a results file.

#include "evaluation/CellSummary.h"
#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFileReader.h"
#include "support/QtPrinters.h"
#include "util/CodePage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QString kGolden = QStringLiteral(KORVAT_TEST_SOURCE_DIR "/run/golden/");

ResultsHeader header(int messzeit) {
    ResultsHeader h;
    h.path = QStringLiteral("/data/Glove7.csv");
    h.moment = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    h.serial = QStringLiteral("K-0042");
    h.FIDCALMenge = 100;
    h.FIDCalArea = 445163;
    h.LimitFID = 1;
    h.FIDSampleFactor = 1;
    h.LimitFPD = 0.5;
    h.FPDFactor = 1;
    h.Startzelle = 2;
    h.AnzahlZellen = 5;
    h.AnzahlMessreihen = 10;
    h.SampleTime = 5;
    h.InjectionTime = 3;
    h.Messzeit = messzeit;
    h.description = QStringLiteral("Nitril; Charge 7\nZeile 2");
    return h;
}

ResultRow row(int position, int number, qint64 elapsedMs, double rate) {
    ResultRow r;
    r.runZelle = position;
    r.marker = rate > 1 ? QLatin1Char('*') : QLatin1Char(' ');
    r.breakTime = position >= 4 ? QStringLiteral("--:--") : QString();
    r.sChemikalie = QStringLiteral("Toluol");
    r.FIDSampleFactor = 1;
    r.Flow = 100;
    r.elapsedMs = elapsedMs;
    r.FIDppm = rate * 19.6 / 0.241;
    r.FIDMessMenge = rate;
    r.FIDArea = 4452 * rate;
    r.FPDMessMenge = rate / 2;
    r.FPDArea = 39000 * rate;
    r.sampleName = position >= 4 ? QStringLiteral("Probe %1").arg(position - 3) : QStringLiteral("Refgas");
    r.moment = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)).addMSecs(elapsedMs);
    r.runAktiv = number;
    return r;
}

struct FileForm {
    const char* name;
    int ID;
    QLocale locale;
    TDeviceTyp deviceTyp;
    std::vector<ResultRow> rows;
    int messzeit = 15;
};

QString fileText(const FileForm& form) {
    QStringList lines = resultsHeaderLines(header(form.messzeit), form.ID, form.deviceTyp, form.locale);
    for (const ResultRow& r : form.rows)
        lines << resultRowText(r, form.deviceTyp, form.locale);
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

// What was written, again as the writer writes it: the row is read whole when the texts agree.
void expectRowsWrittenAgain(const ResultsRun& run, const std::vector<ResultRow>& rows, const QLocale& locale) {
    ASSERT_EQ(run.rows.size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(resultRowText(run.rows[k], run.deviceTyp, locale), resultRowText(rows[k], run.deviceTyp, locale));
        EXPECT_EQ(run.rows[k].elapsedMs, rows[k].elapsedMs);
        EXPECT_EQ(run.rows[k].runAktiv, rows[k].runAktiv);
        EXPECT_EQ(run.rows[k].moment, rows[k].moment);
    }
}

} // namespace

TEST(ResultsFileReader, ReadsTheHeaderValuesAndRowsOfEveryForm) {
    ResultRow large = row(5, 3, 2 * 3600000, 12345678.9); // ppm, rate and area past their precision
    large.FIDSampleFactor = 123456;                        // the factor too: exponent form
    const std::vector<FileForm> forms{
        {"German, comma, FID", 0, kGerman, TDeviceTyp::FID, {row(2, 1, 24000, 0), row(4, 2, 48000, 0.5)}},
        {"English, point, FID and FPD", 1000, kEnglish, TDeviceTyp::FIDFPD, {row(2, 1, 24000, 0), row(6, 2, 48000, 2.5)}, 60},
        {"German texts, point", 0, QLocale::c(), TDeviceTyp::FIDFPD, {row(4, 1, 60000, 0.25)}},
        {"English texts, comma", 1000, kGerman, TDeviceTyp::FID, {row(4, 1, 60000, 0.25)}},
        {"exponent forms", 0, kGerman, TDeviceTyp::FIDFPD, {large}},
        {"elapsed past a day", 1000, kEnglish, TDeviceTyp::FID,
         {row(4, 1, (31 * 3600 + 5) * 1000LL, 1.5), row(5, 2, 100 * 3600 * 1000LL, 0)}},
    };
    for (const FileForm& form : forms) {
        SCOPED_TRACE(form.name);
        const ResultsFileRead read = parseResultsFile("a.csv", toCp1252(fileText(form)), form.locale);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.runs.size(), 1u);
        const ResultsRun& run = read.runs[0];
        EXPECT_EQ(run.ID, form.ID);
        EXPECT_EQ(run.deviceTyp, form.deviceTyp);
        EXPECT_EQ(run.measuringSeconds, form.messzeit);
        EXPECT_EQ(QString(run.decimalPoint), form.locale.decimalPoint());
        EXPECT_EQ(run.headerLine, 1);
        EXPECT_EQ(run.firstLine, form.deviceTyp == TDeviceTyp::FIDFPD ? 19 : 18);
        expectRowsWrittenAgain(run, form.rows, form.locale);
    }
    // The large values read back as the rounded texts say.
    const ResultsFileRead read = parseResultsFile("a.csv", toCp1252(fileText(forms[4])), kGerman);
    ASSERT_TRUE(read.ok);
    EXPECT_DOUBLE_EQ(read.runs[0].rows[0].FIDMessMenge, 12345680.0);
    EXPECT_DOUBLE_EQ(read.runs[0].rows[0].FIDSampleFactor, 123460.0);
}

// An existing file gets the next run's rows below its old content, without a header; a file put
// together from two files holds a second header block.
TEST(ResultsFileReader, AFileOfSeveralRunsGivesEachRunItsRows) {
    QString text = fileText({"", 0, kGerman, TDeviceTyp::FID, {row(4, 1, 60000, 0.1), row(5, 2, 90000, 0.2)}});
    text += resultRowText(row(4, 1, 62000, 0.3), TDeviceTyp::FID, kGerman) + "\r\n";
    text += resultRowText(row(6, 2, 92000, 0.4), TDeviceTyp::FID, kGerman) + "\r\n";
    text += fileText({"", 1000, kGerman, TDeviceTyp::FIDFPD, {row(6, 7, 30000, 3)}, 45});
    text += "\r\n"; // an empty line, as a spreadsheet may leave at the end
    const ResultsFileRead read = parseResultsFile("a.csv", toCp1252(text), kGerman);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    ASSERT_EQ(read.runs.size(), 3u);
    EXPECT_EQ(read.runs[0].rowLines, (std::vector<int>{18, 19}));
    EXPECT_EQ(read.runs[1].rowLines, (std::vector<int>{20, 21}));
    EXPECT_EQ(read.runs[1].headerLine, 1);
    EXPECT_EQ(read.runs[1].measuringSeconds, 15);
    EXPECT_EQ(read.runs[1].rows[0].elapsedMs, 62000);
    EXPECT_EQ(read.runs[2].headerLine, 22);
    EXPECT_EQ(read.runs[2].firstLine, 40);
    EXPECT_EQ(read.runs[2].ID, 1000);
    EXPECT_EQ(read.runs[2].deviceTyp, TDeviceTyp::FIDFPD);
    EXPECT_EQ(read.runs[2].measuringSeconds, 45);
    ASSERT_EQ(read.runs[2].rows.size(), 1u);
    EXPECT_EQ(read.runs[2].rows[0].runAktiv, 7);

    // A header block without rows (the file was chosen, no run yet) is a run without rows.
    const ResultsFileRead empty = parseResultsFile("b.csv", toCp1252(fileText({"", 0, kGerman, TDeviceTyp::FID, {}})));
    ASSERT_TRUE(empty.ok);
    ASSERT_EQ(empty.runs.size(), 1u);
    EXPECT_TRUE(empty.runs[0].rows.empty());
}

TEST(ResultsFileReader, AFileThatDoesNotReadNamesTheLineAndWhatIsWrong) {
    const QString good = resultRowText(row(4, 1, 60000, 0.5), TDeviceTyp::FID, kGerman);
    QStringList fields = good.split(';');
    auto with = [&fields](int k, const QString& text) {
        QStringList f = fields;
        f[k] = text;
        return f.join(';');
    };
    const QString head = fileText({"", 0, kGerman, TDeviceTyp::FID, {}});
    struct Case {
        const char* name;
        QString text;
        QString expected; // the message after the file name
    };
    const std::vector<Case> cases{
        {"a field too many", head + good + ";x\r\n", ", line 18: 15 fields where a row has 14"},
        {"a field missing", head + fields.mid(1).join(';') + "\r\n", ", line 18: 13 fields where a row has 14"},
        {"not a number", head + with(7, "15x3") + "\r\n", ", line 18: \"15x3\" is not a number"},
        {"a point in a comma file", head + with(8, "0.500") + "\r\n", ", line 18: \"0.500\" is not a number"},
        {"a group separator", head + with(9, "1.234,5") + "\r\n", ", line 18: \"1.234,5\" is not a number"},
        {"not finite", head + with(9, "nan") + "\r\n", ", line 18: \"nan\" is not a number"},
        {"a position past the cells", head + with(0, "9") + "\r\n", ", line 18: \"9\" is not a position (0 to 6)"},
        {"a break mark", head + with(1, "x") + "\r\n", ", line 18: \"x\" is not a break mark"},
        {"minutes past 59", head + with(6, "00:61:00") + "\r\n", ", line 18: \"00:61:00\" is not an elapsed time"},
        {"a date", head + with(11, "32.13.26") + "\r\n", ", line 18: \"32.13.26\" is not a date"},
        {"a measurement number", head + with(13, "1a") + "\r\n", ", line 18: \"1a\" is not a measurement number"},
        {"the second row", head + good + "\r\n" + with(5, "") + "\r\n", ", line 19: \"\" is not a number"},
        {"rows without a header", good + "\r\n", ", line 1: the header block of a results file"},
        {"an empty file", QString(), ", line 1: missing: the file holds no header block"},
        {"no column titles", head.section("\r\n", 0, 15) + "\r\nZeile 6\r\n" + good + "\r\n",
         ", line 17: the column titles expected, found \"Zeile 6\""},
        {"a header cut short", head.section("\r\n", 0, 5) + "\r\n",
         ", line 7: missing: the header block from line 1 does not end with \"Versuchsbeschreibung\""},
        {"no measuring time", QString(head).replace("Messzeit pro Zelle:;15 s", "Messzeit pro Zelle:;15"),
         ", line 10: \"15\" is not a measuring time in seconds"},
        {"a control character quoted", head + with(7, "1\x01") + "\r\n", ", line 18: \"1\\x01\" is not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultsFileRead read = parseResultsFile("broken.csv", toCp1252(c.text), kGerman);
        EXPECT_FALSE(read.ok);
        EXPECT_TRUE(read.runs.empty());
        EXPECT_TRUE(read.detail.startsWith(c.expected)) << read.detail.toStdString();
        EXPECT_EQ(read.error, "broken.csv" + read.detail);
    }
    // A long line is quoted in part, with its length said.
    const ResultsFileRead long_ = parseResultsFile("broken.csv", toCp1252(head + QString(5000, '7') + "\r\n"), kGerman);
    EXPECT_TRUE(long_.detail.endsWith("\u2026 (5000 characters)")) << long_.detail.toStdString();
}

// The results files of the fixed runs read back, and every row written again is the stored line.
TEST(ResultsFileReader, TheStoredResultsFilesReadBackRowForRow) {
    for (const char* folder : {"fid", "fidfpd"}) {
        SCOPED_TRACE(folder);
        const QString path = kGolden + folder + "/Golden.csv";
        const ResultsFileRead read = readResultsFile(path, kGerman);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        ASSERT_EQ(read.runs.size(), 1u);
        const ResultsRun& run = read.runs[0];
        EXPECT_EQ(run.deviceTyp, QLatin1String(folder) == "fid" ? TDeviceTyp::FID : TDeviceTyp::FIDFPD);
        EXPECT_EQ(run.measuringSeconds, 15);
        EXPECT_EQ(run.ID, 0);
        EXPECT_EQ(run.decimalPoint, QChar(','));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QStringList lines = fromCp1252(file.readAll()).split("\r\n");
        ASSERT_EQ(run.rows.size(), 20u);
        for (std::size_t k = 0; k < run.rows.size(); ++k)
            EXPECT_EQ(resultRowText(run.rows[k], run.deviceTyp, kGerman), lines[run.rowLines[k] - 1]) << k;
    }
}

// The noise of every cell measurement comes from its raw-data file; a cell with a file missing
// keeps none (its limit would be a mean over other windows than the run's), and the missing file
// is said. A run that kept no raw data at all is said nothing about.
TEST(ResultsFileReader, NoiseComesFromTheRawDataFilesOfEveryMeasurementOfACell) {
    QTemporaryDir dir;
    const QString folder = kGolden + "fidfpd/";
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(folder + name, dir.filePath(name)));
    const QString path = dir.filePath("Golden.csv");
    ResultsFileRead read = readResultsFile(path, kGerman);
    ASSERT_TRUE(read.ok);
    ResultsRun run = read.runs[0];
    const DetectionSettings settings;

    QStringList notes;
    attachRawDataNoise(run, path, settings, &notes);
    EXPECT_TRUE(notes.isEmpty()) << notes.join('|').toStdString();
    int withNoise = 0;
    for (const ResultRow& r : run.rows) {
        if (r.runZelle < 4 || !isMeasurement(r, Detector::FID)) {
            EXPECT_FALSE(r.fidNoiseArea.has_value()) << r.runAktiv;
            continue;
        }
        ++withNoise;
        ASSERT_TRUE(r.fidNoiseArea && r.fpdNoiseArea) << r.runAktiv;
        EXPECT_GT(*r.fidNoiseArea, 0);
        // The same call on the file's points with the window's first point put back.
        Series s1, s2, slope;
        ASSERT_TRUE(loadRawData(dir.filePath(QStringLiteral("Golden_%1.txt").arg(r.runAktiv)), s1, s2, slope).ok);
        s1.y.insert(s1.y.begin(), 1e9); // never looked at
        EXPECT_EQ(*r.fidNoiseArea, *baselineNoiseArea(s1.y, settings));
    }
    EXPECT_GT(withNoise, 4);

    // Cell 3 (position 6) loses a file: its noise goes, the other cells keep theirs.
    int lost = 0;
    for (const ResultRow& r : run.rows)
        if (r.runZelle == 6 && isMeasurement(r, Detector::FID) && lost == 0)
            lost = r.runAktiv;
    ASSERT_GT(lost, 0);
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("Golden_%1.txt").arg(lost))));
    notes.clear();
    attachRawDataNoise(run, path, settings, &notes);
    ASSERT_EQ(notes.size(), 1);
    EXPECT_TRUE(notes[0].contains(QStringLiteral("Golden_%1.txt not found").arg(lost))) << notes[0].toStdString();
    for (const ResultRow& r : run.rows) {
        if (r.runZelle == 6) {
            EXPECT_FALSE(r.fidNoiseArea || r.fpdNoiseArea) << r.runAktiv;
        } else if (r.runZelle >= 4 && isMeasurement(r, Detector::FID)) {
            EXPECT_TRUE(r.fidNoiseArea.has_value()) << r.runAktiv;
        }
    }

    // No raw-data file at all: no noise, and nothing to say.
    for (const QString& name : QDir(dir.path()).entryList({"Golden_*.txt"}, QDir::Files))
        QFile::remove(dir.filePath(name));
    notes.clear();
    attachRawDataNoise(run, path, settings, &notes);
    EXPECT_TRUE(notes.isEmpty());
    for (const ResultRow& r : run.rows) {
        EXPECT_FALSE(r.fidNoiseArea || r.fpdNoiseArea);
    }
}

// The figures from a results file are the live ones exactly: the live summary works from the
// values as the file records them, so a rate just below a threshold that the file rounds up to
// it, an exact half of the last digit and a rate in exponent form give the same figures both ways.
TEST(ResultsFileReader, FiguresFromTheFileAreTheLiveFiguresExactly) {
    const std::vector<std::vector<double>> cellRates{
        {0.0, 0.09996, 0.2, 0.99951, 1.2, 1.21, 1.2},      // first at or above 0.1 / 1.0 only as written
        {0.0625, 0.0995, 0.1005, 1.0005, 2.0625, 2.0625},  // halves of the last digit
        {0.01, 12345678.9, 12345679.4, 12345680.2, 12345678.1}, // exponent form
    };
    for (const QLocale& locale : {kGerman, kEnglish}) {
        SCOPED_TRACE(locale.name().toStdString());
        std::vector<ResultRow> rows;
        int number = 1;
        for (std::size_t step = 0; step < 7; ++step) {
            ResultRow blank = row(1, number++, (step * 90 + 20) * 1000LL, 0.0);
            blank.Flow = 200;
            blank.FIDMessMenge = 0.09 * static_cast<double>(step % 3); // blanks that vary
            blank.FIDArea = 400 * static_cast<double>(step % 3);
            rows.push_back(blank);
            for (int cell = 1; cell <= 3; ++cell) {
                if (step >= cellRates[cell - 1].size())
                    continue;
                ResultRow r = row(cell + 3, number++, (step * 90 + 20 + 20 * cell) * 1000LL, cellRates[cell - 1][step]);
                r.Flow = 99.95; // written as 100,0 (exponent form aside, 99.95 is no exact half)
                r.marker = QLatin1Char(' ');
                rows.push_back(r);
            }
        }
        std::vector<const ResultRow*> live;
        for (const ResultRow& r : rows)
            live.push_back(&r);
        // What the header block (written without its parameter lines, as older files are) says.
        RunParameters parameters;
        parameters.measuringSeconds = 15;
        parameters.fidCalPpm = 100;
        parameters.fidCalArea = 445163;
        const auto expected = summarizeCells(live, parameters, true, DetectionSettings{});

        const ResultsFileRead read =
            parseResultsFile("a.csv", toCp1252(fileText({"", 0, locale, TDeviceTyp::FIDFPD, rows})), locale);
        ASSERT_TRUE(read.ok) << read.error.toStdString();
        std::vector<const ResultRow*> fromFile;
        for (const ResultRow& r : read.runs[0].rows)
            fromFile.push_back(&r);
        const auto again = summarizeCells(fromFile, read.runs[0].parameters, true, DetectionSettings{});
        ASSERT_EQ(again.size(), expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            SCOPED_TRACE(k);
            const CellMetrics& a = again[k].metrics;
            const CellMetrics& e = expected[k].metrics;
            EXPECT_EQ(again[k].series, expected[k].series);
            EXPECT_EQ(a.bt01.first, e.bt01.first);
            EXPECT_EQ(a.bt01.interpolated, e.bt01.interpolated);
            EXPECT_EQ(a.bt10.first, e.bt10.first);
            EXPECT_EQ(a.bt10.interpolated, e.bt10.interpolated);
            EXPECT_EQ(a.cumulative, e.cumulative);
            EXPECT_EQ(a.steady.has_value(), e.steady.has_value());
            if (a.steady && e.steady) {
                EXPECT_EQ(a.steady->rate, e.steady->rate);
            }
            EXPECT_EQ(a.detectionLimit, e.detectionLimit);
            EXPECT_EQ(summaryFields(again[k], locale), summaryFields(expected[k], locale));
        }
        // The rate just below 0.1 is recorded as 0,100: the file says it reached the threshold.
        ASSERT_TRUE(expected[0].metrics.bt01.first.has_value());
        EXPECT_EQ(*expected[0].metrics.bt01.first, expected[0].series[1].minutes);
        ASSERT_TRUE(expected[0].metrics.detectionLimit.has_value());
        EXPECT_EQ(expected[0].metrics.detectionLimit->from, DetectionLimit::From::ZeroGas);
    }
}
