#pragma once
// The program's copies of the instrument's register bytes. All are active low: a 0 bit means on.

#include <cstdint>

namespace korvat {

struct Registers {
    std::uint8_t V1Byte = 0xFF;   // valve bank 1, kept by the program
    std::uint8_t V2Byte = 0xFF;   // valve bank 2, kept by the program
    std::uint8_t DispByte = 0xEF; // front-panel lamps, kept by the program
    std::uint8_t LastPByte = 0xFF; // heating control, last reported by the instrument
    std::uint8_t LastDByte = 0;    // sample loop, last reported by the instrument
};

} // namespace korvat
