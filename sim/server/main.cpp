// korvat-sim: the virtual instrument on pseudo-terminals. Each converter gets a pty; the program
// (or a terminal program, or a test) opens the slave device as it would open a serial port.
//
// Handshake on stdout, for scripts and tests: "A <device>", with --fidfpd "B <device>", then
// "READY". Everything else goes to stderr or the --log file.

#include "model/OptionText.h"
#include "model/VirtualInstrument.h"
#include "server/DeviceLink.h"
#include "server/FaultCli.h"
#include "server/HabitCli.h"
#include "server/PhysicsCli.h"
#include "server/PtyPort.h"
#include "server/ReceivedLineLog.h"
#include "server/SignalWatcher.h"
#include "shell/CommandLine.h"
#include "util/Clock.h"
#include "util/Utils.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

using namespace korvat;
using namespace korvat::sim;

namespace {

// The model's time resolution; its streams run at 10 lines a second.
constexpr int kTickMs = 10;

int fail(const QString& message) {
    std::fputs(("korvat-sim: " + message + '\n').toLocal8Bit().constData(), stderr);
    return 1;
}

// One served converter: its pty and, on request, a fixed name for it.
struct ServedPort {
    PtyPort pty;
    DeviceLink link;
    QString linkPath;
};

// A peak that starts later than this would fall outside any sensible acquisition window.
constexpr double kMaxPeakDelaySeconds = 60.0;

// The gas and peak options into `options`; returns what was wrong, or nothing.
QString applyGasOptions(const QCommandLineParser& parser, InstrumentOptions& options) {
    const auto invalid = [](const QString& name, const QString& value) {
        return QStringLiteral("invalid value \"%1\" for --%2").arg(value, name);
    };
    GasSupply& gas = options.gas;
    const struct {
        const char* name;
        double* target;
    } singles[] = {
        {"ref-ppm", &gas.hydrocarbonPpm[kReferenceGasPosition - 1]},
        {"ref-cell-ppm", &gas.hydrocarbonPpm[kReferenceCellPosition - 1]},
        {"ref-sulfur-ppm", &gas.sulfurPpm[kReferenceGasPosition - 1]},
    };
    for (const auto& single : singles) {
        const QString name = QString::fromLatin1(single.name);
        if (!parser.isSet(name))
            continue;
        const std::optional<double> value = parseNonNegative(parser.value(name));
        if (!value)
            return invalid(name, parser.value(name));
        *single.target = *value;
    }
    const struct {
        const char* name;
        std::vector<double>* target;
    } levels[] = {{"ref-ppm-levels", &gas.referenceLevels}, {"ref-sulfur-ppm-levels", &gas.referenceSulfurLevels}};
    for (const auto& list : levels) {
        const QString name = QString::fromLatin1(list.name);
        if (!parser.isSet(name))
            continue;
        const QString text = parser.value(name);
        const qsizetype count = text.split(u',').size();
        const std::optional<std::vector<double>> values = parseNonNegativeList(text, count);
        if (!values || values->empty())
            return invalid(name, text);
        *list.target = *values;
    }
    if (parser.isSet(QStringLiteral("ref-ppm")) && parser.isSet(QStringLiteral("ref-ppm-levels")))
        return QStringLiteral("--ref-ppm and --ref-ppm-levels exclude each other");
    if (parser.isSet(QStringLiteral("ref-sulfur-ppm")) && parser.isSet(QStringLiteral("ref-sulfur-ppm-levels")))
        return QStringLiteral("--ref-sulfur-ppm and --ref-sulfur-ppm-levels exclude each other");
    const struct {
        const char* name;
        std::array<double, kPositionCount>* target;
    } cells[] = {{"cell-ppm", &gas.hydrocarbonPpm}, {"cell-sulfur-ppm", &gas.sulfurPpm}};
    for (const auto& cell : cells) {
        const QString name = QString::fromLatin1(cell.name);
        if (!parser.isSet(name))
            continue;
        const std::optional<std::vector<double>> values =
            parseNonNegativeList(parser.value(name), kPositionCount - kFirstSampleCellPosition + 1);
        if (!values)
            return invalid(name, parser.value(name));
        std::copy(values->begin(), values->end(),
                  cell.target->begin() + (kFirstSampleCellPosition - 1));
    }
    if (parser.isSet(QStringLiteral("peak-delay"))) {
        const QString text = parser.value(QStringLiteral("peak-delay"));
        const std::optional<double> seconds = parseNonNegative(text);
        if (!seconds || *seconds > kMaxPeakDelaySeconds)
            return invalid(QStringLiteral("peak-delay"), text);
        const Millis delay(std::lround(*seconds * 1000.0));
        options.fidResponse.delay = delay;
        options.fpdResponse.delay = delay;
    }
    return {};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvat-sim"));

    // The help quotes the model's own defaults, so it cannot fall behind them.
    const InstrumentOptions defaults;
    const auto number = [](double value) { return QLocale::c().toString(value, 'g', 6); };
    const auto seconds = [&number](Millis t) {
        return number(static_cast<double>(t.count()) / 1000.0);
    };
    const auto ppm = [&defaults, &number](int position) {
        return number(defaults.gas.hydrocarbonPpm[static_cast<std::size_t>(position - 1)]);
    };
    const auto sulfurPpm = [&defaults, &number](int position) {
        return number(defaults.gas.sulfurPpm[static_cast<std::size_t>(position - 1)]);
    };
    const QString cellsPpm = ppm(4) + ',' + ppm(5) + ',' + ppm(6);
    const QString cellsSulfurPpm = sulfurPpm(4) + ',' + sulfurPpm(5) + ',' + sulfurPpm(6);

    CommandLine line(QStringLiteral("korvat-sim"), {}, {});
    QCommandLineParser& parser = line.parser();
    parser.setApplicationDescription(
        QStringLiteral(
            "The virtual permeation instrument, served on pseudo-terminals.\n"
            "Prints \"A <device>\" (and \"B <device>\") and then \"READY\" on stdout.\n"
            "\n"
            "Port A is the main converter: identification, the registers V1, V2, L, P and D,\n"
            "four heaters (valve block, measuring cell, emission chamber, transfer line) that\n"
            "warm towards their setpoints over minutes, high voltage, zero compensation, and\n"
            "the FID signal. Port B (--fidfpd) is the FPD converter: identification and the\n"
            "FPD signal. \"<12Z1100\" starts ten data lines a second, \"<12Z0100\" ends them\n"
            "with one \"]\" line. Setpoints and on/off commands are acknowledged at once.\n"
            "\n"
            "Gas: bank-1 valve p+10 (V1 bit p-1 written 0) lets position p's gas into the\n"
            "sample loop (1 zero gas, 2 reference gas, 3 reference cell, 4-6 sample cells;\n"
            "several open paths mix in equal shares). While \"<D1\" has the loop switched in,\n"
            "its content follows that gas with a time constant of %1 s; with no path open it\n"
            "keeps what it holds. \"<D0\" injects: the FID and FPD signals show a peak that\n"
            "starts %2 s later (--peak-delay) and has an area of %3 counts*s per ppm\n"
            "isobutane (FID) and %4 counts*s per ppm THT (FPD), seen only while a stream runs.\n"
            "Defaults: zero gas %5 ppm, reference gas %6 ppm with %7 ppm THT, reference cell\n"
            "%8 ppm, sample cells %9 ppm. Numbers take a decimal point.\n"
            "\n"
            "Faults on demand (all off by default): garbled or dropped lines, silence from a\n"
            "given time on, a burst that does not end, a device that vanishes and comes back.\n"
            "\n%10")
            .arg(seconds(defaults.loopFlushTime), seconds(defaults.fidResponse.delay),
                 number(defaults.fidResponse.countSecondsPerPpm),
                 number(defaults.fpdResponse.countSecondsPerPpm), ppm(kZeroGasPosition),
                 ppm(kReferenceGasPosition), sulfurPpm(kReferenceGasPosition),
                 ppm(kReferenceCellPosition), cellsPpm, HabitCli::summary()));
    const QCommandLineOption fidFpd(
        QStringLiteral("fidfpd"),
        QStringLiteral("Fit the FPD converter, served on a second pty (port B)."));
    const QCommandLineOption linkA(
        QStringLiteral("link-a"),
        QStringLiteral("Create a symbolic link <path> to port A's device."),
        QStringLiteral("path"));
    const QCommandLineOption linkB(
        QStringLiteral("link-b"),
        QStringLiteral("Create a symbolic link <path> to port B's device; "
                       "without --fidfpd an old link there is removed."),
        QStringLiteral("path"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Answer nothing at all."));
    const QCommandLineOption badId(
        QStringLiteral("bad-id"),
        QStringLiteral("The main converter identifies with \"2\" where its \"4\" is."));
    const QCommandLineOption mainId(
        QStringLiteral("main-id"),
        QStringLiteral("The main converter answers \":SN\" and <text> (see --ident-a)."),
        QStringLiteral("text"));
    const QCommandLineOption fpdId(
        QStringLiteral("fpd-id"),
        QStringLiteral("The FPD converter answers \":SN\" and <text> (see --ident-b)."),
        QStringLiteral("text"));
    const QCommandLineOption logFile(
        QStringLiteral("log"),
        QStringLiteral("Append every received line to <file> (default: stderr)."),
        QStringLiteral("file"));
    const QCommandLineOption staleA(
        QStringLiteral("stale-a"),
        QStringLiteral("Leave <text> waiting on port A before the program opens it, as bytes an "
                       "earlier session left unread (\\r and \\n stand for CR and LF)."),
        QStringLiteral("text"));
    const QCommandLineOption staleB(
        QStringLiteral("stale-b"),
        QStringLiteral("The same for port B (with --fidfpd)."), QStringLiteral("text"));
    const QCommandLineOption heatersOff(
        QStringLiteral("heaters-off"),
        QStringLiteral("The front-panel switches ask for no heating (P reads FF, not FC)."));
    const QCommandLineOption refPpm(
        QStringLiteral("ref-ppm"),
        QStringLiteral("Reference gas (position 2), ppm isobutane; default %1.")
            .arg(ppm(kReferenceGasPosition)),
        QStringLiteral("ppm"));
    const QCommandLineOption refCellPpm(
        QStringLiteral("ref-cell-ppm"),
        QStringLiteral("Reference cell (position 3), ppm isobutane; default %1.")
            .arg(ppm(kReferenceCellPosition)),
        QStringLiteral("ppm"));
    const QCommandLineOption cellPpm(
        QStringLiteral("cell-ppm"),
        QStringLiteral("Sample cells 1,2,3 (positions 4-6), ppm isobutane; default %1.")
            .arg(cellsPpm),
        QStringLiteral("a,b,c"));
    const QCommandLineOption refSulfurPpm(
        QStringLiteral("ref-sulfur-ppm"),
        QStringLiteral("Sulfur in the reference gas, ppm THT; default %1.")
            .arg(sulfurPpm(kReferenceGasPosition)),
        QStringLiteral("ppm"));
    const QCommandLineOption cellSulfurPpm(
        QStringLiteral("cell-sulfur-ppm"),
        QStringLiteral("Sulfur from sample cells 1,2,3, ppm THT; default %1.").arg(cellsSulfurPpm),
        QStringLiteral("a,b,c"));
    const QCommandLineOption refPpmLevels(
        QStringLiteral("ref-ppm-levels"),
        QStringLiteral("Reference gases of several levels for a calibration curve, ppm isobutane: "
                       "position 2 delivers the first; SIGUSR1 puts the next cylinder on (after the "
                       "last, the first again)."),
        QStringLiteral("a,b,..."));
    const QCommandLineOption refSulfurPpmLevels(
        QStringLiteral("ref-sulfur-ppm-levels"),
        QStringLiteral("The same for the sulfur in the reference gas, ppm THT; the two lists step "
                       "together."),
        QStringLiteral("a,b,..."));
    const QCommandLineOption peakDelay(
        QStringLiteral("peak-delay"),
        QStringLiteral("Seconds from \"<D0\" to the start of the peaks; default %1.")
            .arg(seconds(defaults.fidResponse.delay)),
        QStringLiteral("s"));
    parser.addOptions({fidFpd, linkA, linkB, silent, badId, mainId, fpdId, staleA, staleB,
                       heatersOff, logFile, refPpm, refCellPpm, cellPpm, refSulfurPpm,
                       cellSulfurPpm, refPpmLevels, refSulfurPpmLevels, peakDelay});
    PhysicsCli physics;
    physics.add(parser);
    FaultCli faults;
    faults.add(parser);
    HabitCli habits;
    habits.add(parser);
    if (const int status = line.parse(app.arguments()); status >= 0)
        return status;
    if (!parser.positionalArguments().isEmpty())
        return line.usageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    InstrumentOptions options;
    options.twoConverters = parser.isSet(fidFpd);
    options.silent = parser.isSet(silent);
    options.badIdentification = parser.isSet(badId);
    options.heatersOff = parser.isSet(heatersOff);
    if (const QString bad = habits.apply(parser, mainId, fpdId, options); !bad.isEmpty())
        return line.usageError(bad);
    if (const QString bad = applyGasOptions(parser, options); !bad.isEmpty())
        return line.usageError(bad);
    if (const QString bad = physics.apply(parser, options); !bad.isEmpty())
        return line.usageError(bad);
    // Fault times count from now; the model's time is the monotonic clock's.
    SystemClock clock;
    if (const QString bad = faults.apply(parser, clock.monotonicNow(), options); !bad.isEmpty())
        return line.usageError(bad);

    QString error;
    ReceivedLineLog log;
    if (!log.open(parser.value(logFile), &error))
        return fail(error);

    SignalWatcher signalWatcher;
    if (!signalWatcher.install(&error))
        return fail(error);
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app,
                     [&](int signalNumber) {
                         log.note(QStringLiteral("signal %1, exiting").arg(signalNumber));
                         QCoreApplication::quit();
                     });

    VirtualInstrument instrument(options);
    instrument.setLineObserver([&log](const ReceivedLine& line) { log.write(line); });
    // The lab changes the reference-gas cylinder: said on stderr and in the log, so a script (or
    // the operator) knows which ppm to enter for the next calibration measurement.
    QObject::connect(&signalWatcher, &SignalWatcher::nextCylinderRequested, &app, [&] {
        instrument.advanceTo(clock.monotonicNow());
        const GasSample gas = instrument.nextReferenceLevel();
        const QString text = QStringLiteral("reference gas now %1 ppm isobutane, %2 ppm THT (level %3)")
                                 .arg(QLocale::c().toString(gas.hydrocarbonPpm, 'g', 6),
                                      QLocale::c().toString(gas.sulfurPpm, 'g', 6))
                                 .arg(instrument.gasPaths().referenceLevel() + 1);
        log.note(text);
        std::fputs(("korvat-sim: " + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    });

    // Declared after the instrument, so the ports go first and no byte reaches a dead model.
    ServedPort portA;
    std::unique_ptr<ServedPort> portB;
    auto serve = [&](ServedPort& served, ConverterEndpoint& endpoint, const QString& linkPath) {
        served.linkPath = linkPath;
        if (!served.pty.open(&error))
            return false;
        // The model's time moves on the tick; bring it up to date first, so a command acts at the
        // moment it arrived (a burst's first line then comes 100 ms after its start, not 110).
        served.pty.setReceiver([&instrument, &clock, &endpoint](const QByteArray& bytes) {
            instrument.advanceTo(clock.monotonicNow());
            endpoint.receive(bytes);
        });
        endpoint.setOutput([&served](const QByteArray& bytes) { served.pty.send(bytes); });
        QObject::connect(
            &served.pty, &PtyPort::failed, &app, [&log, &endpoint](const QString& reason) {
                log.note(
                    QStringLiteral("port %1 failed: %2").arg(portName(endpoint.port()), reason));
            });
        return linkPath.isEmpty() || served.link.create(linkPath, served.pty.devicePath(), &error);
    };
    if (!serve(portA, instrument.mainConverter(), parser.value(linkA)))
        return fail(error);
    if (ConverterEndpoint* fpd = instrument.fpdConverter()) {
        portB = std::make_unique<ServedPort>();
        if (!serve(*portB, *fpd, parser.value(linkB)))
            return fail(error);
    } else if (parser.isSet(linkB) && !DeviceLink::removeStale(parser.value(linkB), &error)) {
        return fail(error);
    }
    // Stale bytes go in before the handshake, so they wait in the device when the program opens
    // it (our own slave descriptor keeps them there).
    if (parser.isSet(staleA))
        portA.pty.send(unescapeLineText(parser.value(staleA)));
    if (parser.isSet(staleB)) {
        if (!portB)
            return fail(QStringLiteral("--stale-b needs --fidfpd"));
        portB->pty.send(unescapeLineText(parser.value(staleB)));
    }

    // A device pulled out: the program's reads fail and the name goes. The model runs on; a burst
    // in progress is lost with the cable.
    auto unplug = [&](ServedPort& served, Port port) {
        instrument.dropBurst(port);
        served.link.remove();
        served.pty.close();
        log.note(QStringLiteral("port %1 vanished: pty closed%2")
                     .arg(portName(port),
                          served.linkPath.isEmpty()
                              ? QString()
                              : QStringLiteral(", link %1 removed").arg(served.linkPath)));
    };
    // The device back: a new pty under the same link.
    auto plugIn = [&](ServedPort& served, Port port) {
        QString why;
        if (!served.pty.open(&why) ||
            (!served.linkPath.isEmpty() &&
             !served.link.create(served.linkPath, served.pty.devicePath(), &why))) {
            log.note(QStringLiteral("port %1 cannot come back: %2").arg(portName(port), why));
            return;
        }
        log.note(QStringLiteral("port %1 back on %2").arg(portName(port), served.pty.devicePath()));
    };
    VanishingSchedule vanishing(options.faults.vanishing);
    auto advance = [&] {
        const Millis now = clock.monotonicNow();
        instrument.advanceTo(now);
        if (!vanishing.active())
            return;
        for (VanishingSchedule::Step step : vanishing.advanceTo(now)) {
            for (Port port : {Port::Main, Port::Fpd}) {
                ServedPort* served = port == Port::Main ? &portA : portB.get();
                if (!served || !includes(vanishing.plan()->ports, port))
                    continue;
                if (step == VanishingSchedule::Step::Gone)
                    unplug(*served, port);
                else
                    plugIn(*served, port);
            }
        }
    };

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, advance);
    instrument.advanceTo(clock.monotonicNow());
    tick.start(kTickMs);

    QByteArray handshake = "A " + portA.pty.devicePath().toLocal8Bit() + '\n';
    if (portB)
        handshake += "B " + portB->pty.devicePath().toLocal8Bit() + '\n';
    handshake += "READY\n";
    std::fputs(handshake.constData(), stdout);
    std::fflush(stdout);

    const int rc = QCoreApplication::exec();
    // The instrument outlives the ports; detach so nothing talks to a closing pty.
    instrument.mainConverter().setOutput({});
    if (ConverterEndpoint* fpd = instrument.fpdConverter())
        fpd->setOutput({});
    return rc;
}
