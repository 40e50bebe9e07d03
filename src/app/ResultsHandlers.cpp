// The sample-info page: choosing the results file, loading a stored raw-data file back, and the
// description's input rule.

#include "evaluation/PeakSearch.h"
#include "evaluation/RawDataLoader.h"
#include "evaluation/ResultsFile.h"
#include "app/KorvatApp.h"
#include "run/RunSpec.h"
#include "util/Clock.h"
#include "util/Dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>

namespace korvat {

Q_LOGGING_CATEGORY(lcResults, "korvat.results")

QStringList KorvatApp::resultsHeaderLines(int fileRun) const {
    const Settings& s = settings_;
    ResultsHeader h;
    h.path = records_.sDateiname;
    h.moment = clock_.wallNow();
    h.serial = sSerialNumber;
    h.fileRun = fileRun;
    h.TempMesskammer = s.TempMesskammer;
    h.TempVentilblock = s.TempVentilblock;
    h.TempEmissionskammer = s.TempEmissionskammer;
    h.TempTransferline = s.TempTransferline;
    h.Hochspannung = s.Hochspannung;
    h.Zerokompensation = s.Zerokompensation;
    h.actualMesskammer = poll_.readBack(ReadBack::Messkammer);
    h.actualVentilblock = poll_.readBack(ReadBack::Ventilblock);
    h.actualEmissionskammer = poll_.readBack(ReadBack::Emmision);
    h.actualTransferline = poll_.readBack(ReadBack::Transfer);
    h.actualHochspannung = poll_.readBack(ReadBack::HVoltage);
    h.actualZerokompensation = poll_.readBack(ReadBack::Zero);
    h.FIDCALMenge = s.FIDCALMenge;
    h.FIDCalArea = s.FIDCalArea;
    h.LimitFID = s.LimitFID;
    h.FIDSampleFactor = run_.FIDSampleFactor;
    h.FPDCalMenge = s.FPDCalMenge;
    h.FPDCalArea = s.FPDCalArea;
    h.LimitFPD = s.LimitFPD;
    h.FPDFactor = run_.FPDFactor;
    h.Startzelle = s.Startzelle;
    h.AnzahlZellen = s.AnzahlZellen;
    h.AnzahlMessreihen = s.AnzahlMessreihen;
    h.SampleTime = s.SampleTime;
    h.InjectionTime = s.InjectionTime;
    h.Messzeit = s.Messzeit;
    h.description = inputs_.text(Input::Description);
    // During a run, the parameters it started with; otherwise those a start would take now.
    h.parameters = sequencer_.running() ? run_.parameters : startParameters(settings_, inputs_, results_.calibrations());
    h.Messzeit = h.parameters.measuringSeconds;
    // Numbers by the program's language, date and time as the system shows them.
    return korvat::resultsHeaderLines(h, ID, DeviceTyp, fileNumberLocale(ID), QLocale());
}

void KorvatApp::btnSpeichernClick() {
    // Until a file has been chosen the dialog starts in the data folder; afterwards it keeps
    // where the operator went last.
    QString& sDateiname = records_.sDateiname;
    const QString chosen =
        dialogs_.saveFileName(sDateiname.isEmpty() ? settings_.sDataDir : QString(), QStringLiteral("*.csv | *.CSV"));
    if (chosen.isEmpty())
        return;
    sDateiname = resultsFileName(chosen);
    view_.infoShown(InfoLabel::ResultsFile, sDateiname);
    write(key::DataDir, QFileInfo(sDateiname).absolutePath());

    QString error;
    bool existed = false;
    const bool created = records_.createFile(sDateiname, resultsHeaderLines(), &error, &existed);
    openJournal();
    if (sequencer_.running()) {
        // The run goes on into the new file: its rows go below what the file holds, under a
        // header block of their own when it holds rows already, and its raw-data files take
        // names no earlier run used.
        if (const std::optional<RunFilePlan> files = sequencer_.planRunFiles()) {
            records_.beginRun(*files, resultsHeaderLines(files->fileRun));
            if (files->runsHeld > 0 || !files->unreadable.isEmpty()) {
                const QString text = QStringLiteral("%1 already holds %2 run(s); the rows of the run going on are appended below them as run %3 of the file")
                                         .arg(sDateiname)
                                         .arg(files->runsHeld)
                                         .arg(files->fileRun);
                view_.logLine(text);
                dialogs_.information(text);
            }
        }
    }
    if (created) {
        if (!existed)
            return;
        // An existing file must take rows, or the whole night's rows would only wait in memory.
        QFile probe(sDateiname);
        if (probe.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        const QString text = QStringLiteral("Results cannot be appended to %1 (%2); rows will wait until it can be written")
                                 .arg(sDateiname, probe.errorString());
        records_.report(text);
        dialogs_.error(text);
        return;
    }
    // The file is kept as chosen: the header is written with the first row that gets through.
    records_.report(error);
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
    EvaluationState& st = run_.eval;
    const QString chosen = dialogs_.openFileName(settings_.sDataDir, QString());
    if (!chosen.isEmpty()) {
        view_.infoShown(InfoLabel::RawDataFile, chosen);
        st.FIDBaseDraw = false;
        st.FPDBaseDraw = false;
        view_.chordsChanged();
        acquisition_.clearSeries(0);
        acquisition_.clearSeries(1);
        acquisition_.Serie3.clear();

        const RawLoadResult loaded =
            loadRawData(chosen, acquisition_.Series1, acquisition_.Series2, acquisition_.Serie3);
        // The chart shows what was read, also when the file broke off.
        view_.seriesAppended(0, acquisition_.Series1.x, acquisition_.Series1.y);
        view_.seriesAppended(1, acquisition_.Series2.x, acquisition_.Series2.y);
        view_.curvesChanged();
        if (!loaded.ok) {
            qCWarning(lcResults).noquote() << loaded.error;
            view_.logLine(loaded.error);
            dialogs_.error(loaded.error);
            return;
        }

        if (DeviceTyp == TDeviceTyp::FID || DeviceTyp == TDeviceTyp::FIDFPD) {
            PeakAndArea(st, TDeviceTyp::FID, acquisition_.Series1, acquisition_.Serie3,
                        DetectionSettings::from(settings_));
            view_.chordsChanged();
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
