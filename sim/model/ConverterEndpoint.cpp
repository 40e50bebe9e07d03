#include "model/ConverterEndpoint.h"

#include "model/VirtualInstrument.h"

namespace korvat::sim {

QString portName(Port port) {
    return port == Port::Main ? QStringLiteral("A") : QStringLiteral("B");
}

ConverterEndpoint::ConverterEndpoint(VirtualInstrument& owner, Port port)
    : owner_(owner), port_(port) {}

void ConverterEndpoint::receive(const QByteArray& bytes) {
    for (const LineSplitter::Line& line : splitter_.feed(bytes))
        owner_.handleLine(*this, line);
}

void ConverterEndpoint::send(const QByteArray& bytes) {
    if (output_ && !bytes.isEmpty())
        output_(bytes);
}

} // namespace korvat::sim
