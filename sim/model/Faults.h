#pragma once
// Faults the virtual instrument can show on demand, so the program can be tested against them.

namespace korvat::sim {

struct FaultOptions {};

} // namespace korvat::sim
