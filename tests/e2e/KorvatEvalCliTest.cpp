// korvat-eval as the operator runs it: one line per file in the order given, a file that does not
// load reported and passed over, the exit status, and the detection settings taken from the
// Korvat.ini beside the program or from --ini. Whatever a file holds or is called, its result is
// one line a spreadsheet reads, and a path that is no regular file is refused without waiting.

#include "shell/CommandLine.h"
#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFile.h"
#include "run/EventJournal.h"
#include "run/RawDataFile.h"
#include "run/Sequencer.h"
#include "shell/IniFile.h"
#include "support/AppFixture.h"
#include "support/QtPrinters.h"
#include "support/SimProcess.h"
#include "tests/evaluation/SyntheticPeak.h"
#include "util/CodePage.h"
#include "util/Utils.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>

using namespace korvat;
using namespace korvat::test;

namespace {

// The program runs from a folder of its own, so the Korvat.ini beside it is the test's.
class KorvatEvalCli : public ::testing::Test {
protected:
    void SetUp() override {
        const QString built = SimProcess::binDir() + "/korvat-eval";
        if (!QFileInfo::exists(built))
            GTEST_SKIP() << "korvat-eval not built";
        ASSERT_TRUE(QFile::copy(built, folder.filePath("korvat-eval")));
        QFile::setPermissions(folder.filePath("korvat-eval"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile("peak.txt", rawDataContent(TDeviceTyp::FID, InjectionPeak{}.make(600), {}, {}, QLocale::c()));
    }
    void writeFile(const QString& name, const QByteArray& content) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    void writeIni(const QString& name, const QString& minIndex) {
        IniFile ini(folder.filePath(name));
        ASSERT_TRUE(ini.writeEntries({{"Detection", "MinIndex", minIndex}}));
    }
    // Runs in the folder, so relative names stay as given. A run that does not end in time is
    // killed and fails the test.
    void run(const QStringList& args, int timeoutMs = 30000, const QString& lcAll = {}) {
        QProcess p;
        p.setWorkingDirectory(folder.path());
        if (!lcAll.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("LC_ALL", lcAll);
            p.setProcessEnvironment(env);
        }
        p.start(folder.filePath("korvat-eval"), args);
        ASSERT_TRUE(p.waitForFinished(timeoutMs)) << "korvat-eval did not end";
        exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        stdoutBytes = p.readAllStandardOutput();
        out = QString::fromLocal8Bit(stdoutBytes).split('\n', Qt::SkipEmptyParts);
        err = QString::fromLocal8Bit(p.readAllStandardError());
    }

    QTemporaryDir folder;
    int exitCode = -1;
    QByteArray stdoutBytes;
    QStringList out;
    QString err;
};

// The fields of a line as a spreadsheet splits it: ";" separates, double quotes enclose a field
// and a doubled one inside stands for itself.
QStringList spreadsheetFields(const QString& line) {
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype k = 0; k < line.size(); ++k) {
        const QChar c = line[k];
        if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
            fields.last() += c;
            ++k;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

} // namespace

TEST_F(KorvatEvalCli, ReportsEachFileAndGoesOnPastOnesThatDoNotLoad) {
    writeFile("bad.txt", "0\r\n10\r\n1500\r\n1501\r\nabc\r\n");
    run({"peak.txt", "bad.txt", "missing.txt"});

    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 3) << out.join('\n').toStdString();
    const QStringList good = out[0].split(';');
    ASSERT_EQ(good.size(), 7) << out[0].toStdString();
    EXPECT_EQ(good[0], "peak.txt");
    EXPECT_EQ(good[1], "0");
    const double truth = InjectionPeak{}.areaInSamples();
    EXPECT_NEAR(good[2].toDouble(), truth, 0.03 * truth);
    // The reason quotes the file, so it is quoted for a spreadsheet.
    EXPECT_EQ(out[1], "bad.txt;error;\"bad.txt, line 5: \"\"abc\"\" is not a number\"");
    EXPECT_EQ(spreadsheetFields(out[1]),
              (QStringList{"bad.txt", "error", "bad.txt, line 5: \"abc\" is not a number"}));
    EXPECT_TRUE(out[2].startsWith("missing.txt;error;")) << out[2].toStdString();
    EXPECT_TRUE(out[2].section(';', 2).contains("missing.txt")) << out[2].toStdString();
    // No Korvat.ini beside the program: the defaults, said once.
    EXPECT_EQ(err.count("default"), 1) << err.toStdString();

    run({"peak.txt"});
    EXPECT_EQ(exitCode, 0);
    run({});
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(err, "korvat-eval: no file given\nTry 'korvat-eval --help'.\n");
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(KorvatEvalCli, DetectionSettingsComeFromTheIniBesideItOrFromTheOption) {
    // The search starting past the peak finds none.
    writeIni("Korvat.ini", "300");
    writeIni("other.ini", "10");
    run({"peak.txt"});
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("peak.txt;1;")) << out[0].toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();

    run({"--ini", "other.ini", "peak.txt"});
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("peak.txt;0;")) << out[0].toStdString();
    EXPECT_EQ(exitCode, 0);

