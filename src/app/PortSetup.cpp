// Finding the instrument's serial ports: what start-up says when it cannot, the test of a pair
// the chooser offers, and storing the pair.

#include "app/KorvatApp.h"
#include "link/Commands.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"

#include <QDir>

namespace korvat {

QString KorvatApp::settingsFileNote() const {
    return T(316).arg(QDir::toNativeSeparators(ini_.path()));
}

bool KorvatApp::openForIdentification(SerialLine& port) {
    Link::OpenProblem problem;
    if (link_.openPort(port, &problem))
        return true;
    identifyProblems_ << (problem.failedToOpen ? problem.text : port.deviceName() + QStringLiteral(": ") + problem.text);
    if (!portChooser_) {
        dialogs_.message(problem.text, problem.caption);
        // A device that is there but refuses to open will not open on the next try either.
        if (problem.failedToOpen)
            terminateRequested_ = true;
    }
    return false;
}

void KorvatApp::identificationFailed(const QString& text, bool endBox) {
    identifyProblems_ << text;
    if (portChooser_)
        return;
    if (endBox)
        endProgramBox(text);
    else
        dialogs_.message(text + QLatin1Char('\n') + settingsFileNote());
}

PortTestResult KorvatApp::testPorts(const PortPair& pair) {
    PortTestResult result;
    if (run_.running()) {
        result.lines << T(318);
        return result;
    }
    portTestRunning_ = true;
    SerialLine& com1 = link_.ComPort1();
    SerialLine& com2 = link_.ComPort2();
    const QString name1 = com1.deviceName();
    const QString name2 = com2.deviceName();
    const bool open1 = com1.isOpen();
    const bool open2 = com2.isOpen();
    com1.close();
    com2.close();
    if (!link_.ReplyQueue())
        link_.createQueues(true);
    const bool twoPorts = settings_.DeviceTyp == TDeviceTyp::FIDFPD;

    auto tryPort = [&](SerialLine& port, const QString& name, IdentifiedBoard board, const QString& command) {
        port.setDeviceName(name);
        Link::OpenProblem problem;
        if (!link_.openPort(port, &problem)) {
            result.lines << (problem.failedToOpen ? problem.text : name + QStringLiteral(": ") + problem.text);
            return false;
        }
        const QString reply = identify(port, command, board);
        port.close();
        if (reply.isEmpty()) {
            result.lines << T(313).arg(name);
            return false;
        }
        if (board == IdentifiedBoard::Main && !identifiesMainConverter(reply)) {
            result.lines << T(314).arg(name, reply);
            return false;
        }
        result.lines << T(312).arg(name, serialNumberOf(reply));
        return true;
    };
    bool identified = tryPort(com1, pair.portA, IdentifiedBoard::Main, twoPorts ? kIdentify : kIdentifySinglePort);
    if (twoPorts)
        identified = tryPort(com2, pair.portB, IdentifiedBoard::Fpd, kIdentify) && identified;

    com1.setDeviceName(name1);
    com2.setDeviceName(name2);
    // The ports in use go back to work; whatever the test left on them is no reply of theirs.
    for (auto [port, wasOpen] : {std::pair<SerialLine*, bool>{&com1, open1}, {&com2, open2}}) {
        if (wasOpen && link_.openPort(*port, nullptr))
            link_.discardInput(*port);
    }
    portTestRunning_ = false;
    result.identified = identified;
    return result;
}

QString KorvatApp::storePorts(const PortPair& pair) {
    if (!ini_.writeString(key::ComPortA, pair.portA) || !ini_.writeString(key::ComPortB, pair.portB))
        return ini_.lastError();
    settings_.ComPortA = pair.portA;
    settings_.ComPortB = pair.portB;
    return {};
}

PortChooserRequest KorvatApp::portChooserRequest(const QString& problem, bool atStartup) {
    PortChooserRequest request;
    request.language = ID;
    request.problem = problem;
    request.settingsFile = QDir::toNativeSeparators(ini_.path());
    request.current = {settings_.ComPortA, settings_.ComPortB};
    request.usesPortB = settings_.DeviceTyp == TDeviceTyp::FIDFPD;
    request.atStartup = atStartup;
    request.test = [this](const PortPair& pair) { return testPorts(pair); };
    request.store = [this](const PortPair& pair) { return storePorts(pair); };
    return request;
}

void KorvatApp::choosePorts() {
    if (!portChooser_)
        return;
    if (portChooser_->choosePorts(portChooserRequest({}, false)))
        view_.logLine(T(317).arg(QDir::toNativeSeparators(ini_.path())));
}

} // namespace korvat
