#include "shell/Config.h"

#include "util/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QLoggingCategory>
#include <array>
#include <cstring>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcConfig, "korvat.shell.config")

namespace korvat {

namespace {

using T = KeyType;

constexpr std::array<ConfigKey, 58> kKeys{{
    {"Language", "Code", T::Text, "DE", "US"},
    {"DeviceTyp", "Typ", T::Text, "FID", "FID"},
    {"Communication", "ComPortA", T::Text, "COM2", "COM1"},
    {"Communication", "ComPortB", T::Text, "COM3", "COM2"},
    {"Debug", "SetDebug", T::Integer, "0", "0"},
    {"Detection", "MinIndex", T::Integer, "10", "10"},
    {"Detection", "PeakIndex", T::Integer, "20", "20"},
    {"Detection", "Loopvolume", T::Integer, "200", "200"},
    {"Detection", "Loopflow", T::Integer, "10000", "10000"},
    {"Calibration", "FID/ppm", T::Float, "100", "100"},
    {"Calibration", "FPD/ppm", T::Float, "2", "10"},
    {"Calibration", "FIDCalArea", T::Integer, "0", "0"},
    {"Calibration", "FPDCalArea", T::Integer, "0", "0"},
    {"Calibration", "CalFlow", T::Float, "120", "100"},
    {"Preferences", "TempValves", T::Integer, "60", "100"},
    {"Preferences", "TempMeasurementCell", T::Integer, "27", "100"},
    {"Preferences", "TempEmissionCell", T::Integer, "150", "100"},
    {"Preferences", "TempTransferline", T::Integer, "150", "100"},
    {"Preferences", "HighVoltage", T::Integer, "100", "100"},
    {"Preferences", "ZeroCompensation", T::Integer, "0", "100"},
    {"Preferences", "Standard", T::Text, "EN374", "ASTM"},
    {"Preferences", "Startdelay", T::Text, "01:00", "01:00"},
    {"Info", "SampleInfo1", T::Text, "SampleInfo1", "SampleInfo1"},
    {"Info", "SampleInfo2", T::Text, "SampleInfo2", "SampleInfo2"},
    {"Info", "SampleInfo3", T::Text, "SampleInfo3", "SampleInfo3"},
    {"Measurement", "StartingCell", T::Integer, "1", "1"},
    {"Measurement", "NumberOfCells", T::Integer, "4", "4"},
    {"Measurement", "MeasurementTimePerCell/s", T::Integer, "30", "60"},
    {"Measurement", "MeasurementSampleTime/s", T::Integer, "15", "45"},
    {"Measurement", "MeasurementInjectionTime/s", T::Integer, "15", "300"},
    {"Measurement", "NumberOfCycles", T::Integer, "10", "10"},
    {"Measurement", "LimitFID", T::Float, "1", "100"},
    {"Measurement", "LimitFPD", T::Float, "1", "10"},
    {"Measurement", "SampleArea(cm\u00b2)", T::Float, "19.6", "19.6"},
    {"Measurement", "SampleFlow1", T::Float, "120", "100"},
    {"Measurement", "SampleFlow2", T::Float, "120", "100"},
    {"Measurement", "SampleFlow3", T::Float, "120", "100"},
    {"Measurement", "FIDCalFactor", T::Float, "1", "1"},
    {"Measurement", "FIDCalFactorName", T::Text, "Isobutan", "Isobutan"},
    {"Measurement", "FIDSampleFactor1", T::Float, "1", "1"},
    {"Measurement", "FIDSampleFactorName1", T::Text, "Isobutan", "Isobutan"},
    {"Measurement", "FIDSampleFactor2", T::Float, "1", "1"},
    {"Measurement", "FIDSampleFactorName2", T::Text, "Isobutan", "Isobutan"},
    {"Measurement", "FIDSampleFactor3", T::Float, "1", "1"},
    {"Measurement", "FIDSampleFactorName3", T::Text, "Isobutan", "Isobutan"},
    {"Measurement", "FPDCalFactor", T::Float, "1", "1"},
    {"Measurement", "FPDCalFactorName", T::Text, "THT", "THT"},
    {"Measurement", "FPDSampleFactor1", T::Float, "1", "1"},
    {"Measurement", "FPDSampleFactorName1", T::Text, "THT", "THT"},
    {"Measurement", "FPDSampleFactor2", T::Float, "1", "1"},
    {"Measurement", "FPDSampleFactorName2", T::Text, "THT", "THT"},
    {"Measurement", "FPDSampleFactor3", T::Float, "1", "1"},
    {"Measurement", "FPDSampleFactorName3", T::Text, "THT", "THT"},
    {"Measurement", "Scale", T::Integer, "10000", "20000"},
    {"Measurement", "ScaleMin", T::Integer, "0", "0"},
    {"Measurement", "InitialDir", T::Text, "@DIR@", "c:\\"},
    {"Measurement", "DataDir", T::Text, "@DIR@", "c:\\"},
    {"Measurement", "RawDataSave", T::Integer, "0", "0"},
}};

double cNumber(const char* text) { return QLocale::c().toDouble(QString::fromUtf8(text)); }

// Reads keys in order and remembers the first float that does not parse; later reads are skipped.
class Reader {
public:
    explicit Reader(const IniFile& ini) : ini_(ini) {}

