#pragma once
// The instrument's valve banks, front-panel lamps and sample loop, as the program keeps them. This
// object owns the register copies (V1, V2, L, and the last P and D the instrument reported) and is
// the only one that sends the commands that change them; the window's valve and lamp indicators
// show what it tells them.

#include "link/LinkView.h"
#include "link/Registers.h"

#include <array>

namespace korvat {

class Link;

class Valves {
public:
    Valves(Link& link, LinkView& view) : link_(link), view_(view) {}

    Registers& regs() { return regs_; }
    const Registers& regs() const { return regs_; }

    // Valve numbers 2..6 (bank 2, bits 1..5), 11..16 (bank 1, bits 0..5), 17 (bank 2, bit 0);
    // other numbers do nothing.
    void ValveSet(int x);
    void ValveReset(int x);
    // Display numbers 11..16: zero gas, reference gas, reference cell, cells 1..3.
    void DispSet(int x);
    void DispReset(int x);
    // Show the register copies on the bank's valve indicators; nothing is sent.
    void DispV1State();
    void DispV2State();
    // What a valve's indicator shows (it can differ from the byte: closing both banks at the end
    // of a run leaves the indicators as they were).
    bool valveShown(int bank, int bit) const { return valveShown_[bank == 1 ? 0 : 1][bit]; }

    // Start-up's known state: heating, both valve banks and the lamps as the program starts them.
    void initialise();
    // Both valve banks closed (end of a run); the indicators stay as they are.
    void closeBanks();
    // Everything the program keeps, sent again (a line that was lost is back).
    void resend();

    // The sample loop: switched in ("<D1", its lamp on) or injected ("<D0", lamp off), with the
    // front-panel lamp bit following.
    void loop(bool in);
    // The loop command alone and its indicator, as the operator's click on it does; the lamp byte
    // follows the instrument's next report.
    void loopByHand(bool in);
    bool loopShown() const { return lampShown_[static_cast<int>(Lamp::Loop)]; }
    // Before a run: when the instrument last reported the loop switched in, inject it ("<D0").
    void injectIfLoopReported();
    // The instrument reported its loop register: lamp and lamp bit follow when it changed.
    void mirrorLoop(std::uint8_t d);
    // The heating register as the program answers the instrument's request.
    void sendHeating(std::uint8_t byte);
    // The lamp byte as the instrument reported it (a service reply).
    void lampsReported(std::uint8_t byte) { regs_.DispByte = byte; }

private:
    void switchValve(int x, bool on);
    void switchDisplay(int x, bool on);
    void showValve(int bank, int bit, bool open);
    void showLamp(Lamp lamp, bool on);
    void sendLamps();

    Link& link_;
    LinkView& view_;
    Registers regs_;
    std::array<std::array<bool, 6>, 2> valveShown_{};
    std::array<bool, kLampCount> lampShown_{};
};

} // namespace korvat
