#include "shell/Config.h"

#include "util/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QLoggingCategory>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcConfig, "korvat.shell.config")

namespace korvat {

namespace {

using T = KeyType;

constexpr std::array<ConfigKey, 87> kKeys{{
    {key::Code, T::Text, "DE", "US"},
    {key::Typ, T::Text, "FID", "FID"},
    {key::ComPortA, T::Text, "COM2", "COM1"},
    {key::ComPortB, T::Text, "COM3", "COM2"},
    {key::SetDebug, T::Integer, "0", "0"},
    {key::MinIndex, T::Integer, "10", "10"},
    {key::PeakIndex, T::Integer, "20", "20"},
    {key::Loopvolume, T::Integer, "200", "200"},
    {key::Loopflow, T::Integer, "10000", "10000"},
    {key::FIDppm, T::Float, "100", "100"},
    {key::FPDppm, T::Float, "2", "10"},
    {key::FIDCalArea, T::Integer, "0", "0"},
    {key::FPDCalArea, T::Integer, "0", "0"},
    {key::CalFlow, T::Float, "120", "100"},
    {key::TempValves, T::Integer, "60", "100"},
    {key::TempMeasurementCell, T::Integer, "27", "100"},
    {key::TempEmissionCell, T::Integer, "150", "100"},
    {key::TempTransferline, T::Integer, "150", "100"},
    {key::HighVoltage, T::Integer, "100", "100"},
    {key::ZeroCompensation, T::Integer, "0", "100"},
    {key::Standard, T::Text, "EN374", "ASTM"},
    {key::Startdelay, T::Text, "01:00", "01:00"},
    {key::SampleInfo1, T::Text, "SampleInfo1", "SampleInfo1"},
    {key::SampleInfo2, T::Text, "SampleInfo2", "SampleInfo2"},
    {key::SampleInfo3, T::Text, "SampleInfo3", "SampleInfo3"},
    {key::StartingCell, T::Integer, "1", "1"},
    {key::NumberOfCells, T::Integer, "4", "4"},
    {key::MeasurementTimePerCell, T::Integer, "30", "60"},
    {key::MeasurementSampleTime, T::Integer, "15", "45"},
    {key::MeasurementInjectionTime, T::Integer, "15", "300"},
    {key::NumberOfCycles, T::Integer, "10", "10"},
    {key::LimitFID, T::Float, "1", "100"},
    {key::LimitFPD, T::Float, "1", "10"},
    {key::SampleArea, T::Float, "19.6", "19.6"},
    {key::SampleFlow1, T::Float, "120", "100"},
    {key::SampleFlow2, T::Float, "120", "100"},
    {key::SampleFlow3, T::Float, "120", "100"},
    {key::FIDCalFactor, T::Float, "1", "1"},
    {key::FIDCalFactorName, T::Text, "Isobutan", "Isobutan"},
    {key::FIDSampleFactor1, T::Float, "1", "1"},
    {key::FIDSampleFactorName1, T::Text, "Isobutan", "Isobutan"},
    {key::FIDSampleFactor2, T::Float, "1", "1"},
    {key::FIDSampleFactorName2, T::Text, "Isobutan", "Isobutan"},
    {key::FIDSampleFactor3, T::Float, "1", "1"},
    {key::FIDSampleFactorName3, T::Text, "Isobutan", "Isobutan"},
    {key::FPDCalFactor, T::Float, "1", "1"},
    {key::FPDCalFactorName, T::Text, "THT", "THT"},
    {key::FPDSampleFactor1, T::Float, "1", "1"},
    {key::FPDSampleFactorName1, T::Text, "THT", "THT"},
    {key::FPDSampleFactor2, T::Float, "1", "1"},
    {key::FPDSampleFactorName2, T::Text, "THT", "THT"},
    {key::FPDSampleFactor3, T::Float, "1", "1"},
    {key::FPDSampleFactorName3, T::Text, "THT", "THT"},
    {key::Scale, T::Integer, "10000", "20000"},
    {key::ScaleMin, T::Integer, "0", "0"},
    {key::InitialDir, T::Text, "@DIR@", "c:\\"},
    {key::DataDir, T::Text, "@DIR@", "c:\\"},
    {key::RawDataSave, T::Integer, "0", "0"},
    {key::KeepMeasuring, T::Integer, "0", "0"},
    {key::FIDSampleMolarMass1, T::Float, "0", "0"},
    {key::FIDSampleMolarMass2, T::Float, "0", "0"},
    {key::FIDSampleMolarMass3, T::Float, "0", "0"},
    {key::FPDSampleMolarMass1, T::Float, "0", "0"},
    {key::FPDSampleMolarMass2, T::Float, "0", "0"},
    {key::FPDSampleMolarMass3, T::Float, "0", "0"},
    {key::ContactBeforeStart1, T::Float, "0", "0"},
    {key::ContactBeforeStart2, T::Float, "0", "0"},
    {key::ContactBeforeStart3, T::Float, "0", "0"},
    {key::PlannedDuration, T::Float, "480", "480"},
    {key::Operator, T::Text, "", ""},
    {key::Material1, T::Text, "", ""},
    {key::Material2, T::Text, "", ""},
    {key::Material3, T::Text, "", ""},
    {key::Thickness1, T::Float, "0", "0"},
    {key::Thickness2, T::Float, "0", "0"},
    {key::Thickness3, T::Float, "0", "0"},
    {key::Lot1, T::Text, "", ""},
    {key::Lot2, T::Text, "", ""},
    {key::Lot3, T::Text, "", ""},
    {key::ExposedArea1, T::Float, "0", "0"},
    {key::ExposedArea2, T::Float, "0", "0"},
    {key::ExposedArea3, T::Float, "0", "0"},
    {key::FlowTolerance, T::Float, "2", "2"},
    {key::AreaTolerance, T::Float, "1", "1"},
    {key::ReferenceGasUncertainty, T::Float, "2", "2"},
    {key::Requirement, T::Text, "none", "none"},
    {key::DecisionRule, T::Text, "simple", "simple"},
}};

double cNumber(const char* text) { return QLocale::c().toDouble(QString::fromUtf8(text)); }

// Reads keys in order and remembers the first float that does not parse; later reads are skipped.
class Reader {
public:
    explicit Reader(const IniFile& ini) : ini_(ini) {}

