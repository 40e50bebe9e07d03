#pragma once
// A detector signal or a curve derived from it: X in seconds, Y in signal units, point for point.
// The acquisition fills the series, the evaluation and the raw-data loader read and write them,
// the chart only mirrors them.

#include <cstddef>
#include <vector>

namespace korvat {

struct Series {
    std::vector<double> x, y;
    void clear() {
        x.clear();
        y.clear();
    }
    std::size_t size() const { return y.size(); }
};

} // namespace korvat
