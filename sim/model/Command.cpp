#include "model/Command.h"

#include <array>
#include <string_view>

namespace korvat::sim {

namespace {

enum class Parameter {
    None,    // the mnemonic is the whole command
    Hex2,    // one register byte, two uppercase hex digits
    Hex4,    // one 16-bit code, four uppercase hex digits
    OnOff,   // "1" or "0"
    AnyText, // free text, whatever follows
};

// The two boards: the control interface lives on the main converter only.
enum class Board { Any, Main };

// What a command is about, where its kind has a register or a zone.
struct Target {
    Register reg = Register::V1;
    Zone zone = Zone::ValveBlock;
};

struct Mnemonic {
    std::string_view text;
    CommandKind kind;
    Parameter parameter;
    Board board = Board::Main;
    Target target = {};
};

using K = CommandKind;
using P = Parameter;
using R = Register;
using Z = Zone;

constexpr std::array kMnemonics{
    Mnemonic{"SN", K::Identify, P::None, Board::Any},

    Mnemonic{"V1S", K::RegisterSet, P::Hex2, Board::Main, {.reg = R::V1}},
    Mnemonic{"V2S", K::RegisterSet, P::Hex2, Board::Main, {.reg = R::V2}},
    Mnemonic{"LS", K::RegisterSet, P::Hex2, Board::Main, {.reg = R::L}},
    Mnemonic{"PS", K::RegisterSet, P::Hex2, Board::Main, {.reg = R::P}},
    Mnemonic{"V1G", K::RegisterQuery, P::None, Board::Main, {.reg = R::V1}},
    Mnemonic{"V2G", K::RegisterQuery, P::None, Board::Main, {.reg = R::V2}},
    Mnemonic{"LG", K::RegisterQuery, P::None, Board::Main, {.reg = R::L}},
    Mnemonic{"PG", K::RegisterQuery, P::None, Board::Main, {.reg = R::P}},
    Mnemonic{"DG", K::RegisterQuery, P::None, Board::Main, {.reg = R::D}},
    Mnemonic{"D?", K::RegisterQuery, P::None, Board::Main, {.reg = R::D}},
    // "D?" and "DG" are longer, so they win over this one.
    Mnemonic{"D", K::LoopSwitch, P::OnOff, Board::Main, {.reg = R::D}},

    Mnemonic{"VS", K::SetpointSet, P::Hex4, Board::Main, {.zone = Z::ValveBlock}},
    Mnemonic{"SS", K::SetpointSet, P::Hex4, Board::Main, {.zone = Z::MeasuringCell}},
    Mnemonic{"ES", K::SetpointSet, P::Hex4, Board::Main, {.zone = Z::EmissionChamber}},
    Mnemonic{"TS", K::SetpointSet, P::Hex4, Board::Main, {.zone = Z::TransferLine}},
    Mnemonic{"VG", K::TemperatureQuery, P::None, Board::Main, {.zone = Z::ValveBlock}},
    Mnemonic{"SG", K::TemperatureQuery, P::None, Board::Main, {.zone = Z::MeasuringCell}},
    Mnemonic{"EG", K::TemperatureQuery, P::None, Board::Main, {.zone = Z::EmissionChamber}},
    Mnemonic{"TG", K::TemperatureQuery, P::None, Board::Main, {.zone = Z::TransferLine}},
    Mnemonic{"VO", K::HeaterSwitch, P::OnOff, Board::Main, {.zone = Z::ValveBlock}},
    Mnemonic{"SO", K::HeaterSwitch, P::OnOff, Board::Main, {.zone = Z::MeasuringCell}},
    Mnemonic{"EO", K::HeaterSwitch, P::OnOff, Board::Main, {.zone = Z::EmissionChamber}},
    Mnemonic{"TO", K::HeaterSwitch, P::OnOff, Board::Main, {.zone = Z::TransferLine}},

    Mnemonic{"HS", K::HighVoltageSet, P::Hex4},
    Mnemonic{"HO", K::HighVoltageSwitch, P::OnOff},
    Mnemonic{"HG", K::HighVoltageQuery, P::None},
    Mnemonic{"ZS", K::ZeroSet, P::Hex4},
    Mnemonic{"ZG", K::ZeroQuery, P::None},

    // The converter commands are fixed texts; both boards have a converter.
    Mnemonic{"12AS100", K::ConverterStatus, P::None, Board::Any},
    Mnemonic{"12B1100", K::ConverterSetup, P::None, Board::Any},
    Mnemonic{"12W1100", K::ConverterSetup, P::None, Board::Any},
    Mnemonic{"12Z1100", K::StreamStart, P::None, Board::Any},
    Mnemonic{"12Z0100", K::StreamStop, P::None, Board::Any},
};

bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool fits(const QByteArray& value, Parameter shape) {
    auto hexOfLength = [&value](qsizetype length) {
        if (value.size() != length)
            return false;
        for (char c : value)
            if (!isUpperHex(c))
                return false;
        return true;
    };
    switch (shape) {
    case Parameter::None:
        return value.isEmpty();
    case Parameter::Hex2:
        return hexOfLength(2);
    case Parameter::Hex4:
        return hexOfLength(4);
    case Parameter::OnOff:
        return value == "0" || value == "1";
    case Parameter::AnyText:
        return true;
    }
    return false;
}

int decode(const QByteArray& value, Parameter shape) {
    switch (shape) {
    case Parameter::Hex2:
    case Parameter::Hex4:
        return value.toInt(nullptr, 16);
    case Parameter::OnOff:
        return value == "1" ? 1 : 0;
    case Parameter::None:
    case Parameter::AnyText:
        break;
    }
    return 0;
}

} // namespace

Command parseCommand(const QByteArray& line) {
    if (!line.startsWith('<'))
        return {};
    const QByteArray body = line.mid(1);
    // The longest matching mnemonic wins, so the table needs no particular order.
    const Mnemonic* best = nullptr;
    for (const Mnemonic& m : kMnemonics) {
        const QByteArrayView text(m.text.data(), static_cast<qsizetype>(m.text.size()));
        if (body.startsWith(text) && (!best || m.text.size() > best->text.size()))
            best = &m;
    }
    if (!best)
        return {};
    const auto length = static_cast<qsizetype>(best->text.size());
    Command command;
    command.mnemonic = body.left(length);
    command.parameter = body.mid(length);
    if (!fits(command.parameter, best->parameter))
        return command;
    command.kind = best->kind;
    command.value = decode(command.parameter, best->parameter);
    command.reg = best->target.reg;
    command.zone = best->target.zone;
    command.controlInterface = best->board == Board::Main;
    return command;
}

} // namespace korvat::sim