    QString text(const IniKey& name) {
        return ini_.readString(name, QString::fromUtf8(configKey(name).missingDefault));
    }
    int integer(const IniKey& name) {
        const int fallback = static_cast<int>(cNumber(configKey(name).missingDefault));
        const QString raw = ini_.readString(name, QString());
        if (!raw.trimmed().isEmpty() && !parseInteger(raw))
            unreadable(name, raw, QString::number(fallback));
        return ini_.readInteger(name, fallback);
    }
    void number(const IniKey& name, double& field) {
        const double fallback = cNumber(configKey(name).missingDefault);
        const auto v = ini_.readFloat(name, fallback);
        if (v) {
            field = *v;
            return;
        }
        field = fallback;
        unreadable(name, ini_.readString(name, QString()), formatGeneral(fallback));
    }
    const QStringList& problems() const { return problems_; }

private:
    // A value that cannot be read at all is named with its key, and the default takes its place:
    // a start that stopped at it left a window that looked alive but could not run.
    void unreadable(const IniKey& name, const QString& text, const QString& fallback) {
        problems_ << QStringLiteral("\"%1\" is not a valid number: key %2 of section [%3] in %4; the default %5 is used")
                         .arg(text, name.nameText(), name.sectionText(), ini_.path(), fallback);
        qCWarning(lcConfig).noquote() << problems_.last();
    }