    QString text(const char* section, const char* key) {
        const ConfigKey& k = configKey(section, key);
        return ini_.readString(QString::fromUtf8(section), QString::fromUtf8(key),
                               QString::fromUtf8(k.missingDefault));
    }
    int integer(const char* section, const char* key) {
        const ConfigKey& k = configKey(section, key);
        return ini_.readInteger(QString::fromUtf8(section), QString::fromUtf8(key),
                                static_cast<int>(cNumber(k.missingDefault)));
    }
    void number(const char* section, const char* key, double& field) {
        if (error_)
            return;
        const ConfigKey& k = configKey(section, key);
        QString message;
        const auto v = ini_.readFloat(QString::fromUtf8(section), QString::fromUtf8(key),
                                      cNumber(k.missingDefault), &message);
        if (v)
            field = *v;
        else
            error_ = message;
    }
    bool failed() const { return error_.has_value(); }
    const std::optional<QString>& error() const { return error_; }

private:
    const IniFile& ini_;
    std::optional<QString> error_;
};

} // namespace

std::span<const ConfigKey> configKeys() { return kKeys; }

const ConfigKey& configKey(const char* section, const char* key) {
    for (const ConfigKey& k : kKeys) {
        if (std::strcmp(k.section, section) == 0 && std::strcmp(k.key, key) == 0)
            return k;
    }
    throw std::logic_error(std::string("unknown configuration key ") + section + "/" + key);
}

bool createDefaultConfig(IniFile& ini, const QString& programDir, bool replace) {
    std::vector<IniFile::Entry> entries;
    entries.reserve(kKeys.size());
    for (const ConfigKey& k : kKeys) {
        QString value = QString::fromUtf8(k.creationValue);
        if (k.type == KeyType::Float)
            value = formatGeneral(cNumber(k.creationValue));
        value.replace(QStringLiteral("@DIR@"), programDir);
        entries.push_back({QString::fromUtf8(k.section), QString::fromUtf8(k.key), value});
    }
    return replace ? ini.replaceAll(entries) : ini.writeEntries(entries);
}

namespace {

// A name beside the file that says what it is and is not taken yet.
QString asideName(const QString& path) {
    const QString first = path + QStringLiteral(".unreadable");
    if (!QFileInfo::exists(first))
        return first;
    for (int k = 2;; ++k) {
        const QString next = first + QStringLiteral("-%1").arg(k);
        if (!QFileInfo::exists(next))
            return next;
    }
}

// A byte-identical copy beside the file; the copy's name, or nullopt and the reason.
std::optional<QString> copyAside(const QString& path, QString* reason) {
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly)) {
        *reason = original.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = original.readAll();
    const QString target = asideName(path);
    QSaveFile copy(target);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit()) {
        *reason = copy.errorString();
        return std::nullopt;
    }
    return target;
}

} // namespace

