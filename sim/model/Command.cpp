#include "model/Command.h"

#include <array>
#include <cstring>

namespace korvat::sim {

namespace {

enum class Parameter {
    None,    // the mnemonic is the whole command
    Hex2,    // one register byte, two uppercase hex digits
    Hex4,    // one 16-bit code, four uppercase hex digits
    AnyText, // free text, whatever follows
};

struct Mnemonic {
    const char* text;
    CommandKind kind;
    Parameter parameter;
};

constexpr std::array kMnemonics{
    Mnemonic{"SN", CommandKind::Identify, Parameter::None},
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
    case Parameter::AnyText:
        return true;
    }
    return false;
}

} // namespace

Command parseCommand(const QByteArray& line) {
    if (!line.startsWith('<'))
        return {};
    const QByteArray body = line.mid(1);
    // The longest matching mnemonic wins, so the table needs no particular order.
    const Mnemonic* best = nullptr;
    for (const Mnemonic& m : kMnemonics) {
        if (body.startsWith(m.text) && (!best || std::strlen(m.text) > std::strlen(best->text)))
            best = &m;
    }
    if (!best)
        return {};
    const QByteArray parameter = body.mid(static_cast<qsizetype>(std::strlen(best->text)));
    const CommandKind kind = fits(parameter, best->parameter) ? best->kind : CommandKind::Unknown;
    return {kind, QByteArray(best->text), parameter};
}

} // namespace korvat::sim
