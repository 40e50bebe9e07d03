// Gas paths, the sample loop and injection peaks, driven the way the measurement sequencer drives
// the instrument: open a position's bank-1 valve, "<D1", close the valve, "<D0", start the
// converters, stop them, all on a manual clock. Peak areas are measured as a test of the program
// would: the sum of (sample − baseline) × 0.1 s with the baseline taken from the samples before
// the peak. Covered: each position's area from its concentration, zero gas and every no-flow
// case without a peak, proportionality between the sample cells, when the peak starts, the FPD's
// sulfur peak, the loop's flushing and mixing, the command-line number forms, determinism.

#include "SimWire.h"

#include "link/Commands.h"
#include "model/OptionText.h"
#include "model/VirtualInstrument.h"
#include "util/Clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

using namespace korvat;
using namespace korvat::sim;
using korvat::sim::test::linesOf;
using korvat::sim::test::SimWire;

namespace {

constexpr Millis kTick{90};
constexpr Millis kFillCell{3000};
constexpr Millis kFillLoop{3000};
constexpr Millis kWindow{20'000};
constexpr double kSampleSeconds = 0.1;
// Samples before any peak can start (the earliest start tested is 1.5 s after "<D0").
constexpr std::size_t kBaselineSamples = 14;

// V1 with the bank-1 valves of `positions` open (active low).
std::uint8_t bankOneOpening(std::initializer_list<int> positions) {
    std::uint8_t v1 = 0xFF;
    for (int p : positions)
        v1 = static_cast<std::uint8_t>(v1 & ~(1u << (p - 1)));
    return v1;
}

QByteArray hexByte(std::uint8_t value) {
    return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

struct Window {
    Millis injectedAt{0};
    // The '[' samples of the burst; sample k belongs to the converter start + (k + 1) × 0.1 s.
    std::vector<int> fid;
    std::vector<int> fpd;
    QByteArray fidBytes;
    QByteArray fpdBytes;
};

std::vector<int> burstSamples(const QByteArray& bytes) {
    std::vector<int> values;
    for (const QByteArray& line : linesOf(bytes)) {
        const std::optional<DataSample> sample = decodeDataLine(QString::fromLatin1(line));
        EXPECT_TRUE(sample) << line.constData();
        if (sample && sample->marker == '[')
            values.push_back(sample->value);
    }
    return values;
}

double baselineOf(const std::vector<int>& samples) {
    const std::size_t n = std::min(kBaselineSamples, samples.size());
    return std::accumulate(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(n), 0.0) /
           static_cast<double>(n);
}

// counts·s above the baseline before the peak.
double areaOf(const std::vector<int>& samples) {
    const double baseline = baselineOf(samples);
    double sum = 0;
    for (int v : samples)
        sum += v - baseline;
    return sum * kSampleSeconds;
}

int heightOf(const std::vector<int>& samples) {
    return *std::max_element(samples.begin(), samples.end()) -
           static_cast<int>(std::lround(baselineOf(samples)));
}

// Index of the first sample more than `threshold` above the baseline, or nullopt.
std::optional<std::size_t> firstRise(const std::vector<int>& samples, double threshold) {
    const double baseline = baselineOf(samples);
    for (std::size_t k = 0; k < samples.size(); ++k)
        if (samples[k] - baseline > threshold)
            return k;
    return std::nullopt;
}

// What the test does before and around the injection.
struct Steps {
    std::uint8_t v1 = 0xFF; // bank 1 while the path is open
    bool fillLoop = true;   // send "<D1" at all
    Millis streamAfterInjection{0};
};

// The instrument on a manual clock, talked to the way the sequencer talks to it.
class Bench {
public:
    explicit Bench(InstrumentOptions options = twoDetectors())
        : instrument(std::move(options)), wire(instrument) {
        clock.onAdvance([this](Millis now) { instrument.advanceTo(now); });
    }

    static InstrumentOptions twoDetectors() {
        InstrumentOptions options;
        options.twoConverters = true;
        return options;
    }

    void send(const QByteArray& command, Port port = Port::Main) { wire.ask(command, port); }

    void runFor(Millis span) {
        const Millis end = clock.monotonicNow() + span;
        while (clock.monotonicNow() < end)
            clock.advance(std::min(kTick, end - clock.monotonicNow()));
    }

    void startStreams() {
        for (Port port : ports())
            for (const char* command : {"<12B1100", "<12W1100", "<12Z1100"})
                send(command, port);
    }

    std::vector<Port> ports() const {
        return instrument.options().twoConverters ? std::vector{Port::Main, Port::Fpd}
                                                  : std::vector{Port::Main};
    }

    // Fill cell, fill loop, close the path, inject one tick later, acquire, stop.
    Window measure(const Steps& steps) {
        send("<V1S" + hexByte(steps.v1));
        runFor(kFillCell);
        if (steps.fillLoop)
            send("<D1");
        runFor(kFillLoop);
        send("<V1SFF");
        runFor(kTick);
        Window window;
        window.injectedAt = clock.monotonicNow();
        send("<D0");
        runFor(steps.streamAfterInjection);
        const qsizetype mainFrom = wire.fromMain.size();
        const qsizetype fpdFrom = wire.fromFpd.size();
        startStreams();
        runFor(kWindow);
        for (Port port : ports())
            send("<12Z0100", port);
        window.fidBytes = wire.fromMain.mid(mainFrom);
        window.fpdBytes = wire.fromFpd.mid(fpdFrom);
        window.fid = burstSamples(window.fidBytes);
        window.fpd = burstSamples(window.fpdBytes);
        return window;
    }

    Window measurePosition(int position) { return measure({.v1 = bankOneOpening({position})}); }

    ManualClock clock;
    VirtualInstrument instrument;
    SimWire wire;
};

// ---- every position, as the sequencer measures it -----------------------------------------------

struct PositionCase {
    int position;
    double fidArea; // counts·s
    double fpdArea;
};

// Noise over a 20 s window and the baseline estimate from 14 samples come to some ten counts·s
// on the FID; the drift adds a few more.
constexpr double kFidNoiseArea = 60;
constexpr double kFpdNoiseArea = 20;

TEST(InjectionPeak, EachPositionGivesTheAreaOfItsConcentration) {
    // Defaults: 0, 100, 0.5, 1, 5, 40 ppm isobutane at 450 counts·s per ppm; 2 ppm THT in the
    // reference gas at 2000 counts·s per ppm.
    const PositionCase cases[] = {
        {1, 0, 0}, {2, 45'000, 4'000}, {3, 225, 0}, {4, 450, 0}, {5, 2'250, 0}, {6, 18'000, 0},
    };
    Bench bench;
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.position);
        const Window window = bench.measurePosition(c.position);
        ASSERT_EQ(window.fid.size(), 200u);
        ASSERT_EQ(window.fpd.size(), 200u);
        EXPECT_NEAR(areaOf(window.fid), c.fidArea, std::max(kFidNoiseArea, 0.03 * c.fidArea));
        EXPECT_NEAR(areaOf(window.fpd), c.fpdArea, std::max(kFpdNoiseArea, 0.03 * c.fpdArea));
        EXPECT_DOUBLE_EQ(bench.instrument.expectedPeakArea(Port::Main, c.position), c.fidArea);
        EXPECT_DOUBLE_EQ(bench.instrument.expectedPeakArea(Port::Fpd, c.position), c.fpdArea);
        ASSERT_FALSE(bench.instrument.injections().empty());
        EXPECT_EQ(bench.instrument.injections().back().at, window.injectedAt);
    }
    EXPECT_EQ(bench.instrument.injections().size(), 6u);
}

TEST(InjectionPeak, ReferencePeakIsTallButInsideTheConverterRange) {
    Bench bench;
    const Window window = bench.measurePosition(kReferenceGasPosition);
    const int height = heightOf(window.fid);
    EXPECT_GT(height, 10'000);
    EXPECT_LT(*std::max_element(window.fid.begin(), window.fid.end()), kMaxMagnitude / 4);
    // The loop was flushed for 3 s at a 0.5 s time constant: practically the whole 100 ppm.
    EXPECT_NEAR(bench.instrument.injections().back().gas.hydrocarbonPpm, 100.0, 0.3);
    EXPECT_NEAR(bench.instrument.injections().back().gas.sulfurPpm, 2.0, 0.01);
    // A fast front and a long tail: the apex comes within a second and a half of the rise, and
    // two seconds after the apex the signal is still well above the baseline.
    const std::size_t rise = *firstRise(window.fid, 0.01 * height);
    const auto apex = static_cast<std::size_t>(
        std::max_element(window.fid.begin(), window.fid.end()) - window.fid.begin());
    EXPECT_LE(apex - rise, 15u);
    EXPECT_GT(window.fid[apex + 20] - baselineOf(window.fid), 0.1 * height);
}

TEST(InjectionPeak, SampleCellAreasAreProportionalToTheirConcentrations) {
    InstrumentOptions options;
    options.gas.hydrocarbonPpm = {0, 100, 0.5, 10, 40, 160};
    Bench bench(options);
    const double cell1 = areaOf(bench.measurePosition(4).fid);
    const double cell2 = areaOf(bench.measurePosition(5).fid);
    const double cell3 = areaOf(bench.measurePosition(6).fid);
    const double reference = areaOf(bench.measurePosition(kReferenceGasPosition).fid);
    EXPECT_NEAR(cell2 / cell1, 4.0, 0.12);
    EXPECT_NEAR(cell3 / cell1, 16.0, 0.5);
    EXPECT_NEAR(reference / cell1, 10.0, 0.3);
}

// ---- no peak where nothing reached the loop -----------------------------------------------------

struct NoPeakCase {
    const char* name;
    // Run before the measurement that must show no peak.
    std::vector<Steps> before;
    Steps steps;
};

TEST(InjectionPeak, NoPeakWhenNothingWasInjectedOrTheStreamMissedIt) {
    const NoPeakCase cases[] = {
        {"no valve open", {}, {.v1 = 0xFF}},
        // Bits 6 and 7 belong to no position.
        {"only the unused bits of bank 1", {}, {.v1 = 0x3F}},
        // The injection swept the loop clean; without flow it stays clean.
        {"no valve open after a reference injection",
         {{.v1 = bankOneOpening({kReferenceGasPosition})}},
         {.v1 = 0xFF}},
        // "<D0" without "<D1": the loop was never switched in, so nothing is injected.
        {"reference path open but the loop never switched in",
         {},
         {.v1 = bankOneOpening({kReferenceGasPosition}), .fillLoop = false}},
        // The peak passed before the converter started.
        {"stream started after the peak",
         {},
         {.v1 = bankOneOpening({kReferenceGasPosition}), .streamAfterInjection = Millis(25'000)}},
    };
    for (const NoPeakCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        for (const Steps& steps : c.before)
            bench.measure(steps);
        const Window window = bench.measure(c.steps);
        ASSERT_EQ(window.fid.size(), 200u);
        EXPECT_NEAR(areaOf(window.fid), 0.0, kFidNoiseArea);
        EXPECT_NEAR(areaOf(window.fpd), 0.0, kFpdNoiseArea);
        // Noise reaches about ±10 counts on the FID; a peak of even 1 ppm reaches 200.
        EXPECT_LT(heightOf(window.fid), 25);
    }
}

// ---- timing -------------------------------------------------------------------------------------

TEST(InjectionPeak, PeakStartsTheConfiguredDelayAfterTheInjection) {
    for (Millis delay : {Millis(1500), Millis(2000), Millis(3000)}) {
        SCOPED_TRACE(delay.count());
        InstrumentOptions options = Bench::twoDetectors();
        options.fidResponse.delay = delay;
        options.fpdResponse.delay = delay;
        Bench bench(options);
        const Window window = bench.measurePosition(kReferenceGasPosition);
        // The converters started with "<D0"; sample k is (k + 1) × 0.1 s later.
        for (const std::vector<int>* samples : {&window.fid, &window.fpd}) {
            // Ten times the noise: the front is still in its first tenth of a second there.
            const double threshold =
                10 * (samples == &window.fid ? options.fidSignal.noise : options.fpdSignal.noise);
            const std::optional<std::size_t> rise = firstRise(*samples, threshold);
            ASSERT_TRUE(rise);
            const Millis risesAt = Millis(100) * static_cast<int>(*rise + 1);
            EXPECT_GE(risesAt, delay);
            EXPECT_LE(risesAt, delay + Millis(400));
        }
    }
}

TEST(InjectionPeak, DefaultPeakStartsTwoSecondsAfterTheInjection) {
    EXPECT_EQ(InstrumentOptions().fidResponse.delay, Millis(2000));
    EXPECT_EQ(InstrumentOptions().fpdResponse.delay, Millis(2000));
    // Nothing before the start, and the unit shape integrates to one.
    EXPECT_EQ(peakShapeAt(kFidResponse, Millis(1999)), 0.0);
    EXPECT_GT(peakShapeAt(kFidResponse, Millis(2000)), 0.0);
    double integral = 0;
    for (Millis t{0}; t < peakHorizon(kFidResponse); t += Millis(10))
        integral += peakShapeAt(kFidResponse, t) * 0.01;
    EXPECT_NEAR(integral, 1.0, 1e-3);
}

// ---- the loop and the paths ---------------------------------------------------------------------

TEST(InjectionPeak, LoopFollowsTheOpenPathWithItsFlushTime) {
    struct Case {
        Millis flushTime;
        Millis filled;
        double fraction; // of the path's concentration in the loop
    };
    const Case cases[] = {
        {Millis(500), Millis(500), 1 - std::exp(-1.0)},
        {Millis(500), Millis(1000), 1 - std::exp(-2.0)},
        {Millis(500), Millis(3000), 1 - std::exp(-6.0)},
        {Millis(1000), Millis(1000), 1 - std::exp(-1.0)},
        {Millis(0), Millis(10), 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flushTime.count() << " ms, " << c.filled.count());
        for (Millis step : {Millis(10), c.filled}) {
            InstrumentOptions options;
            options.loopFlushTime = c.flushTime;
            Bench bench(options);
            bench.send("<V1S" + hexByte(bankOneOpening({6})));
            bench.runFor(Millis(5000));
            EXPECT_EQ(bench.instrument.loopContent(), GasSample{}) << "filled without <D1";
            bench.send("<D1");
            for (Millis t{0}; t < c.filled; t += step)
                bench.clock.advance(step);
            EXPECT_NEAR(bench.instrument.loopContent().hydrocarbonPpm, 40.0 * c.fraction, 1e-6);
            // Closing the path stops the flow; the loop keeps its sample until it is injected.
            bench.send("<V1SFF");
            const GasSample held = bench.instrument.loopContent();
            bench.runFor(Millis(5000));
            EXPECT_EQ(bench.instrument.loopContent(), held);
            bench.send("<D0");
            EXPECT_EQ(bench.instrument.injections().back().gas, held);
            EXPECT_EQ(bench.instrument.loopContent(), GasSample{});
        }
    }
}

TEST(InjectionPeak, OpenPathsMeetInEqualShares) {
    struct Case {
        std::uint8_t v1;
        std::optional<GasSample> inflow;
    };
    // Defaults: hydrocarbon 0, 100, 0.5, 1, 5, 40; sulfur 2 on the reference gas only.
    const Case cases[] = {
        {0xFF, std::nullopt},
        {0xC0 | 0x3F, std::nullopt},
        {bankOneOpening({1}), GasSample{0, 0}},
        {bankOneOpening({2}), GasSample{100, 2}},
        {bankOneOpening({6}), GasSample{40, 0}},
        {bankOneOpening({2, 6}), GasSample{70, 1}},
        {bankOneOpening({1, 2, 3, 4, 5, 6}), GasSample{146.5 / 6, 2.0 / 6}},
        // Bits 6 and 7 open nothing, whatever they read.
        {static_cast<std::uint8_t>(bankOneOpening({4}) & 0x3F), GasSample{1, 0}},
    };
    const GasPaths paths;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.v1));
        const std::optional<GasSample> inflow = paths.loopInflow(c.v1, Millis(0));
        ASSERT_EQ(inflow.has_value(), c.inflow.has_value());
        if (!inflow)
            continue;
        EXPECT_DOUBLE_EQ(inflow->hydrocarbonPpm, c.inflow->hydrocarbonPpm);
        EXPECT_DOUBLE_EQ(inflow->sulfurPpm, c.inflow->sulfurPpm);
    }
    EXPECT_EQ(paths.concentrationAt(0, Millis(0)), GasSample{});
    EXPECT_EQ(paths.concentrationAt(7, Millis(0)), GasSample{});
}

// Reference gases of several levels: the reference-gas path delivers one cylinder at a time, the
// first at the start, the next whenever the lab changes it (each list round again after its last;
// the two lists step together), and the injection's areas follow. Without levels a change is none.
TEST(InjectionPeak, ReferenceLevelsStepWithEachCylinderAndThePeakFollows) {
    InstrumentOptions options = Bench::twoDetectors();
    options.gas.referenceLevels = {10, 40, 400};
    options.gas.referenceSulfurLevels = {1, 3};
    Bench bench(options);
    const struct {
        double isobutane, tht;
    } expected[] = {{10, 1}, {40, 3}, {400, 1}, {10, 1}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            EXPECT_EQ(bench.instrument.nextReferenceLevel(), (GasSample{expected[i].isobutane, expected[i].tht}));
        }
        EXPECT_EQ(bench.instrument.gasPaths().referenceLevel(), i % 3);
        const Window window = bench.measurePosition(kReferenceGasPosition);
        EXPECT_NEAR(areaOf(window.fid), 450 * expected[i].isobutane, std::max(kFidNoiseArea, 0.03 * 450 * expected[i].isobutane));
        EXPECT_NEAR(areaOf(window.fpd), 2000 * expected[i].tht, std::max(kFpdNoiseArea, 0.03 * 2000 * expected[i].tht));
    }
    // The other positions keep their gases.
    EXPECT_EQ(bench.instrument.concentration(kReferenceCellPosition), (GasSample{0.5, 0}));

    GasPaths fixed;
    EXPECT_EQ(fixed.nextReferenceLevel(), (GasSample{100, 2}));
    EXPECT_EQ(fixed.referenceLevel(), 0u);
}

// Single-converter instruments inject too; only the FID shows it.
TEST(InjectionPeak, FidOnlyInstrumentShowsThePeakOnPortA) {
    Bench bench(InstrumentOptions{});
    const Window window = bench.measurePosition(kReferenceGasPosition);
    EXPECT_TRUE(window.fpd.empty());
    EXPECT_NEAR(areaOf(window.fid), 45'000, 0.03 * 45'000);
}

TEST(InjectionPeak, SameSeedSameMeasurement) {
    auto run = [](std::uint64_t seed) {
        InstrumentOptions options = Bench::twoDetectors();
        options.seed = seed;
        Bench bench(options);
        bench.measurePosition(kReferenceGasPosition);
        const Window window = bench.measurePosition(5);
        return window.fidBytes + window.fpdBytes;
    };
    const QByteArray first = run(7);
    EXPECT_TRUE(run(7) == first);
    EXPECT_FALSE(run(8) == first);
}

// A clean injection is not quite nothing: the detector's blank, a small offset with its spread
// from one injection to the next, on every injection; reproducible from the seed. Without a blank
// a clean injection leaves no trace at all.
TEST(InjectionPeak, TheBlankIsASmallOffsetThatVariesFromInjectionToInjection) {
    auto areas = [](double blank, double spread, std::uint64_t seed) {
        SignalProfile profile = kFidBaseline;
        profile.blankPpm = blank;
        profile.blankNoisePpm = spread;
        DetectorSignal signal(profile, kFidResponse, seed);
        std::vector<double> out;
        for (int i = 0; i < 200; ++i) {
            const Millis at(i * 60'000LL);
            signal.inject(at, 0.0);
            double area = 0;
            for (Millis t = at; t < at + Millis(20'000); t += Millis(100))
                area += (signal.sampleAt(t) - signal.baselineAt(t)) * kSampleSeconds;
            out.push_back(area);
        }
        return out;
    };
    const std::vector<double> blank = areas(0.2, 0.1, 3);
    const double mean = std::accumulate(blank.begin(), blank.end(), 0.0) / blank.size();
    double squares = 0;
    for (double a : blank)
        squares += (a - mean) * (a - mean);
    const double sd = std::sqrt(squares / (blank.size() - 1));
    // 450 counts·s per ppm: 90 ± 45 counts·s, within what 200 injections and whole counts allow.
    EXPECT_NEAR(mean, 0.2 * kFidResponse.countSecondsPerPpm, 8);
    EXPECT_NEAR(sd, 0.1 * kFidResponse.countSecondsPerPpm, 8);
    EXPECT_EQ(areas(0.2, 0.1, 3), blank);
    EXPECT_NE(areas(0.2, 0.1, 4), blank);
    for (double a : areas(0.0, 0.0, 3))
        EXPECT_EQ(a, 0.0);
}

// ---- korvat-sim's numbers -----------------------------------------------------------------------

TEST(InjectionPeak, CommandLineNumbersTakeADecimalPointAndRefuseTheRest) {
    struct Single {
        const char* text;
        std::optional<double> value;
    };
    const Single singles[] = {
        {"100", 100.0}, {"0.5", 0.5}, {" 2.25 ", 2.25}, {"0", 0.0},  {"1e3", 1000.0}, {"0,5", {}},
        {"-1", {}},     {"", {}},     {"inf", {}},      {"nan", {}}, {"ppm", {}},
    };
    for (const Single& c : singles) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseNonNegative(QString::fromLatin1(c.text)), c.value);
    }
    struct List {
        const char* text;
        std::optional<std::vector<double>> values;
    };
    const List lists[] = {
        {"0.2,5,40", std::vector{0.2, 5.0, 40.0}},
        {"0, 0, 1.5", std::vector{0.0, 0.0, 1.5}},
        {"1,2", {}},
        {"1,2,3,4", {}},
        {"1,,3", {}},
        {"1;2;3", {}},
        {"1,-2,3", {}},
    };
    for (const List& c : lists) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseNonNegativeList(QString::fromLatin1(c.text), 3), c.values);
    }
}

} // namespace
