#include "server/PhysicsCli.h"

#include "model/OptionText.h"
#include "util/Clock.h"

#include <QLocale>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace korvat::sim {

namespace {

const QString kPermeation = QStringLiteral("permeation");
const QString kCellMaterial = QStringLiteral("cell-material");
const QString kMaterialList = QStringLiteral("material-list");
const QString kCellArea = QStringLiteral("cell-area");
const QString kCellFlow = QStringLiteral("cell-flow");
const QString kExposureStart = QStringLiteral("exposure-start");
const QString kTimeFactor = QStringLiteral("time-factor");
const QString kFidFactor = QStringLiteral("fid-factor");
const QString kSulfurCompound = QStringLiteral("sulfur-compound");
const QString kFpdFactor = QStringLiteral("fpd-factor");
const QString kChemical = QStringLiteral("chemical");
const QString kMolarMass = QStringLiteral("molar-mass");
const QString kGasTemperature = QStringLiteral("gas-temperature");
const QString kGasPressure = QStringLiteral("gas-pressure");
const QString kBlankPpm = QStringLiteral("blank-ppm");
const QString kBlankNoise = QStringLiteral("blank-noise");

// A zero-gas injection into an FID shows a little: traces in the zero gas and the loop's switch,
// a few tenths of a ppm that vary from one injection to the next.
constexpr double kDefaultBlankPpm = 0.2;
constexpr double kDefaultBlankNoisePpm = 0.1;

// Longer than any run; keeps a mistyped exposure start from overflowing the model's clock.
constexpr double kMaxExposureStartSeconds = 1e7;

QString number(double value) {
    return QLocale::c().toString(value, 'g', 6);
}

QString invalid(const QString& name, const QString& value) {
    return QStringLiteral("invalid value \"%1\" for --%2").arg(value, name);
}

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
}

// One value for all three cells or one each.
std::optional<std::vector<double>> perCell(const QString& text) {
    if (!text.contains(u','))
        if (const std::optional<double> value = parseNonNegative(text))
            return std::vector<double>(kSampleCellCount, *value);
    return parseNonNegativeList(text, kSampleCellCount);
}

bool allPositive(const std::vector<double>& values) {
    for (double v : values)
        if (!(v > 0.0))
            return false;
    return true;
}

// A preset name, "none", or "D/l/C" (cm²/s, cm, µg/cm³).
std::optional<std::optional<Membrane>> parseMaterial(QStringView text) {
    text = text.trimmed();
    if (text.compare(u"none", Qt::CaseInsensitive) == 0)
        return std::optional<Membrane>{};
    if (const MaterialPreset* preset = findMaterialPreset(text))
        return std::optional<Membrane>{preset->membrane};
    const QList<QStringView> parts = text.split(u'/');
    if (parts.size() != 3)
        return std::nullopt;
    Membrane m;
    double* targets[] = {&m.diffusivity, &m.thickness, &m.surfaceConcentration};
    for (qsizetype i = 0; i < 3; ++i) {
        const std::optional<double> value = parseNonNegative(parts[i]);
        if (!value)
            return std::nullopt;
        *targets[i] = *value;
    }
    if (!m.isValid())
        return std::nullopt;
    return std::optional<Membrane>{m};
}

QString chemicalNames() {
    QStringList names;
    for (const ChemicalEntry& c : chemicals())
        names << QStringLiteral("%1 (%2)").arg(QLatin1StringView(c.name), QLatin1StringView(c.formula));
    return names.join(QStringLiteral(", "));
}

QString minutesText(std::optional<double> seconds) {
    return seconds ? number(*seconds / 60.0) + QStringLiteral(" min") : QStringLiteral("never");
}

void printMaterialList() {
    QString text = QStringLiteral("Presets against %1 (illustrative values): name, D cm2/s, l cm, "
                                  "C ug/cm3, steady state ug/cm2/min, time lag, breakthrough "
                                  "ASTM 0.1 / EN 1.0\n")
                       .arg(QLatin1StringView(kPresetChemical));
    for (const MaterialPreset& p : materialPresets()) {
        const Membrane& m = p.membrane;
        text += QStringLiteral("%1  %2  D %3  l %4  C %5  Jss %6  lag %7 min  ASTM %8  EN %9\n")
                    .arg(QLatin1StringView(p.name), -9)
                    .arg(QLatin1StringView(p.description), -40)
                    .arg(number(m.diffusivity), number(m.thickness), number(m.surfaceConcentration),
                         number(steadyStateFlux(m) * 60.0), number(timeLag(m) / 60.0),
                         minutesText(breakthroughSeconds(m, kAstmLimit)),
                         minutesText(breakthroughSeconds(m, kEnLimit)));
    }
    print(stdout, text);
}

// Seconds from now (the server's start) on the clock the model follows.
QString breakthroughText(const PermeationOptions& options, int cell, double limit, Millis now) {
    const std::optional<Breakthrough> b = cellBreakthrough(options, cell, limit);
    if (!b)
        return QStringLiteral("never");
    return QStringLiteral("%1 s (%2 min of exposure)")
        .arg(number(static_cast<double>((b->modelTime - now).count()) / 1000.0),
             number(b->physicsSeconds / 60.0));
}

} // namespace

