#include "app/KorvatApp.h"

#include "link/Commands.h"

#include "evaluation/SubstanceList.h"
#include "shell/FormView.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "korvat.shell.startup")

namespace korvat {

namespace {
constexpr Rgb kCalibrated{125, 198, 117};
constexpr Rgb kUncalibrated{254, 169, 148};
constexpr int kCalibratedArea = 1000;
} // namespace

KorvatApp::KorvatApp(Environment env)
    : view_(env.view), dialogs_(env.dialogs), clock_(env.clock),
      programDir_(std::move(env.programDir)),
      ini_(programDir_ + QStringLiteral("Korvat.ini")),
      link_(env.com1, env.com2, env.clock, env.dialogs, env.view), valves_(regs_, link_, env.view),
      acquisition_({link_, env.view, settings_, ID, DeviceTyp}),
      panel_({settings_, ini_, link_, env.view, env.dialogs, valves_, ID, DeviceTyp}),
      poll_({link_, env.view, regs_, valves_, env.clock, ID}),
      sequencer_({settings_, ini_, link_, valves_, regs_, env.view, env.dialogs, env.clock, acquisition_, poll_,
                  ID, DeviceTyp, sDateiname}),
      results_({settings_, ini_, env.view, valves_, link_, env.clock, acquisition_, sequencer_, ID, DeviceTyp}),
      substanceFactors_(env.view, env.dialogs, programDir_) {
    link_.setTerminateRequest([this] { terminateRequested_ = true; });
    // Commands dropped while the main line was down (a valve closed at a breakthrough, say) are
    // made good: the instrument gets the valve banks and lamps as the program keeps them.
    QObject::connect(&link_, &Link::portBack, &link_, [this](const QString& device) {
        SerialLine& port = link_.ComPort1();
        if (device != port.deviceName())
            return;
        link_.SendCommand(port, QStringLiteral("<V1S%1\r").arg(hex2(regs_.V1Byte)));
        link_.SendCommand(port, QStringLiteral("<V2S%1\r").arg(hex2(regs_.V2Byte)));
        link_.SendCommand(port, QStringLiteral("<LS%1\r").arg(hex2(regs_.DispByte)));
    });
    sequencer_.setEvaluation([this](Sequencer&) { evaluateMeasurement(); });
    // The instrument's own heating requests move the settings page's toggles, inside the tick.
    poll_.setHeaterRequest([this](StatusPoll::HeatedZone zone, bool on) {
        ServicePanel::TickScope inTick(panel_);
        if (zone == StatusPoll::HeatedZone::MeasuringCell) {
            view_.setDown(QStringLiteral("btnMesskammerAn"), on);
            panel_.btnMesskammerAnClick();
        } else {
            view_.setDown(QStringLiteral("btnVentilblockAn"), on);
            panel_.btnVentilblockAnClick();
        }
    });
}


QString KorvatApp::T(int n) const { return LoadLangText(ID, n); }

StartupOutcome KorvatApp::FormCreate(const std::function<void(int)>& translate) {
    view_.setWindowCaption(QStringLiteral("KORVAT-PC ") + GetVersionString());
    sequencer_.eval.FIDBaseDraw = false;
    sequencer_.runTag = 0;
    sDateiname.clear();

    // A file that holds no settings is said, kept aside and replaced, never read as all defaults.
    const ConfigFileOutcome config = openConfigFile(ini_, programDir_);
    if (!config.usable) {
        dialogs_.error(config.error);
        return StartupOutcome::Halted;
    }
    for (const QString& line : config.log)
        view_.addLogLine(line);
    if (!config.message.isEmpty())
        dialogs_.message(config.message);

    ID = languageOffsetFromCode(ini_.readString(QStringLiteral("Language"), QStringLiteral("Code"),
                                                QStringLiteral("US")));
    if (translate)
        translate(ID);

    if (const auto error = loadSettings(ini_, settings_)) {
        dialogs_.error(*error);
        return StartupOutcome::Halted;
    }
    for (const QString& warning : std::as_const(settings_.warnings))
        view_.addLogLine(warning);
    DeviceTyp = settings_.DeviceTyp;
    link_.setDebugLevel(settings_.DebugLevel);
    if (settings_.DebugLevel > 0)
        link_.setDebugLog(std::make_unique<DebugLog>(clock_, programDir_ + QStringLiteral("korvat-debug.log")));
    showSettings();

    view_.setBottomAxisMax(settings_.Messzeit);
    view_.setLeftAxisRange(settings_.ScaleMin, settings_.Scale);
    view_.setLeftAxisTitle(T(107));
    view_.setSeriesTitle(0, T(53));
    view_.setSeriesTitle(1, T(54));
    view_.setChartTitle(T(106));

    for (const char* label : {"lblVentilblock", "lblMesskammer", "lblEmmision", "lblTransfer"})
        view_.setText(QString::fromLatin1(label), QStringLiteral("--- ") + T(18));
    view_.setText(QStringLiteral("lblZero"), QStringLiteral("--- ") + T(24));
    view_.setText(QStringLiteral("lblHVoltage"), QStringLiteral("---- ") + T(25));
    for (int k = 1; k <= 3; ++k)
        view_.setText(QStringLiteral("lblRunToBreak%1").arg(k), T(39));
    view_.setText(QStringLiteral("lblStartrun"), T(30));

    view_.setEnabled(QStringLiteral("btnStop"), false);
    view_.setEnabled(QStringLiteral("btnStart"), false);
    for (int k = 1; k <= 3; ++k)
        view_.setLedOn(QStringLiteral("ledSmpOff%1").arg(k), false);

    const struct {
        const char* control;
        const char* file;
    } lists[] = {{"ValueListEditor1", "CH-Substanzen.txt"}, {"ValueListEditor2", "S-Substanzen.txt"}};
    for (const auto& l : lists) {
        QString error;
        const auto lines = loadSubstanceList(programDir_ + QString::fromLatin1(l.file), &error);
        if (!lines) {
            dialogs_.error(error);
            return StartupOutcome::Halted;
        }
        view_.setValueList(QString::fromLatin1(l.control), *lines);
    }

    link_.ComPort1().setDeviceName(settings_.ComPortA);
    link_.ComPort2().setDeviceName(settings_.ComPortB);

    const StartupOutcome identified =
        DeviceTyp == TDeviceTyp::FIDFPD ? identifyTwoPorts() : identifySinglePort();
    if (identified != StartupOutcome::Running || terminateRequested_)
        return StartupOutcome::Ended;

    poll_.build(DeviceTyp);

    SerialLine& com1 = link_.ComPort1();
    link_.SendCommand(com1, QStringLiteral("<PSFF\r"));
    regs_.LastPByte = 0xFF;
    link_.SendCommand(com1, QStringLiteral("<V1SFF\r"));
    regs_.V1Byte = 0xFF;
    link_.SendCommand(com1, QStringLiteral("<V2SFF\r"));
    regs_.V2Byte = 0xFF;
    link_.SendCommand(com1, QStringLiteral("<LSEF\r"));
    regs_.DispByte = 0xEF;
    link_.SendCommand(com1, QStringLiteral("<D?\r"));
    link_.SendCommand(com1, QStringLiteral("<12Z0100\r"));
    if (DeviceTyp == TDeviceTyp::FIDFPD)
        link_.SendCommand(link_.ComPort2(), QStringLiteral("<12Z0100\r"));

    view_.setLedOn(QStringLiteral("ledPower"), true);
    view_.setEnabled(QStringLiteral("btnStart"), true);
    qCInfo(lcStartup) << "started:" << sSerialNumber;
    if (terminateRequested_)
        return StartupOutcome::Ended;
    timerWanted_ = true;
    return StartupOutcome::Running;
}

void KorvatApp::endProgramBox(const QString& middle) {
    dialogs_.information(QStringLiteral("Programm : KORVAT-PC\r") + GetVersionString() +
                         QLatin1Char('\r') + middle + QLatin1Char('\r'));
}

QString KorvatApp::identify(SerialLine& port, const QString& command) {
    // Whatever an earlier session left on the line (an answer nobody read, half a line) would
    // otherwise be taken for the converter's answer: a stale line on port A made the program
    // swap the ports and drive the FPD converter as the main board.
    link_.discardInput(port);
    return link_.SendAndWaitFor(port, command, [](const QString& line) {
        return line.startsWith(QLatin1String(":SN"));
    });
}

StartupOutcome KorvatApp::identifySinglePort() {
    link_.createQueues(false);
    SerialLine& com1 = link_.ComPort1();
    if (!link_.OpenComPort(com1)) {
        endProgramBox(T(91));
        return StartupOutcome::Ended;
    }
    const QString reply = identify(com1, QStringLiteral("\r\n<SN\r\n"));
    if (reply.isEmpty()) {
        com1.close();
        endProgramBox(com1.deviceName() + QStringLiteral(": ") + T(91));
        return StartupOutcome::Ended;
    }
    if (reply.size() < 4 || reply[3] != QLatin1Char('4')) {
        com1.close();
        endProgramBox(T(90));
        return StartupOutcome::Ended;
    }
    sSerialNumber = reply.mid(1);
    view_.setConnectionItem(0, com1.deviceName() + QLatin1Char(' ') + sSerialNumber, true);
    view_.setConnectionItem(1, link_.ComPort2().deviceName() + QStringLiteral(" --------"), false);
    return StartupOutcome::Running;
}

StartupOutcome KorvatApp::identifyTwoPorts() {
    link_.createQueues(true);
    SerialLine& com1 = link_.ComPort1();
    SerialLine& com2 = link_.ComPort2();
    auto notFound = [this](SerialLine& port) {
        port.close();
        dialogs_.message(port.deviceName() + QStringLiteral(": ") + T(91));
        return StartupOutcome::Ended;
    };

    QString reply;
    if (link_.OpenComPort(com1))
        reply = identify(com1, QStringLiteral("<SN\r"));
    if (reply.isEmpty())
        return notFound(com1);
    if (reply.size() < 4 || reply[3] != QLatin1Char('4')) {
        // The main converter answers with a "4" in fourth place; anything else means the two
        // cables are crossed. Swap the names and ask again.
        com1.close();
        com1.setDeviceName(ini_.readString(QStringLiteral("Communication"), QStringLiteral("ComPortB"),
                                           QStringLiteral("COM1")));
        com2.setDeviceName(ini_.readString(QStringLiteral("Communication"), QStringLiteral("ComPortA"),
                                           QStringLiteral("COM2")));
        reply.clear();
        if (link_.OpenComPort(com1))
            reply = identify(com1, QStringLiteral("\r<SN\r"));
        if (reply.isEmpty())
            return notFound(com1);
    }
    sSerialNumber = reply.mid(1);
    view_.setConnectionItem(0, com1.deviceName() + QLatin1Char(' ') + sSerialNumber, true);

    if (link_.OpenComPort(com2)) {
        view_.setConnectionItem(1, com2.deviceName(), true);
        const QString second = identify(com2, QStringLiteral("<SN\r"));
        if (second.isEmpty())
            return notFound(com2);
        view_.setConnectionItem(1, com2.deviceName() + QLatin1Char(' ') + second.mid(1), true);
    } else {
        DeviceTyp = TDeviceTyp::FID;
        dialogs_.message(T(92));
        view_.setConnectionItem(1, com2.deviceName() + QStringLiteral(" --------"), false);
    }
    return StartupOutcome::Running;
}

void KorvatApp::showSettings() {
    const Settings& s = settings_;
    auto setText = [this](const char* control, const QString& text) {
        view_.setText(QString::fromLatin1(control), text);
    };
    auto setLabel = [this](const char* control, const QString& text) {
        view_.setEditLabel(QString::fromLatin1(control), text);
    };
    auto fixed1 = [](double v) { return formatFixed(v, 5, 1); };
    auto fixed2 = [](double v) { return formatFixed(v, 6, 2); };

    setText("editIsobutan", formatGeneral(s.FIDCALMenge));
    setText("editSulfur", formatGeneral(s.FPDCalMenge));
    view_.setBackground(QStringLiteral("editIsobutan"),
                        s.FIDCalArea >= kCalibratedArea ? kCalibrated : kUncalibrated);
    view_.setBackground(QStringLiteral("editSulfur"),
                        s.FPDCalArea >= kCalibratedArea ? kCalibrated : kUncalibrated);

    int standard = -1;
    if (s.Standard == QLatin1String("ASTM"))
        standard = 0;
    else if (s.Standard == QLatin1String("EN374"))
        standard = 1;
    view_.setItemIndex(QStringLiteral("rgStandard"), standard);

    setText("editVentilblock", QString::number(s.TempVentilblock));
    setText("editMesskammer", QString::number(s.TempMesskammer));
    setText("editEmmision", QString::number(s.TempEmissionskammer));
    setText("editTransfer", QString::number(s.TempTransferline));
    setText("editHvoltage", QString::number(s.Hochspannung));
    setText("editZero", QString::number(s.Zerokompensation));
    setText("editStartdelay", s.Startdelay);
    setText("lblDelay", s.Startdelay);
    setText("editInfo1", s.SampleInfo1);
    setText("editInfo2", s.SampleInfo2);
    setText("editInfo3", s.SampleInfo3);
    setText("editStart", QString::number(s.Startzelle));
    setText("editAnzahl", QString::number(s.AnzahlZellen));
    setText("editMesszeit", QString::number(s.Messzeit));
    setText("editZyklen", QString::number(s.AnzahlMessreihen));
    setText("editLimitFID", fixed1(s.LimitFID));
    setText("editLimitFPD", fixed1(s.LimitFPD));
    setText("editCalFlow", fixed1(s.CalFlow));
    setText("editSampleFlow1", fixed1(s.SampleFlow1));
    setText("editSampleFlow2", fixed1(s.SampleFlow2));
    setText("editSampleFlow3", fixed1(s.SampleFlow3));

    setText("lbleditFIDCalFact", fixed2(s.FIDCalFactor));
    setLabel("lbleditFIDCalFact", s.FIDCalFactorName);
    setText("lblFIDCalFactor", QLatin1Char('[') + fixed2(s.FIDCalFactor) + QLatin1Char(']'));
    setText("lblFIDCalInfo", s.FIDCalFactorName + QStringLiteral(" (ppm)"));
    const double fidFactors[] = {s.FIDFactor1, s.FIDFactor2, s.FIDFactor3};
    const QString fidNames[] = {s.FIDSampleFactorName1, s.FIDSampleFactorName2, s.FIDSampleFactorName3};
    for (int k = 0; k < 3; ++k) {
        const QString edit = QStringLiteral("lblEditFact%1").arg(k + 1);
        view_.setText(edit, fixed2(fidFactors[k]));
        view_.setEditLabel(edit, fidNames[k]);
        view_.setText(QStringLiteral("lblInfoSample%1").arg(k + 1),
                      fidNames[k] + QLatin1Char('[') + fixed2(fidFactors[k]) + QLatin1Char(']'));
    }

    setText("lbleditFPDCalFact", fixed2(s.FPDCalFactor));
    setLabel("lbleditFPDCalFact", s.FPDCalFactorName);
    setText("lblFPDCalFactor", QLatin1Char('[') + fixed2(s.FPDCalFactor) + QLatin1Char(']'));
    setText("lblFPDCALInfo", s.FPDCalFactorName + QStringLiteral(" (ppm)"));
    const char* fpdEdits[] = {"lbleditFPDFact1", "lblEditFPDFact2", "lblEditFPDFact3"};
    const double fpdFactors[] = {s.FPDFactor1, s.FPDFactor2, s.FPDFactor3};
    const QString fpdNames[] = {s.FPDSampleFactorName1, s.FPDSampleFactorName2, s.FPDSampleFactorName3};
    for (int k = 0; k < 3; ++k) {
        setText(fpdEdits[k], fixed2(fpdFactors[k]));
        setLabel(fpdEdits[k], fpdNames[k]);
    }

    setText("editScale", QString::number(s.Scale));
    setText("editScaleMin", QString::number(s.ScaleMin));
}

void KorvatApp::FormClose() {
    timerWanted_ = false;
    // Result rows still waiting for their file get a last chance; the operator learns of any
    // that cannot be written rather than losing them unseen.
    writePendingHeaders();
    if (resultsWriter_.waiting() > 0 && !resultsWriter_.flushWaiting())
        dialogs_.error(resultsWriter_.error());
    link_.releaseQueues();
}

void KorvatApp::Timer1Timer() {
    try {
        link_.reconnectStep();
        poll_.pollStep();
        poll_.dispatchStep();
        acquisition_.drain(DeviceTyp);
        sequencer_.tickStages();
    } catch (const std::exception& e) {
        // Whatever went wrong, the run ends safely (valves closed, rows kept) and the program
        // stays up.
        qCCritical(lcStartup) << "tick failed:" << e.what();
        sequencer_.abortRun(QString::fromUtf8(e.what()));
    } catch (...) {
        qCCritical(lcStartup) << "tick failed";
        sequencer_.abortRun(QStringLiteral("unexpected failure in the tick"));
    }
}

} // namespace korvat
