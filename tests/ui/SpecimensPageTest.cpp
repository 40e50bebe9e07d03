// The specimens' page of the window: what the operator types about each cell's specimen is kept
// in the settings (a number that is no thickness or area is refused and the edit shows the kept
// one), the requirement and decision rule picked are kept as their tokens, and the calibration
// panel shows the current calibration's points with their residuals, the curve and the control
// chart, and lets the operator leave a point out of the curve.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "run/RunSpec.h"
#include "support/AppFixture.h"
#include "support/RecordingDialogs.h"
#include "ui/CalibrationPanel.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

struct Wired {
    Wired() {
        korvat::test::writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
        korvat::test::writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
        instrument.follow(clock);
        IniFile(dir + "Korvat.ini")
            .writeEntries({{"Language", "Code", "US"},
                           {"Communication", "ComPortA", instrument.mainLine().deviceName()},
                           // The FID calibrated on 1 ppm (the calibration panel's test).
                           {"Calibration", "FIDCalArea", "2700"},
                           {"Calibration", "FID/ppm", "1"}});
        presenter.attach(app);
        started = app.FormCreate([this](int offset) { form.TranslateForm(offset); }) == StartupOutcome::Running;
        QApplication::processEvents();
    }
    // Text typed into an edit, then the edit left, as the operator does it.
    void enter(const QString& control, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(form.control(control));
        ASSERT_NE(edit, nullptr) << control.toStdString();
        edit->setText(text);
        emit edit->textEdited(text);
        emit form.editExited(control);
    }
    QComboBox* combo(const char* name) { return form.findChild<QComboBox*>(QString::fromLatin1(name)); }

    QTemporaryDir folder;
    QString dir = folder.path() + "/";
    ManualClock clock;
    sim::InProcessInstrument instrument;
    TForm1 form;
    Presenter presenter{form};
    korvat::test::RecordingDialogs dialogs;
    KorvatApp app{{presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir}};
    bool started = false;
};

} // namespace

TEST(SpecimensPage, WhatIsTypedIsKeptAndANumberThatIsNoneIsRefused) {
    Wired w;
    ASSERT_TRUE(w.started);
    struct Case {
        const char* control;
        const char* typed;
        const char* key;    // Specimen/<key> in the settings file
        const char* stored; // what the file holds afterwards
        const char* shown;  // what the edit shows afterwards
        bool refused;
    } cases[] = {
        {"editMaterial1", "Nitrile 0815", "Material1", "Nitrile 0815", "Nitrile 0815", false},
        {"editLot2", "L-2026-07", "Lot2", "L-2026-07", "L-2026-07", false},
        {"editThickness1", "0.45", "Thickness1/mm", "0.45", "0.45", false},
        {"editThickness1", "-1", "Thickness1/mm", "0.45", "0.45", true},
        {"editThickness1", "thick", "Thickness1/mm", "0.45", "0.45", true},
        {"editArea3", "10.2", "ExposedArea3/cm\u00b2", "10.2", "10.2", false},
        {"editArea3", "", "ExposedArea3/cm\u00b2", "0", "", false}, // not entered: the sample area
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.control) + " <- '" + c.typed + "'");
        w.dialogs.boxes.clear();
        w.enter(QString::fromLatin1(c.control), QString::fromUtf8(c.typed));
        EXPECT_EQ(w.dialogs.boxes.size(), c.refused ? 1 : 0) << w.dialogs.texts().join('|').toStdString();
        EXPECT_EQ(w.app.ini().readString("Specimen", QString::fromUtf8(c.key), "-"), QString::fromUtf8(c.stored));
        EXPECT_EQ(w.form.text(QString::fromLatin1(c.control)), QString::fromUtf8(c.shown));
    }
    EXPECT_EQ(w.app.settings().Material1, "Nitrile 0815");
    EXPECT_EQ(w.app.settings().Thickness1, 0.45);
}

