#pragma once
// Valve banks and front-panel lamps. The program keeps its own copy of the V1, V2 and L registers
// and always writes the whole byte; the valve LEDs on the settings page show the copies.

#include "link/Registers.h"

namespace korvat {

class FormView;
class Link;

class Valves {
public:
    Valves(Registers& regs, Link& link, FormView& view) : regs_(regs), link_(link), view_(view) {}

    // Valve numbers 2..6 (bank 2, bits 1..5), 11..16 (bank 1, bits 0..5), 17 (bank 2, bit 0);
    // other numbers do nothing.
    void ValveSet(int x);
    void ValveReset(int x);
    // Display numbers 11..16: zero gas, reference gas, reference cell, cells 1..3.
    void DispSet(int x);
    void DispReset(int x);
    // Show the register copies on ledV1_0..5 / ledV2_0..5; nothing is sent.
    void DispV1State();
    void DispV2State();

private:
    void switchValve(int x, bool on);
    void switchDisplay(int x, bool on);

    Registers& regs_;
    Link& link_;
    FormView& view_;
};

} // namespace korvat
