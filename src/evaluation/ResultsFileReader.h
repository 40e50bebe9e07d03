#pragma once
// Reading a results file back: the header values the lab's figures depend on and every row as the
// ResultRow it was written from. It reads what this program writes (ResultsFile.h) in either
// language and with either decimal separator, also files that hold several runs one after the
// other: an existing file gets the rows of a new run below its old content.

#include "evaluation/PeakSearch.h"
#include "evaluation/ResultsFile.h"
#include "shell/Config.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

namespace korvat {

// One run of a results file: the rows of one start of the measurement, under the header block that
// was in force.
struct ResultsRun {
    int headerLine = 0; // 1-based line where the header block in force begins
    int firstLine = 0;  // 1-based line of the run's first row (0 for a run without rows)
    int ID = 0;         // language of the texts, as the string table's offset: 0 German, 1000 English
    TDeviceTyp deviceTyp = TDeviceTyp::FID; // FIDFPD when the title line has the FPD's columns
    int measuringSeconds = 0;               // "Messzeit pro Zelle" / "Time per cell" of the header
    QChar decimalPoint = QLatin1Char('.');  // of the file's numbers
    // The run's number within the file, which names its raw-data files and summary (TestFiles.h):
    // from its header block, 1 when the block does not say (files of earlier versions, where
    // every run used the plain names).
    int fileRun = 1;
    // What the figures depend on, as the header block records it (older files record only the
    // calibration and the measuring time: `parameters.known` is then false).
    RunParameters parameters;
    std::vector<ResultRow> rows;
    std::vector<int> rowLines; // 1-based line of each row
};

struct ResultsFileRead {
    bool ok = false;
    // For a file that does not read: names the file and, for a fault inside it, the 1-based line
    // and what was wrong. A piece of the file it quotes has its control characters escaped and is
    // cut after 60 characters. error == path + detail, so a caller may write the name its own way.
    QString error, detail;
    // Every run in the order of the file. A new run begins with a header block, and with a row
    // whose measurement number is not above the row before (the measurement numbers start at 1
    // with every start of a run, and rows of the next run go below the old ones). A header block
    // without rows that another block follows is no run: the later block holds the parameters in
    // force. Only the last run may be without rows.
    std::vector<ResultsRun> runs;
};

// Reads the file at `path`; only a regular file is opened. Dates and times of day are read in the
// short date and long time formats of `locale`, and failing that in the German, the US and the
// ISO forms.
ResultsFileRead readResultsFile(const QString& path, const QLocale& locale = QLocale());
// The same for a file's bytes already in memory; `path` only names the file in the messages.
ResultsFileRead parseResultsFile(const QString& path, const QByteArray& bytes,
                                 const QLocale& locale = QLocale());

// The baseline noise of each row that measured a sample cell, from the measurement's raw-data file
// beside the results file ("Glove7.csv", measurement 3 -> "Glove7_3.txt"; a later run's
// "Glove7_run2_3.txt"): the same
// baselineNoiseArea the live evaluation computed on the window. The raw-data file leaves out the
// window's first point, which that call never looks at. A cell (and detector) keeps no noise at
// all unless every one of its measurements has its file: a mean over some of them would not be
// the figure the run showed. `notes` says which files are missing or do not load, when some of a
// run's files are there (none at all is the usual case of a run that kept no raw data).
void attachRawDataNoise(ResultsRun& run, const QString& resultsPath, const DetectionSettings& settings,
                        QStringList* notes);

} // namespace korvat
