#include "model/VirtualInstrument.h"

#include "model/Noise.h"

#include <algorithm>
#include <cmath>

// Off unless asked for (QT_LOGGING_RULES="korvat.sim.info=true"): a long simulated run receives
// commands several times a second, and korvat-sim keeps its own log anyway.
Q_LOGGING_CATEGORY(lcSim, "korvat.sim", QtWarningMsg)

namespace korvat::sim {

namespace {

// How quickly each zone follows its heating, by the thermal mass behind it: the small transfer
// line is quick, the emission chamber's block slow. Half an hour settles every one of them.
constexpr std::array<Millis, kZoneCount> kTimeConstants{
    Millis(240'000), // valve block
    Millis(180'000), // measuring cell
    Millis(300'000), // emission chamber
    Millis(200'000), // transfer line
};

// Temperature jitter changes once a second, like a sensor read at that rate.
constexpr Millis kJitterPeriod{1000};
constexpr std::uint64_t kJitterChannel = 0x5400;

// P: bits 2 and 3 always read 1; bit 0 = 0 asks for the measuring-cell heating, bit 1 = 0 for the
// valve-block heating. Written bit 4 = 0 switches the valve block on, bit 5 = 0 the measuring cell.
constexpr std::uint8_t kPWritable = 0xF0;
constexpr std::uint8_t kPFixedOnes = 0x0C;
constexpr std::uint8_t kPCellRequest = 0x01;
constexpr std::uint8_t kPValveBlockRequest = 0x02;
constexpr std::uint8_t kPValveBlockHeating = 0x10;
constexpr std::uint8_t kPCellHeating = 0x20;

QByteArray hex(int value, int digits) {
    const int mask = (1 << (4 * digits)) - 1;
    return QByteArray::number(value & mask, 16).toUpper().rightJustified(digits, '0');
}

// A signed reading as the 16-bit two's complement code the converter sends.
int signed16Code(int value) {
    return std::clamp(value, -32768, 32767) & 0xFFFF;
}

std::array<Heater, kZoneCount> makeHeaters(double ambient) {
    return {Heater(ambient, kTimeConstants[0]), Heater(ambient, kTimeConstants[1]),
            Heater(ambient, kTimeConstants[2]), Heater(ambient, kTimeConstants[3])};
}

// Where the faults draw their randomness; each port adds its own number.
constexpr std::uint64_t kDropChannel = 0x6B00;
constexpr std::uint64_t kGarbleChannel = 0x6C00;
constexpr std::uint64_t kGarbleBytesChannel = 0x6D00;

std::size_t portIndex(Port port) {
    return port == Port::Main ? 0 : 1;
}

// Each converter gets its own noise, even with one seed for the instrument.
std::uint64_t converterSeed(std::uint64_t seed, Port port) {
    return noise::hash(seed, 0x4144, port == Port::Main ? 1 : 2);
}

StreamHabits streamHabits(const WireHabits& habits, Port port) {
    StreamHabits stream;
    stream.form = habits.data;
    stream.form.lineEnd = lineEndBytes(habits.lineEnd);
    stream.samplePeriod = habits.samplePeriod;
    stream.batch = habits.dataBatch;
    stream.linesAfterStop = habits.linesAfterStop[portIndex(port)];
    stream.closingLineWhenIdle = habits.closingLineWhenIdle;
    return stream;
}

} // namespace

VirtualInstrument::VirtualInstrument(InstrumentOptions options)
    : options_(std::move(options)), main_(new ConverterEndpoint(*this, Port::Main)),
      fpd_(options_.twoConverters ? new ConverterEndpoint(*this, Port::Fpd) : nullptr),
      cellHeatingRequested_(!options_.heatersOff),
      valveBlockHeatingRequested_(!options_.heatersOff),
      heaters_(makeHeaters(options_.ambientCelsius)), gasPaths_(options_.gas, options_.permeation),
      loop_(options_.loopFlushTime),
      mainStream_(options_.habits.dataChannel[0],
                  DetectorSignal(options_.fidSignal, options_.fidResponse,
                                 converterSeed(options_.seed, Port::Main)),
                  streamHabits(options_.habits, Port::Main)),
      lineEnd_(lineEndBytes(options_.habits.lineEnd)) {
    if (fpd_)
        fpdStream_ = std::make_unique<ConverterStream>(
            options_.habits.dataChannel[1],
            DetectorSignal(options_.fpdSignal, options_.fpdResponse,
                           converterSeed(options_.seed, Port::Fpd)),
            streamHabits(options_.habits, Port::Fpd));
}

VirtualInstrument::~VirtualInstrument() = default;

void VirtualInstrument::advanceTo(Millis now) {
    // Data lines due before the silence begins still go out, however large the step.
    if (const std::optional<Millis> from = options_.faults.silentFrom;
        from && now_ < *from - Millis(1) && now >= *from)
        advanceModel(*from - Millis(1));
    advanceModel(now);
}

void VirtualInstrument::advanceModel(Millis now) {
    if (now <= now_)
        return;
    const Millis elapsed = now - now_;
    for (int i = 0; i < kZoneCount; ++i)
        heaters_[i].advance(elapsed, isHeating(static_cast<Zone>(i)));
    if (loopSwitchedIn())
        if (const std::optional<GasSample> inflow = gasPaths_.loopInflow(v1_, now))
            loop_.flush(elapsed, *inflow);
    now_ = now;
    for (Port port : {Port::Main, Port::Fpd}) {
        if (!endpoint(port))
            continue;
        pumpWire(port);
        ConverterStream* burst = stream(port);
        if (!burst || !burst->isOpen())
            continue;
        QByteArray lines;
        burst->appendDue(now_, lines);
        transmit(*endpoint(port), Traffic::Data, lines);
    }
}

QByteArray VirtualInstrument::identificationReply(Port port) const {
    QByteArray line =
        port == Port::Main ? options_.mainIdentification : options_.fpdIdentification;
    if (line.isEmpty())
        return {};
    if (port == Port::Main && options_.badIdentification && line.size() > 3 && line[3] == '4')
        line[3] = '2';
    return line + lineEnd_;
}

int VirtualInstrument::registerValue(Register reg) const {
    switch (reg) {
    case Register::V1:
        return v1_;
    case Register::V2:
        return v2_;
    case Register::L:
        return l_;
    case Register::P:
        return pWritten_ | kPFixedOnes | (cellHeatingRequested_ ? 0 : kPCellRequest) |
               (valveBlockHeatingRequested_ ? 0 : kPValveBlockRequest);
    case Register::D:
        return d_;
    }
    return 0;
}

bool VirtualInstrument::isHeating(Zone zone) const {
    const bool switchedOn = heaterSwitchedOn_[index(zone)];
    switch (zone) {
    case Zone::ValveBlock:
        return switchedOn || !(pWritten_ & kPValveBlockHeating);
    case Zone::MeasuringCell:
        return switchedOn || !(pWritten_ & kPCellHeating);
    case Zone::EmissionChamber:
    case Zone::TransferLine:
        break;
    }
    return switchedOn;
}

int VirtualInstrument::temperatureTenths(Zone zone) const {
    const auto slot = static_cast<std::uint64_t>(now_ / kJitterPeriod);
    const double jitter =
        options_.temperatureNoise *
        noise::uniform(noise::hash(options_.seed, kJitterChannel + index(zone), slot));
    return static_cast<int>(std::lround((heater(zone).temperature() + jitter) * 10.0));
}

bool VirtualInstrument::isStreaming(Port port) const {
    if (port == Port::Main)
        return mainStream_.isOpen();
    return fpdStream_ && fpdStream_->isOpen();
}

void VirtualInstrument::dropBurst(Port port) {
    if (ConverterStream* burst = stream(port); burst && burst->isOpen()) {
        qCInfo(lcSim).noquote() << portName(port) << "burst dropped";
        burst->abort();
    }
}

bool VirtualInstrument::isSilentAt(Millis now) const {
    return options_.silent || (options_.faults.silentFrom && now >= *options_.faults.silentFrom);
}

void VirtualInstrument::setHeatingRequests(bool measuringCell, bool valveBlock) {
    cellHeatingRequested_ = measuringCell;
    valveBlockHeatingRequested_ = valveBlock;
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
    if (options_.habits.echo)
        reply(endpoint, line.text);
    dispatch(endpoint, parseCommand(line.text));
}

void VirtualInstrument::dispatch(ConverterEndpoint& endpoint, const Command& command) {
    if (command.controlInterface && endpoint.port() != Port::Main) {
        qCInfo(lcSim).noquote() << portName(endpoint.port())
                                << "has no control interface:" << command.mnemonic;
        return;
    }
    const QByteArray answer = ':' + command.mnemonic;
    switch (command.kind) {
    case CommandKind::Identify:
        transmit(endpoint, Traffic::Reply, identificationReply(endpoint.port()));
        return;
    case CommandKind::RegisterSet:
        writeRegister(command.reg, command.value);
        if (options_.habits.ackEveryCommand)
            acknowledge(endpoint, command);
        return;
    case CommandKind::RegisterQuery:
        answerQuery(endpoint, answer + hex(registerValue(command.reg), 2));
        return;
    case CommandKind::LoopSwitch:
        writeD(static_cast<std::uint8_t>(command.value ? (d_ | kDLoopIn) : (d_ & ~kDLoopIn)));
        if (options_.habits.ackEveryCommand)
            acknowledge(endpoint, command);
        return;
    case CommandKind::SetpointSet:
        heaters_[index(command.zone)].setSetpointTenths(
            static_cast<qint16>(static_cast<quint16>(command.value)));
        acknowledge(endpoint, command);
        return;
    case CommandKind::TemperatureQuery:
        answerQuery(endpoint, answer + hex(signed16Code(temperatureTenths(command.zone)), 4));
        return;
    case CommandKind::HeaterSwitch:
        heaterSwitchedOn_[index(command.zone)] = command.value != 0;
        acknowledge(endpoint, command);
        return;
    case CommandKind::HighVoltageSet:
        highVoltageCode_ = command.value;
        acknowledge(endpoint, command);
        return;
    case CommandKind::HighVoltageSwitch:
        highVoltageOn_ = command.value != 0;
        acknowledge(endpoint, command);
        return;
    case CommandKind::HighVoltageQuery:
        answerQuery(endpoint, answer + hex(highVoltageOn_ ? highVoltageCode_ : 0, 4));
        return;
    case CommandKind::ZeroSet:
        zeroCode_ = command.value;
        acknowledge(endpoint, command);
        return;
    case CommandKind::ZeroQuery:
        answerQuery(endpoint, answer + hex(zeroCode_, 4));
        return;
    case CommandKind::ConverterStatus: {
        const int status =
            isStreaming(endpoint.port()) ? kBurstStatus : options_.habits.idleStatus;
        answerQuery(endpoint, ":12AS" + QByteArray::number(status));
        return;
    }
    case CommandKind::ConverterSetup:
        if (options_.habits.ackEveryCommand)
            acknowledge(endpoint, command);
        return;
    case CommandKind::StreamStart:
        stream(endpoint.port())->open(now_);
        if (options_.habits.ackEveryCommand)
            acknowledge(endpoint, command);
        return;
    case CommandKind::StreamStop:
        if (const std::optional<Millis> from = options_.faults.endlessBurstFrom;
            from && now_ >= *from && isStreaming(endpoint.port())) {
            qCInfo(lcSim).noquote()
                << portName(endpoint.port()) << "ignores the stop command, the burst goes on";
            return;
        }
        // Lines due by now went out in advanceTo(), so the "]" line is the last, whatever the
        // tick rate.
        transmit(endpoint, Traffic::Data, stream(endpoint.port())->close(now_));
        if (options_.habits.ackEveryCommand)
            acknowledge(endpoint, command);
        return;
    case CommandKind::Unknown:
        return;
    }
}

void VirtualInstrument::writeRegister(Register reg, int value) {
    const auto byte = static_cast<std::uint8_t>(value);
    switch (reg) {
    case Register::V1:
        v1_ = byte;
        return;
    case Register::V2:
        v2_ = byte;
        return;
    case Register::L:
        l_ = byte;
        return;
    case Register::P:
        // Bits 0 to 3 are inputs; what is written there goes nowhere.
        pWritten_ = byte & kPWritable;
        return;
    case Register::D:
        writeD(byte);
        return;
    }
}

void VirtualInstrument::writeD(std::uint8_t value) {
    // Only the switch from in to out injects; a repeated "<D0" finds carrier gas in the loop's
    // place in the stream and adds nothing.
    const bool wasIn = loopSwitchedIn();
    d_ = value;
    if (wasIn && !loopSwitchedIn())
        inject();
}

void VirtualInstrument::inject() {
    const Injection injection{now_, loop_.inject()};
    injections_.push_back(injection);
    qCInfo(lcSim).noquote() << "injection of" << injection.gas.hydrocarbonPpm << "ppm,"
                            << injection.gas.sulfurPpm << "ppm sulfur";
    mainStream_.signal().inject(now_, injection.gas.hydrocarbonPpm);
    if (fpdStream_)
        fpdStream_->signal().inject(now_, injection.gas.sulfurPpm);
}

double VirtualInstrument::expectedPeakArea(Port port, int position) const {
    const GasSample gas = concentration(position);
    return port == Port::Main ? peakArea(options_.fidResponse, gas.hydrocarbonPpm)
                              : peakArea(options_.fpdResponse, gas.sulfurPpm);
}

ConverterStream* VirtualInstrument::stream(Port port) {
    return port == Port::Main ? &mainStream_ : fpdStream_.get();
}

void VirtualInstrument::reply(ConverterEndpoint& endpoint, const QByteArray& line) {
    transmit(endpoint, Traffic::Reply, line + lineEnd_);
}

void VirtualInstrument::answerQuery(ConverterEndpoint& endpoint, const QByteArray& line) {
    reply(endpoint, line + options_.habits.replyTail);
}

void VirtualInstrument::acknowledge(ConverterEndpoint& endpoint, const Command& command) {
    switch (options_.habits.ack) {
    case AckMode::Echo:
        return reply(endpoint, ':' + command.mnemonic + command.parameter);
    case AckMode::Text:
        return reply(endpoint, options_.habits.ackText);
    case AckMode::None:
        return;
    }
}

void VirtualInstrument::transmit(ConverterEndpoint& endpoint, Traffic traffic,
                                 const QByteArray& bytes) {
    if (bytes.isEmpty() || isSilentAt(now_))
        return;
    const QByteArray out =
        options_.faults.touchesLines() ? applyLineFaults(endpoint.port(), traffic, bytes) : bytes;
    if (out.isEmpty())
        return;
    // Data lines come ten a second per converter; only answers are worth a log line.
    if (traffic == Traffic::Reply)
        qCInfo(lcSim).noquote() << portName(endpoint.port()) << "answers"
                                << printableLine(out.endsWith(lineEnd_) ? out.chopped(lineEnd_.size()) : out);
    const Port port = endpoint.port();
    if (traffic == Traffic::Reply && options_.habits.replyDelay > Millis(0)) {
        heldReplies_[portIndex(port)].push_back({now_ + options_.habits.replyDelay, out});
        return;
    }
    putOnWire(port, out);
}

void VirtualInstrument::putOnWire(Port port, const QByteArray& bytes) {
    std::deque<Outgoing>& wire = wire_[portIndex(port)];
    const WireHabits& habits = options_.habits;
    if (habits.chunkBytes <= 0 && wire.empty()) {
        endpoint(port)->send(bytes);
        return;
    }
    const qsizetype piece = habits.chunkBytes > 0 ? habits.chunkBytes : bytes.size();
    Millis due = wire.empty() ? now_ : std::max(now_, wire.back().due + habits.chunkGap);
    for (qsizetype at = 0; at < bytes.size(); at += piece, due += habits.chunkGap)
        wire.push_back({due, bytes.mid(at, piece)});
    pumpWire(port);
}

void VirtualInstrument::pumpWire(Port port) {
    const std::size_t p = portIndex(port);
    if (isSilentAt(now_)) {
        // What was still on its way when the boards fell silent never arrives.
        heldReplies_[p].clear();
        wire_[p].clear();
        return;
    }
    // Answers whose time has come join the wire behind what is on its way there.
    std::deque<Outgoing>& held = heldReplies_[p];
    while (!held.empty() && held.front().due <= now_) {
        const QByteArray bytes = std::move(held.front().bytes);
        held.pop_front();
        putOnWire(port, bytes);
    }
    std::deque<Outgoing>& wire = wire_[p];
    while (!wire.empty() && wire.front().due <= now_) {
        const QByteArray bytes = std::move(wire.front().bytes);
        wire.pop_front();
        endpoint(port)->send(bytes);
    }
}

QByteArray VirtualInstrument::applyLineFaults(Port port, Traffic traffic, const QByteArray& bytes) {
    const FaultOptions& asked = options_.faults;
    const double dropRate = traffic == Traffic::Reply ? asked.dropReplyRate : asked.dropDataRate;
    const std::size_t p = portIndex(port);
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype start = 0; start < bytes.size();) {
        // A line ends with the CR, and with the LF behind it where lines end in CR LF; the
        // faults touch the text only, so a garbled line is still exactly one line.
        const qsizetype cr = bytes.indexOf('\r', start);
        qsizetype end = cr < 0 ? bytes.size() : cr + 1;
        if (cr >= 0 && options_.habits.lineEnd == LineEnd::CrLf && end < bytes.size() &&
            bytes[end] == '\n')
            ++end;
        const qsizetype textEnd = cr < 0 ? end : cr;
        QByteArray line = bytes.mid(start, textEnd - start);
        const QByteArray ending = bytes.mid(textEnd, end - textEnd);
        start = end;
        const std::uint64_t n = linesSent_[p]++;
        if (faults::chance(dropRate, noise::hash(options_.seed, kDropChannel + p, n))) {
            ++droppedLines_;
            qCInfo(lcSim).noquote() << portName(port) << "keeps back" << printableLine(line);
            continue;
        }
        if (faults::chance(asked.garbleRate, noise::hash(options_.seed, kGarbleChannel + p, n)) &&
            faults::garble(line, noise::hash(options_.seed, kGarbleBytesChannel + p, n)))
            ++garbledLines_;
        out += line + ending;
    }
    return out;
}

} // namespace korvat::sim
