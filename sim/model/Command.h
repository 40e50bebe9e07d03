#pragma once
// What a received line asks of a converter. Every command the instrument understands is one row
// of the mnemonic table in Command.cpp and one case of VirtualInstrument's dispatch switch; a new
// command touches nothing else.

#include <QByteArray>

namespace korvat::sim {

enum class CommandKind {
    Identify, // "<SN": the board answers its identification line
    Unknown,  // anything else; logged, not answered
};

struct Command {
    CommandKind kind = CommandKind::Unknown;
    // The mnemonic as matched ("SN"); empty when the line is not a command at all.
    QByteArray mnemonic;
    // What follows the mnemonic, for commands that carry a value.
    QByteArray parameter;
};

// Classifies one received line (without its CR). A line that does not begin with "<", names no
// known mnemonic, or carries a parameter of the wrong shape is Unknown.
Command parseCommand(const QByteArray& line);

} // namespace korvat::sim