    // A mistyped --ini is not a check with other settings.
    run({"--ini", "otehr.ini", "peak.txt"});
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("otehr.ini")) << err.toStdString();
}

// What a German session wrote read in a shell with a point locale, and the reverse: settings,
// raw data and their numbers read the same, with nothing said about them.
TEST_F(KorvatEvalCli, CommaAndPointReadTheSameWhateverTheShellsLocale) {
    for (const char* lcAll : {"C", "de_DE.UTF-8"}) {
        SCOPED_TRACE(lcAll);
        IniFile ini(folder.filePath("Korvat.ini"));
        ASSERT_TRUE(ini.writeEntries({{"Measurement", "FIDSampleFactor1", "0,57"},
                                      {"Measurement", "LimitFPD", "0.5"},
                                      {"Detection", "MinIndex", "10"}}));
        // A value with a decimal comma among the signal values, and one with a point.
        QList<QByteArray> lines = rawDataContent(TDeviceTyp::FID, InjectionPeak{}.make(600), {}, {}, QLocale::c()).split('\n');
        lines[2] = lines[2].trimmed() + ",5\r"; // the first value
        const QByteArray comma = lines.join('\n');
        writeFile("comma.txt", comma);
        writeFile("point.txt", QByteArray(comma).replace(",5\r", ".5\r"));
        ASSERT_NE(comma, QByteArray(comma).replace(",5\r", ".5\r"));
        run({"comma.txt", "point.txt"}, 30000, QString::fromLatin1(lcAll));
        EXPECT_EQ(exitCode, 0) << out.join('\n').toStdString();
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        ASSERT_EQ(out.size(), 2);
        EXPECT_EQ(out[0].section(';', 1), out[1].section(';', 1)); // the same figures
    }
}

TEST_F(KorvatEvalCli, EveryFileGivesOneLineWhateverItHoldsOrIsCalled) {
    const QByteArray peak = rawDataContent(TDeviceTyp::FID, InjectionPeak{}.make(600), {}, {}, QLocale::c());
    writeFile("nul.txt", QByteArray("0\r\n10\r\n1\r\nab\0c\\d\r\n", 18));
    writeFile("cr.txt", "0\r10\r1\r2\r");
    writeFile("utf16.txt", QByteArray("\xFF\xFE" "0\0\r\0\n\0", 8));
    writeFile("a;b.txt", peak);
    writeFile("say \"hi\".txt", peak);
    writeFile("x\ny.txt", peak);
    writeFile("big.txt", "0\r\n10\r\n" + QByteArray(10 * 1024 * 1024, '7') + "\r\n");
    run({"nul.txt", "cr.txt", "utf16.txt", "a;b.txt", "say \"hi\".txt", "x\ny.txt", "big.txt",
         "peak.txt"});

    EXPECT_EQ(exitCode, 1);
    // One line per file and nothing a line reader could split on.
    EXPECT_EQ(stdoutBytes.count('\n'), 8);
    for (const char c : {'\r', '\0', '\x0B', '\x0C'})
        EXPECT_FALSE(stdoutBytes.contains(c)) << int(c);
    ASSERT_EQ(out.size(), 8) << out.join('\n').toStdString();

    EXPECT_EQ(out[0], R"(nul.txt;error;"nul.txt, line 4: ""ab\0c\\d"" is not a number")");
    EXPECT_EQ(out[1], R"(cr.txt;error;"cr.txt, line 1: ""0\r10\r1\r2"" is not a whole number")");
    EXPECT_EQ(out[2], R"(utf16.txt;error;"utf16.txt, line 1: ""ÿþ0\0\r\0"" is not a whole number")");
    const QStringList semicolon = spreadsheetFields(out[3]);
    ASSERT_EQ(semicolon.size(), 7) << out[3].toStdString();
    EXPECT_EQ(semicolon[0], "a;b.txt");
    EXPECT_EQ(semicolon[1], "0");
    EXPECT_TRUE(out[4].startsWith(R"("say ""hi"".txt";0;)")) << out[4].toStdString();
    EXPECT_TRUE(out[5].startsWith(R"(x\ny.txt;0;)")) << out[5].toStdString();
    // A 10 MB line is quoted by its first 60 characters and its length.
    EXPECT_LT(out[6].size(), 200) << out[6].left(300).toStdString();
    EXPECT_TRUE(out[6].contains("\"\"" + QString(60, '7') + "\"\"\u2026 (10485760 characters) is not a number"))
        << out[6].left(300).toStdString();
    EXPECT_TRUE(out[7].startsWith("peak.txt;0;"));
}