ConfigFileOutcome openConfigFile(IniFile& ini, const QString& programDir) {
    ConfigFileOutcome out;
    const auto fail = [&] {
        out.usable = false;
        out.error = ini.lastError();
        return out;
    };
    QString readError;
    const auto doc = ini.read(&readError);
    if (!readError.isEmpty()) {
        out.message = QStringLiteral("%1\nThe program goes on with the default settings; settings "
                                     "changed now are not stored.")
                          .arg(readError);
        out.log << readError;
        return out;
    }
    if (!doc)
        return createDefaultConfig(ini, programDir) ? out : fail();

    if (doc->verdict == IniVerdict::Empty) {
        if (!createDefaultConfig(ini, programDir))
            return fail();
        out.log << QStringLiteral("%1 was empty; it now holds the default settings.").arg(ini.path());
        qCWarning(lcConfig).noquote() << out.log.last();
        return out;
    }
    if (doc->verdict != IniVerdict::NotSettings)
        return out;

    const QString what = QStringLiteral("%1 is not a settings file: %2.").arg(ini.path(), doc->reason);
    QString reason;
    const auto kept = copyAside(ini.path(), &reason);
    if (!kept) {
        // Without a copy the file stays as it is; nothing is written over it.
        out.message = QStringLiteral("%1\nIt could not be copied aside (%2) and is left as it is. The "
                                     "program goes on with the default settings; settings changed "
                                     "now are not stored.")
                          .arg(what, reason);
        out.log << what;
        qCWarning(lcConfig).noquote() << what << "not copied aside:" << reason;
        return out;
    }
    if (!createDefaultConfig(ini, programDir, true))
        return fail();
    out.message = QStringLiteral("%1\nIt was kept unchanged as %2. The program goes on with the "
                                 "default settings in a new %3.")
                      .arg(what, *kept, QFileInfo(ini.path()).fileName());
    out.log << QStringLiteral("%1 Kept as %2; new file with the default settings.").arg(what, *kept);
    qCWarning(lcConfig).noquote() << out.log.last();
    return out;
}

TDeviceTyp deviceTypFromText(const QString& text) {
    if (text == QLatin1String("FPD"))
        return TDeviceTyp::FPD;
    if (text == QLatin1String("FIDFPD"))
        return TDeviceTyp::FIDFPD;
    return TDeviceTyp::FID;
}

int languageOffsetFromCode(const QString& code) { return code == QLatin1String("US") ? 1000 : 0; }

