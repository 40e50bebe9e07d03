// The sample-info page and the records of a run: choosing the results file, each measurement's
// row, loading a stored raw-data file back, and the description's input rule.

#include "evaluation/PeakSearch.h"
#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFile.h"
#include "shell/FormView.h"
#include "app/KorvatApp.h"
#include "util/Clock.h"
#include "util/Dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

namespace korvat {

Q_LOGGING_CATEGORY(lcResults, "korvat.results")

void KorvatApp::evaluateMeasurement() {
    MeasurementResult r = results_.evaluate();
    AppendResultRow(r);
    // The rows follow the sequencer's records: the first measurement of a run starts afresh.
    if (sequencer_.measurements.empty())
        resultRows_.clear();
    resultRows_.push_back(std::move(r));
    sequencer_.recordMeasurement();
}

void KorvatApp::reportResultsProblem(const QString& text) {
    qCWarning(lcResults).noquote() << text;
    view_.setStatusText(text);
    view_.addLogLine(text);
    link_.logLine(link_.ComPort1().deviceName(), text);
}

void KorvatApp::writePendingHeaders() {
    for (auto it = headersPending_.begin(); it != headersPending_.end();) {
        QString error;
        if (createResultsFile(it->first, it->second, &error)) {
            it = headersPending_.erase(it);
        } else {
            reportResultsProblem(error);
            ++it;
        }
    }
}

void KorvatApp::AppendResultRow(const MeasurementResult& r) {
    if (sDateiname.isEmpty())
        return;
    writePendingHeaders();
    if (!resultsWriter_.append(sDateiname, resultRowText(r, DeviceTyp, QLocale())))
        reportResultsProblem(resultsWriter_.error());
}

QStringList KorvatApp::resultsHeaderLines() const {
    const Settings& s = settings_;
    ResultsHeader h;
    h.path = sDateiname;
    h.moment = clock_.wallNow();
    h.serial = sSerialNumber;
    h.TempMesskammer = s.TempMesskammer;
    h.TempVentilblock = s.TempVentilblock;
    h.TempEmissionskammer = s.TempEmissionskammer;
    h.TempTransferline = s.TempTransferline;
    h.Hochspannung = s.Hochspannung;
    h.Zerokompensation = s.Zerokompensation;
    h.actualMesskammer = view_.text(QStringLiteral("lblMesskammer"));
    h.actualVentilblock = view_.text(QStringLiteral("lblVentilblock"));
    h.actualEmissionskammer = view_.text(QStringLiteral("lblEmmision"));
    h.actualTransferline = view_.text(QStringLiteral("lblTransfer"));
    h.actualHochspannung = view_.text(QStringLiteral("lblHVoltage"));
    h.actualZerokompensation = view_.text(QStringLiteral("lblZero"));
    h.FIDCALMenge = s.FIDCALMenge;
    h.FIDCalArea = s.FIDCalArea;
    h.LimitFID = s.LimitFID;
    h.FIDSampleFactor = sequencer_.FIDSampleFactor;
    h.FPDCalMenge = s.FPDCalMenge;
    h.FPDCalArea = s.FPDCalArea;
    h.LimitFPD = s.LimitFPD;
    h.FPDFactor = sequencer_.FPDFactor;
    h.Startzelle = s.Startzelle;
    h.AnzahlZellen = s.AnzahlZellen;
    h.AnzahlMessreihen = s.AnzahlMessreihen;
    h.SampleTime = s.SampleTime;
    h.InjectionTime = s.InjectionTime;
    h.Messzeit = s.Messzeit;
    h.description = view_.text(QStringLiteral("memoDescription"));
    return korvat::resultsHeaderLines(h, ID, DeviceTyp, QLocale());
}

void KorvatApp::btnSpeichernClick() {
    // Until a file has been chosen the dialog starts in the data folder; afterwards it keeps
    // where the operator went last.
    const QString chosen =
        dialogs_.saveFileName(sDateiname.isEmpty() ? settings_.sDataDir : QString(), QStringLiteral("*.csv | *.CSV"));
    if (chosen.isEmpty())
        return;
    sDateiname = resultsFileName(chosen);
    view_.setText(QStringLiteral("lblDateiname"), sDateiname);
    write("Measurement", "DataDir", QFileInfo(sDateiname).absolutePath());

    headersPending_.erase(sDateiname);
    QString error;
    bool existed = false;
    const QStringList header = resultsHeaderLines();
    if (createResultsFile(sDateiname, header, &error, &existed)) {
        if (!existed)
            return;
        // An existing file must take rows, or the whole night's rows would only wait in memory.
        QFile probe(sDateiname);
        if (probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        const QString text = QStringLiteral("Results cannot be appended to %1 (%2); rows will wait until it can be written")
                                 .arg(sDateiname, probe.errorString());
        reportResultsProblem(text);
        dialogs_.error(text);
        return;
    }
    // The file is kept as chosen: the header is written with the first row that gets through.
    headersPending_[sDateiname] = header;
    reportResultsProblem(error);
    dialogs_.error(error);
}

KorvatApp::DescriptionKey KorvatApp::memoDescriptionKeyPress(bool enter, int line, int column) {
    if (enter)
        return line >= 5 ? DescriptionKey::Discard : DescriptionKey::Keep;
    return column >= 60 ? DescriptionKey::ReplaceWithEnter : DescriptionKey::Keep;
}

void KorvatApp::btnLadenClick() {
    // A loaded file replaces the signal series: during a run that would put a stored curve into
    // the measurement being recorded.
    if (sequencer_.running()) {
        dialogs_.information(QStringLiteral("A raw-data file cannot be loaded while a run is active."));
        return;
    }
    EvaluationState& st = sequencer_.eval;
    const QString chosen = dialogs_.openFileName(settings_.sDataDir, QString());
    if (!chosen.isEmpty()) {
        view_.setText(QStringLiteral("lblRawDataName"), chosen);
        st.FIDBaseDraw = false;
        st.FPDBaseDraw = false;
        view_.repaintChartOverlay();
        acquisition_.clearSeries(0);
        acquisition_.clearSeries(1);
        acquisition_.Serie3.clear();

        const RawLoadResult loaded =
            loadRawData(chosen, acquisition_.Series1, acquisition_.Series2, acquisition_.Serie3);
        // The chart shows what was read, also when the file broke off.
        view_.appendSeries(0, acquisition_.Series1.x, acquisition_.Series1.y);
        view_.appendSeries(1, acquisition_.Series2.x, acquisition_.Series2.y);
        view_.replotChart();
        if (!loaded.ok) {
            qCWarning(lcResults).noquote() << loaded.error;
            view_.addLogLine(loaded.error);
            dialogs_.error(loaded.error);
            return;
        }

        if (DeviceTyp == TDeviceTyp::FID || DeviceTyp == TDeviceTyp::FIDFPD) {
            PeakAndArea(st, TDeviceTyp::FID, acquisition_.Series1, acquisition_.Serie3,
                        DetectionSettings::from(settings_));
            view_.repaintChartOverlay();
            results_.takeOverFIDCalibration(st.FIDArea);
        }
    }
    // Also after a cancel: a ticked sulfur box takes over the area of the last live evaluation.
    if (DeviceTyp == TDeviceTyp::FPD || DeviceTyp == TDeviceTyp::FIDFPD) {
        PeakAndArea(st, TDeviceTyp::FPD, acquisition_.Series1, acquisition_.Serie3, DetectionSettings::from(settings_));
        results_.takeOverFPDCalibration(st.FPDArea);
    }
}

} // namespace korvat