    const IniFile& ini_;
    QStringList problems_;
};

} // namespace

std::span<const ConfigKey> configKeys() { return kKeys; }

const ConfigKey& configKey(const IniKey& name) {
    for (const ConfigKey& k : kKeys) {
        if (std::strcmp(k.name.section, name.section) == 0 && std::strcmp(k.name.name, name.name) == 0)
            return k;
    }
    throw std::logic_error(std::string("unknown configuration key ") + name.section + "/" + name.name);
}

bool createDefaultConfig(IniFile& ini, const QString& programDir, bool replace) {
    std::vector<IniFile::Entry> entries;
    entries.reserve(kKeys.size());
    for (const ConfigKey& k : kKeys) {
        QString value = QString::fromUtf8(k.creationValue);
        // A new file speaks German (Code=DE) and writes its numbers so.
        if (k.type == KeyType::Float)
            value = formatDecimal(cNumber(k.creationValue), QLatin1Char(','));
        value.replace(QStringLiteral("@DIR@"), programDir);
        entries.push_back({k.name.sectionText(), k.name.nameText(), value});
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

QStringList loadSettings(const IniFile& ini, Settings& s) {
    Reader r(ini);
    s.Code = r.text(key::Code);
    s.DeviceTyp = deviceTypFromText(r.text(key::Typ));
    s.ComPortA = r.text(key::ComPortA);
    s.ComPortB = r.text(key::ComPortB);
    s.DebugLevel = r.integer(key::SetDebug);
    s.RawDataSave = r.integer(key::RawDataSave) != 0;
    s.KeepMeasuring = r.integer(key::KeepMeasuring) != 0;
    s.MinPeakStart = r.integer(key::MinIndex);
    s.PeakIndex = r.integer(key::PeakIndex);
    s.LoopVolume = r.integer(key::Loopvolume);
    s.Loopflow = r.integer(key::Loopflow);
    if (s.Loopflow <= 0) {
        // A loop flow of zero or less would make the minimum peak width meaningless (a division
        // by zero); the file is not trusted with it.
        s.warnings << QStringLiteral("Loopflow %1 in %2 is not usable; using 10000").arg(s.Loopflow).arg(ini.path());
        qCWarning(lcConfig).noquote() << s.warnings.last();
        s.Loopflow = 10000;
    }
    s.MinPeakWith = s.LoopVolume / (s.Loopflow / 60.0);
    s.PeakTime = s.PeakIndex / 10.0;

    r.number(key::FIDppm, s.FIDCALMenge);
    r.number(key::FPDppm, s.FPDCalMenge);
    s.FIDCalArea = r.integer(key::FIDCalArea);
    s.FPDCalArea = r.integer(key::FPDCalArea);
    s.Standard = r.text(key::Standard);
    r.number(key::CalFlow, s.CalFlow);

    s.TempVentilblock = r.integer(key::TempValves);
    s.TempMesskammer = r.integer(key::TempMeasurementCell);
    s.TempEmissionskammer = r.integer(key::TempEmissionCell);
    s.TempTransferline = r.integer(key::TempTransferline);
    s.Hochspannung = r.integer(key::HighVoltage);
    s.Zerokompensation = r.integer(key::ZeroCompensation);
    s.Startdelay = r.text(key::Startdelay);
    s.SampleInfo1 = r.text(key::SampleInfo1);
    s.SampleInfo2 = r.text(key::SampleInfo2);
    s.SampleInfo3 = r.text(key::SampleInfo3);
    s.Startzelle = r.integer(key::StartingCell);
    s.AnzahlZellen = r.integer(key::NumberOfCells);
    s.Messzeit = r.integer(key::MeasurementTimePerCell);
    s.SampleTime = r.integer(key::MeasurementSampleTime);
    s.InjectionTime = r.integer(key::MeasurementInjectionTime);
    s.AnzahlMessreihen = r.integer(key::NumberOfCycles);
    r.number(key::LimitFID, s.LimitFID);
    r.number(key::LimitFPD, s.LimitFPD);
    r.number(key::SampleArea, s.SampleArea);
    if (!(s.SampleArea > 0)) {
        // Every rate divides by the exposed area.
        s.warnings << QStringLiteral("SampleArea(cm\u00b2) %1 in %2 is not usable; using 19.6")
                          .arg(formatGeneral(s.SampleArea), ini.path());
        qCWarning(lcConfig).noquote() << s.warnings.last();
        s.SampleArea = 19.6;
    }
    r.number(key::SampleFlow1, s.SampleFlow1);
    r.number(key::SampleFlow2, s.SampleFlow2);
    r.number(key::SampleFlow3, s.SampleFlow3);
    r.number(key::FIDCalFactor, s.FIDCalFactor);
    s.FIDCalFactorName = r.text(key::FIDCalFactorName);
    r.number(key::FIDSampleFactor1, s.FIDFactor1);
    s.FIDSampleFactorName1 = r.text(key::FIDSampleFactorName1);
    r.number(key::FIDSampleFactor2, s.FIDFactor2);
    s.FIDSampleFactorName2 = r.text(key::FIDSampleFactorName2);
    r.number(key::FIDSampleFactor3, s.FIDFactor3);
    s.FIDSampleFactorName3 = r.text(key::FIDSampleFactorName3);
    r.number(key::FPDCalFactor, s.FPDCalFactor);
    s.FPDCalFactorName = r.text(key::FPDCalFactorName);
    r.number(key::FPDSampleFactor1, s.FPDFactor1);
    s.FPDSampleFactorName1 = r.text(key::FPDSampleFactorName1);
    r.number(key::FPDSampleFactor2, s.FPDFactor2);
    s.FPDSampleFactorName2 = r.text(key::FPDSampleFactorName2);
    r.number(key::FPDSampleFactor3, s.FPDFactor3);
    s.FPDSampleFactorName3 = r.text(key::FPDSampleFactorName3);
    s.Scale = r.integer(key::Scale);
    s.ScaleMin = r.integer(key::ScaleMin);
    s.InitialDir = r.text(key::InitialDir);
    s.sDataDir = r.text(key::DataDir);
    const struct {
        const IniKey& name;
        double& field;
    } later[] = {{key::FIDSampleMolarMass1, s.FIDMolarMass1}, {key::FIDSampleMolarMass2, s.FIDMolarMass2},
                 {key::FIDSampleMolarMass3, s.FIDMolarMass3}, {key::FPDSampleMolarMass1, s.FPDMolarMass1},
                 {key::FPDSampleMolarMass2, s.FPDMolarMass2}, {key::FPDSampleMolarMass3, s.FPDMolarMass3},
                 {key::ContactBeforeStart1, s.ContactBeforeStart1}, {key::ContactBeforeStart2, s.ContactBeforeStart2},
                 {key::ContactBeforeStart3, s.ContactBeforeStart3}, {key::PlannedDuration, s.PlannedDuration}};
    for (const auto& k : later)
        r.number(k.name, k.field);
    if (!(s.PlannedDuration > 0)) {
        s.warnings << QStringLiteral("PlannedDuration/min %1 in %2 is not usable; using 480")
                          .arg(formatGeneral(s.PlannedDuration), ini.path());
        qCWarning(lcConfig).noquote() << s.warnings.last();
        s.PlannedDuration = 480;
    }
    s.Operator = r.text(key::Operator);
    s.Material1 = r.text(key::Material1);
    s.Material2 = r.text(key::Material2);
    s.Material3 = r.text(key::Material3);
    s.Lot1 = r.text(key::Lot1);
    s.Lot2 = r.text(key::Lot2);
    s.Lot3 = r.text(key::Lot3);
    const struct {
        const IniKey& name;
        double& field;
        double fallback;
    } positive[] = {{key::Thickness1, s.Thickness1, 0},         {key::Thickness2, s.Thickness2, 0},
                    {key::Thickness3, s.Thickness3, 0},         {key::ExposedArea1, s.ExposedArea1, 0},
                    {key::ExposedArea2, s.ExposedArea2, 0},     {key::ExposedArea3, s.ExposedArea3, 0},
                    {key::FlowTolerance, s.FlowTolerance, 2},   {key::AreaTolerance, s.AreaTolerance, 1},
                    {key::ReferenceGasUncertainty, s.ReferenceGasUncertainty, 2}};
    for (const auto& k : positive) {
        r.number(k.name, k.field);
        // A negative thickness, area or tolerance means nothing; an infinite one would poison
        // every figure it enters.
        if (!(k.field >= 0) || !std::isfinite(k.field)) {
            s.warnings << QStringLiteral("%1 %2 in %3 is not usable; using %4")
                              .arg(k.name.nameText(), formatGeneral(k.field), ini.path(),
                                   formatGeneral(k.fallback));
            qCWarning(lcConfig).noquote() << s.warnings.last();
            k.field = k.fallback;
        }
    }
    s.Requirement = r.text(key::Requirement);
    s.DecisionRule = r.text(key::DecisionRule);
    return r.problems();
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
