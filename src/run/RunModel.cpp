#include "run/RunModel.h"

#include "run/RunView.h"

namespace korvat {

void RunModel::setRunTag(RunTag tag) {
    if (tag == runTag_)
        return;
    runTag_ = tag;
    for (const auto& listener : runTagListeners_)
        listener(tag);
}

void RunModel::setCell(int k, const CellState& state) {
    cells_[k - 1] = state;
    if (view_)
        view_->cellShown(k, state);
}

void RunModel::setControls(const RunControls& controls) {
    controls_ = controls;
    if (view_)
        view_->runControlsShown(controls);
}

void RunModel::record(MeasurementRecord r) { measurements_.push_back(std::move(r)); }

void RunModel::setSummaries(std::vector<CellSummary> summaries) {
    summaries_ = std::move(summaries);
    if (view_)
        view_->summariesShown(summaries_);
}

void RunModel::setSummaries(const RunningSummaries& running) {
    running.refresh(summaries_);
    if (view_)
        view_->summariesShown(summaries_);
}

void RunModel::clearRecords() {
    measurements_.clear();
    ++recordsGeneration_;
    summaries_.clear();
    if (view_)
        view_->summariesShown(summaries_);
}

} // namespace korvat
