#include "run/ResultComputation.h"

#include "evaluation/PeakSearch.h"
#include "link/Link.h"
#include "run/Acquisition.h"
#include "run/Inputs.h"
#include "run/RunView.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Clock.h"
#include "util/NumberText.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

namespace korvat {

Q_LOGGING_CATEGORY(lcResult, "korvat.run.result")

namespace {

const QString kRateUnit = QStringLiteral(" ug/cm\u00b2/min");
const QString kPpmUnit = QStringLiteral(" ppm");

QString F2(double value) { return formatFixed(value, 7, 2); }

// What a detector without a calibration area shows instead of a rate or ppm of 0.
constexpr int kNotCalibrated = 337;

bool isCell(int position) { return position >= 4 && position <= 6; }

} // namespace

QString ResultComputation::T(int n) const { return LoadLangText(d_.ID, n); }

void ResultComputation::warn(MeasurementRecord& r, const QString& text) {
    const QString line = QStringLiteral("Measurement %1, position %2: %3").arg(r.runAktiv).arg(r.runZelle).arg(text);
    r.warning = r.warning.isEmpty() ? line : r.warning + QStringLiteral("; ") + text;
    qCWarning(lcResult).noquote() << line;
    d_.view.logLine(line);
    d_.view.statusText(line);
    d_.link.logLine(d_.link.ComPort1().deviceName(), line);
    d_.events.add(EventKind::ValueWarning, line, {}, r.runAktiv);
}

std::optional<double> ResultComputation::noiseArea(const Series& signal) const {
    return baselineNoiseArea(signal.y, DetectionSettings::from(d_.settings));
}

std::optional<double> ResultComputation::molarMass(Detector detector) const {
    // The reference positions measure the calibration gases, whose mass the historical constants
    // stand for; a sample cell its chemical, as the run started with it.
    const int position = d_.run.runZelle;
    if (!isCell(position))
        return std::nullopt;
    const CellParameters& cell = d_.run.parameters.cell(position - 3);
    return detector == Detector::FID ? cell.molarMass : cell.fpdMolarMass;
}

double ResultComputation::exposedArea() const {
    const int position = d_.run.runZelle;
    if (isCell(position)) {
        const std::optional<double> area = d_.run.parameters.cell(position - 3).specimen.areaCm2;
        if (area && *area > 0)
            return *area;
    }
    return d_.settings.SampleArea;
}

CalibrationDisplay ResultComputation::calibrationDisplay(Detector detector) const {
    const Settings& s = d_.settings;
    return detector == Detector::FID ? d_.calibrations.display(detector, s.FIDCalArea, s.FIDCALMenge)
                                     : d_.calibrations.display(detector, s.FPDCalArea, s.FPDCalMenge);
}

QString ResultComputation::sampleName(int position) const {
    if (position >= 1 && position <= 3)
        return T(30 + position);
    if (isCell(position)) {
        const Input info[] = {Input::Info1, Input::Info2, Input::Info3};
        return d_.inputs.text(info[position - 4]);
    }
    return {};
}

bool ResultComputation::takeOverCalibration(bool fid, double area, MeasurementRecord* r) {
    const Check box = fid ? Check::IsobutanCalib : Check::SulfurCalib;
    if (!d_.inputs.checked(box) || !(area > (fid ? kFIDTakeOverArea : kFPDTakeOverArea)))
        return false;
    MeasurementRecord scratch;
    // The calibration area is kept as a whole number. An area past that range (a loaded file can
    // hold any values) cannot serve, and must not wrap into a negative area that looks stored.
    if (!(area < 2147483648.0)) {
        warn(r ? *r : scratch,
             QStringLiteral("area %1 is too large for a calibration; not taken over").arg(area, 0, 'g', 15));
        return false;
    }
    int& calArea = fid ? d_.settings.FIDCalArea : d_.settings.FPDCalArea;
    const int before = calArea;
    calArea = static_cast<int>(std::trunc(area));
    d_.events.add(EventKind::Calibration,
                  QStringLiteral("%1 calibration area %2 taken over (was %3)")
                      .arg(fid ? QStringLiteral("FID") : QStringLiteral("FPD"))
                      .arg(calArea)
                      .arg(before),
                  {}, r ? r->runAktiv : 0);
    if (!d_.ini.writeInteger(fid ? key::FIDCalArea : key::FPDCalArea, calArea))
        warn(r ? *r : scratch, d_.ini.lastError());
    // Kept in the history with its level and date: the curve, the repeatability and the control
    // chart come from there.
    const Detector detector = fid ? Detector::FID : Detector::FPD;
    QString error;
    if (!d_.calibrations.add(detector, fid ? d_.settings.FIDCALMenge : d_.settings.FPDCalMenge, calArea,
                             d_.clock.wallNow(), d_.serial, &error))
        warn(r ? *r : scratch, error);
    d_.view.calibratedShown(detector, true);
    d_.view.calibrationShown(calibrationDisplay(detector));
    d_.inputs.setChecked(box, false);
    return true;
}

bool ResultComputation::takeOverFIDCalibration(double area, MeasurementRecord* r) {
    return takeOverCalibration(true, area, r);
}

bool ResultComputation::takeOverFPDCalibration(double area, MeasurementRecord* r) {
    return takeOverCalibration(false, area, r);
}

MeasurementRecord ResultComputation::evaluate() {
    RunModel& run = d_.run;
    EvaluationState& st = run.eval;
    Acquisition& acq = d_.acquisition;

    MeasurementRecord r;
    r.runZelle = run.runZelle;
    r.cycle = run.cycleNumber();
    r.sChemikalie = run.sChemikalie;
    r.FIDSampleFactor = run.FIDSampleFactor;
    r.runAktiv = run.runAktiv;
    r.moment = d_.clock.wallNow();
    r.elapsedMs = (d_.clock.monotonicNow() - run.runStartzeitMono).count();
    r.skipped = run.cellOff(run.runZelle);
    r.fidPoints = acq.Series1.size();
    r.fpdPoints = acq.Series2.size();
    const QString elapsed = formatDuration(r.elapsedMs);

    // The flow of the measured stream, whether or not the FID finds a peak: the FPD rate uses it too.
    const Settings& s = d_.settings;
    switch (run.runZelle) {
    case 1: run.Flow = 200.0; break;
    case 2:
    case 3: run.Flow = s.CalFlow; break;
    case 4: run.Flow = s.SampleFlow1; break;
    case 5: run.Flow = s.SampleFlow2; break;
    case 6: run.Flow = s.SampleFlow3; break;
    default: break;
    }

    if (r.skipped) {
        // A cell switched off earlier: nothing was injected, so nothing is searched or computed
        // (the series still hold the previous position's window). Its row names its own chemical
        // and factor and records no ppm, rate or area.
        FIDppm = 0;
        FIDMessMenge = 0;
        FPDMessMenge = 0;
        r.marker = QLatin1Char('*');
        r.breakTime = QStringLiteral("--:--");
        r.sampleName = sampleName(r.runZelle);
        r.NoPeak = true;
        r.Flow = run.Flow;
        return r;
    }

    AddSlopePoints(acq.Series1, acq.Serie3);
    st.FIDBaseDraw = false;
    PeakAndArea(st, TDeviceTyp::FID, acq.Series1, acq.Serie3, DetectionSettings::from(d_.settings));
    r.NoPeak = st.NoPeak; // the FID's; the FPD search below sets the field again
    r.fidNoiseArea = noiseArea(acq.Series1);
    if (d_.deviceTyp == TDeviceTyp::FIDFPD)
        r.fpdNoiseArea = noiseArea(acq.Series2);
    FIDMessMenge = 0;
    fidResult(r);

    r.marker = QLatin1Char(' ');
    r.sampleName = sampleName(r.runZelle);
    if (isCell(r.runZelle)) {
        r.breakTime = QStringLiteral("--:--");
        positionStep(r, elapsed, FIDMessMenge, st.FIDArea, s.LimitFID);
    } else {
        r.breakTime.clear();
    }

    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        fpdResult(r);
        // The FPD's turn replaces the marker and the break time the FID's turn gave.
        r.marker = QLatin1Char(' ');
        r.breakTime = QStringLiteral("--:--");
        if (isCell(r.runZelle))
            positionStep(r, elapsed, FPDMessMenge, st.FPDArea, s.LimitFPD);
    }