void PhysicsCli::add(QCommandLineParser& parser) {
    const PermeationOptions defaults;
    QStringList names;
    for (const MaterialPreset& p : materialPresets())
        names.append(QLatin1StringView(p.name));
    parser.addOptions({
        {kPermeation,
         QStringLiteral("Sample cells from a permeation model instead of --cell-ppm: the test "
                        "chemical diffuses through each cell's membrane (Fick's law, time-lag "
                        "solution), its flux J spread over the cell's carrier flow gives "
                        "ppm = J*A/F over the chemical's molar mass over the gas's molar volume (ideal gas at "
                        "--gas-temperature and --gas-pressure), which the FID sees divided by --fid-factor. "
                        "Every option below implies it. Breakthrough times go to stderr.")},
        {kCellMaterial,
         QStringLiteral("Membranes of sample cells 1,2,3: a preset (%1), none, or D/l/C "
                        "(cm2/s, cm, ug/cm3); default nitrile,fkm,laminate.")
             .arg(names.join(u' ')),
         QStringLiteral("a,b,c")},
        {kMaterialList, QStringLiteral("Print the material presets and exit.")},
        {kCellArea,
         QStringLiteral("Exposed area of the cells, cm2, one value or a,b,c; default %1.")
             .arg(number(kDefaultCellArea)),
         QStringLiteral("cm2")},
        {kCellFlow,
         QStringLiteral("Carrier flow through the cells, ml/min, one value or a,b,c; default %1.")
             .arg(number(kDefaultCellFlow)),
         QStringLiteral("ml/min")},
        {kExposureStart,
         QStringLiteral("Seconds after start-up at which the chemical meets the membranes, one "
                        "value or a,b,c; default 0."),
         QStringLiteral("s")},
        {kTimeFactor,
         QStringLiteral("Seconds of exposure per real second, for the permeation only (60 runs "
                        "8 h of permeation in 8 min); default %1.")
             .arg(number(defaults.timeFactor)),
         QStringLiteral("factor")},
        {kFidFactor,
         QStringLiteral("FID response factor of the chemical: the FID sees ppm / factor "
                        "isobutane; default %1.")
             .arg(number(defaults.fidFactor)),
         QStringLiteral("factor")},
        {kSulfurCompound,
         QStringLiteral("The chemical is a sulfur compound: the FPD sees it too.")},
        {kFpdFactor,
         QStringLiteral("FPD response factor of a sulfur chemical: the FPD sees ppm / factor "
                        "THT; default %1.")
             .arg(number(defaults.fpdFactor)),
         QStringLiteral("factor")},
        {kChemical,
         QStringLiteral("The test chemical, for its molar mass (from its formula): %1; default toluene.")
             .arg(chemicalNames()),
         QStringLiteral("name")},
        {kMolarMass,
         QStringLiteral("The test chemical's molar mass, g/mol, instead of --chemical's."),
         QStringLiteral("g/mol")},
        {kGasTemperature,
         QStringLiteral("Temperature of the carrier where its ppm are told, degrees C; default %1.")
             .arg(number(defaults.gas.celsius)),
         QStringLiteral("C")},
        {kGasPressure,
         QStringLiteral("Pressure of the carrier, kPa; default %1.").arg(number(defaults.gas.kilopascal)),
         QStringLiteral("kPa")},
        {kBlankPpm,
         QStringLiteral("What every FID injection shows on top of its gas, ppm isobutane (the zero "
                        "gas's blank); default %1.")
             .arg(number(kDefaultBlankPpm)),
         QStringLiteral("ppm")},
        {kBlankNoise,
         QStringLiteral("Standard deviation of that blank from injection to injection, ppm; default %1.")
             .arg(number(kDefaultBlankNoisePpm)),
         QStringLiteral("ppm")},
    });
}

