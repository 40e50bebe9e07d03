#include "ui/Presenter.h"

#include "app/KorvatApp.h"
#include "evaluation/RunParameters.h"
#include "run/ReportData.h"
#include "shell/StringTable.h"
#include "ui/CalibrationPanel.h"
#include "ui/ArchiveWindow.h"
#include "ui/EventListWindow.h"
#include "ui/MeasurementChart.h"
#include "ui/PermeationView.h"
#include "ui/TForm1.h"
#include "ui/TestReport.h"
#include "util/Dialogs.h"

#include <QHash>
#include <QTabWidget>
#include <array>
#include <functional>
#include <optional>

namespace korvat {

namespace {

// Indexed by the enums' order.
const std::array<const char*, kInputCount> kInputControls = {
    "editStart",        "editAnzahl",      "editZyklen",      "editLimitFID",     "editLimitFPD",
    "editMesszeit",     "editIsobutan",    "editSulfur",      "editStartdelay",   "editVentilblock",
    "editMesskammer",   "editEmmision",    "editTransfer",    "editHvoltage",     "editZero",
    "LMDEdit1",         "editScale",       "editScaleMin",    "lbleditFIDCalFact", "lblEditFact1",
    "lblEditFact2",     "lblEditFact3",    "lbleditFPDCalFact", "lbleditFPDFact1", "lblEditFPDFact2",
    "lblEditFPDFact3",  "editCalFlow",     "editSampleFlow1", "editSampleFlow2",  "editSampleFlow3",
    "editInfo1",        "editInfo2",       "editInfo3",       "memoDescription", "editContact1",
    "editContact2",     "editContact3",    "editMaterial1",   "editMaterial2",   "editMaterial3",
    "editThickness1",   "editThickness2",  "editThickness3",  "editLot1",        "editLot2",
    "editLot3",         "editArea1",       "editArea2",       "editArea3",       "editRequirement",
    "editOperator",
};
const std::array<const char*, kCheckCount> kCheckControls = {
    "chkboxIsobutanCalib", "chkboxSulfurCalib", "btnVentilblockAn", "btnMesskammerAn",
    "btnEmmisionAn",       "btnTransferAn",     "btnHVoltageAn",       "chkboxKeepMeasuring",
};

// The check boxes among the checks; the others are toggle buttons.
bool isCheckBox(Check c) { return c == Check::IsobutanCalib || c == Check::SulfurCalib || c == Check::KeepMeasuring; }
const std::array<const char*, kLampCount> kLampControls = {
    "ledZero", "ledCalgas", "ledCalcell", "ledSample1", "ledSample2", "ledSample3", "ledLoop",
};
const std::array<const char*, kReadBackCount> kReadBackControls = {
    "lblVentilblock", "lblMesskammer", "lblEmmision", "lblTransfer", "lblZero", "lblHVoltage",
};
const char* const kInfoControls[] = {
    "lblFIDCalFactor", "lblFIDCalInfo", "lblFPDCalFactor", "lblFPDCALInfo", "lblInfoSample1",
    "lblInfoSample2",  "lblInfoSample3", "lblDateiname",   "lblRawDataName",
};
const char* const kGridControls[] = {"ValueListEditor1", "ValueListEditor2"};

// The colour of a calibration gas edit: green once the detector has a calibration area.
const QColor kCalibrated(125, 198, 117);
const QColor kUncalibrated(254, 169, 148);

template <class Enum, std::size_t N>
std::optional<Enum> enumOf(const std::array<const char*, N>& names, const QString& control) {
    for (std::size_t i = 0; i < N; ++i) {
        if (control == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}

std::optional<SubstanceGrid> gridOf(const QString& control) {
    if (control == QLatin1String(kGridControls[0]))
        return SubstanceGrid::Hydrocarbons;
    if (control == QLatin1String(kGridControls[1]))
        return SubstanceGrid::Sulfur;
    return std::nullopt;
}

QString detectorControl(const char* fid, const char* fpd, Detector d) {
    return QString::fromLatin1(d == Detector::FID ? fid : fpd);
}

} // namespace

QString Presenter::controlOf(Input input) { return QString::fromLatin1(kInputControls[static_cast<int>(input)]); }
QString Presenter::controlOf(Check check) { return QString::fromLatin1(kCheckControls[static_cast<int>(check)]); }
QString Presenter::controlOf(Lamp lamp) { return QString::fromLatin1(kLampControls[static_cast<int>(lamp)]); }
QString Presenter::controlOf(ReadBack r) { return QString::fromLatin1(kReadBackControls[static_cast<int>(r)]); }
QString Presenter::controlOf(InfoLabel l) { return QString::fromLatin1(kInfoControls[static_cast<int>(l)]); }

// ---- what the program shows -------------------------------------------------------------------

void Presenter::logLine(const QString& text) { form_.addLogLine(text); }
void Presenter::statusText(const QString& text) { form_.setStatusText(text); }

void Presenter::valveShown(int bank, int bit, bool open) {
    form_.setLedOn(QStringLiteral("ledV%1_%2").arg(bank).arg(bit), open);
}

void Presenter::lampShown(Lamp lamp, bool on) { form_.setLedOn(controlOf(lamp), on); }
void Presenter::readBackShown(ReadBack what, const QString& text) { form_.showReading(controlOf(what), text); }

void Presenter::inputShown(Input input, const QString& text) { form_.setText(controlOf(input), text); }
void Presenter::inputLabelShown(Input input, const QString& text) {
    form_.setEditLabel(controlOf(input), text);
    // A cell's chemical is the name beside its FID factor: the specimens' page shows it too.
    if (input >= Input::FIDFactor1 && input <= Input::FIDFactor3)
        form_.setChemicalShown(static_cast<int>(input) - static_cast<int>(Input::FIDFactor1) + 1, text);
}

void Presenter::checkShown(Check check, bool on) {
    // The calibration and keep-measuring boxes are check boxes; the heater and PMT switches are toggles.
    if (isCheckBox(check))
        form_.setChecked(controlOf(check), on);
    else
        form_.setDown(controlOf(check), on);
}

void Presenter::runControlsShown(const RunControls& c) {
    form_.setEnabled(QStringLiteral("btnStart"), c.start);
    form_.setEnabled(QStringLiteral("btnDelay"), c.delay);
    form_.setEnabled(QStringLiteral("btnStop"), c.stop);
}

void Presenter::runTimeShown(const QString& elapsed) { form_.setText(QStringLiteral("lblRuntime"), elapsed); }
void Presenter::delayShown(const QString& remaining) { form_.setText(QStringLiteral("lblDelay"), remaining); }
void Presenter::startShown(const QString& text) { form_.setText(QStringLiteral("lblStartrun"), text); }

void Presenter::cellShown(int cell, const CellState& state) {
    // Lit only while the cell is really switched off: one measured on after its breakthrough
    // shows that in the cell overview.
    form_.setLedOn(QStringLiteral("ledSmpOff%1").arg(cell), state.off);
}

void Presenter::progressShown(const RunProgress& p) {
    form_.setText(QStringLiteral("lblProgress"), p.measurementText);
    form_.setText(QStringLiteral("lblCycle"), p.cycleText);
    form_.setText(QStringLiteral("lblPosition"), p.positionText);
    form_.setText(QStringLiteral("lblRunEnd"), p.endText);
    for (int k = 1; k <= 3; ++k) {
        const CellProgress& cell = p.cells[k - 1];
        form_.setText(QStringLiteral("lblCellRate%1").arg(k), cell.inRange || cell.lastElapsedMs ? cell.rateText : QString());
        form_.setText(QStringLiteral("lblCellTrend%1").arg(k), cell.trendText);
        form_.setText(QStringLiteral("lblCellNext%1").arg(k), cell.nextText);
        // Before anything was measured the label keeps its designed caption.
        if (!cell.timeText.isEmpty())
            form_.setText(QStringLiteral("lblRunToBreak%1").arg(k), cell.timeText);
    }
}

void Presenter::chemicalShown(const QString& name) { form_.setText(QStringLiteral("lblFIDInfo"), name); }

void Presenter::resultShown(Detector d, const QString& text) {
    form_.setText(detectorControl("lblFIDMenge", "lblFPDMenge", d), text);
}

void Presenter::calibratedShown(Detector d, bool calibrated) {
    form_.setBackground(detectorControl("editIsobutan", "editSulfur", d), calibrated ? kCalibrated : kUncalibrated);
}

void Presenter::levelShown(Detector d, const QString& text) {
    form_.showReading(detectorControl("editFIDLevel", "editFPDLevel", d), text);
}

void Presenter::monitorShown(const QString& caption) { form_.setText(QStringLiteral("btnMonitor"), caption); }

void Presenter::seriesAppended(int series, std::span<const double> x, std::span<const double> y) {
    form_.appendSeries(series, x, y);
}

void Presenter::seriesCleared(int series) { form_.clearSeries(series); }
void Presenter::curvesChanged() { form_.replotChart(); }
void Presenter::chordsChanged() { form_.repaintChartOverlay(); }
void Presenter::timeAxisShown(double seconds) { form_.setBottomAxisMax(seconds); }
void Presenter::followNewestShown(bool follow) { form_.setChartFollowsNewest(follow); }

void Presenter::windowCaptionShown(const QString& text) { form_.setWindowCaption(text); }

void Presenter::chartCaptionsShown(const ChartCaptions& c) {
    form_.setLeftAxisTitle(c.valueAxis);
    form_.setBottomAxisTitle(c.timeAxis);
    form_.setSeriesTitle(0, c.fidSeries);
    form_.setSeriesTitle(1, c.fpdSeries);
    form_.setChartTitle(c.title);
}

void Presenter::valueAxisShown(double minimum, double maximum) { form_.setLeftAxisRange(minimum, maximum); }
void Presenter::infoShown(InfoLabel label, const QString& text) { form_.setText(controlOf(label), text); }
void Presenter::standardShown(int item) { form_.setItemIndex(QStringLiteral("rgStandard"), item); }

void Presenter::connectionShown(int index, const QString& text, bool inUse) {
    form_.setConnectionItem(index, text, inUse);
}

void Presenter::substancesShown(SubstanceGrid grid, const QStringList& rows) {
    form_.setValueList(QString::fromLatin1(kGridControls[static_cast<int>(grid)]), rows);
    if (grid == SubstanceGrid::Hydrocarbons)
        offerChemicals();
}

void Presenter::offerChemicals() {
    QStringList names;
    for (const QString& row : form_.valueList(QString::fromLatin1(kGridControls[0])))
        if (const QString name = row.section(QLatin1Char('='), 0, 0).trimmed(); !name.isEmpty())
            names << name;
    form_.setChemicalChoices(names);
}

void Presenter::pickChemical(int cell, const QString& name) {
    // The row of each list that names the chemical: the hydrocarbons' for the FID, and the sulfur
    // compounds' for the FPD when that list holds it too.
    auto rowOf = [this](int grid, const QString& wanted) -> std::optional<QString> {
        for (const QString& row : form_.valueList(QString::fromLatin1(kGridControls[grid])))
            if (sameSubstance(row.section(QLatin1Char('='), 0, 0), wanted))
                return row.section(QLatin1Char('='), 1);
        return std::nullopt;
    };
    const std::optional<QString> fid = rowOf(0, name);
    if (!fid)
        return;
    app_->chemicalPicked(cell, name, *fid, rowOf(1, name));
}

void Presenter::requirementShown(int choice, int rule) { form_.setRequirement(choice, rule); }

void Presenter::calibrationShown(const CalibrationDisplay& calibration) { form_.calibrationPanel().show(calibration); }

void Presenter::summariesShown(const std::vector<CellSummary>& summaries) {
    summaries_ = summaries;
    permeation().showSummaries(summaries_);
}

PermeationView& Presenter::permeation() {
    if (!permeation_) {
        permeation_ = new PermeationView(&form_);
        permeation_->showSummaries(summaries_);
    }
    // The language is chosen at start-up, after the window was attached.
    if (app_)
        permeation_->translate(app_->ID);
    return *permeation_;
}

EventListWindow& Presenter::eventList() {
    if (!eventList_)
        eventList_ = new EventListWindow(&form_, !app_ || app_->ID == kGermanOffset);
    return *eventList_;
}

ArchiveWindow& Presenter::archive() {
    if (!archive_)
        archive_ = new ArchiveWindow(&form_, app_->archiveInUse(), app_->dialogs(), app_->ID);
    return *archive_;
}

void Presenter::eventAdded(const RunEvent& event) { eventList().add(event); }

void Presenter::warningShown(bool lit) { form_.setLedOn(QStringLiteral("ledWarning"), lit); }

void Presenter::storageShown(const StorageState& state) {
    form_.setLedOn(QStringLiteral("ledStorage"), state.trouble);
    // The line is short: it shows the start of the text, the tooltip all of it.
    form_.setText(QStringLiteral("lblStorage"), state.trouble ? state.text : QString());
    for (const char* name : {"lblStorage", "ledStorage"})
        if (QWidget* w = form_.control(QString::fromLatin1(name)))
            w->setToolTip(state.trouble ? state.detail : QString());
}

void Presenter::powerShown(bool on) { form_.setLedOn(QStringLiteral("ledPower"), on); }

void Presenter::switchCaptionShown(Check toggle, const QString& caption) { form_.setText(controlOf(toggle), caption); }

// ---- what the operator does -------------------------------------------------------------------

void Presenter::attach(KorvatApp& app) {
    app_ = &app;
    Inputs& inputs = app.inputs();
    for (int i = 0; i < kInputCount; ++i)
        inputs.edited(static_cast<Input>(i), form_.text(QString::fromLatin1(kInputControls[i])));
    for (int i = 0; i < kCheckCount; ++i) {
        const auto check = static_cast<Check>(i);
        const QString control = controlOf(check);
        inputs.toggled(check, isCheckBox(check) ? form_.isChecked(control) : form_.isDown(control));
    }

    QObject::connect(&form_, &TForm1::edited, &form_, [this](const QString& c, const QString& t) { onEdited(c, t); });
    QObject::connect(&form_, &TForm1::checkToggled, &form_, [this](const QString& c, bool on) { onChecked(c, on); });
    QObject::connect(&form_, &TForm1::editExited, &form_, [this](const QString& c) { onEditExited(c); });
    QObject::connect(&form_, &TForm1::clicked, &form_, [this](const QString& c) { onClicked(c); });
    QObject::connect(&form_, &TForm1::standardPicked, &form_, [this](int i) { app_->rgStandardClick(i); });
    QObject::connect(&form_, &TForm1::pageControlExited, &form_, [this] { app_->PageControlExit(); });
    QObject::connect(&form_, &TForm1::tabSheetExited, &form_, [this](const QString& page) {
        if (page == QLatin1String("tabFaktoren"))
            app_->substanceFactors().tabFaktorenExit(form_.valueList(QString::fromLatin1(kGridControls[0])),
                                                     form_.valueList(QString::fromLatin1(kGridControls[1])));
    });
    QObject::connect(&form_, &TForm1::substanceDropped, &form_,
                     [this](const QString& grid, const QString& edit, const QString& name, const QString& factor) {
                         const auto from = gridOf(grid);
                         if (from)
                             app_->substanceFactors().EndDrag(*from, enumOf<Input>(kInputControls, edit), name,
                                                              factor);
                     });
    QObject::connect(&form_, &TForm1::requirementPicked, &form_, [this](int choice) { app_->requirementPicked(choice); });
    QObject::connect(&form_, &TForm1::chemicalPicked, &form_,
                     [this](int cell, const QString& name) { pickChemical(cell, name); });
    // The hydrocarbon list may have been edited on the factors page since it was offered.
    if (auto* pages = qobject_cast<QTabWidget*>(form_.control(QStringLiteral("PageControl"))))
        QObject::connect(pages, &QTabWidget::currentChanged, &form_, [this, pages](int) {
            if (pages->currentWidget() == form_.control(QStringLiteral("tabProben")))
                offerChemicals();
        });
    QObject::connect(&form_, &TForm1::decisionRulePicked, &form_, [this](int rule) { app_->decisionRulePicked(rule); });
    QObject::connect(&form_.calibrationPanel(), &CalibrationPanel::pointChosen, &form_,
                     [this](int detector, int index, bool used) {
                         app_->calibrationPointChosen(static_cast<Detector>(detector), index, used);
                     });
    form_.setDescriptionKeyRule([](bool enter, int line, int column) {
        switch (KorvatApp::memoDescriptionKeyPress(enter, line, column)) {
        case KorvatApp::DescriptionKey::Discard: return TForm1::KeyAction::Discard;
        case KorvatApp::DescriptionKey::ReplaceWithEnter: return TForm1::KeyAction::ReplaceWithEnter;
        case KorvatApp::DescriptionKey::Keep: break;
        }
        return TForm1::KeyAction::Keep;
    });
    // Chart1AfterDraw: the dotted baseline chords of the last evaluation, from signal indexes
    // (ten a second) and levels, converted to pixels by the chart at every repaint.
    form_.setChartOverlay([this] {
        QVector<QLineF> lines;
        for (const Chord& c : baselineChords(app_->run().eval))
            lines << QLineF(c.x1, c.y1, c.x2, c.y2);
        return lines;
    });
}

void Presenter::onEdited(const QString& control, const QString& text) {
    if (const auto input = enumOf<Input>(kInputControls, control))
        app_->inputs().edited(*input, text);
}

void Presenter::onChecked(const QString& control, bool on) {
    const auto check = enumOf<Check>(kCheckControls, control);
    if (!check)
        return;
    app_->inputs().toggled(*check, on);
    if (*check == Check::KeepMeasuring)
        app_->chkboxKeepMeasuringClick();
}

void Presenter::onEditExited(const QString& control) {
    KorvatApp& a = *app_;
    static const QHash<QString, std::function<void(KorvatApp&)>> kHandlers = {
        {"editStart", [](KorvatApp& a) { a.UpdateStartzelle(); }},
        {"editAnzahl", [](KorvatApp& a) { a.UpdateAnzahlZellen(); }},
        {"editZyklen", [](KorvatApp& a) { a.UpdateAnzahlMessreihen(); }},
        {"editLimitFID", [](KorvatApp& a) { a.UpdateDurchbruchschwelle(); }},
        {"editLimitFPD", [](KorvatApp& a) { a.editLimitFPDExit(); }},
        {"editMesszeit", [](KorvatApp& a) { a.UpdateMesszeit(); }},
        {"editIsobutan", [](KorvatApp& a) { a.UpdateMengeIsobuthan(); }},
        {"editSulfur", [](KorvatApp& a) { a.UpdateMengeSulfur(); }},
        {"editScale", [](KorvatApp& a) { a.editScaleExit(); }},
        {"editScaleMin", [](KorvatApp& a) { a.editScaleMinExit(); }},
        {"editInfo1", [](KorvatApp& a) { a.editInfoExit(1); }},
        {"editContact1", [](KorvatApp& a) { a.editContactExit(1); }},
        {"editContact2", [](KorvatApp& a) { a.editContactExit(2); }},
        {"editContact3", [](KorvatApp& a) { a.editContactExit(3); }},
        {"editInfo2", [](KorvatApp& a) { a.editInfoExit(2); }},
        {"editInfo3", [](KorvatApp& a) { a.editInfoExit(3); }},
        {"memoDescription", [](KorvatApp& a) { a.memoDescriptionExit(); }},
        {"editVentilblock", [](KorvatApp& a) { a.panel().btnVentilblockSetClick(); }},
        {"editStartdelay", [](KorvatApp& a) { a.sequencer().editStartdelayExit(); }},
    };
    if (const auto it = kHandlers.find(control); it != kHandlers.end()) {
        it.value()(a);
        return;
    }
    // The specimens' page.
    if (control == QLatin1String("editRequirement")) {
        a.editRequirementExit();
        return;
    }
    if (const auto input = enumOf<Input>(kInputControls, control);
        input && ((*input >= Input::Material1 && *input <= Input::Area3) || *input == Input::Operator))
        a.editSpecimenExit(*input);
}

namespace {

// The sample-info page's report button: the test report of the results file chosen now (after the
// run or during it), as <name>_report.pdf beside it; where it went, or why not.
void writeReport(KorvatApp& a) {
    const QString results = a.records().sDateiname;
    if (results.isEmpty()) {
        a.dialogs().error(a.ID == kEnglishOffset ? QStringLiteral("Report: no results file has been chosen.")
                                                 : QStringLiteral("Bericht: Es ist keine Ergebnisdatei gewählt."));
        return;
    }
    const ReportData data = gatherReportData(results, a.ID);
    const QString pdf = defaultReportPath(results, data.fileRun);
    QString error;
    if (!writeTestReport(data, pdf, &error)) {
        a.dialogs().error(error);
        return;
    }
    a.dialogs().information(pdf);
}

} // namespace

void Presenter::onClicked(const QString& control) {
    // The chart's own view: nothing of the core is involved.
    if (control == QLatin1String("btnChartFit"))
        return form_.chart()->fitToCurves();
    if (control == QLatin1String("btnChartAxes"))
        return form_.chart()->returnToConfiguredView();
    KorvatApp& a = *app_;
    // A toggle has already changed its state when its click arrives: the core learns the new
    // state before the handler reads it.
    if (const auto check = enumOf<Check>(kCheckControls, control))
        a.inputs().toggled(*check, form_.isDown(control));
    static const QHash<QString, std::function<void(KorvatApp&)>> kHandlers = {
        {"ledLoop", [](KorvatApp& a) { a.panel().ledLoopClick(); }},
        {"btnVentilblockSet", [](KorvatApp& a) { a.panel().btnVentilblockSetClick(); }},
        {"btnMesskammerSet", [](KorvatApp& a) { a.panel().btnMesskammerSetClick(); }},
        {"btnEmmisionSet", [](KorvatApp& a) { a.panel().btnEmmisionSetClick(); }},
        {"btnTransferSet", [](KorvatApp& a) { a.panel().btnTransferSetClick(); }},
        {"btnHVoltageSet", [](KorvatApp& a) { a.panel().btnHVoltageSetClick(); }},
        {"btnZeroSet", [](KorvatApp& a) { a.panel().btnZeroSetClick(); }},
        {"btnEmmisionAn", [](KorvatApp& a) { a.panel().btnEmmisionAnClick(); }},
        {"btnTransferAn", [](KorvatApp& a) { a.panel().btnTransferAnClick(); }},
        {"btnHVoltageAn", [](KorvatApp& a) { a.panel().btnHVoltageAnClick(); }},
        {"ServiceButton", [](KorvatApp& a) { a.panel().ServiceButtonClick(); }},
        {"btnMonitor", [](KorvatApp& a) { a.btnMonitorClick(); }},
        {"btnStart", [](KorvatApp& a) { a.btnStartChecked(); }},
        {"btnStop", [](KorvatApp& a) { a.sequencer().btnStopClick(); }},
        {"btnDelay", [](KorvatApp& a) { a.btnDelayChecked(); }},
        {"btnSpeichern", [](KorvatApp& a) { a.btnSpeichernClick(); }},
        {"btnLaden", [](KorvatApp& a) { a.btnLadenClick(); }},
        {"btnPorts", [](KorvatApp& a) { a.choosePorts(); }},
    };
    if (const auto it = kHandlers.find(control); it != kHandlers.end())
        return it.value()(a);
    if (control == QLatin1String("btnPermeation"))
        return permeation().open();
    if (control == QLatin1String("btnArchive"))
        return archive().open();
    if (control == QLatin1String("btnBericht"))
        return writeReport(a);
    if (control == QLatin1String("ledWarning") || control == QLatin1String("ledStorage")) {
        // Looking at the list is what puts the lamp out.
        eventList().open();
        return a.eventListSeen();
    }
    if (control.startsWith(QLatin1String("ledV1_")))
        a.panel().ledV1Click(control.right(1).toInt());
    else if (control.startsWith(QLatin1String("ledV2_")))
        a.panel().ledV2Click(control.right(1).toInt());
}

} // namespace korvat