    // A measurement that overlapped a lost line saw no real signal: its zeros are no result.
    for (SerialLine* line : {&d_.link.ComPort1(), &d_.link.ComPort2()}) {
        if (d_.link.wasDownSince(*line, run.runStartCycle)) {
            r.lineDown = true;
            warn(r, QStringLiteral("the line %1 was down during this measurement; its values are not a measurement")
                        .arg(line->deviceName()));
        }
    }

    r.Flow = run.Flow;
    r.FIDppm = FIDppm;
    r.FIDMessMenge = FIDMessMenge;
    r.FIDArea = st.FIDArea;
    r.FPDMessMenge = FPDMessMenge;
    r.FPDArea = st.FPDArea;
    return r;
}

void ResultComputation::fidResult(MeasurementRecord& r) {
    Settings& s = d_.settings;
    RunModel& run = d_.run;
    EvaluationState& st = run.eval;
    const int pos = run.runZelle;

    if (st.NoPeak) {
        st.FIDArea = 0;
        FIDMessMenge = 0;
        FIDppm = 0;
        d_.view.resultShown(Detector::FID, s.FIDCalArea <= kFIDTakeOverArea
                                               ? T(kNotCalibrated)
                                               : F2(0) + (pos == 2 ? kPpmUnit : kRateUnit));
        return;
    }

    st.FIDBaseDraw = true;
    d_.view.chordsChanged();

    takeOverFIDCalibration(st.FIDArea, &r);

    if (s.FIDCalArea <= kFIDTakeOverArea) {
        // Without a calibration there is no concentration: a ppm left from an earlier
        // measurement would be written into this one's row.
        FIDppm = 0;
        d_.view.resultShown(Detector::FID, T(kNotCalibrated));
        return;
    }

    const CalibrationInForce calibration = d_.calibrations.inForce(Detector::FID, s.FIDCalArea, s.FIDCALMenge);
    if (!(s.FIDCalFactor > 0)) {
        FIDppm = 0;
        warn(r, QStringLiteral("the FID calibration factor is not above zero; ppm and rate recorded as 0"));
    } else if (calibration.multiLevel()) {
        // Through the curve: the area every peak loses is in its offset. A peak smaller than the
        // offset reads 0, never a negative concentration.
        FIDppm = std::max(0.0, calibration.curve->ppmOf(st.FIDArea)) * (run.FIDSampleFactor / s.FIDCalFactor);
    } else {
        FIDppm = (st.FIDArea / s.FIDCalArea) * (run.FIDSampleFactor / s.FIDCalFactor) * s.FIDCALMenge;
    }

    if (pos == 2) {
        d_.view.resultShown(Detector::FID, F2(FIDppm) + kPpmUnit);
        return;
    }
    const double area = exposedArea();
    if (!(area > 0)) {
        FIDMessMenge = 0;
        warn(r, QStringLiteral("the sample area is not above zero; FID rate recorded as 0"));
    } else {
        FIDMessMenge = ((massPerPpm(molarMass(Detector::FID), Detector::FID) * FIDppm) * run.Flow) / area;
    }
    d_.view.resultShown(Detector::FID, F2(FIDMessMenge) + kRateUnit);
}

