#include "app/KorvatApp.h"

#include "link/Commands.h"

#include "evaluation/SubstanceList.h"
#include "shell/StringTable.h"
#include "util/Dialogs.h"
#include "util/NumberText.h"
#include "util/Utils.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStartup, "korvat.shell.startup")

namespace korvat {

KorvatApp::KorvatApp(Environment env)
    : view_(env.view), dialogs_(env.dialogs), clock_(env.clock),
      programDir_(std::move(env.programDir)),
      debugLogDir_(env.debugLogDir.isEmpty() ? programDir_ : env.debugLogDir),
      dataDir_(env.dataDir.isEmpty() ? programDir_ : env.dataDir),
      ini_(env.iniFile.isEmpty() ? programDir_ + QStringLiteral("Korvat.ini") : env.iniFile),
      events_(env.clock),
      link_(env.com1, env.com2, env.clock, env.dialogs, env.view), valves_(link_, env.view),
      acquisition_({link_, env.view, settings_, ID, DeviceTyp}),
      panel_({settings_, ini_, link_, env.view, inputs_, env.dialogs, valves_, ID, DeviceTyp}),
      poll_({link_, env.view, valves_, env.clock, ID}),
      results_({settings_, ini_, env.view, inputs_, link_, env.clock, acquisition_, run_, ID, DeviceTyp, events_,
                calibrations_, sSerialNumber}),
      recorder_({env.files ? env.files : makePosixFileLayer(), env.recorderDispatch, debugLogDir_}),
      records_({env.view, link_, settings_, DeviceTyp, events_, ID, ini_, env.clock, recorder_}),
      sequencer_({settings_, ini_, link_, valves_, env.view, inputs_, env.dialogs, env.clock, acquisition_, poll_,
                  run_, results_, records_, ID, DeviceTyp, events_}),
      substanceFactors_(inputs_, env.dialogs, programDir_), portChooser_(env.portChooser) {
    archiveFile_ = env.archiveFile;
    inputs_.setView(&view_);
    run_.setView(&view_);
    events_.setRecorder(&recorder_);
    sequencer_.setRunHeader([this](int fileRun) { return resultsHeaderLines(fileRun); });
    events_.setObserver({[this](const RunEvent& e) { view_.eventAdded(e); },
                         [this](bool lit) { view_.warningShown(lit); },
                         [this](const RunEvent& e) { notifier_.notify(e); }});
    notifier_.onError([this](const QString& error) { view_.logLine(error); });
    auto measurement = [this] { return run_.running() ? run_.runAktiv : 0; };
    QObject::connect(&link_, &Link::portLost, &link_, [this, measurement](const QString& device, const QString& reason) {
        events_.add(EventKind::LineLost, QStringLiteral("%1: line lost (%2)").arg(device, reason), device, measurement());
    });
    QObject::connect(&link_, &Link::portBack, &link_, [this, measurement](const QString& device) {
        events_.add(EventKind::LineBack, QStringLiteral("%1: line open again").arg(device), device, measurement());
    });
    // Settings changed while a run goes on belong to its record.
    ini_.onChange([this](const QString& section, const QString& key, const QString& before, const QString& after) {
        if (run_.running() && section != QLatin1String(key::RunState.section))
            events_.add(EventKind::SettingChanged,
                        QStringLiteral("[%1] %2: \"%3\" -> \"%4\"").arg(section, key, before, after), {}, run_.runAktiv);
    });
    link_.setTerminateRequest([this] { terminateRequested_ = true; });
    // Commands dropped while the main line was down (a valve closed at a breakthrough, say) are
    // made good: the instrument gets the valve banks and lamps as the program keeps them.
    QObject::connect(&link_, &Link::portBack, &link_, [this](const QString& device) {
        if (device == link_.ComPort1().deviceName())
            valves_.resend();
    });
    // The instrument's own heating requests move the settings page's toggles, inside the tick.
    poll_.setHeaterRequest([this](StatusPoll::HeatedZone zone, bool on) {
        panel_.mirrorHeater(zone == StatusPoll::HeatedZone::MeasuringCell ? ServicePanel::Group::Messkammer
                                                                          : ServicePanel::Group::Ventilblock,
                            on);
    });
}

QString KorvatApp::T(int n) const { return LoadLangText(ID, n); }

StartupOutcome KorvatApp::FormCreate(const std::function<void(int)>& translate) {
    view_.windowCaptionShown(QStringLiteral("KORVAT-PC ") + GetVersionString());
    events_.add(EventKind::ProgramStart, QStringLiteral("KORVAT-PC %1 started").arg(GetVersionString()));
    run_.eval.FIDBaseDraw = false;
    run_.setRunTag(RunTag::Idle);
    records_.sDateiname.clear();

    // A file that holds no settings is said, kept aside and replaced, never read as all defaults.
    const ConfigFileOutcome config = openConfigFile(ini_, dataDir_);
    if (!config.usable) {
        dialogs_.error(config.error);
        return StartupOutcome::Halted;
    }
    for (const QString& line : config.log)
        view_.logLine(line);
    if (!config.message.isEmpty())
        dialogs_.message(config.message);

    ID = languageOffsetFromCode(ini_.readString(key::Code, QString::fromUtf8(configKey(key::Code).missingDefault)));
    link_.setLanguage(ID);
    if (translate)
        translate(ID);

    // A value that cannot be read is named and its default taken: the start goes on.
    const QStringList unreadable = loadSettings(ini_, settings_);
    for (const QString& line : unreadable)
        view_.logLine(line);
    if (!unreadable.isEmpty())
        dialogs_.message(unreadable.join(QLatin1Char('\n')));
    for (const QString& warning : std::as_const(settings_.warnings))
        view_.logLine(warning);
    DeviceTyp = settings_.DeviceTyp;
    link_.setDebugLevel(settings_.DebugLevel);
    if (settings_.DebugLevel > 0)
        link_.setDebugLog(
            std::make_unique<DebugLog>(clock_, debugLogDir_ + QStringLiteral("korvat-debug.log")));
    showSettings();
    // The calibration history beside the settings: the curves, the repeatability and the control
    // charts. A line that does not read is named in the log and left out.
    results_.calibrations().load(ini_.path());
    for (const QString& problem : results_.calibrations().problems())
        view_.logLine(problem);
    for (Detector d : {Detector::FID, Detector::FPD})
        view_.calibrationShown(results_.calibrationDisplay(d));

    view_.timeAxisShown(settings_.Messzeit);
    view_.valueAxisShown(settings_.ScaleMin, settings_.Scale);
    view_.chartCaptionsShown({.title = T(106),
                              .valueAxis = T(107),
                              .fidSeries = T(53),
                              .fpdSeries = T(54),
                              .timeAxis = T(82) + QStringLiteral(" (") + T(108) + QLatin1Char(')')});

    for (ReadBack r : {ReadBack::Ventilblock, ReadBack::Messkammer, ReadBack::Emmision, ReadBack::Transfer})
        poll_.setReadBack(r, QStringLiteral("--- ") + T(18));
    poll_.setReadBack(ReadBack::Zero, QStringLiteral("--- ") + T(24));
    poll_.setReadBack(ReadBack::HVoltage, QStringLiteral("---- ") + T(25));
    for (int k = 1; k <= 3; ++k)
        run_.setCell(k, CellState{.timeText = T(39)});
    view_.startShown(T(30));

    run_.setControls({.start = false, .delay = run_.controls().delay, .stop = false});

    const struct {
        SubstanceGrid grid;
        const char* file;
    } lists[] = {{SubstanceGrid::Hydrocarbons, "CH-Substanzen.txt"}, {SubstanceGrid::Sulfur, "S-Substanzen.txt"}};
    for (const auto& l : lists) {
        QString error;
        const auto lines = loadSubstanceList(programDir_ + QString::fromLatin1(l.file), &error);
        if (!lines) {
            dialogs_.error(error);
            return StartupOutcome::Halted;
        }
        view_.substancesShown(l.grid, *lines);
    }

    link_.ComPort1().setDeviceName(settings_.ComPortA);
    link_.ComPort2().setDeviceName(settings_.ComPortB);

    // Until the instrument answers, or the operator quits the chooser.
    for (;;) {
        identifyProblems_.clear();
        const StartupOutcome identified =
            DeviceTyp == TDeviceTyp::FIDFPD ? identifyTwoPorts() : identifySinglePort();
        if (identified == StartupOutcome::Running && !terminateRequested_)
            break;
        startupProblem_ = (identifyProblems_ + QStringList{settingsFileNote()}).join(QLatin1Char('\n'));
        if (!portChooser_ || terminateRequested_)
            return StartupOutcome::Ended;
        link_.ComPort1().close();
        link_.ComPort2().close();
        const QString why = T(319) + QLatin1Char('\n') + identifyProblems_.join(QLatin1Char('\n'));
        if (!portChooser_->choosePorts(portChooserRequest(why, true)))
            return StartupOutcome::Ended;
        DeviceTyp = settings_.DeviceTyp;
        link_.ComPort1().setDeviceName(settings_.ComPortA);
        link_.ComPort2().setDeviceName(settings_.ComPortB);
    }
    startupProblem_.clear();

    poll_.build(DeviceTyp);

    SerialLine& com1 = link_.ComPort1();
    valves_.initialise();
    link_.SendCommand(com1, kQueryLoop);
    link_.SendCommand(com1, kStopBurst);
    if (DeviceTyp == TDeviceTyp::FIDFPD)
        link_.SendCommand(link_.ComPort2(), kStopBurst);

    view_.powerShown(true);
    run_.setControls({.start = true, .delay = run_.controls().delay, .stop = run_.controls().stop});
    qCInfo(lcStartup) << "started:" << sSerialNumber;
    if (terminateRequested_)
        return StartupOutcome::Ended;
    notifier_.configure({ini_.readString(key::NotifyCommand, QString()).trimmed(),
                         ini_.readInteger(key::NotifyDesktop.sectionText(), key::NotifyDesktop.nameText(), 0) == 1});
    startArchive();
    offerResume();
    timerWanted_ = true;
    return StartupOutcome::Running;
}

void KorvatApp::endProgramBox(const QString& middle) {
    dialogs_.information(T(322) + QLatin1Char('\r') + GetVersionString() + QLatin1Char('\r') + middle +
                         QLatin1Char('\r') + settingsFileNote() + QLatin1Char('\r'));
}

QString KorvatApp::identify(SerialLine& port, const QString& command, IdentifiedBoard board) {
    // Whatever an earlier session left on the line (an answer nobody read, half a line) would
    // otherwise be taken for the converter's answer: a stale line on port A made the program
    // swap the ports and drive the FPD converter as the main board.
    link_.discardInput(port);
    // The answer's form is the converter's own: only what is plainly something else (our command
    // echoed, a status reply) is passed over; the first other line is judged by the rule of the
    // board asked.
    const QString reply = link_.SendAndWaitFor(port, command, [&command, board](const QString& line) {
        return !isNoIdentification(line, command, board);
    });
    return withoutTrailingBlanks(reply);
}

StartupOutcome KorvatApp::identifySinglePort() {
    link_.createQueues(false);
    SerialLine& com1 = link_.ComPort1();
    if (!openForIdentification(com1)) {
        // The open problem was said; "converter not found" after it would send the operator
        // looking for the wrong fault.
        if (!portChooser_)
            endProgramBox(T(327));
        return StartupOutcome::Ended;
    }
    const QString reply = identify(com1, kIdentifySinglePort, IdentifiedBoard::Main);
    if (reply.isEmpty()) {
        com1.close();
        identificationFailed(com1.deviceName() + QStringLiteral(": ") + T(91), true);
        return StartupOutcome::Ended;
    }
    if (!identifiesMainConverter(reply)) {
        com1.close();
        identificationFailed(T(90), true);
        return StartupOutcome::Ended;
    }
    sSerialNumber = serialNumberOf(reply);
    view_.connectionShown(0, com1.deviceName() + QLatin1Char(' ') + sSerialNumber, true);
    view_.connectionShown(1, link_.ComPort2().deviceName() + QStringLiteral(" --------"), false);
    return StartupOutcome::Running;
}

StartupOutcome KorvatApp::identifyTwoPorts() {
    link_.createQueues(true);
    SerialLine& com1 = link_.ComPort1();
    SerialLine& com2 = link_.ComPort2();
    auto notFound = [this](SerialLine& port) {
        port.close();
        identificationFailed(port.deviceName() + QStringLiteral(": ") + T(91), false);
        return StartupOutcome::Ended;
    };

    QString reply;
    if (openForIdentification(com1))
        reply = identify(com1, kIdentify, IdentifiedBoard::Main);
    if (reply.isEmpty())
        return notFound(com1);
    if (!identifiesMainConverter(reply)) {
        // The main converter answers with a "4" in fourth place; anything else means the two
        // cables are crossed. Swap the names and ask again.
        com1.close();
        // Each takes the other's name, and the other's missing-key default.
        com1.setDeviceName(ini_.readString(key::ComPortB, QString::fromUtf8(configKey(key::ComPortA).missingDefault)));
        com2.setDeviceName(ini_.readString(key::ComPortA, QString::fromUtf8(configKey(key::ComPortB).missingDefault)));
        reply.clear();
        if (openForIdentification(com1))
            reply = identify(com1, kIdentifyAgain, IdentifiedBoard::Main);
        if (reply.isEmpty())
            return notFound(com1);
    }
    sSerialNumber = serialNumberOf(reply);
    view_.connectionShown(0, com1.deviceName() + QLatin1Char(' ') + sSerialNumber, true);

    if (openForIdentification(com2)) {
        view_.connectionShown(1, com2.deviceName(), true);
        const QString second = identify(com2, kIdentify, IdentifiedBoard::Fpd);
        if (second.isEmpty())
            return notFound(com2);
        view_.connectionShown(1, com2.deviceName() + QLatin1Char(' ') + serialNumberOf(second), true);
    } else {
        // A second converter that is not there is no reason to stop: the FID goes on alone.
        if (portChooser_)
            identifyProblems_.clear();
        DeviceTyp = TDeviceTyp::FID;
        dialogs_.message(T(92));
        view_.connectionShown(1, com2.deviceName() + QStringLiteral(" --------"), false);
    }
    return StartupOutcome::Running;
}

void KorvatApp::showSettings() {
    const Settings& s = settings_;
    auto fixed1 = [](double v) { return formatFixed(v, 5, 1); };
    auto fixed2 = [](double v) { return formatFixed(v, 6, 2); };
    auto number = [](int v) { return QString::number(v); };

    inputs_.set(Input::Isobutan, formatGeneral(s.FIDCALMenge));
    inputs_.set(Input::Sulfur, formatGeneral(s.FPDCalMenge));
    view_.calibratedShown(Detector::FID, calibratedArea(Detector::FID, s.FIDCalArea));
    view_.calibratedShown(Detector::FPD, calibratedArea(Detector::FPD, s.FPDCalArea));

    int standard = -1;
    if (s.Standard == QLatin1String("ASTM"))
        standard = 0;
    else if (s.Standard == QLatin1String("EN374"))
        standard = 1;
    view_.standardShown(standard);

    inputs_.set(Input::Ventilblock, number(s.TempVentilblock));
    inputs_.set(Input::Messkammer, number(s.TempMesskammer));
    inputs_.set(Input::Emmision, number(s.TempEmissionskammer));
    inputs_.set(Input::Transfer, number(s.TempTransferline));
    inputs_.set(Input::HVoltage, number(s.Hochspannung));
    inputs_.set(Input::Zero, number(s.Zerokompensation));
    inputs_.set(Input::Startdelay, s.Startdelay);
    view_.delayShown(s.Startdelay);
    inputs_.set(Input::Info1, s.SampleInfo1);
    inputs_.set(Input::Info2, s.SampleInfo2);
    inputs_.set(Input::Info3, s.SampleInfo3);
    // The description the operator left last time; without one the memo keeps its designed text.
    QStringList description;
    for (int line = 1; line <= kDescriptionLines; ++line) {
        const QString text = ini_.readString(QStringLiteral("Info"), QStringLiteral("Description%1").arg(line), QStringLiteral("\x01"));
        if (text == QStringLiteral("\x01"))
            break;
        description << text;
    }
    if (description.size() == kDescriptionLines)
        inputs_.set(Input::Description, description.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    inputs_.set(Input::Start, number(s.Startzelle));
    inputs_.set(Input::Count, number(s.AnzahlZellen));
    inputs_.set(Input::Messzeit, number(s.Messzeit));
    inputs_.set(Input::Cycles, number(s.AnzahlMessreihen));
    inputs_.set(Input::LimitFID, fixed1(s.LimitFID));
    inputs_.set(Input::LimitFPD, fixed1(s.LimitFPD));
    inputs_.set(Input::CalFlow, fixed1(s.CalFlow));
    inputs_.set(Input::SampleFlow1, fixed1(s.SampleFlow1));
    inputs_.set(Input::SampleFlow2, fixed1(s.SampleFlow2));
    inputs_.set(Input::SampleFlow3, fixed1(s.SampleFlow3));

    inputs_.set(Input::FIDCalFactor, fixed2(s.FIDCalFactor));
    inputs_.setLabel(Input::FIDCalFactor, s.FIDCalFactorName);
    view_.infoShown(InfoLabel::FIDCalFactor, QLatin1Char('[') + fixed2(s.FIDCalFactor) + QLatin1Char(']'));
    view_.infoShown(InfoLabel::FIDCalInfo, s.FIDCalFactorName + QStringLiteral(" (ppm)"));
    const Input fidEdits[] = {Input::FIDFactor1, Input::FIDFactor2, Input::FIDFactor3};
    const InfoLabel infoSamples[] = {InfoLabel::InfoSample1, InfoLabel::InfoSample2, InfoLabel::InfoSample3};
    const double fidFactors[] = {s.FIDFactor1, s.FIDFactor2, s.FIDFactor3};
    const QString fidNames[] = {s.FIDSampleFactorName1, s.FIDSampleFactorName2, s.FIDSampleFactorName3};
    const double fidMasses[] = {s.FIDMolarMass1, s.FIDMolarMass2, s.FIDMolarMass3};
    auto known = [](double grams) { return grams > 0 ? std::optional<double>(grams) : std::nullopt; };
    for (int k = 0; k < 3; ++k) {
        inputs_.set(fidEdits[k], fixed2(fidFactors[k]));
        inputs_.setLabel(fidEdits[k], fidNames[k]);
        inputs_.setMolarMass(fidEdits[k], known(fidMasses[k]));
        view_.infoShown(infoSamples[k], fidNames[k] + QLatin1Char('[') + fixed2(fidFactors[k]) + QLatin1Char(']'));
    }

    inputs_.set(Input::FPDCalFactor, fixed2(s.FPDCalFactor));
    inputs_.setLabel(Input::FPDCalFactor, s.FPDCalFactorName);
    view_.infoShown(InfoLabel::FPDCalFactor, QLatin1Char('[') + fixed2(s.FPDCalFactor) + QLatin1Char(']'));
    view_.infoShown(InfoLabel::FPDCalInfo, s.FPDCalFactorName + QStringLiteral(" (ppm)"));
    const Input fpdEdits[] = {Input::FPDFactor1, Input::FPDFactor2, Input::FPDFactor3};
    const double fpdFactors[] = {s.FPDFactor1, s.FPDFactor2, s.FPDFactor3};
    const QString fpdNames[] = {s.FPDSampleFactorName1, s.FPDSampleFactorName2, s.FPDSampleFactorName3};
    const double fpdMasses[] = {s.FPDMolarMass1, s.FPDMolarMass2, s.FPDMolarMass3};
    for (int k = 0; k < 3; ++k) {
        inputs_.set(fpdEdits[k], fixed2(fpdFactors[k]));
        inputs_.setLabel(fpdEdits[k], fpdNames[k]);
        inputs_.setMolarMass(fpdEdits[k], known(fpdMasses[k]));
    }
    const Input contacts[] = {Input::Contact1, Input::Contact2, Input::Contact3};
    const double contactMinutes[] = {s.ContactBeforeStart1, s.ContactBeforeStart2, s.ContactBeforeStart3};
    for (int k = 0; k < 3; ++k)
        inputs_.set(contacts[k], formatGeneral(contactMinutes[k]));

    showSpecimens();
    inputs_.setChecked(Check::KeepMeasuring, s.KeepMeasuring);
    inputs_.set(Input::Scale, number(s.Scale));
    inputs_.set(Input::ScaleMin, number(s.ScaleMin));
}

void KorvatApp::startArchive() {
    // [Archive] Database: a lab server (the local file then holds what waits for it), another
    // SQLite file, or "none".
    const QString named = ini_.readString(key::ArchiveDatabase, QString()).trimmed();
    if (named.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return;
    ArchiveWriter::Options options;
    const bool server = named.startsWith(QLatin1String("postgres"));
    options.local = !named.isEmpty() && !server ? named : archiveFile_;
    options.remote = server ? named : QString();
    if (options.local.isEmpty())
        return;
    archive_ = std::make_unique<ArchiveWriter>(options);
    sequencer_.setArchiveSink([this](const ArchivedTest& t, std::optional<ExportRecord> row) {
        if (archive_)
            archive_->measured(t, std::move(row));
    });
}

void KorvatApp::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    timerWanted_ = false;
    memoDescriptionExit();
    events_.add(EventKind::ProgramEnd, run_.running() ? QStringLiteral("program closed during a run; it can be continued at the next start")
                                                      : QStringLiteral("program closed"));
    // What waits for its file gets a last chance; what still cannot be written is kept in a run
    // state, and the operator learns how much and where rather than losing it unseen.
    QString error;
    if (!records_.flushAtClose(&error))
        dialogs_.error(error);
    link_.releaseQueues();
    // What the archive was given goes into its local file; a lab server gets it at the next start.
    archive_.reset();
}

void KorvatApp::btnMonitorClick() {
    acquisition_.btnMonitorClick();
    run_.eval.FIDBaseDraw = false;
    run_.eval.FPDBaseDraw = false;
    view_.chordsChanged();
}

void KorvatApp::showProgress(bool force) {
    const ProgressMoment moment{.second = run_.running() ? clock_.monotonicNow().count() / 1000 : -1,
                                .tag = run_.runTag(),
                                .measurements = run_.measurements().size()};
    if (!force && moment == progressShownFor_)
        return;
    progressShownFor_ = moment;
    ProgressContext context;
    context.ID = ID;
    context.now = clock_.monotonicNow();
    context.sampleSeconds = settings_.SampleTime;
    context.injectionSeconds = settings_.InjectionTime;
    context.keepMeasuring = settings_.KeepMeasuring;
    context.twoDetectors = DeviceTyp == TDeviceTyp::FIDFPD;
    // As the evaluation decides it: a detector whose calibration area is not above the take-over
    // limit gives no concentration.
    context.calibrated = {settings_.FIDCalArea > kFIDTakeOverArea, settings_.FPDCalArea > kFPDTakeOverArea};
    view_.progressShown(runProgress(run_, context));
}

void KorvatApp::Timer1Timer() {
    // A port test owns the lines until it is done; the tick's poll would take its answers.
    if (portTestRunning_)
        return;
    try {
        link_.reconnectStep();
        poll_.pollStep();
        poll_.dispatchStep();
        acquisition_.drain(DeviceTyp);
        sequencer_.tickStages();
        showProgress();
        records_.watch();
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
