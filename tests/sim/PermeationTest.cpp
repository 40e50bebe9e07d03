// The permeation model of the sample cells: the flux through a membrane (zero before exposure,
// monotonic, its steady state, the time lag of the cumulative amount, accuracy in the first
// minutes), the analytic breakthrough time and its "never", the time factor, the conversion
// from flux to ppm and back as the program computes the rate, the gas paths with the model on
// and off, and korvat-sim's options for it.

#include "model/Permeation.h"
#include "SimWire.h"

#include "link/Commands.h"
#include "model/GasPaths.h"
#include "model/VirtualInstrument.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace korvat;
using namespace korvat::sim;

namespace {

// A membrane with round numbers: lag 10,000 s / 6, steady state 0.1 µg/cm²/s (6 µg/cm²/min).
constexpr Membrane kRound{1e-8, 0.01, 1e5};

// J/Jss from the long-time series summed far past where it matters, independent of how the model
// sums it.
double longSeries(double tau) {
    using std::numbers::pi;
    double sum = 1.0;
    for (int n = 1; n < 20000; ++n)
        sum += 2.0 * ((n % 2 == 0) ? 1.0 : -1.0) * std::exp(-double(n) * n * pi * pi * tau);
    return sum;
}

double secondsAtTau(const Membrane& m, double tau) {
    return tau * m.thickness * m.thickness / m.diffusivity;
}

double perMinute(const Membrane& m, double seconds) {
    return permeationFlux(m, seconds) * 60.0;
}

} // namespace

// ---- the flux --------------------------------------------------------------------------------