std::optional<QString> loadSettings(const IniFile& ini, Settings& s) {
    Reader r(ini);
    s.Code = r.text("Language", "Code");
    s.DeviceTyp = deviceTypFromText(r.text("DeviceTyp", "Typ"));
    s.ComPortA = r.text("Communication", "ComPortA");
    s.ComPortB = r.text("Communication", "ComPortB");
    s.DebugLevel = r.integer("Debug", "SetDebug");
    s.RawDataSave = r.integer("Measurement", "RawDataSave") != 0;
    s.MinPeakStart = r.integer("Detection", "MinIndex");
    s.PeakIndex = r.integer("Detection", "PeakIndex");
    s.LoopVolume = r.integer("Detection", "Loopvolume");
    s.Loopflow = r.integer("Detection", "Loopflow");
    if (s.Loopflow <= 0) {
        // A loop flow of zero or less would make the minimum peak width meaningless (a division
        // by zero); the file is not trusted with it.
        s.warnings << QStringLiteral("Loopflow %1 in %2 is not usable; using 10000").arg(s.Loopflow).arg(ini.path());
        qCWarning(lcConfig).noquote() << s.warnings.last();
        s.Loopflow = 10000;
    }
    s.MinPeakWith = s.LoopVolume / (s.Loopflow / 60.0);
    s.PeakTime = s.PeakIndex / 10.0;

    r.number("Calibration", "FID/ppm", s.FIDCALMenge);
    r.number("Calibration", "FPD/ppm", s.FPDCalMenge);
    s.FIDCalArea = r.integer("Calibration", "FIDCalArea");
    s.FPDCalArea = r.integer("Calibration", "FPDCalArea");
    s.Standard = r.text("Preferences", "Standard");
    r.number("Calibration", "CalFlow", s.CalFlow);
    if (r.failed())
        return r.error();

    s.TempVentilblock = r.integer("Preferences", "TempValves");
    s.TempMesskammer = r.integer("Preferences", "TempMeasurementCell");
    s.TempEmissionskammer = r.integer("Preferences", "TempEmissionCell");
    s.TempTransferline = r.integer("Preferences", "TempTransferline");
    s.Hochspannung = r.integer("Preferences", "HighVoltage");
    s.Zerokompensation = r.integer("Preferences", "ZeroCompensation");
    s.Startdelay = r.text("Preferences", "Startdelay");
    s.SampleInfo1 = r.text("Info", "SampleInfo1");
    s.SampleInfo2 = r.text("Info", "SampleInfo2");
    s.SampleInfo3 = r.text("Info", "SampleInfo3");
    s.Startzelle = r.integer("Measurement", "StartingCell");
    s.AnzahlZellen = r.integer("Measurement", "NumberOfCells");
    s.Messzeit = r.integer("Measurement", "MeasurementTimePerCell/s");
    s.SampleTime = r.integer("Measurement", "MeasurementSampleTime/s");
    s.InjectionTime = r.integer("Measurement", "MeasurementInjectionTime/s");
    s.AnzahlMessreihen = r.integer("Measurement", "NumberOfCycles");
    r.number("Measurement", "LimitFID", s.LimitFID);
    r.number("Measurement", "LimitFPD", s.LimitFPD);
    r.number("Measurement", "SampleArea(cm\u00b2)", s.SampleArea);
    if (!(s.SampleArea > 0)) {
        // Every rate divides by the exposed area.
        s.warnings << QStringLiteral("SampleArea(cm\u00b2) %1 in %2 is not usable; using 19.6")
                          .arg(formatGeneral(s.SampleArea), ini.path());
        qCWarning(lcConfig).noquote() << s.warnings.last();
        s.SampleArea = 19.6;
    }
    r.number("Measurement", "SampleFlow1", s.SampleFlow1);
    r.number("Measurement", "SampleFlow2", s.SampleFlow2);
    r.number("Measurement", "SampleFlow3", s.SampleFlow3);
    r.number("Measurement", "FIDCalFactor", s.FIDCalFactor);
    if (r.failed())
        return r.error();
    s.FIDCalFactorName = r.text("Measurement", "FIDCalFactorName");
    r.number("Measurement", "FIDSampleFactor1", s.FIDFactor1);
    s.FIDSampleFactorName1 = r.text("Measurement", "FIDSampleFactorName1");
    r.number("Measurement", "FIDSampleFactor2", s.FIDFactor2);
    s.FIDSampleFactorName2 = r.text("Measurement", "FIDSampleFactorName2");
    r.number("Measurement", "FIDSampleFactor3", s.FIDFactor3);
    s.FIDSampleFactorName3 = r.text("Measurement", "FIDSampleFactorName3");
    r.number("Measurement", "FPDCalFactor", s.FPDCalFactor);
    s.FPDCalFactorName = r.text("Measurement", "FPDCalFactorName");
    r.number("Measurement", "FPDSampleFactor1", s.FPDFactor1);
    s.FPDSampleFactorName1 = r.text("Measurement", "FPDSampleFactorName1");
    r.number("Measurement", "FPDSampleFactor2", s.FPDFactor2);
    s.FPDSampleFactorName2 = r.text("Measurement", "FPDSampleFactorName2");
    r.number("Measurement", "FPDSampleFactor3", s.FPDFactor3);
    s.FPDSampleFactorName3 = r.text("Measurement", "FPDSampleFactorName3");
    if (r.failed())
        return r.error();
    s.Scale = r.integer("Measurement", "Scale");
    s.ScaleMin = r.integer("Measurement", "ScaleMin");
    s.InitialDir = r.text("Measurement", "InitialDir");
    s.sDataDir = r.text("Measurement", "DataDir");
    return std::nullopt;
}

int clampStartzelle(int value) { return value < 1 ? 1 : (value > 6 ? 6 : value); }

int clampAnzahlZellen(int startzelle, int value) {
    if (value < 1)
        value = 1;
    if (startzelle + value > 6)
        value = 7 - startzelle;
    return value;
}

} // namespace korvat
