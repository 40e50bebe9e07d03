#pragma once
// What a run has to show: the inputs the core set, the run's buttons, times and cells, the
// results of the last evaluation, the calibration state, and the signal curves. It extends what
// the link shows; the program's view extends it again with the settings and start-up displays.

#include "evaluation/CellSummary.h"
#include "run/CalibrationStore.h"
#include "link/LinkView.h"
#include "run/Events.h"
#include "run/Inputs.h"
#include "run/RunModel.h"
#include "run/RunProgress.h"

#include <span>

namespace korvat {

// How the files of the run stand, while something does not reach its file: shown until it is
// over, in the window and not only in the status line that the next phase overwrites.
struct StorageState {
    bool trouble = false;      // something waits, or the disk does not answer
    bool notAnswering = false; // a write has not come back
    bool refused = false;      // the results file is not the run's any more
    QDateTime since;
    QString file;
    std::size_t rows = 0, rawFiles = 0;
    QString text;    // in short (file names without their folders), in the program's language
    QString detail;  // the whole of it: folders, and where the run state is kept
    QString keptIn;  // where the run state holding what waits is
    bool operator==(const StorageState&) const = default;
};

class RunView : public LinkView {
public:
    // An input the core changed (a clamped value, a formatted setting, a cleared box).
    virtual void inputShown(Input input, const QString& text) = 0;
    virtual void inputLabelShown(Input input, const QString& text) = 0;
    virtual void checkShown(Check check, bool on) = 0;

    virtual void runControlsShown(const RunControls& controls) = 0;
    virtual void runTimeShown(const QString& elapsed) = 0;
    virtual void delayShown(const QString& remaining) = 0;
    virtual void startShown(const QString& text) = 0;
    virtual void cellShown(int cell, const CellState& state) = 0;
    // Where the run stands and each cell's overview; about once a second while a run goes on,
    // and whenever a measurement ends.
    virtual void progressShown(const RunProgress& progress) { (void)progress; }
    // The substance of the position being measured.
    virtual void chemicalShown(const QString& name) = 0;
    // The last evaluation's concentration or rate, with its unit.
    virtual void resultShown(Detector detector, const QString& text) = 0;
    // Whether the detector has a calibration area (the calibration gas edit's colour).
    virtual void calibratedShown(Detector detector, bool calibrated) = 0;
    // The detector's calibration: its current points, the curve in force and the control chart
    // (after a take-over, a choice of points, and at start-up).
    virtual void calibrationShown(const CalibrationDisplay& calibration) { (void)calibration; }
    // The lab's figures of every sample cell and detector, after each measurement.
    virtual void summariesShown(const std::vector<CellSummary>& summaries) = 0;
    // The latest sample value of a detector.
    virtual void levelShown(Detector detector, const QString& text) = 0;
    virtual void monitorShown(const QString& caption) = 0;
    // An event for the operator's list (whole, with its time, port and measurement), and the
    // warning lamp that stays lit from the first event that touches the data until the operator
    // has looked at the list.
    virtual void eventAdded(const RunEvent& event) { (void)event; }
    virtual void warningShown(bool lit) { (void)lit; }
    // How the run's files stand (StorageState::trouble false: all written).
    virtual void storageShown(const StorageState& state) { (void)state; }

    // The signal curves (0 FID, 1 FPD) mirror the acquisition's series: points are appended as
    // they arrive; curvesChanged asks for one repaint per batch.
    virtual void seriesAppended(int series, std::span<const double> x, std::span<const double> y) = 0;
    virtual void seriesCleared(int series) = 0;
    virtual void curvesChanged() = 0;
    // The baseline chords over the curves changed (or were switched on or off).
    virtual void chordsChanged() = 0;
    // The time axis ends at `seconds`.
    virtual void timeAxisShown(double seconds) = 0;
    // Monitoring: the time axis keeps its width and moves with the newest sample once that passes
    // the right edge, unless the operator moved the view. Off: back to the configured view.
    virtual void followNewestShown(bool follow) = 0;
};

} // namespace korvat
