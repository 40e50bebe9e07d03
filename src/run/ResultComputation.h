#pragma once
// The evaluation at the end of every measurement: peak area, concentration and permeation rate for
// each detector, the calibration take-over the operator asked for, and the breakthrough decision.
// It reads the signal series and the run model and returns the measurement's record; the sequencer
// applies the decision (valve, cell state) and the records are written from the record. It runs
// inside the tick and never throws on bad numbers: a factor, area or flow that would divide by zero
// records the rate as 0 and says so.

#include "evaluation/RunParameters.h"
#include "evaluation/Series.h"
#include "run/CalibrationStore.h"
#include "run/RunModel.h"
#include "shell/Config.h"

#include <QString>

namespace korvat {

class Acquisition;
class Clock;
class Events;
class IniFile;
class Inputs;
class Link;
class RunView;

// Calibration areas at or above this are a calibration (the calibration gas edits turn green);
// a take-over needs an area above the detector's own limit.
inline constexpr int kCalibratedArea = 1000;
inline constexpr double kFIDTakeOverArea = kFIDCalibrationLimit;
inline constexpr double kFPDTakeOverArea = kFPDCalibrationLimit;

// Whether a detector's stored calibration area counts as a calibration, for the edit's colour and
// the check before Start. The FPD's evaluation needs an area above its own, higher limit: an FPD
// area between the two showed green while every FPD figure said "not calibrated".
inline bool calibratedArea(Detector detector, int area) {
    return detector == Detector::FID ? area >= kCalibratedArea : area > kFPDTakeOverArea;
}

class ResultComputation {
public:
    struct Deps {
        Settings& settings;
        IniFile& ini;
        RunView& view;
        Inputs& inputs;
        Link& link;
        Clock& clock;
        Acquisition& acquisition;
        RunModel& run;
        const int& ID;
        const TDeviceTyp& deviceTyp;
        Events& events;
        // The calibration history: every take-over goes into it; a curve of several levels in
        // force gives the concentrations.
        CalibrationStore& calibrations;
        const QString& serial; // the instrument's, for the history
    };

    explicit ResultComputation(Deps deps) : d_(deps) {}

    // Peak search, results and breakthrough decision for the measurement that just ended.
    MeasurementRecord evaluate();

    // The calibration check boxes: when the box is ticked and the area is above the detector's
    // limit (1000 FID, 10000 FPD), the truncated area becomes the calibration area, is written to
    // the configuration file at once, the edit turns green and the box is cleared.
    bool takeOverFIDCalibration(double area, MeasurementRecord* r = nullptr);
    bool takeOverFPDCalibration(double area, MeasurementRecord* r = nullptr);

    CalibrationStore& calibrations() { return d_.calibrations; }
    const CalibrationStore& calibrations() const { return d_.calibrations; }
    // The instrument's serial number as it answered at start.
    const QString& serialNumber() const { return d_.serial; }
    // What the window shows of the detector's calibration now.
    CalibrationDisplay calibrationDisplay(Detector detector) const;

    // Results of the last evaluation, named as the operator's documents name them.
    double FIDppm = 0;
    double FIDMessMenge = 0;
    double FPDMessMenge = 0;

private:
    bool takeOverCalibration(bool fid, double area, MeasurementRecord* r);
    void fidResult(MeasurementRecord& r);
    void fpdResult(MeasurementRecord& r);
    // The position's turn for one detector: a sample cell switched off (earlier, or by the FID in
    // this same measurement) records "*" with rate and area 0; otherwise the cell's time is the
    // elapsed time, and a rate above the limit breaks it through.
    void positionStep(MeasurementRecord& r, const QString& elapsed, double& rate, double& area, double limit);
    QString sampleName(int position) const;
    std::optional<double> molarMass(Detector detector) const;
    // The exposed area the position's rate is per: a sample cell's specimen's as the run started
    // with it, or the sample area.
    double exposedArea() const;
    std::optional<double> noiseArea(const Series& signal) const;
    void warn(MeasurementRecord& r, const QString& text);
    QString T(int n) const;

    Deps d_;
};

} // namespace korvat
