#pragma once
// The figures of summarizeCells kept up to date one row at a time. A keep-measuring test runs for
// weeks (tens of thousands of rows), and its figures are shown and written after every
// measurement: each row goes into running state once (the series, the blanks' mean and spread,
// the medians of the sampling intervals and of rate per area, the crossings, the running sums of
// the cumulative permeation and of the steady-state window, the highest rate within the time a
// requirement asks for), so a new row costs the same at row 20,000 as at row 20.
//
// Only the time-lag fit still looks at the cell's measurements for each summary: the shape it
// fits depends on the time lag tried (TimeLagPoints keeps that to the rise where it can).

#include "evaluation/CellSummary.h"

#include <memory>

namespace korvat {

class RunningSummaries {
public:
    // `detection` is used where the parameters do not hold the searches' settings.
    RunningSummaries(const RunParameters& parameters, bool twoDetectors, const DetectionSettings& detection);
    ~RunningSummaries();
    RunningSummaries(RunningSummaries&&) noexcept;
    RunningSummaries& operator=(RunningSummaries&&) noexcept;

    void add(const ResultRow& row);
    // How many rows went in.
    std::size_t rows() const;
    // What summarizeCells gives for the rows added so far.
    std::vector<CellSummary> summaries() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace korvat
