#pragma once
// The results file of a test run: one semicolon-separated text file in Windows-1252 with CR LF
// line ends. Choosing the file writes the header block (once; an existing file keeps its content),
// every measurement appends one row. What the file holds is made here; the run's recorder
// (run/Recorder.h) writes it.

#include "evaluation/RunParameters.h"
#include "evaluation/TestFiles.h"
#include "shell/Config.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

namespace korvat {

// The name the results go to: the chosen name with its extension replaced by ".csv"
// ("a/b/Glove.txt" -> "a/b/Glove.csv"; a name without extension gets ".csv" appended). Only a
// letter and up to three letters or digits after the last dot are an extension:
// "17.05.2024_Nitril" -> "17.05.2024_Nitril.csv".
QString resultsFileName(const QString& chosen);

// The string table's label of a later run's number in the header block's first line.
inline constexpr int kRunLabel = 147;
// The label of the decimal separator the file's numbers carry, in the same line.
inline constexpr int kDecimalLabel = 150;

// The numbers of every file of a test (results file, raw-data files, summary) carry a decimal
// comma when the program speaks German (ID 0) and a decimal point when it speaks English (ID
// 1000), whatever locale it was started under: a spreadsheet set to the file's language reads
// them as numbers. No group separators.
QLocale fileNumberLocale(int ID);

// What the header block shows. Set values are whole numbers; the actual values are the texts of
// the status edits as they read when the file was chosen.
struct ResultsHeader {
    QString path;     // the results file as the operator chose it
    QDateTime moment; // when the file was chosen
    QString serial;   // the instrument's serial number
    int fileRun = 1;  // the run's number within the file; written from 2 on (TestFiles.h)
    int TempMesskammer = 0, TempVentilblock = 0, TempEmissionskammer = 0, TempTransferline = 0,
        Hochspannung = 0, Zerokompensation = 0;
    QString actualMesskammer, actualVentilblock, actualEmissionskammer, actualTransferline,
        actualHochspannung, actualZerokompensation;
    double FIDCALMenge = 0;
    int FIDCalArea = 0;
    double LimitFID = 0, FIDSampleFactor = 0;
    double FPDCalMenge = 0;
    int FPDCalArea = 0;
    double LimitFPD = 0, FPDFactor = 0;
    int Startzelle = 0, AnzahlZellen = 0, AnzahlMessreihen = 0, SampleTime = 0, InjectionTime = 0,
        Messzeit = 0;
    QString description; // the sample description as typed; its first five lines are written
    // What the figures depend on: written below the measuring time (when `parameters.known`), one
    // line for the sample area and the planned duration, one for the calibration factors, one for
    // the peak search, one per sample cell (chemical, factor, molar mass, contact, and the FPD's
    // substance), one per cell's specimen (material, thickness, lot, exposed area), one per
    // detector whose calibration the history knows (its number, date, points, curve,
    // repeatability and control chart), one for the uncertainty budget's inputs and one for the
    // requirement and its decision rule.
    RunParameters parameters;
};

// The string table's captions of those lines.
inline constexpr int kSampleAreaLabel = 151, kPlannedLabel = 152, kCalFactorLabel = 153, kPeakSearchLabel = 154,
                     kMolarMassLabel = 155, kContactLabel = 156, kIsobutaneEquivalent = 157, kNoMolarMass = 158;
// ... and of the specimens', the calibrations', the uncertainty's and the requirement's lines.
inline constexpr int kSpecimenLabel = 175, kMaterialLabel = 176, kThicknessLabel = 177, kLotLabel = 178,
                     kExposedAreaLabel = 179, kCurveLabel = 180, kCalNumberLabel = 181, kPointsLabel = 182,
                     kSlopeLabel = 183, kOffsetLabel = 184, kRepeatabilityLabel = 185, kChartLabel = 186,
                     kUncertaintyLabel = 187, kFlowToleranceLabel = 188, kReferenceGasLabel = 189,
                     kRequirementLabel = 190, kRuleLabel = 191, kOperatorLabel = 205;

// The header block, one string per file line, ending with the column titles. The emission
// chamber, transfer line, PMT voltage and zero compensation and the FPD calibration line belong
// to the second detector and appear only for FIDFPD. `ID` is the string table's language offset.
// Numbers follow `locale`; the date and time of day follow `moments` (default: `locale` too).
// The first line ends with the decimal separator the numbers carry.
QStringList resultsHeaderLines(const ResultsHeader& header, int ID, TDeviceTyp deviceTyp,
                               const QLocale& locale, const std::optional<QLocale>& moments = std::nullopt);

// The lines of `parameters` in the header block (what resultsHeaderLines writes below the
// measuring time).
QStringList runParameterLines(const RunParameters& parameters, int ID, TDeviceTyp deviceTyp, const QLocale& locale);

// One measurement's result.
struct ResultRow {
    int runZelle = 0;
    QChar marker = QLatin1Char(' '); // "*" marks a break
    QString breakTime;               // as the break-time label shows it
    QString sChemikalie;
    double FIDSampleFactor = 0;
    double Flow = 0;
    qint64 elapsedMs = 0; // run time since the start
    double FIDppm = 0, FIDMessMenge = 0, FIDArea = 0;
    double FPDMessMenge = 0, FPDArea = 0; // written for FIDFPD only
    QString sampleName;
    QDateTime moment; // when the measurement ended
    int runAktiv = 0;
    // Not written to the file: the baseline noise of the measurement's window as an area (three
    // standard deviations over a peak's width), FID and FPD, when the window was seen. The
    // summary's detection limit falls back on it when the run measured no zero gas.
    std::optional<double> fidNoiseArea, fpdNoiseArea;
    // Not written to the file: an event that touches the data (a line lost, lines dropped, a
    // value recorded as 0 ...) happened during the measurement.
    bool flagged = false;
};

// The row's text without line end: one field more than the column titles (14, or 16 for FIDFPD).
// Numbers follow `locale`, the date and time of day `moments` (default: `locale` too).
QString resultRowText(const ResultRow& row, TDeviceTyp deviceTyp, const QLocale& locale,
                      const std::optional<QLocale>& moments = std::nullopt);

} // namespace korvat
