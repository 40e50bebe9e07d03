#pragma once
// The evaluation step at the end of every measurement: peak area, concentration and permeation rate
// for each detector, the calibration take-over the operator asked for, breakthrough of a sample
// cell (valve closed, red indicator, break time), and the records: a row in the results file and
// the raw-data file. It runs inside the tick and never throws on bad numbers: a factor, area or
// flow that would divide by zero records the rate as 0 and says so.

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

// What one measurement recorded: the values of its results-file row.
struct MeasurementResult {
    int runZelle = 0;
    QString marker = QStringLiteral(" "); // "*" for a switched-off or just broken-through cell
    QString breakTime;                     // elapsed time of a breakthrough, "--:--" or empty
    QString sChemikalie;
    double FIDSampleFactor = 1, Flow = 0;
    qint64 elapsedMs = 0;
    double FIDppm = 0, FIDMessMenge = 0, FIDArea = 0;
    double FPDMessMenge = 0, FPDArea = 0;
    QString sampleName;
    QDateTime at;
    int runAktiv = 0;
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

    // Results of the last evaluation, named as the operator's documents name them.
    double FIDppm = 0;
    double FIDMessMenge = 0;
    double FPDMessMenge = 0;

private:
    void fidResult(MeasurementResult& r);
    void fidPositionStep(MeasurementResult& r, const QString& elapsed);
    void fpdResult(MeasurementResult& r);
    void fpdPositionStep(MeasurementResult& r, const QString& elapsed);
    void breakThrough(int position, MeasurementResult& r);
    QString sampleName(int position) const;
    void warn(MeasurementResult& r, const QString& text);
    QString T(int n) const;

    Deps d_;
};

} // namespace korvat
