#pragma once
// One converter board's serial connector: bytes from the program go in through receive(), bytes
// for the program leave through the output callback. Whoever carries the bytes (a pseudo-terminal
// or an in-process line) plugs in here; the board's behaviour lives in VirtualInstrument.

#include "model/LineSplitter.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace korvat::sim {

class VirtualInstrument;

// Port A leads to the main converter (control interface and FID), port B to the FPD converter.
enum class Port { Main, Fpd };

// "A" or "B", as logs and korvat-sim's handshake name the ports.
QString portName(Port port);

class ConverterEndpoint {
public:
    using Output = std::function<void(const QByteArray&)>;

    ConverterEndpoint(const ConverterEndpoint&) = delete;
    ConverterEndpoint& operator=(const ConverterEndpoint&) = delete;

    Port port() const { return port_; }

    // Bytes from the program; every line they complete is handled before this returns, so the
    // output callback may run from inside receive().
    void receive(const QByteArray& bytes);

    // Where the board's bytes go. Without an output, what it says is lost, like talking into an
    // unplugged cable.
    void setOutput(Output output) { output_ = std::move(output); }
    bool hasOutput() const { return static_cast<bool>(output_); }

    // Used by the instrument model to talk on this port.
    void send(const QByteArray& bytes);

private:
    friend class VirtualInstrument;
    ConverterEndpoint(VirtualInstrument& owner, Port port);

    VirtualInstrument& owner_;
    Port port_;
    LineSplitter splitter_;
    Output output_;
};

} // namespace korvat::sim