TEST_F(KorvatEvalCli, APathThatIsNoRegularFileIsRefusedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(folder.filePath("fifo").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(folder.filePath("fifo"), folder.filePath("link")));
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder.txt"));
    // Nobody ever writes to the FIFO: opening it for reading would wait for good.
    run({"fifo", "link", "folder.txt", "/dev/null", "peak.txt"}, 10000);
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 5) << out.join('\n').toStdString();
    EXPECT_EQ(out[0], "fifo;error;Cannot open fifo: it is not a regular file but a FIFO");
    EXPECT_EQ(out[1], "link;error;Cannot open link: it is not a regular file but a FIFO");
    EXPECT_EQ(out[2], "folder.txt;error;Cannot open folder.txt: it is not a regular file but a folder");
    EXPECT_EQ(out[3], "/dev/null;error;Cannot open /dev/null: it is not a regular file but a device");
    EXPECT_TRUE(out[4].startsWith("peak.txt;0;"));
}

TEST_F(KorvatEvalCli, AnAreaThatIsNotFiniteIsAnErrorNotANumber) {
    Series fid = InjectionPeak{}.make(600);
    const auto apex = std::max_element(fid.y.begin(), fid.y.end()) - fid.y.begin();
    fid.y[apex] = -1e308;
    writeFile("apex.txt", rawDataContent(TDeviceTyp::FID, fid, {}, {}, QLocale::c()));
    run({"apex.txt", "peak.txt"});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0], "apex.txt;error;apex.txt: area is not finite");
    EXPECT_TRUE(out[1].startsWith("peak.txt;0;"));
}

TEST_F(KorvatEvalCli, ASettingsFileThatHoldsNoSettingsIsSaid) {
    writeFile("binary.ini", QByteArray("[Detection]\r\nMinIndex=300\r\n\0\0", 29));
    run({"--ini", "binary.ini", "peak.txt"});
    EXPECT_EQ(exitCode, 2);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.contains("binary.ini is not a settings file")) << err.toStdString();

    // Beside the program it is said and the defaults are used (MinIndex 300 would find no peak).
    ASSERT_TRUE(QFile::rename(folder.filePath("binary.ini"), folder.filePath("Korvat.ini")));
    run({"peak.txt"});
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(out.size(), 1);
    EXPECT_TRUE(out[0].startsWith("peak.txt;0;")) << out[0].toStdString();
    EXPECT_TRUE(err.contains("is not a settings file")) << err.toStdString();
    EXPECT_TRUE(err.contains("default detection settings")) << err.toStdString();
}

