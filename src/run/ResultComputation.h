#pragma once
// The evaluation step at the end of every measurement: peak area, concentration and permeation rate
// for each detector, the calibration take-over the operator asked for, breakthrough of a sample
// cell (valve closed, red indicator, break time), and the records: a row in the results file and
// the raw-data file. It runs inside the tick and never throws on bad numbers: a factor, area or
// flow that would divide by zero records the rate as 0 and says so.

#include "evaluation/ResultsFile.h"
#include "shell/Config.h"

#include <QDateTime>
#include <QString>

namespace korvat {

class Acquisition;
class Clock;
class FormView;
class IniFile;
class Link;
class Sequencer;
class Valves;

// What one measurement recorded: its results-file row, and how the evaluation went.
struct MeasurementResult : ResultRow {
    bool NoPeak = false;
    QString warning; // why a rate was recorded as 0 although a peak was found
};

class ResultComputation {
public:
    struct Deps {
        Settings& settings;
        IniFile& ini;
        FormView& view;
        Valves& valves;
        Link& link;
        Clock& clock;
        Acquisition& acquisition;
        Sequencer& sequencer;
        const int& ID;
        const TDeviceTyp& deviceTyp;
    };

    explicit ResultComputation(Deps deps) : d_(deps) {}

    // Peak search, results and breakthrough for the measurement that just ended. Returns the row.
    MeasurementResult evaluate();

    // The calibration check boxes: when the box is ticked and the area is above the detector's
    // limit (1000 FID, 10000 FPD), the truncated area becomes the calibration area, is written to
    // the configuration file at once, the edit turns green and the box is cleared.
    bool takeOverFIDCalibration(double area, MeasurementResult* r = nullptr);
    bool takeOverFPDCalibration(double area, MeasurementResult* r = nullptr);

    // Results of the last evaluation, named as the operator's documents name them.
    double FIDppm = 0;
    double FIDMessMenge = 0;
    double FPDMessMenge = 0;

private:
    struct Calibration {
        const char* checkBox;
        const char* edit;
        const char* key;
        double minimumArea;
        int& calArea;
    };
    bool takeOverCalibration(const Calibration& c, double area, MeasurementResult* r);
    void fidResult(MeasurementResult& r);
    void fidPositionStep(MeasurementResult& r, const QString& elapsed);
    void fpdResult(MeasurementResult& r);
    void fpdPositionStep(MeasurementResult& r, const QString& elapsed);
    // A sample cell's turn: recorded as off when switched off earlier, otherwise its label shows
    // the elapsed time and a rate above the limit breaks it through.
    void cellStep(MeasurementResult& r, const QString& elapsed, double& rate, double& area, double limit);
    void breakThrough(int position, MeasurementResult& r);
    QString sampleName(int position) const;
    void warn(MeasurementResult& r, const QString& text);
    QString T(int n) const;

    Deps d_;
};

} // namespace korvat
