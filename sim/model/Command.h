#pragma once
// What a received line asks of a converter. Every command the instrument understands is one row
// of the mnemonic table in Command.cpp and one case of VirtualInstrument's dispatch switch; a new
// command touches nothing else.

#include <QByteArray>

namespace korvat::sim {

enum class CommandKind {
    Identify,          // "<SN": the board answers its identification line
    RegisterSet,       // "<V1Shh", "<V2Shh", "<LShh", "<PShh"
    RegisterQuery,     // "<V1G", "<V2G", "<LG", "<PG", "<DG", and "<D?"
    LoopSwitch,        // "<D1" switches the sample loop in, "<D0" out
    SetpointSet,       // "<VShhhh", "<SShhhh", "<EShhhh", "<TShhhh": tenths of a degree
    TemperatureQuery,  // "<VG", "<SG", "<EG", "<TG"
    HeaterSwitch,      // "<VO1", "<SO0", ...
    HighVoltageSet,    // "<HShhhh"
    HighVoltageSwitch, // "<HO1", "<HO0"
    HighVoltageQuery,  // "<HG"
    ZeroSet,           // "<ZShhhh"
    ZeroQuery,         // "<ZG"
    ConverterStatus,   // "<12AS100"
    ConverterSetup,    // "<12B1100", "<12W1100": accepted, nothing to see
    StreamStart,       // "<12Z1100"
    StreamStop,        // "<12Z0100"
    Unknown,           // anything else; logged, not answered
};

// The instrument's one-byte control registers.
enum class Register { V1, V2, L, P, D };

// The four heated zones, in the order of their letters V, S, E, T.
enum class Zone { ValveBlock, MeasuringCell, EmissionChamber, TransferLine };
inline constexpr int kZoneCount = 4;

struct Command {
    CommandKind kind = CommandKind::Unknown;
    // The mnemonic as matched ("SN", "V1S", "12Z1100"); empty when the line is not a command at
    // all.
    QByteArray mnemonic;
    // What follows the mnemonic, for commands that carry a value.
    QByteArray parameter;
    // The parameter decoded: the register byte, the 16-bit code, or 1/0 for on/off.
    int value = 0;
    // Which register or zone the command is about, where its kind has one.
    Register reg = Register::V1;
    Zone zone = Zone::ValveBlock;
    // Only the main converter carries the instrument's control interface; the FPD converter
    // knows just its identification and its own stream.
    bool controlInterface = false;
};

// Classifies one received line (without its CR). A line that does not begin with "<", names no
// known mnemonic, or carries a parameter of the wrong shape is Unknown.
Command parseCommand(const QByteArray& line);

} // namespace korvat::sim