TEST(SpecimensPage, TheRequirementAndRulePickedAreKeptAsTheirTokens) {
    Wired w;
    ASSERT_TRUE(w.started);
    QComboBox* requirement = w.combo("cbRequirement");
    QComboBox* rule = w.combo("cbDecisionRule");
    ASSERT_TRUE(requirement && rule);
    ASSERT_EQ(requirement->count(), 4);
    EXPECT_EQ(requirement->itemText(1), "performance level at least"); // the program's language
    struct Step {
        int choice;         // the requirement picked, or -1: the value typed only
        const char* value;  // typed into editRequirement first
        const char* token;  // Requirement/Requirement afterwards
        const char* shown;  // what editRequirement shows
    } steps[] = {
        {kLevelAtLeast, "4", "level >= 4", "4"},
        {-1, "9", "level >= 4", "4"}, // no level: refused
        {kNoBreakthrough01, "", "no breakthrough at 0.1 within 480 min", "480"}, // from the planned duration
        {-1, "240", "no breakthrough at 0.1 within 240 min", "240"},
        {kNoBreakthrough10, "240", "no breakthrough at 1.0 within 240 min", "240"},
        {kNoRequirement, "240", "none", ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.token);
        if (s.choice < 0) {
            w.enter(QStringLiteral("editRequirement"), QString::fromLatin1(s.value));
        } else {
            w.form.setText(QStringLiteral("editRequirement"), QString::fromLatin1(s.value));
            w.app.inputs().edited(Input::RequirementValue, QString::fromLatin1(s.value));
            requirement->setCurrentIndex(s.choice);
            emit requirement->activated(s.choice);
        }
        EXPECT_EQ(w.app.ini().readString("Requirement", "Requirement", "-"), QString::fromLatin1(s.token));
        EXPECT_EQ(w.form.text(QStringLiteral("editRequirement")), QString::fromLatin1(s.shown));
    }
    rule->setCurrentIndex(1);
    emit rule->activated(1);
    EXPECT_EQ(w.app.ini().readString("Requirement", "DecisionRule", "-"), "guarded");
}

// Three levels of the FID in the history: the curve with its R², each point with its residual,
// and leaving one out refits the curve without it.
TEST(SpecimensPage, TheCalibrationPanelShowsTheCurveAndLeavesAPointOut) {
    Wired w;
    ASSERT_TRUE(w.started);
    CalibrationStore& store = w.app.results().calibrations();
    const QDateTime when(QDate(2026, 1, 5), QTime(8, 0));
    QString error;
    const struct {
        double ppm, area;
    } points[] = {{100, 445000}, {10, 42900}, {1, 2700}};
    for (const auto& p : points)
        ASSERT_TRUE(store.add(Detector::FID, p.ppm, p.area, when, "SN", &error)) << error.toStdString();
    // The settings' calibration (written before the start) is the newest point: the curve is in force.
    w.presenter.calibrationShown(w.app.results().calibrationDisplay(Detector::FID));

    const CalibrationPanel& panel = w.form.calibrationPanel();
    EXPECT_TRUE(panel.curveText(Detector::FID).contains("R\u00b2")) << panel.curveText(Detector::FID).toStdString();
    const QStringList shown = panel.pointTexts(Detector::FID);
    ASSERT_EQ(shown.size(), 3);
    const CalibrationCurve curve = *w.app.results().calibrationDisplay(Detector::FID).inForce.curve;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(shown[i].startsWith(QLocale(QLocale::English).toString(points[i].ppm, 'f', 2) + " ppm"))
            << shown[i].toStdString();
        EXPECT_TRUE(shown[i].contains('(')) << "the residual";
    }
    EXPECT_EQ(panel.chartView(Detector::FID).chart().points.size(), 1u); // one calibration at its level

    // The operator leaves the 1-ppm point out: the curve goes through the other two.
    w.form.calibrationPanel().choosePoint(Detector::FID, 2, false);
    const std::vector<CalibrationPoint> current = currentCalibration(store.points(), Detector::FID);
    ASSERT_EQ(current.size(), 3u);
    EXPECT_FALSE(current[2].used);
    const CalibrationDisplay after = w.app.results().calibrationDisplay(Detector::FID);
    ASSERT_TRUE(after.inForce.curve);
    EXPECT_EQ(after.inForce.curve->points.size(), 2u);
    EXPECT_NE(after.inForce.curve->slope, curve.slope);
    // The newest chosen point is the settings' calibration from now on.
    EXPECT_EQ(w.app.settings().FIDCalArea, 42900);
    EXPECT_EQ(w.app.settings().FIDCALMenge, 10);
}

