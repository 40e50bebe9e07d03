// korvat-sim: the virtual instrument on pseudo-terminals. Each converter gets a pty; the program
// (or a terminal program, or a test) opens the slave device as it would open a serial port.
//
// Handshake on stdout, for scripts and tests: "A <device>", with --fidfpd "B <device>", then
// "READY". Everything else goes to stderr or the --log file.

#include "model/VirtualInstrument.h"
#include "server/DeviceLink.h"
#include "server/PtyPort.h"
#include "server/ReceivedLineLog.h"
#include "server/SignalWatcher.h"
#include "util/Clock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

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
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvat-sim"));

    QCommandLineParser parser;
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
            "with one \"]\" line. Setpoints and on/off commands are acknowledged at once."));
    parser.addHelpOption();
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
        QStringLiteral("The main converter identifies without the \"4\"."));
    const QCommandLineOption mainId(QStringLiteral("main-id"),
                                    QStringLiteral("Identification text of the main converter."),
                                    QStringLiteral("text"));
    const QCommandLineOption fpdId(QStringLiteral("fpd-id"),
                                   QStringLiteral("Identification text of the FPD converter."),
                                   QStringLiteral("text"));
    const QCommandLineOption logFile(
        QStringLiteral("log"),
        QStringLiteral("Append every received line to <file> (default: stderr)."),
        QStringLiteral("file"));
    const QCommandLineOption heatersOff(
        QStringLiteral("heaters-off"),
        QStringLiteral("The front-panel switches ask for no heating (P reads FF, not FC)."));
    parser.addOptions({fidFpd, linkA, linkB, silent, badId, mainId, fpdId, heatersOff, logFile});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    InstrumentOptions options;
    options.twoConverters = parser.isSet(fidFpd);
    options.silent = parser.isSet(silent);
    options.badIdentification = parser.isSet(badId);
    options.heatersOff = parser.isSet(heatersOff);
    if (parser.isSet(mainId))
        options.mainId = parser.value(mainId).toLatin1();
    if (parser.isSet(fpdId))
        options.fpdId = parser.value(fpdId).toLatin1();

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

    SystemClock clock;
    VirtualInstrument instrument(options);
    instrument.setLineObserver([&log](const ReceivedLine& line) { log.write(line); });

    // Declared after the instrument, so the ports go first and no byte reaches a dead model.
    ServedPort portA;
    std::unique_ptr<ServedPort> portB;
    auto serve = [&](ServedPort& served, ConverterEndpoint& endpoint, const QString& linkPath) {
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

    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app,
                     [&] { instrument.advanceTo(clock.monotonicNow()); });
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