// --version names the program and its version; --summary reads results files, and one that does
// not read gives one line with the file, the line and the reason, and the exit status 1.
TEST_F(KorvatEvalCli, SummaryOfAResultsFileThatDoesNotReadAndTheVersion) {
    run({"--version"});
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(out, QStringList{"korvat-eval " + versionNumber()});

    ResultsHeader h;
    h.Messzeit = 15;
    h.FIDCalArea = 45000;
    const QStringList header = resultsHeaderLines(h, 0, TDeviceTyp::FID, QLocale::c());
    h.FIDCalArea = 0;
    const QStringList uncalibrated = resultsHeaderLines(h, 0, TDeviceTyp::FID, QLocale::c());
    ResultRow row;
    row.runZelle = 4;
    row.elapsedMs = 72000; // injected at 57 s
    row.moment = QDateTime(QDate(2026, 1, 15), QTime(8, 1, 12));
    row.runAktiv = 1;
    const QString good = resultRowText(row, TDeviceTyp::FID, QLocale::c());
    writeFile("good.csv", toCp1252((header + QStringList{good}).join("\r\n") + "\r\n"));
    writeFile("bad\n.csv", toCp1252((header + QStringList{good, good + ";"}).join("\r\n") + "\r\n"));
    writeFile("uncalibrated.csv", toCp1252((uncalibrated + QStringList{good}).join("\r\n") + "\r\n"));
    run({"--summary", "bad\n.csv", "good.csv", "header.csv", "uncalibrated.csv"});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 6) << out.join('\n').toStdString();
    // The reason quotes (the start of) the line: in double quotes for a spreadsheet, inner ones
    // doubled, and the file name escaped as in the first field.
    EXPECT_TRUE(out[0].startsWith("bad\\n.csv;error;\"bad\\n.csv, line 19: 15 fields where a row has 14: \"\"4; ;"))
        << out[0].toStdString();
    EXPECT_EQ(spreadsheetFields(out[0]).size(), 3);
    const QString titles = "file;cell;detector;sample;bt01_first;bt01;bt10_first;bt10;resolution;level;sspr;"
                           "cumulative;mdpr;duration;bt01_below;bt10_below;level_bound;contact;mass_basis;status;"
                           "material;thickness;lot;area;u_rate01;u_rate10;u_bt01;u_bt10;u_sspr;D;time_lag;sspr_fit;"
                           "fit_residual;fit;decision";
    EXPECT_EQ(out[1], titles);
    // One measurement of cell 1 at rate 0: nothing reached, the level's lower bound from the test
    // time, which is its own column; the file knows no molar mass.
    // A header without the run's parameters knows no specimen, area or uncertainty.
    EXPECT_EQ(out[2], "good.csv;1;FID;;;;;;0.9;>= 0;;0.000;;0.9;;;0.9;0.0;isobutane equivalent;" + QString(15, ';'));
    EXPECT_TRUE(out[3].startsWith("header.csv;error;header.csv: cannot open")) << out[3].toStdString();
    // The same row under an FID without a calibration: no figures, and the reason.
    EXPECT_EQ(out[4], titles);
    EXPECT_EQ(out[5], "uncalibrated.csv;1;FID;;;;;;;;;;;;;;;0.0;isobutane equivalent;not calibrated" + QString(15, ';'));

    run({"--summary"});
    EXPECT_EQ(exitCode, 2);
}

