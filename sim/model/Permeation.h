#pragma once
// Permeation of the test chemical through the sample cells' membranes, for the virtual instrument.

namespace korvat::sim {

// How the sample cells' gas comes about. Disabled: each cell delivers the fixed concentration of
// GasSupply.
struct PermeationOptions {
    bool enabled = false;
};

} // namespace korvat::sim