void ResultComputation::positionStep(MeasurementRecord& r, const QString& elapsed, double& rate, double& area,
                                     double limit) {
    const bool keepMeasuring = d_.settings.KeepMeasuring;
    if (r.skipped || (r.brokeThrough && !keepMeasuring)) {
        // Switched off: recorded as off, whatever the signal showed.
        r.marker = QLatin1Char('*');
        rate = 0;
        area = 0;
        return;
    }
    if (r.brokeThrough || d_.run.cell(r.runZelle - 3).brokeThrough) {
        // Measured on after its breakthrough: marked, with what it measured.
        r.marker = QLatin1Char('*');
        return;
    }
    if (rate > limit) {
        r.brokeThrough = true;
        r.marker = QLatin1Char('*');
        r.breakTime = elapsed;
    }
}

void ResultComputation::fpdResult(MeasurementRecord& r) {
    Settings& s = d_.settings;
    RunModel& run = d_.run;
    EvaluationState& st = run.eval;
    const int pos = run.runZelle;

    const FPDSearchState found = SearchFPDPeak(st, d_.acquisition.Series2, DetectionSettings::from(s));
    d_.view.chordsChanged();
    FPDMessMenge = 0;

    // Only an area from a search that accepted its peak calibrates.
    if (found == FPDSearchState::Found)
        takeOverFPDCalibration(st.FPDArea, &r);

    if (s.FPDCalArea <= kFPDTakeOverArea) {
        d_.view.resultShown(Detector::FPD, T(kNotCalibrated));
        return;
    }
    const CalibrationInForce calibration = d_.calibrations.inForce(Detector::FPD, s.FPDCalArea, s.FPDCalMenge);
    // The calibration gas's ppm of this area: through the curve when there is one of several levels.
    auto calibrationPpm = [&]() {
        return calibration.multiLevel() ? std::max(0.0, calibration.curve->ppmOf(st.FPDArea)) : 0.0;
    };
    if (pos == 2) {
        FPDMessMenge = calibration.multiLevel() ? calibrationPpm() : (st.FPDArea * s.FPDCalMenge) / s.FPDCalArea;
        d_.view.resultShown(Detector::FPD, F2(FPDMessMenge) + kPpmUnit);
        return;
    }
    const double area = exposedArea();
    if (!(run.FPDFactor > 0)) {
        warn(r, QStringLiteral("the FPD sample factor is not above zero; FPD rate recorded as 0"));
    } else if (!(area > 0)) {
        warn(r, QStringLiteral("the sample area is not above zero; FPD rate recorded as 0"));
    } else {
        if (calibration.multiLevel())
            FPDMessMenge = calibrationPpm() * (s.FPDCalFactor / run.FPDFactor);
        else
            FPDMessMenge = (st.FPDArea / s.FPDCalArea) * (s.FPDCalFactor / run.FPDFactor) * s.FPDCalMenge;
        FPDMessMenge = ((massPerPpm(molarMass(Detector::FPD), Detector::FPD) * FPDMessMenge) * run.Flow) / area;
    }
    d_.view.resultShown(Detector::FPD, F2(FPDMessMenge) + kRateUnit);
}

} // namespace korvat
