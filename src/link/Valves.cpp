#include "link/Valves.h"

#include "link/Commands.h"
#include "link/Link.h"
#include "shell/FormView.h"
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

QString valveLed(const ValveBit& v) { return QStringLiteral("ledV%1_%2").arg(v.bank).arg(v.bit); }

struct DisplayBit {
    int bit;
    const char* led;
};

std::optional<DisplayBit> displayBit(int x) {
    static constexpr DisplayBit kBits[] = {{2, "ledZero"},    {1, "ledCalgas"},  {0, "ledCalcell"},
                                           {7, "ledSample1"}, {6, "ledSample2"}, {5, "ledSample3"}};
    if (x < 11 || x > 16)
        return std::nullopt;
    return kBits[x - 11];
}

} // namespace

void Valves::switchValve(int x, bool on) {
    const auto v = valveBit(x);
    if (!v)
        return;
    std::uint8_t& reg = v->bank == 1 ? regs_.V1Byte : regs_.V2Byte;
    if (on)
        ClearBit(reg, v->bit);
    else
        SetBit(reg, v->bit);
    link_.SendCommand(link_.ComPort1(), QStringLiteral("<V%1S%2\r").arg(v->bank).arg(hex2(reg)));
    view_.setLedOn(valveLed(*v), on);
}

void Valves::ValveSet(int x) { switchValve(x, true); }
void Valves::ValveReset(int x) { switchValve(x, false); }

void Valves::switchDisplay(int x, bool on) {
    const auto d = displayBit(x);
    if (!d)
        return;
    view_.setLedOn(QString::fromLatin1(d->led), on);
    if (on)
        ClearBit(regs_.DispByte, d->bit);
    else
        SetBit(regs_.DispByte, d->bit);
    link_.SendCommand(link_.ComPort1(), QStringLiteral("<LS%1\r").arg(hex2(regs_.DispByte)));
}

void Valves::DispSet(int x) { switchDisplay(x, true); }
void Valves::DispReset(int x) { switchDisplay(x, false); }

void Valves::DispV1State() {
    for (int i = 0; i <= 5; ++i)
        view_.setLedOn(QStringLiteral("ledV1_%1").arg(i), !BitIsSet(regs_.V1Byte, i));
}

void Valves::DispV2State() {
    for (int i = 0; i <= 5; ++i)
        view_.setLedOn(QStringLiteral("ledV2_%1").arg(i), !BitIsSet(regs_.V2Byte, i));
}

} // namespace korvat
