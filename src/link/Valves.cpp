#include "link/Valves.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "util/Utils.h"

namespace korvat {

namespace {

struct ValveBit {
    int bank; // 1 or 2
    int bit;
};

std::optional<ValveBit> valveBit(int x) {
    if (x >= 2 && x <= 6)
        return ValveBit{2, x - 1};
    if (x >= 11 && x <= 16)
        return ValveBit{1, x - 11};
    if (x == 17)
        return ValveBit{2, 0};
    return std::nullopt;
}

struct DisplayBit {
    int bit;
    Lamp lamp;
};

std::optional<DisplayBit> displayBit(int x) {
    static constexpr DisplayBit kBits[] = {{2, Lamp::Zero},    {1, Lamp::Calgas},  {0, Lamp::Calcell},
                                           {7, Lamp::Sample1}, {6, Lamp::Sample2}, {5, Lamp::Sample3}};
    if (x < 11 || x > 16)
        return std::nullopt;
    return kBits[x - 11];
}

// Bit 3 of the lamp byte is the sample loop's lamp.
constexpr int kLoopLampBit = 3;

} // namespace

void Valves::showValve(int bank, int bit, bool open) {
    valveShown_[bank == 1 ? 0 : 1][bit] = open;
    view_.valveShown(bank, bit, open);
}

void Valves::showLamp(Lamp lamp, bool on) {
    lampShown_[static_cast<int>(lamp)] = on;
    view_.lampShown(lamp, on);
}

void Valves::sendLamps() { link_.SendCommand(link_.ComPort1(), lampsCommand(regs_.DispByte)); }

void Valves::switchValve(int x, bool on) {
    const auto v = valveBit(x);
    if (!v)
        return;
    std::uint8_t& reg = v->bank == 1 ? regs_.V1Byte : regs_.V2Byte;
    if (on)
        ClearBit(reg, v->bit);
    else
        SetBit(reg, v->bit);
    link_.SendCommand(link_.ComPort1(), valveBankCommand(v->bank, reg));
    showValve(v->bank, v->bit, on);
}

void Valves::ValveSet(int x) { switchValve(x, true); }
void Valves::ValveReset(int x) { switchValve(x, false); }

void Valves::switchDisplay(int x, bool on) {
    const auto d = displayBit(x);
    if (!d)
        return;
    showLamp(d->lamp, on);
    if (on)
        ClearBit(regs_.DispByte, d->bit);
    else
        SetBit(regs_.DispByte, d->bit);
    sendLamps();
}

void Valves::DispSet(int x) { switchDisplay(x, true); }
void Valves::DispReset(int x) { switchDisplay(x, false); }

void Valves::DispV1State() {
    for (int i = 0; i <= 5; ++i)
        showValve(1, i, !BitIsSet(regs_.V1Byte, i));
}

void Valves::DispV2State() {
    for (int i = 0; i <= 5; ++i)
        showValve(2, i, !BitIsSet(regs_.V2Byte, i));
}

void Valves::initialise() {
    SerialLine& port = link_.ComPort1();
    link_.SendCommand(port, heatingCommand(0xFF));
    regs_.LastPByte = 0xFF;
    link_.SendCommand(port, valveBankCommand(1, 0xFF));
    regs_.V1Byte = 0xFF;
    link_.SendCommand(port, valveBankCommand(2, 0xFF));
    regs_.V2Byte = 0xFF;
    link_.SendCommand(port, lampsCommand(0xEF));
    regs_.DispByte = 0xEF;
}

void Valves::closeBanks() {
    SerialLine& port = link_.ComPort1();
    link_.SendCommand(port, valveBankCommand(1, 0xFF));
    regs_.V1Byte = 0xFF;
    link_.SendCommand(port, valveBankCommand(2, 0xFF));
    regs_.V2Byte = 0xFF;
}

void Valves::resend() {
    SerialLine& port = link_.ComPort1();
    link_.SendCommand(port, valveBankCommand(1, regs_.V1Byte));
    link_.SendCommand(port, valveBankCommand(2, regs_.V2Byte));
    link_.SendCommand(port, lampsCommand(regs_.DispByte));
}

void Valves::loop(bool in) {
    link_.SendCommand(link_.ComPort1(), sampleLoopCommand(in));
    showLamp(Lamp::Loop, in);
    if (in)
        ClearBit(regs_.DispByte, kLoopLampBit);
    else
        SetBit(regs_.DispByte, kLoopLampBit);
    sendLamps();
}

void Valves::loopByHand(bool in) {
    link_.SendCommand(link_.ComPort1(), sampleLoopCommand(in));
    showLamp(Lamp::Loop, in);
}

void Valves::injectIfLoopReported() {
    if (BitIsSet(regs_.LastDByte, 0))
        link_.SendCommand(link_.ComPort1(), sampleLoopCommand(false));
}

void Valves::mirrorLoop(std::uint8_t d) {
    if (d == regs_.LastDByte)
        return;
    regs_.LastDByte = d;
    const bool in = BitIsSet(d, 0);
    showLamp(Lamp::Loop, in);
    if (in)
        ClearBit(regs_.DispByte, kLoopLampBit);
    else
        SetBit(regs_.DispByte, kLoopLampBit);
    sendLamps();
}

void Valves::sendHeating(std::uint8_t byte) { link_.SendCommand(link_.ComPort1(), heatingCommand(byte)); }

} // namespace korvat