QString PhysicsCli::apply(const QCommandLineParser& parser, InstrumentOptions& options) const {
    if (parser.isSet(kMaterialList)) {
        printMaterialList();
        std::exit(0);
    }
    PermeationOptions& p = options.permeation;
    bool asked = parser.isSet(kPermeation) || parser.isSet(kSulfurCompound);

    if (parser.isSet(kCellMaterial)) {
        const QString text = parser.value(kCellMaterial);
        const QList<QStringView> parts = QStringView(text).split(u',');
        if (parts.size() != kSampleCellCount)
            return invalid(kCellMaterial, text);
        for (qsizetype i = 0; i < kSampleCellCount; ++i) {
            const auto membrane = parseMaterial(parts[i]);
            if (!membrane)
                return invalid(kCellMaterial, text);
            p.cells[static_cast<std::size_t>(i)].membrane = *membrane;
        }
        asked = true;
    }
    const struct {
        const QString& name;
        double PermeationCell::*target;
    } cellValues[] = {{kCellArea, &PermeationCell::areaCm2},
                      {kCellFlow, &PermeationCell::flowMlPerMin}};
    for (const auto& option : cellValues) {
        if (!parser.isSet(option.name))
            continue;
        const QString text = parser.value(option.name);
        const auto values = perCell(text);
        if (!values || !allPositive(*values))
            return invalid(option.name, text);
        for (std::size_t i = 0; i < kSampleCellCount; ++i)
            p.cells[i].*option.target = (*values)[i];
        asked = true;
    }
    const struct {
        const QString& name;
        double* target;
    } factors[] = {
        {kTimeFactor, &p.timeFactor}, {kFidFactor, &p.fidFactor}, {kFpdFactor, &p.fpdFactor}};
    for (const auto& option : factors) {
        if (!parser.isSet(option.name))
            continue;
        const QString text = parser.value(option.name);
        const std::optional<double> value = parseNonNegative(text);
        if (!value || !(*value > 0.0))
            return invalid(option.name, text);
        *option.target = *value;
        asked = true;
    }
    // The blank is the detector's, with or without the permeation model.
    options.fidSignal.blankPpm = kDefaultBlankPpm;
    options.fidSignal.blankNoisePpm = kDefaultBlankNoisePpm;
    const struct {
        const QString& name;
        double* target;
        bool positive;
    } detector[] = {{kBlankPpm, &options.fidSignal.blankPpm, false},
                    {kBlankNoise, &options.fidSignal.blankNoisePpm, false},
                    {kGasPressure, &p.gas.kilopascal, true}};
    for (const auto& option : detector) {
        if (!parser.isSet(option.name))
            continue;
        const QString text = parser.value(option.name);
        const std::optional<double> value = parseNonNegative(text);
        if (!value || (option.positive && !(*value > 0.0)))
            return invalid(option.name, text);
        *option.target = *value;
    }
    if (parser.isSet(kGasTemperature)) {
        const QString text = parser.value(kGasTemperature);
        bool ok = false;
        const double celsius = QLocale::c().toDouble(text, &ok);
        if (!ok || !(celsius > -273.15) || celsius > 1000.0)
            return invalid(kGasTemperature, text);
        p.gas.celsius = celsius;
    }
    QString chemical = QStringLiteral("toluene");
    if (parser.isSet(kChemical)) {
        const QString text = parser.value(kChemical);
        const ChemicalEntry* entry = findChemical(text);
        if (!entry)
            return invalid(kChemical, text);
        p.molarMass = *molarMassOfFormula(QString::fromLatin1(entry->formula));
        chemical = QLatin1StringView(entry->name);
        asked = true;
    }
    if (parser.isSet(kMolarMass)) {
        const QString text = parser.value(kMolarMass);
        const std::optional<double> value = parseNonNegative(text);
        if (!value || !(*value > 0.0))
            return invalid(kMolarMass, text);
        p.molarMass = *value;
        chemical = QStringLiteral("a chemical");
        asked = true;
    }
    // The model follows the monotonic clock, which does not start at zero: exposure is counted
    // from now, the server's start.
    const Millis now = SystemClock().monotonicNow();
    std::vector<double> starts(kSampleCellCount, 0.0);
    if (parser.isSet(kExposureStart)) {
        const QString text = parser.value(kExposureStart);
        const auto values = perCell(text);
        if (!values)
            return invalid(kExposureStart, text);
        for (double v : *values)
            if (v > kMaxExposureStartSeconds)
                return invalid(kExposureStart, text);
        starts = *values;
        asked = true;
    }
    p.sulfurCompound = parser.isSet(kSulfurCompound);
    if (!asked)
        return {};
    p.enabled = true;
    for (std::size_t i = 0; i < kSampleCellCount; ++i)
        p.cells[i].exposureStart = now + Millis(std::llround(starts[i] * 1000.0));

    QString text = QStringLiteral("korvat-sim: permeation of %1 (%2 g/mol, %3 L/mol at %4 C and %5 kPa), "
                                  "time factor %6; breakthrough from start-up (real seconds):\n")
                       .arg(chemical, number(p.molarMass), number(molarVolumeLitres(p.gas)), number(p.gas.celsius),
                            number(p.gas.kilopascal), number(p.timeFactor));
    for (int cell = 1; cell <= kSampleCellCount; ++cell) {
        const PermeationCell& c = p.cells[static_cast<std::size_t>(cell - 1)];
        if (!c.membrane) {
            text += QStringLiteral("  cell %1 (position %2): no membrane, clean carrier\n")
                        .arg(cell)
                        .arg(cell + kFirstSampleCellPosition - 1);
            continue;
        }
        text += QStringLiteral("  cell %1 (position %2): steady state %3 ug/cm2/min = %4 ppm; "
                               "ASTM 0.1: %5; EN 1.0: %6\n")
                    .arg(cell)
                    .arg(cell + kFirstSampleCellPosition - 1)
                    .arg(number(steadyStateFlux(*c.membrane) * 60.0),
                         number(ppmFromRate(steadyStateFlux(*c.membrane) * 60.0, c.areaCm2,
                                            c.flowMlPerMin, p.molarMass, p.gas)),
                         breakthroughText(p, cell, kAstmLimit, now),
                         breakthroughText(p, cell, kEnLimit, now));
    }
    print(stderr, text);
    return {};
}

} // namespace korvat::sim
