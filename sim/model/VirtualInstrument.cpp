#include "model/VirtualInstrument.h"

// Off unless asked for (QT_LOGGING_RULES="korvat.sim.info=true"): a long simulated run receives
// commands several times a second, and korvat-sim keeps its own log anyway.
Q_LOGGING_CATEGORY(lcSim, "korvat.sim", QtWarningMsg)

namespace korvat::sim {

namespace {
constexpr char kCr = '\r';
} // namespace

VirtualInstrument::VirtualInstrument(InstrumentOptions options)
    : options_(std::move(options)), main_(new ConverterEndpoint(*this, Port::Main)),
      fpd_(options_.twoConverters ? new ConverterEndpoint(*this, Port::Fpd) : nullptr) {}

VirtualInstrument::~VirtualInstrument() = default;

void VirtualInstrument::advanceTo(Millis now) {
    if (now <= now_)
        return;
    now_ = now;
}

QByteArray VirtualInstrument::identificationReply(Port port) const {
    QByteArray line = ":SN" + (port == Port::Main ? options_.mainId : options_.fpdId);
    if (port == Port::Main && options_.badIdentification && line.size() > 3 && line[3] == '4')
        line[3] = '2';
    return line + kCr;
}

void VirtualInstrument::handleLine(ConverterEndpoint& endpoint, const LineSplitter::Line& line) {
    const ReceivedLine received{endpoint.port(), line.text, now_, line.overlong};
    if (line.overlong)
        qCInfo(lcSim).noquote() << portName(endpoint.port())
                                << "overlong line dropped:" << printableLine(line.text);
    else
        qCInfo(lcSim).noquote() << portName(endpoint.port()) << printableLine(line.text);
    if (observer_)
        observer_(received);
    if (line.overlong)
        return;
    dispatch(endpoint, parseCommand(line.text));
}

void VirtualInstrument::dispatch(ConverterEndpoint& endpoint, const Command& command) {
    switch (command.kind) {
    case CommandKind::Identify:
        reply(endpoint, identificationReply(endpoint.port()));
        return;
    case CommandKind::Unknown:
        return;
    }
}

void VirtualInstrument::reply(ConverterEndpoint& endpoint, const QByteArray& line) {
    if (options_.silent)
        return;
    endpoint.send(line);
}

} // namespace korvat::sim
