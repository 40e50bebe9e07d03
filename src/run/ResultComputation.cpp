#include "run/ResultComputation.h"

#include "evaluation/PeakSearch.h"
#include "link/Link.h"
#include "link/Valves.h"
#include "run/Acquisition.h"
#include "run/Sequencer.h"
#include "shell/FormView.h"
#include "shell/IniFile.h"
#include "shell/StringTable.h"
#include "util/Clock.h"
#include "util/NumberText.h"

#include <QLoggingCategory>
#include <cmath>

namespace korvat {

Q_LOGGING_CATEGORY(lcResult, "korvat.run.result")

namespace {

// The light green of a calibration just taken over.
constexpr Rgb kCalibrated{125, 198, 117};

const QString kRateUnit = QStringLiteral(" ug/cm\u00b2/min");
const QString kPpmUnit = QStringLiteral(" ppm");

QString F2(double value) { return formatFixed(value, 7, 2); }

QString cellControl(const char* stem, int cell) { return QString::fromLatin1(stem) + QString::number(cell); }

} // namespace

QString ResultComputation::T(int n) const { return LoadLangText(d_.ID, n); }

void ResultComputation::warn(MeasurementResult& r, const QString& text) {
    const QString line = QStringLiteral("Measurement %1, position %2: %3").arg(r.runAktiv).arg(r.runZelle).arg(text);
    r.warning = r.warning.isEmpty() ? line : r.warning + QStringLiteral("; ") + text;
    qCWarning(lcResult).noquote() << line;
    d_.view.addLogLine(line);
    d_.view.setStatusText(line);
    d_.link.logLine(d_.link.ComPort1().deviceName(), line);
}

QString ResultComputation::sampleName(int position) const {
    if (position >= 1 && position <= 3)
        return T(30 + position);
    if (position >= 4 && position <= 6)
        return d_.view.text(cellControl("editInfo", position - 3));
    return {};
}

bool ResultComputation::takeOverCalibration(const Calibration& c, double area, MeasurementResult* r) {
    if (!d_.view.isChecked(QString::fromLatin1(c.checkBox)) || !(area > c.minimumArea))
        return false;
    // The calibration area is kept as a whole number. An area past that range (a loaded file can
    // hold any values) cannot serve, and must not wrap into a negative area that looks stored.
    if (!(area < 2147483648.0)) {
        MeasurementResult scratch;
        warn(r ? *r : scratch,
             QStringLiteral("area %1 is too large for a calibration; not taken over").arg(area, 0, 'g', 15));
        return false;
    }
    c.calArea = static_cast<int>(std::trunc(area));
    if (!d_.ini.writeInteger(QStringLiteral("Calibration"), QString::fromLatin1(c.key), c.calArea)) {
        MeasurementResult scratch;
        warn(r ? *r : scratch, d_.ini.lastError());
    }
    d_.view.setBackground(QString::fromLatin1(c.edit), kCalibrated);
    d_.view.setChecked(QString::fromLatin1(c.checkBox), false);
    return true;
}

bool ResultComputation::takeOverFIDCalibration(double area, MeasurementResult* r) {
    return takeOverCalibration({"chkboxIsobutanCalib", "editIsobutan", "FIDCalArea", 1000, d_.settings.FIDCalArea},
                               area, r);
}

bool ResultComputation::takeOverFPDCalibration(double area, MeasurementResult* r) {
    return takeOverCalibration({"chkboxSulfurCalib", "editSulfur", "FPDCalArea", 10000, d_.settings.FPDCalArea},
                               area, r);
}

MeasurementResult ResultComputation::evaluate() {
    Sequencer& seq = d_.sequencer;
    EvaluationState& st = seq.eval;
    Acquisition& acq = d_.acquisition;

    MeasurementResult r;
    r.runZelle = seq.runZelle;
    r.sChemikalie = seq.sChemikalie;
    r.FIDSampleFactor = seq.FIDSampleFactor;
    r.runAktiv = seq.runAktiv;
    r.moment = d_.clock.wallNow();
    r.elapsedMs = (d_.clock.monotonicNow() - seq.runStartzeitMono).count();
    const QString elapsed = formatDuration(r.elapsedMs);

    // The slope series grows by the whole window; a skipped cell's turn appends a second copy of
    // the previous window's slope, as the search has always seen it.
    // The flow of the measured stream, whether or not the FID finds a peak: the FPD rate uses it too.
    const Settings& s = d_.settings;
    switch (seq.runZelle) {
    case 1: seq.Flow = 200.0; break;
    case 2:
    case 3: seq.Flow = s.CalFlow; break;
    case 4: seq.Flow = s.SampleFlow1; break;
    case 5: seq.Flow = s.SampleFlow2; break;
    case 6: seq.Flow = s.SampleFlow3; break;
    default: break;
    }

    AddSlopePoints(acq.Series1, acq.Serie3);
    st.FIDBaseDraw = false;
    PeakAndArea(st, TDeviceTyp::FID, acq.Series1, acq.Serie3, DetectionSettings::from(d_.settings));
    r.NoPeak = st.NoPeak; // the FID's; the FPD search below sets the field again
    FIDMessMenge = 0;
    fidResult(r);
    fidPositionStep(r, elapsed);

    if (d_.deviceTyp == TDeviceTyp::FIDFPD) {
        fpdResult(r);
        fpdPositionStep(r, elapsed);
    }

    // A measurement that overlapped a lost line saw no real signal: its zeros are no result.
    for (SerialLine* line : {&d_.link.ComPort1(), &d_.link.ComPort2()}) {
        if (d_.link.wasDownSince(*line, seq.runStartCycle))
            warn(r, QStringLiteral("the line %1 was down during this measurement; its values are not a measurement")
                        .arg(line->deviceName()));
    }

    r.Flow = seq.Flow;
    r.FIDppm = FIDppm;
    r.FIDMessMenge = FIDMessMenge;
    r.FIDArea = st.FIDArea;
    r.FPDMessMenge = FPDMessMenge;
    r.FPDArea = st.FPDArea;
    return r;
}

void ResultComputation::fidResult(MeasurementResult& r) {
    Settings& s = d_.settings;
    Sequencer& seq = d_.sequencer;
    EvaluationState& st = seq.eval;
    const int pos = seq.runZelle;
    const QString label = QStringLiteral("lblFIDMenge");

    if (st.NoPeak) {
        st.FIDArea = 0;
        FIDMessMenge = 0;
        FIDppm = 0;
        d_.view.setText(label, F2(0) + (pos == 2 ? kPpmUnit : kRateUnit));
        return;
    }

    st.FIDBaseDraw = true;
    d_.view.repaintChartOverlay();

    takeOverFIDCalibration(st.FIDArea, &r);

    if (s.FIDCalArea <= 1000)
        return;

    if (!(s.FIDCalFactor > 0)) {
        FIDppm = 0;
        warn(r, QStringLiteral("the FID calibration factor is not above zero; ppm and rate recorded as 0"));
    } else {
        FIDppm = (st.FIDArea / s.FIDCalArea) * (seq.FIDSampleFactor / s.FIDCalFactor) * s.FIDCALMenge;
    }

    if (pos == 2) {
        d_.view.setText(label, F2(FIDppm) + kPpmUnit);
        return;
    }
    if (!(s.SampleArea > 0)) {
        FIDMessMenge = 0;
        warn(r, QStringLiteral("the sample area is not above zero; FID rate recorded as 0"));
    } else {
        FIDMessMenge = ((0.00241 * FIDppm) * seq.Flow) / s.SampleArea;
    }
    d_.view.setText(label, F2(FIDMessMenge) + kRateUnit);
}

void ResultComputation::breakThrough(int position, MeasurementResult& r) {
    const int cell = position - 3;
    d_.valves.ValveReset(position);
    --d_.sequencer.offCount;
    d_.view.setLedOn(cellControl("ledSmpOff", cell), true);
    r.marker = QLatin1Char('*');
    r.breakTime = d_.view.text(cellControl("lblRunToBreak", cell));
}

void ResultComputation::cellStep(MeasurementResult& r, const QString& elapsed, double& rate, double& area,
                                 double limit) {
    const int pos = d_.sequencer.runZelle;
    const int cell = pos - 3;
    if (d_.view.ledOn(cellControl("ledSmpOff", cell))) {
        // Switched off earlier: recorded as off, whatever the signal showed.
        r.marker = QLatin1Char('*');
        rate = 0;
        area = 0;
        return;
    }
    d_.view.setText(cellControl("lblRunToBreak", cell), elapsed);
    if (rate > limit)
        breakThrough(pos, r);
}

void ResultComputation::fidPositionStep(MeasurementResult& r, const QString& elapsed) {
    const int pos = d_.sequencer.runZelle;
    r.marker = QLatin1Char(' ');
    r.sampleName = sampleName(pos);
    if (pos < 4 || pos > 6) {
        r.breakTime.clear();
        return;
    }
    r.breakTime = QStringLiteral("--:--");
    cellStep(r, elapsed, FIDMessMenge, d_.sequencer.eval.FIDArea, d_.settings.LimitFID);
}

void ResultComputation::fpdResult(MeasurementResult& r) {
    Settings& s = d_.settings;
    Sequencer& seq = d_.sequencer;
    EvaluationState& st = seq.eval;
    const int pos = seq.runZelle;

    const FPDSearchState found = SearchFPDPeak(st, d_.acquisition.Series2, DetectionSettings::from(s));
    d_.view.repaintChartOverlay();
    FPDMessMenge = 0;

    // Only an area from a search that accepted its peak calibrates.
    if (found == FPDSearchState::Found)
        takeOverFPDCalibration(st.FPDArea, &r);

    if (s.FPDCalArea <= 10000)
        return;
    const QString label = QStringLiteral("lblFPDMenge");
    if (pos == 2) {
        FPDMessMenge = (st.FPDArea * s.FPDCalMenge) / s.FPDCalArea;
        d_.view.setText(label, F2(FPDMessMenge) + kPpmUnit);
        return;
    }
    if (!(seq.FPDFactor > 0)) {
        warn(r, QStringLiteral("the FPD sample factor is not above zero; FPD rate recorded as 0"));
    } else if (!(s.SampleArea > 0)) {
        warn(r, QStringLiteral("the sample area is not above zero; FPD rate recorded as 0"));
    } else {
        FPDMessMenge = (st.FPDArea / s.FPDCalArea) * (s.FPDCalFactor / seq.FPDFactor) * s.FPDCalMenge;
        FPDMessMenge = ((0.00251 * FPDMessMenge) * seq.Flow) / s.SampleArea;
    }
    d_.view.setText(label, F2(FPDMessMenge) + kRateUnit);
}

void ResultComputation::fpdPositionStep(MeasurementResult& r, const QString& elapsed) {
    const int pos = d_.sequencer.runZelle;
    r.marker = QLatin1Char(' ');
    r.breakTime = QStringLiteral("--:--");
    r.sampleName = sampleName(pos);
    if (pos >= 4 && pos <= 6)
        cellStep(r, elapsed, FPDMessMenge, d_.sequencer.eval.FPDArea, d_.settings.LimitFPD);
}

} // namespace korvat