TEST(PermeationFlux, NothingUpToExposureThenMonotonicToTheSteadyState) {
    EXPECT_EQ(permeationFlux(kRound, -100.0), 0.0);
    EXPECT_EQ(permeationFlux(kRound, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(steadyStateFlux(kRound), 0.1);

    const double jss = steadyStateFlux(kRound);
    double previous = 0.0;
    // Dimensionless time 0 to 4 in fine steps, across the switch between the two forms.
    for (int i = 1; i <= 8000; ++i) {
        const double t = secondsAtTau(kRound, i * 0.0005);
        const double j = permeationFlux(kRound, t);
        ASSERT_GE(j, previous) << "at tau " << i * 0.0005;
        ASSERT_LE(j, jss);
        previous = j;
    }
    EXPECT_NEAR(previous, jss, 1e-12 * jss);
    EXPECT_GT(permeationFlux(kRound, secondsAtTau(kRound, 0.05)), 0.0);
    EXPECT_LT(permeationFlux(kRound, timeLag(kRound)), 0.7 * jss);
}

TEST(PermeationFlux, FirstMinutesAgreeWithTheLongSeriesSummedFar) {
    // Where the long series needs many terms a truncated sum is visibly wrong, even negative.
    for (double tau : {0.008, 0.012, 0.02, 0.05, 0.1, 0.2, 0.249, 0.251, 0.4, 1.0, 2.0}) {
        SCOPED_TRACE(tau);
        const double expected = steadyStateFlux(kRound) * longSeries(tau);
        const double got = permeationFlux(kRound, secondsAtTau(kRound, tau));
        EXPECT_NEAR(got, expected, 1e-13 * steadyStateFlux(kRound));
        if (expected > 1e-6 * steadyStateFlux(kRound)) {
            EXPECT_NEAR(got / expected, 1.0, 1e-9);
        }
    }
}

TEST(PermeationFlux, CumulativeAmountExtrapolatesToTheTimeLag) {
    const Membrane membranes[] = {kRound, findMaterialPreset(u"nitrile")->membrane,
                                  findMaterialPreset(u"laminate")->membrane};
    for (const Membrane& m : membranes) {
        SCOPED_TRACE(m.diffusivity);
        // Simpson's rule out to ten time lags, where Q(t) = Jss·(t − lag) to 1e-10.
        const double end = 10.0 * timeLag(m);
        const int steps = 20000;
        const double h = end / steps;
        double q = permeationFlux(m, 0.0) + permeationFlux(m, end);
        for (int i = 1; i < steps; ++i)
            q += (i % 2 == 1 ? 4.0 : 2.0) * permeationFlux(m, i * h);
        q *= h / 3.0;
        const double intercept = end - q / steadyStateFlux(m);
        EXPECT_NEAR(intercept / timeLag(m), 1.0, 1e-6);
        EXPECT_DOUBLE_EQ(timeLag(m), m.thickness * m.thickness / (6.0 * m.diffusivity));
    }
}

TEST(PermeationFlux, InvalidMembraneGivesNothing) {
    const Membrane bad[] = {
        {0.0, 0.01, 1e5}, {1e-8, 0.0, 1e5}, {1e-8, 0.01, -1.0}, {std::nan(""), 0.01, 1e5}};
    for (const Membrane& m : bad) {
        EXPECT_FALSE(m.isValid());
        EXPECT_EQ(permeationFlux(m, 1000.0), 0.0);
        EXPECT_FALSE(breakthroughSeconds(m, kEnLimit));
    }
}

// ---- breakthrough ----------------------------------------------------------------------------

TEST(PermeationBreakthrough, EveryPresetCrossesEachLimitWhereTheFluxDoes) {
    for (const MaterialPreset& preset : materialPresets()) {
        for (double limit : {kAstmLimit, kEnLimit, 0.5, 25.0}) {
            SCOPED_TRACE(std::string(preset.name) + " at " + std::to_string(limit));
            const Membrane& m = preset.membrane;
            const std::optional<double> t = breakthroughSeconds(m, limit);
            if (steadyStateFlux(m) * 60.0 <= limit) {
                EXPECT_FALSE(t);
                continue;
            }
            ASSERT_TRUE(t);
            EXPECT_LE(perMinute(m, *t * (1.0 - 1e-9)), limit);
            EXPECT_GT(perMinute(m, *t), limit);
            EXPECT_GT(perMinute(m, *t * (1.0 + 1e-9)), limit);
        }
    }
}

TEST(PermeationBreakthrough, NeverWhenTheSteadyStateStaysAtTheLimit) {
    const double jss = steadyStateFlux(kRound) * 60.0;
    EXPECT_FALSE(breakthroughSeconds(kRound, jss));
    EXPECT_FALSE(breakthroughSeconds(kRound, 1.5 * jss));
    EXPECT_TRUE(breakthroughSeconds(kRound, 0.999 * jss));
    // A negative limit is exceeded by no flux at all.
    EXPECT_EQ(breakthroughSeconds(kRound, -1.0), 0.0);
}

// The presets make a useful demonstration: under the EN limit one breaks through within half
// an hour, one after a couple of hours, one never in an eight-hour test.
TEST(PermeationBreakthrough, PresetsSpreadOverAnEightHourTest) {
    bool early = false;
    bool hours = false;
    bool late = false;
    for (const MaterialPreset& preset : materialPresets()) {
        const std::optional<double> t = breakthroughSeconds(preset.membrane, kEnLimit);
        early |= t && *t < 30 * 60.0;
        hours |= t && *t > 90 * 60.0 && *t < 4 * 3600.0;
        late |= !t || *t > 8 * 3600.0;
        // The stricter limit always comes first.
        const std::optional<double> astm = breakthroughSeconds(preset.membrane, kAstmLimit);
        ASSERT_TRUE(astm) << preset.name;
        if (t) {
            EXPECT_LT(*astm, *t) << preset.name;
        }
    }
    EXPECT_TRUE(early);
    EXPECT_TRUE(hours);
    EXPECT_TRUE(late);
}

TEST(PermeationBreakthrough, ModelTimeFollowsTimeFactorAndExposureStart) {
    PermeationOptions options;
    options.cells[1] = {kRound, kDefaultCellArea, kDefaultCellFlow, Millis(5000)};
    const double limit = 1.0;
    const double physics = *breakthroughSeconds(kRound, limit);
    for (double factor : {1.0, 60.0, 1000.0}) {
        SCOPED_TRACE(factor);
        options.timeFactor = factor;
        const std::optional<Breakthrough> b = cellBreakthrough(options, 2, limit);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->physicsSeconds, physics);
        EXPECT_NEAR(static_cast<double>((b->modelTime - Millis(5000)).count()),
                    physics / factor * 1000.0, 1.0);
        // The first model millisecond past the limit.
        EXPECT_GT(cellRatePerMinute(options, 2, b->modelTime), limit);
        EXPECT_LE(cellRatePerMinute(options, 2, b->modelTime - Millis(1)), limit);
    }
    options.cells[1].membrane.reset();
    EXPECT_FALSE(cellBreakthrough(options, 2, limit));
    EXPECT_FALSE(cellBreakthrough(options, 4, limit));
}

TEST(PermeationCells, TimeFactorScalesOnlyTheTimeSinceExposure) {
    PermeationOptions options;
    options.cells[0] = {kRound, kDefaultCellArea, kDefaultCellFlow, Millis(60'000)};
    options.timeFactor = 60.0;
    // One model minute after exposure is an hour of permeation.
    EXPECT_DOUBLE_EQ(physicsSeconds(options, 1, Millis(120'000)), 3600.0);
    EXPECT_DOUBLE_EQ(cellRatePerMinute(options, 1, Millis(120'000)), perMinute(kRound, 3600.0));
    EXPECT_EQ(cellRatePerMinute(options, 1, Millis(60'000)), 0.0);
    EXPECT_EQ(cellRatePerMinute(options, 1, Millis(0)), 0.0);
}

// ---- from flux to ppm and back ----------------------------------------------------------------

// The permeated mass in the carrier, as ppm by the ideal gas law: checked against hand
// arithmetic for toluene at 20 °C and 101.325 kPa, and the round trip for other chemicals,
// conditions, areas and flows.
TEST(PermeationCells, PpmFromTheFluxByTheChemicalsMolarMassAndTheIdealGasLaw) {
    // Toluene, C7H8: 7 × 12.011 + 8 × 1.008.
    EXPECT_NEAR(*molarMassOfFormula(u"C7H8"), 92.141, 1e-9);
    EXPECT_NEAR(*molarMassOfFormula(u"CH2Cl2"), 12.011 + 2 * 1.008 + 2 * 35.45, 1e-9);
    EXPECT_NEAR(*molarMassOfFormula(u"C2H6S2"), 2 * 12.011 + 6 * 1.008 + 2 * 32.06, 1e-9);
    EXPECT_FALSE(molarMassOfFormula(u"C7Xy8").has_value());
    EXPECT_FALSE(molarMassOfFormula(u"").has_value());
    EXPECT_EQ(findChemical(u"Toluol"), findChemical(u"toluene"));
    // 20 °C, 101.325 kPa: 8.314462618 × 293.15 / 101325 m³/mol.
    EXPECT_NEAR(molarVolumeLitres({}), 24.0551, 1e-4);

    // 1 ug/cm²/min through 19.6 cm² into 100 ml/min: 0.196 ug/ml, 0.196 / 92.141 umol/ml of
    // toluene in 1000 / 24.0551 umol/ml of gas: 51.17 ppm.
    EXPECT_NEAR(ppmFromRate(1.0, 19.6, 100.0, 92.141), 0.196 / 92.141 / (1000 / 24.0551) * 1e6, 1e-3);
    EXPECT_NEAR(ppmFromRate(1.0, 19.6, 100.0, 92.141), 51.17, 0.01);

    struct Case {
        double rate, area, flow, molarMass, celsius;
    };
    const Case cases[] = {{1.0, 19.6, 100.0, 92.141, 20}, {0.1, 19.6, 100.0, 32.042, 25},
                          {37.5, 10.0, 250.0, 58.124, 20}, {0.004, 3.14, 20.0, 88.168, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const GasConditions gas{c.celsius, 101.325};
        const double ppm = ppmFromRate(c.rate, c.area, c.flow, c.molarMass, gas);
        EXPECT_NEAR(rateFromPpm(ppm, c.area, c.flow, c.molarMass, gas), c.rate, 1e-12 * c.rate);
        // A heavier chemical is fewer molecules: the ppm go with 1 / M.
        EXPECT_NEAR(ppmFromRate(c.rate, c.area, c.flow, 2 * c.molarMass, gas), ppm / 2, 1e-12 * ppm);
    }

    PermeationOptions options;
    options.cells[2] = {kRound, 12.0, 50.0, Millis(0)};
    const Millis t(3'600'000);
    EXPECT_NEAR(rateFromPpm(cellPpm(options, 3, t), 12.0, 50.0, options.molarMass), cellRatePerMinute(options, 3, t),
                1e-12);
}

// ---- gas paths --------------------------------------------------------------------------------

TEST(PermeationGasPaths, CellsRiseWhileTheOtherPositionsStayFixed) {
    const GasSupply supply;
    PermeationOptions options;
    options.enabled = true;
    options.timeFactor = 60.0;
    options.fidFactor = 2.0;
    options.cells[1].membrane.reset();
    const GasPaths paths(supply, options);

    double previous = -1.0;
    for (Millis t : {Millis(0), Millis(600'000), Millis(1'200'000), Millis(3'600'000)}) {
        SCOPED_TRACE(t.count());
        for (int position = 1; position <= 3; ++position)
            EXPECT_EQ(paths.concentrationAt(position, t),
                      GasPaths(supply).concentrationAt(position, t));
        const GasSample cell1 = paths.concentrationAt(4, t);
        EXPECT_DOUBLE_EQ(cell1.hydrocarbonPpm, cellPpm(options, 1, t) / 2.0);
        EXPECT_EQ(cell1.sulfurPpm, 0.0);
        EXPECT_GT(cell1.hydrocarbonPpm, previous);
        previous = cell1.hydrocarbonPpm;
        EXPECT_EQ(paths.concentrationAt(5, t), GasSample{}) << "a cell without membrane";
    }
    EXPECT_EQ(paths.concentrationAt(4, Millis(0)), GasSample{});
    EXPECT_GT(paths.concentrationAt(6, Millis(3'600'000)).hydrocarbonPpm, 0.0);
}

TEST(PermeationGasPaths, SulfurCompoundReachesTheFpd) {
    PermeationOptions options;
    options.enabled = true;
    options.sulfurCompound = true;
    options.fpdFactor = 4.0;
    const GasPaths paths(GasSupply{}, options);
    const Millis t(7'200'000);
    const GasSample gas = paths.concentrationAt(4, t);
    EXPECT_DOUBLE_EQ(gas.sulfurPpm, cellPpm(options, 1, t) / 4.0);
    EXPECT_DOUBLE_EQ(gas.hydrocarbonPpm, cellPpm(options, 1, t));
}

TEST(PermeationGasPaths, DisabledKeepsTheFixedSupply) {
    GasSupply supply;
    supply.hydrocarbonPpm[4] = 12.5;
    PermeationOptions options;
    options.timeFactor = 1000.0;
    ASSERT_FALSE(options.enabled);
    const GasPaths paths(supply, options);
    for (int position = 0; position <= kPositionCount + 1; ++position)
        for (Millis t : {Millis(0), Millis(28'800'000)})
            EXPECT_EQ(paths.concentrationAt(position, t),
                      GasPaths(supply).concentrationAt(position, t));
}

TEST(PermeationGasPaths, InstrumentPassesTheOptionsOn) {
    InstrumentOptions options;
    options.permeation.enabled = true;
    options.permeation.timeFactor = 60.0;
    VirtualInstrument instrument(options);
    instrument.advanceTo(Millis(1'800'000));
    EXPECT_DOUBLE_EQ(instrument.concentration(4).hydrocarbonPpm,
                     cellPpm(options.permeation, 1, Millis(1'800'000)));
    EXPECT_EQ(instrument.concentration(2).hydrocarbonPpm, GasSupply{}.hydrocarbonPpm[1]);
}

// Through the whole instrument as the program measures it: a reference-gas injection calibrates
// the FID, sample-cell injections give peak areas, and the program's arithmetic (ppm from the
// area ratio times the sample factor, rate = M / 24.1 L/mol × ppm × flow / area with toluene's
// 92.14 g/mol from its list) must return the model's flux at the moment the loop was closed off:
// within the difference of the two molar volumes (24.1 against the model's 24.06 at 20 °C).
TEST(PermeationGasPaths, ProgramArithmeticOnThePeaksRecoversTheFlux) {
    InstrumentOptions options;
    options.permeation.enabled = true;
    options.permeation.timeFactor = 10.0;
    options.permeation.fidFactor = 2.0;
    options.permeation.cells[0].areaCm2 = 10.0;
    options.permeation.cells[0].flowMlPerMin = 150.0;
    VirtualInstrument instrument(options);
    test::SimWire wire(instrument);
    Millis now{0};
    const auto runFor = [&](Millis span) {
        for (const Millis end = now + span; now < end;)
            instrument.advanceTo(now = std::min(end, now + Millis(90)));
    };
    // Returns the FID peak area (counts·s) and when the path closed.
    const auto measure = [&](int position) {
        wire.ask(position == 2 ? "<V1SFD" : "<V1SF7");
        runFor(Millis(3000));
        wire.ask("<D1");
        runFor(Millis(3000));
        wire.ask("<V1SFF");
        const Millis closed = now;
        runFor(Millis(90));
        wire.ask("<D0");
        const qsizetype from = wire.fromMain.size();
        for (const char* command : {"<12B1100", "<12W1100", "<12Z1100"})
            wire.ask(command);
        runFor(Millis(20'000));
        wire.ask("<12Z0100");
        std::vector<int> samples;
        for (const QByteArray& line : test::linesOf(wire.fromMain.mid(from)))
            if (const auto sample = decodeDataLine(QString::fromLatin1(line));
                sample && sample->marker == '[')
                samples.push_back(sample->value);
        EXPECT_GT(samples.size(), 150u);
        if (samples.size() < 14)
            return std::pair{0.0, closed};
        double baseline = 0;
        for (std::size_t k = 0; k < 14; ++k)
            baseline += samples[k] / 14.0;
        double area = 0;
        for (int v : samples)
            area += (v - baseline) * 0.1;
        return std::pair{area, closed};
    };
    const double calibrationArea = measure(2).first;
    const double calibrationPpm = GasSupply{}.hydrocarbonPpm[1];
    // Physics times from about the EN breakthrough of the default nitrile to near its steady state.
    for (Millis at : {Millis(150'000), Millis(300'000), Millis(900'000)}) {
        SCOPED_TRACE(at.count());
        runFor(at - now);
        const auto [area, closed] = measure(kFirstSampleCellPosition);
        const double ppm = area / calibrationArea * options.permeation.fidFactor * calibrationPpm;
        const double rate = ((92.14 / 24100.0 * ppm) * 150.0) / 10.0;
        EXPECT_NEAR(rate / cellRatePerMinute(options.permeation, 1, closed), 1.0, 0.02);
    }
}

// ---- korvat-sim's options -----------------------------------------------------------------------

namespace {

QString simBinary() {
    const QByteArray dir = qgetenv("KORVAT_BIN_DIR");
    const QString folder =
        dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
    return folder + QStringLiteral("/korvat-sim");
}

struct SimRun {
    bool ready = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Starts korvat-sim and waits for READY or its exit; a running server is stopped again.
SimRun runSim(const QStringList& arguments) {
    QProcess process;
    process.start(simBinary(), arguments);
    SimRun run;
    if (!process.waitForStarted(10000))
        return run;
    while (process.state() != QProcess::NotRunning && !run.out.contains("READY")) {
        if (!process.waitForReadyRead(10000))
            break;
        run.out += process.readAllStandardOutput();
    }
    run.ready = run.out.contains("READY");
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        process.waitForFinished(5000);
    }
    run.out += process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.exitCode = process.exitCode();
    return run;
}

} // namespace

TEST(PermeationSimOptions, RefusesBadValuesPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    const QStringList cases[] = {
        {QStringLiteral("--cell-material"), QStringLiteral("nitrile,steel,none")},
        {QStringLiteral("--cell-material"), QStringLiteral("nitrile,butyl")},
        {QStringLiteral("--cell-material"), QStringLiteral("1e-8/0/1e5,none,none")},
        {QStringLiteral("--cell-area"), QStringLiteral("0")},
        {QStringLiteral("--cell-flow"), QStringLiteral("100,100")},
        {QStringLiteral("--time-factor"), QStringLiteral("0")},
        {QStringLiteral("--fid-factor"), QStringLiteral("-1")},
        {QStringLiteral("--exposure-start"), QStringLiteral("0,5")},
        {QStringLiteral("--chemical"), QStringLiteral("unobtainium")},
        {QStringLiteral("--molar-mass"), QStringLiteral("0")},
        {QStringLiteral("--gas-temperature"), QStringLiteral("-300")},
        {QStringLiteral("--gas-pressure"), QStringLiteral("0")},
        {QStringLiteral("--blank-noise"), QStringLiteral("-0.1")},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const SimRun run = runSim(arguments);
        EXPECT_FALSE(run.ready);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("--" + arguments.first().mid(2).toLatin1()))
            << run.err.constData();
    }
}

TEST(PermeationSimOptions, PrintsBreakthroughTimesAndPresetsPty) {
    if (!QFileInfo::exists(simBinary()))
        GTEST_SKIP() << "korvat-sim not found";
    const SimRun run =
        runSim({QStringLiteral("--cell-material"), QStringLiteral("latex,none,1e-8/0.01/1e5"),
                QStringLiteral("--time-factor"), QStringLiteral("60"),
                QStringLiteral("--cell-flow"), QStringLiteral("50.5")});
    EXPECT_TRUE(run.ready) << run.err.constData();
    EXPECT_TRUE(run.err.contains("time factor 60")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("cell 2 (position 5): no membrane")) << run.err.constData();
    // kRound's EN breakthrough at 1 µg/cm²/min, sixty times faster, in real seconds.
    const QRegularExpression cell3(
        QStringLiteral("cell 3 \\(position 6\\).*EN 1\\.0: ([0-9.]+) s"));
    const QRegularExpressionMatch match = cell3.match(QString::fromLocal8Bit(run.err));
    ASSERT_TRUE(match.hasMatch()) << run.err.constData();
    EXPECT_NEAR(match.captured(1).toDouble(), *breakthroughSeconds(kRound, kEnLimit) / 60.0, 0.01);

    // The chemical's molar mass from its formula, the gas's molar volume from its conditions.
    const SimRun methanol = runSim({QStringLiteral("--chemical"), QStringLiteral("Methanol"),
                                    QStringLiteral("--gas-temperature"), QStringLiteral("25")});
    EXPECT_TRUE(methanol.ready) << methanol.err.constData();
    EXPECT_TRUE(methanol.err.contains("permeation of methanol (32.042 g/mol, 24.4654 L/mol at 25 C"))
        << methanol.err.constData();

    const SimRun list = runSim({QStringLiteral("--material-list")});
    EXPECT_FALSE(list.ready);
    EXPECT_EQ(list.exitCode, 0);
    for (const MaterialPreset& preset : materialPresets())
        EXPECT_TRUE(list.out.contains(preset.name)) << preset.name;
}
