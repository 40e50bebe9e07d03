#pragma once
// What the virtual instrument's converters say, collected per port, for tests that talk to the
// model directly (no line, no event loop), and the few decodings they share.

#include "model/VirtualInstrument.h"

#include <QByteArray>
#include <QList>

namespace korvat::sim::test {

struct SimWire {
    explicit SimWire(VirtualInstrument& instrument) : instrument_(instrument) {
        instrument.mainConverter().setOutput([this](const QByteArray& b) { fromMain += b; });
        if (ConverterEndpoint* fpd = instrument.fpdConverter())
            fpd->setOutput([this](const QByteArray& b) { fromFpd += b; });
    }

    QByteArray& from(Port port) { return port == Port::Main ? fromMain : fromFpd; }

    // Sends `command` with its CR and returns what the converter said in response, only that.
    QByteArray ask(const QByteArray& command, Port port = Port::Main) {
        const qsizetype before = from(port).size();
        instrument_.endpoint(port)->receive(command + '\r');
        return from(port).mid(before);
    }

    QByteArray fromMain;
    QByteArray fromFpd;

private:
    VirtualInstrument& instrument_;
};

// The CR-terminated lines of `bytes`, without their CRs; a trailing partial line is kept.
inline QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\r');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace korvat::sim::test