TEST_F(KorvatEvalCli, VerifyJournalNamesTheFirstLineThatDoesNotFit) {
    EventJournal j;
    ASSERT_TRUE(j.open(folder.filePath("Glove_events.log")));
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(j.append({QDateTime(QDate(2026, 12, 10), QTime(3, 0, i)), "measurement", "", i, QString("rate %1").arg(i)}));
    QFile::copy(folder.filePath("Glove_events.log"), folder.filePath("edited;events.log"));
    {
        QFile f(folder.filePath("edited;events.log"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        bytes[bytes.indexOf("rate 3") + 5] = '8'; // one byte of line 3
        f.seek(0);
        f.write(bytes);
    }
    run({"--verify-journal", "Glove_events.log", "edited;events.log", "missing.log"});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 3) << out.join('\n').toStdString();
    EXPECT_EQ(out[0], "Glove_events.log;ok;4");
    EXPECT_TRUE(out[1].startsWith("\"edited;events.log\";bad;3;")) << out[1].toStdString();
    EXPECT_TRUE(out[2].startsWith("missing.log;error;")) << out[2].toStdString();

    run({"--verify-journal", "Glove_events.log"});
    EXPECT_EQ(exitCode, 0);
    run({"--verify-journal", "--summary", "Glove_events.log"});
    EXPECT_EQ(exitCode, 2);
}

// Each measurement's journal line carries the SHA-256 of its row and of its raw-data file: a rate
// edited in the results file afterwards, a raw-data file changed or taken away, is named with the
// measurement's journal line.
TEST_F(KorvatEvalCli, VerifyJournalSaysWhichRowsAndRawDataFilesNoLongerMatch) {
    {
        AppFixture f({}, folder.path() + "/");
        f.writeIni({"Language/Code=DE", "Measurement/RawDataSave=1", "Measurement/MeasurementSampleTime/s=5",
                    "Measurement/MeasurementInjectionTime/s=3", "Measurement/MeasurementTimePerCell/s=30",
                    "Calibration/FIDCalArea=450000"});
        ASSERT_EQ(f.start(), StartupOutcome::Running);
        f.dialogs.nextFileName = folder.filePath("Glove.csv");
        f.app().btnSpeichernClick();
        f.type(Input::Start, "4");
        f.type(Input::Count, "3");
        f.type(Input::Cycles, "1");
        f.app().sequencer().btnStartClick();
        while (f.app().sequencer().running()) {
            f.clock.advance(Millis(90));
            QCoreApplication::processEvents();
            f.app().Timer1Timer();
        }
    }
    run({"--verify-journal", "Glove_events.log"});
    EXPECT_EQ(exitCode, 0) << out.join('\n').toStdString();
    ASSERT_EQ(out.size(), 1) << out.join('\n').toStdString();
    EXPECT_TRUE(out[0].startsWith("Glove_events.log;ok;"));

    // The rate of measurement 2 edited (one digit), raw-data file 3 changed, file 1 taken away.
    QByteArray csv = readBytes(folder.filePath("Glove.csv"));
    const qsizetype row2 = csv.indexOf("\r\n5;") + 2;
    ASSERT_GT(row2, 2);
    const QList<QByteArray> fields = csv.mid(row2, csv.indexOf("\r\n", row2) - row2).split(';');
    const qsizetype rate = row2 + fields.mid(0, 8).join(';').size() + 1;
    csv[rate + fields[8].size() - 1] = csv[rate + fields[8].size() - 1] == '7' ? '2' : '7';
    writeFile("Glove.csv", csv);
    QByteArray raw = readBytes(folder.filePath("Glove_3.txt"));
    raw[raw.size() - 3] = raw[raw.size() - 3] == '1' ? '2' : '1';
    writeFile("Glove_3.txt", raw);
    ASSERT_TRUE(QFile::remove(folder.filePath("Glove_1.txt")));
    run({"--verify-journal", "Glove_events.log"});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(out.size(), 4) << out.join('\n').toStdString();
    EXPECT_TRUE(out[0].startsWith("Glove_events.log;ok;")) << out[0].toStdString(); // the chain itself holds
    QStringList said = out.mid(1);
    std::sort(said.begin(), said.end(), [](const QString& a, const QString& b) {
        return a.section(';', 2, 2).toInt() < b.section(';', 2, 2).toInt();
    });
    EXPECT_TRUE(said[0].contains(";raw;") && said[0].contains("measurement 1:") && said[0].contains("not there"))
        << said[0].toStdString();
    EXPECT_TRUE(said[1].contains(";row;") && said[1].contains("measurement 2:")) << said[1].toStdString();
    EXPECT_TRUE(said[2].contains(";raw;") && said[2].contains("measurement 3:") && said[2].contains("Glove_3.txt"))
        << said[2].toStdString();
    // The journal line named is the measurement's own.
    const QList<QByteArray> lines = readBytes(folder.filePath("Glove_events.log")).split('\n');
    for (const QString& s : std::as_const(said)) {
        const int line = s.section(';', 2, 2).toInt();
        ASSERT_GT(line, 0);
        EXPECT_TRUE(lines[line - 1].contains("\tmeasurement\t")) << lines[line - 1].toStdString();
    }
}