// The run is set up on this page: each cell's chemical picked from the hydrocarbon list is the
// one beside the cell's FID factor on the factors page (and the FPD's when the sulfur list names
// it), a drop on the factors page shows here, and both are kept in the settings at once; the
// operator typed is kept too and goes with the run's parameters.
TEST(SpecimensPage, TheChemicalPickedHereIsTheFactorsPagesAndTheOperatorIsKept) {
    Wired w;
    ASSERT_TRUE(w.started);
    w.form.setValueList(QStringLiteral("ValueListEditor1"), {QStringLiteral("Aceton=2"), QStringLiteral("Toluol=3;92")});
    w.form.setChemicalChoices({QStringLiteral("Aceton"), QStringLiteral("Toluol")});
    const struct {
        int cell;
        const char* chemical;
        const char* factor;
        double molarMass;
    } picks[] = {{1, "Toluol", "3", 92}, {3, "Aceton", "2", 0}, {1, "Aceton", "2", 0}};
    const char* factorEdits[] = {"lblEditFact1", "lblEditFact2", "lblEditFact3"};
    for (const auto& p : picks) {
        SCOPED_TRACE(std::to_string(p.cell) + " " + p.chemical);
        QComboBox* combo = w.combo(QStringLiteral("cbChemical%1").arg(p.cell).toLatin1().constData());
        ASSERT_NE(combo, nullptr);
        const int index = combo->findText(QString::fromLatin1(p.chemical));
        ASSERT_GE(index, 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        const QString edit = QString::fromLatin1(factorEdits[p.cell - 1]);
        EXPECT_EQ(w.form.editLabel(edit), QString::fromLatin1(p.chemical));
        EXPECT_EQ(w.form.text(edit), QString::fromLatin1(p.factor));
        EXPECT_EQ(w.app.ini().readString("Measurement", QStringLiteral("FIDSampleFactorName%1").arg(p.cell), "-"),
                  QString::fromLatin1(p.chemical));
        const RunParameters run = runParametersOf(w.app.settings());
        EXPECT_EQ(run.cell(p.cell).chemical, QString::fromLatin1(p.chemical));
        EXPECT_EQ(run.cell(p.cell).fidFactor, QString::fromLatin1(p.factor).toDouble());
        EXPECT_EQ(run.cell(p.cell).molarMass.value_or(0), p.molarMass);
    }
    // A drop on the factors page is the same choice, shown here.
    emit w.form.substanceDropped(QStringLiteral("ValueListEditor1"), QStringLiteral("lblEditFact2"),
                                 QStringLiteral("Toluol"), QStringLiteral("3;92"));
    EXPECT_EQ(w.form.chemicalShown(2), "Toluol");
    EXPECT_EQ(w.form.chemicalShown(1), "Aceton");

    w.enter(QStringLiteral("editOperator"), QStringLiteral("A. Weber"));
    EXPECT_EQ(w.app.ini().readString("Info", "Operator", "-"), "A. Weber");
    EXPECT_EQ(runParametersOf(w.app.settings()).operatorName, "A. Weber");
    EXPECT_EQ(startParameters(w.app.settings(), w.app.inputs(), w.app.results().calibrations()).operatorName, "A. Weber");
}
