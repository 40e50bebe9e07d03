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

struct ConfigKey {
    const char* section;
    const char* key;
    KeyType type;
    // Both written with a point; floats are rewritten under the locale when the file is created.
    // The program folder stands in for "@DIR@".
    const char* creationValue;
    const char* missingDefault;
};

// Every key, in the order the file is created.
std::span<const ConfigKey> configKeys();
const ConfigKey& configKey(const char* section, const char* key);

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

// Reads every key into `settings`, in file order. Stops at the first float key whose text does not
// parse and returns its error (naming the file and the key); keys before it are filled.
std::optional<QString> loadSettings(const IniFile& ini, Settings& settings);

// Clamps of the measuring range: start position 1..6; the count at least 1 and no further than
// position 6.
int clampStartzelle(int value);
int clampAnzahlZellen(int startzelle, int value);

} // namespace korvat
