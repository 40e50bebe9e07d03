#pragma once
// The figures of summarizeCells kept up to date one row at a time. A keep-measuring test runs for
// weeks (tens of thousands of rows), and its figures are shown and written after every
// measurement: each row goes into running state once (the series, the blanks' mean and spread,
// the medians of the sampling intervals and of rate per area, the crossings, the running sums of
// the cumulative permeation and of the steady-state window, the highest rate within the time a
// requirement asks for), so a new row costs the same at row 20,000 as at row 20.
//
// The time-lag fit keeps running sums for its coarse look and visits only the measurements on the
// rise for its fine search (TimeLagPoints); it is done again only for a cell whose series, blanks
// or steady state changed.

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
    // Makes `out` what summaries() gives. Where `out` holds an earlier refresh's summaries (the
    // same cells and detectors, their series so far), each series gets only its new points: the
    // figures of a run weeks long are kept up to date without copying its series each time.
    void refresh(std::vector<CellSummary>& out) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace korvat
