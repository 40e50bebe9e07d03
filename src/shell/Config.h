#pragma once
// The settings of "Korvat.ini": every key with the value written when the file is created and the
// value used when an existing file lacks the key (the two differ for many keys), and the fields
// they fill.

#include "shell/IniFile.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <span>

namespace korvat {

enum class TDeviceTyp { FID = 0, FPD = 1, FIDFPD = 2 };

enum class KeyType { Text, Integer, Float };

// Every key of the file, named once: the tables, the reader and the handlers that write a setting
// back all refer to these.
namespace key {
inline constexpr IniKey Code{"Language", "Code"};
inline constexpr IniKey Typ{"DeviceTyp", "Typ"};
inline constexpr IniKey ComPortA{"Communication", "ComPortA"};
inline constexpr IniKey ComPortB{"Communication", "ComPortB"};
inline constexpr IniKey SetDebug{"Debug", "SetDebug"};
inline constexpr IniKey MinIndex{"Detection", "MinIndex"};
inline constexpr IniKey PeakIndex{"Detection", "PeakIndex"};
inline constexpr IniKey Loopvolume{"Detection", "Loopvolume"};
inline constexpr IniKey Loopflow{"Detection", "Loopflow"};
inline constexpr IniKey FIDppm{"Calibration", "FID/ppm"};
inline constexpr IniKey FPDppm{"Calibration", "FPD/ppm"};
inline constexpr IniKey FIDCalArea{"Calibration", "FIDCalArea"};
inline constexpr IniKey FPDCalArea{"Calibration", "FPDCalArea"};
inline constexpr IniKey CalFlow{"Calibration", "CalFlow"};
inline constexpr IniKey TempValves{"Preferences", "TempValves"};
inline constexpr IniKey TempMeasurementCell{"Preferences", "TempMeasurementCell"};
inline constexpr IniKey TempEmissionCell{"Preferences", "TempEmissionCell"};
inline constexpr IniKey TempTransferline{"Preferences", "TempTransferline"};
inline constexpr IniKey HighVoltage{"Preferences", "HighVoltage"};
inline constexpr IniKey ZeroCompensation{"Preferences", "ZeroCompensation"};
inline constexpr IniKey Standard{"Preferences", "Standard"};
inline constexpr IniKey Startdelay{"Preferences", "Startdelay"};
inline constexpr IniKey SampleInfo1{"Info", "SampleInfo1"};
inline constexpr IniKey SampleInfo2{"Info", "SampleInfo2"};
inline constexpr IniKey SampleInfo3{"Info", "SampleInfo3"};
inline constexpr IniKey StartingCell{"Measurement", "StartingCell"};
inline constexpr IniKey NumberOfCells{"Measurement", "NumberOfCells"};
inline constexpr IniKey MeasurementTimePerCell{"Measurement", "MeasurementTimePerCell/s"};
inline constexpr IniKey MeasurementSampleTime{"Measurement", "MeasurementSampleTime/s"};
inline constexpr IniKey MeasurementInjectionTime{"Measurement", "MeasurementInjectionTime/s"};
inline constexpr IniKey NumberOfCycles{"Measurement", "NumberOfCycles"};
inline constexpr IniKey LimitFID{"Measurement", "LimitFID"};
inline constexpr IniKey LimitFPD{"Measurement", "LimitFPD"};
inline constexpr IniKey SampleArea{"Measurement", "SampleArea(cm\u00b2)"};
inline constexpr IniKey SampleFlow1{"Measurement", "SampleFlow1"};
inline constexpr IniKey SampleFlow2{"Measurement", "SampleFlow2"};
inline constexpr IniKey SampleFlow3{"Measurement", "SampleFlow3"};
inline constexpr IniKey FIDCalFactor{"Measurement", "FIDCalFactor"};
inline constexpr IniKey FIDCalFactorName{"Measurement", "FIDCalFactorName"};
inline constexpr IniKey FIDSampleFactor1{"Measurement", "FIDSampleFactor1"};
inline constexpr IniKey FIDSampleFactorName1{"Measurement", "FIDSampleFactorName1"};
inline constexpr IniKey FIDSampleFactor2{"Measurement", "FIDSampleFactor2"};
inline constexpr IniKey FIDSampleFactorName2{"Measurement", "FIDSampleFactorName2"};
inline constexpr IniKey FIDSampleFactor3{"Measurement", "FIDSampleFactor3"};
inline constexpr IniKey FIDSampleFactorName3{"Measurement", "FIDSampleFactorName3"};
inline constexpr IniKey FPDCalFactor{"Measurement", "FPDCalFactor"};
inline constexpr IniKey FPDCalFactorName{"Measurement", "FPDCalFactorName"};
inline constexpr IniKey FPDSampleFactor1{"Measurement", "FPDSampleFactor1"};
inline constexpr IniKey FPDSampleFactorName1{"Measurement", "FPDSampleFactorName1"};
inline constexpr IniKey FPDSampleFactor2{"Measurement", "FPDSampleFactor2"};
inline constexpr IniKey FPDSampleFactorName2{"Measurement", "FPDSampleFactorName2"};
inline constexpr IniKey FPDSampleFactor3{"Measurement", "FPDSampleFactor3"};
inline constexpr IniKey FPDSampleFactorName3{"Measurement", "FPDSampleFactorName3"};
inline constexpr IniKey Scale{"Measurement", "Scale"};
inline constexpr IniKey ScaleMin{"Measurement", "ScaleMin"};
inline constexpr IniKey InitialDir{"Measurement", "InitialDir"};
inline constexpr IniKey DataDir{"Measurement", "DataDir"};
inline constexpr IniKey RawDataSave{"Measurement", "RawDataSave"};
// Not in the original set: 1 keeps measuring a cell after its breakthrough.
inline constexpr IniKey KeepMeasuring{"Measurement", "KeepMeasuring"};
// Not in the original set: the molar mass (g/mol) of each cell's substance, as its list gives it
// (0: not known, the rate is then the detector's historical equivalent).
inline constexpr IniKey FIDSampleMolarMass1{"Measurement", "FIDSampleMolarMass1"};
inline constexpr IniKey FIDSampleMolarMass2{"Measurement", "FIDSampleMolarMass2"};
inline constexpr IniKey FIDSampleMolarMass3{"Measurement", "FIDSampleMolarMass3"};
inline constexpr IniKey FPDSampleMolarMass1{"Measurement", "FPDSampleMolarMass1"};
inline constexpr IniKey FPDSampleMolarMass2{"Measurement", "FPDSampleMolarMass2"};
inline constexpr IniKey FPDSampleMolarMass3{"Measurement", "FPDSampleMolarMass3"};
// Not in the original set: minutes from the chemical's contact with each cell's specimen to the
// run's start (negative: after it); the figures count from the contact.
inline constexpr IniKey ContactBeforeStart1{"Measurement", "ContactBeforeStart1/min"};
inline constexpr IniKey ContactBeforeStart2{"Measurement", "ContactBeforeStart2/min"};
inline constexpr IniKey ContactBeforeStart3{"Measurement", "ContactBeforeStart3/min"};
// Not in the original set: the test's planned duration, minutes (EN 16523-1: 480); the level of a
// cell that did not break through counts it once the test ran to it.
inline constexpr IniKey PlannedDuration{"Measurement", "PlannedDuration/min"};
// Not in the original set: each cell's specimen, entered before the run (thickness and exposed
// area 0: not entered; the exposed area is then SampleArea).
// Not in the original set: who runs the tests, kept like the description.
inline constexpr IniKey Operator{"Info", "Operator"};
inline constexpr IniKey Material1{"Specimen", "Material1"};
inline constexpr IniKey Material2{"Specimen", "Material2"};
inline constexpr IniKey Material3{"Specimen", "Material3"};
inline constexpr IniKey Thickness1{"Specimen", "Thickness1/mm"};
inline constexpr IniKey Thickness2{"Specimen", "Thickness2/mm"};
inline constexpr IniKey Thickness3{"Specimen", "Thickness3/mm"};
inline constexpr IniKey Lot1{"Specimen", "Lot1"};
inline constexpr IniKey Lot2{"Specimen", "Lot2"};
inline constexpr IniKey Lot3{"Specimen", "Lot3"};
inline constexpr IniKey ExposedArea1{"Specimen", "ExposedArea1/cm\u00b2"};
inline constexpr IniKey ExposedArea2{"Specimen", "ExposedArea2/cm\u00b2"};
inline constexpr IniKey ExposedArea3{"Specimen", "ExposedArea3/cm\u00b2"};
// Not in the original set: the inputs of the uncertainty budget the lab states for its
// instrument: the largest deviation of a cell's flow and of the exposed area (%, rectangular) and
// the reference gas certificate's expanded uncertainty (%, k = 2).
inline constexpr IniKey FlowTolerance{"Uncertainty", "FlowTolerance/%"};
inline constexpr IniKey AreaTolerance{"Uncertainty", "AreaTolerance/%"};
inline constexpr IniKey ReferenceGasUncertainty{"Uncertainty", "ReferenceGas/%"};
// Not in the original set: what the run is to show ("none", "level >= 3", "no breakthrough at
// 0.1 within 240 min") and the decision rule ("simple" or "guarded").
inline constexpr IniKey Requirement{"Requirement", "Requirement"};
inline constexpr IniKey DecisionRule{"Requirement", "DecisionRule"};
// The state file of a run that has not ended (empty when none): the next start offers to go on.
inline constexpr IniKey RunState{"Run", "State"};
// The archive: a SQLite file, a lab server (postgresql://…), or "none"; empty: the user's own file.
inline constexpr IniKey ArchiveDatabase{"Archive", "Database"};
// Who is told of breakthroughs, run ends and faults: a program started with the event as its
// arguments, and desktop notifications (1). Off by default.
inline constexpr IniKey NotifyCommand{"Notify", "Command"};
inline constexpr IniKey NotifyDesktop{"Notify", "Desktop"};
} // namespace key

struct ConfigKey {
    IniKey name;
    KeyType type;
    // Both written with a point; floats are rewritten under the locale when the file is created.
    // The program folder stands in for "@DIR@".
    const char* creationValue;
    const char* missingDefault;
};

// Every key, in the order the file is created.
std::span<const ConfigKey> configKeys();
const ConfigKey& configKey(const IniKey& name);

// Writes every key with its creation value; `programDir` ends in a separator. `replace` starts a
// new file of the program's own whatever the old one held.
bool createDefaultConfig(IniFile& ini, const QString& programDir, bool replace = false);

// What start-up found when it opened the settings file, and what the operator must be told.
struct ConfigFileOutcome {
    bool usable = true; // false: the file could not be created; `error` says why
    QString error;
    QString message;    // for a message box: the file held no settings and was put aside
    QStringList log;    // lines for the log memo
};

// Makes sure there is a settings file to read. A missing file is created with the creation values;
// so is an empty one (0 bytes, or blanks and line ends only: nothing to keep), with a log line. A
// file that is no settings (binary data, no [section]) is copied beside it byte for byte
// ("Korvat.ini.unreadable", then ".unreadable-2", ...) before a new one with the creation values
// takes its place; the operator is told which file, why, and where it was kept. A file that
// cannot be read is left as it is (it may only be locked) and the defaults are used.
ConfigFileOutcome openConfigFile(IniFile& ini, const QString& programDir);

struct Settings {
    QString Code;
    TDeviceTyp DeviceTyp = TDeviceTyp::FID;
    QString ComPortA, ComPortB;
    int DebugLevel = 0;
    int MinPeakStart = 10;
    int PeakIndex = 20;
    int LoopVolume = 200;
    int Loopflow = 10000;
    double FIDCALMenge = 100, FPDCalMenge = 10;
    int FIDCalArea = 0, FPDCalArea = 0;
    double CalFlow = 100;
    int TempVentilblock = 100, TempMesskammer = 100, TempEmissionskammer = 100,
        TempTransferline = 100, Hochspannung = 100, Zerokompensation = 100;
    QString Standard;
    QString Startdelay;
    QString SampleInfo1, SampleInfo2, SampleInfo3;
    int Startzelle = 1, AnzahlZellen = 4, Messzeit = 60, SampleTime = 45, InjectionTime = 300,
        AnzahlMessreihen = 10;
    double LimitFID = 100, LimitFPD = 10, SampleArea = 19.6;
    double SampleFlow1 = 100, SampleFlow2 = 100, SampleFlow3 = 100;
    double FIDCalFactor = 1;
    QString FIDCalFactorName;
    double FIDFactor1 = 1, FIDFactor2 = 1, FIDFactor3 = 1;
    QString FIDSampleFactorName1, FIDSampleFactorName2, FIDSampleFactorName3;
    double FPDCalFactor = 1;
    QString FPDCalFactorName;
    double FPDFactor1 = 1, FPDFactor2 = 1, FPDFactor3 = 1;
    QString FPDSampleFactorName1, FPDSampleFactorName2, FPDSampleFactorName3;
    int Scale = 20000, ScaleMin = 0;
    QString InitialDir, sDataDir;
    bool RawDataSave = false;
    // A cell that broke through goes on being measured (its lamp lit, its break time kept) instead
    // of being switched off.
    bool KeepMeasuring = false;
    // Molar masses of the cells' substances, g/mol (0: not known).
    double FIDMolarMass1 = 0, FIDMolarMass2 = 0, FIDMolarMass3 = 0;
    double FPDMolarMass1 = 0, FPDMolarMass2 = 0, FPDMolarMass3 = 0;
    // The chemical's contact with each cell's specimen, minutes before the run's start.
    double ContactBeforeStart1 = 0, ContactBeforeStart2 = 0, ContactBeforeStart3 = 0;
    double PlannedDuration = 480; // minutes
    // Each cell's specimen (0: a thickness or exposed area not entered).
    QString Material1, Material2, Material3, Lot1, Lot2, Lot3;
    QString Operator; // who runs the test
    double Thickness1 = 0, Thickness2 = 0, Thickness3 = 0;
    double ExposedArea1 = 0, ExposedArea2 = 0, ExposedArea3 = 0;
    // The uncertainty budget's inputs, %.
    double FlowTolerance = 2, AreaTolerance = 1, ReferenceGasUncertainty = 2;
    // The requirement and the decision rule, as their tokens.
    QString Requirement = QStringLiteral("none"), DecisionRule = QStringLiteral("simple");
    // Values the file held that could not be used (a default was taken instead), for the log.
    QStringList warnings;

    // Derived at start-up.
    double MinPeakWith = 1.2; // LoopVolume / (Loopflow / 60), seconds
    double PeakTime = 2.0;    // PeakIndex / 10
};

// "FID", "FPD", "FIDFPD" exactly; anything else is FID.
TDeviceTyp deviceTypFromText(const QString& text);
// Language offset of the string table: 0 for "DE", 1000 for "US", 0 for anything else.
int languageOffsetFromCode(const QString& code);

// Reads every key into `settings`, in file order. A number is read with a decimal comma or
// point, whatever the process's locale. A value that cannot be read at all gets the key's
// default; the texts returned name each such value, its key, the file and the default used.
QStringList loadSettings(const IniFile& ini, Settings& settings);

// Clamps of the measuring range: start position 1..6; the count at least 1 and no further than
// position 6.
int clampStartzelle(int value);
int clampAnzahlZellen(int startzelle, int value);

} // namespace korvat
