// The presenter between the program and its window: every typed display has a control of the
// right kind to land on, what the operator types or ticks reaches the core before any handler reads
// it, and what the core decides (a clamped value, a cell switched off, a lamp) shows on the
// controls.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "support/AppFixture.h"
#include "support/RecordingDialogs.h"
#include "ui/Presenter.h"
#include "ui/StatusLed.h"
#include "ui/TForm1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

// The window, its presenter and the program against the in-process instrument.
struct Wired {
    Wired() {
        korvat::test::writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
        korvat::test::writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
        instrument.follow(clock);
        IniFile(dir + "Korvat.ini")
            .writeEntries({{"Language", "Code", "US"},
                           {"Communication", "ComPortA", instrument.mainLine().deviceName()}});
        presenter.attach(app);
        started = app.FormCreate([this](int offset) { form.TranslateForm(offset); }) == StartupOutcome::Running;
        QApplication::processEvents();
        instrument.mainLine().clearWrittenData();
    }
    // Keys typed into an edit, one by one, as the operator types them.
    void typeInto(const QString& control, const QString& text) {
        auto* edit = qobject_cast<QLineEdit*>(form.control(control));
        ASSERT_NE(edit, nullptr) << control.toStdString();
        edit->selectAll();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(edit, &press);
        }
    }

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

template <class Enum> std::vector<Enum> every(int count) {
    std::vector<Enum> all;
    for (int i = 0; i < count; ++i)
        all.push_back(static_cast<Enum>(i));
    return all;
}

} // namespace

TEST(Presenter, EveryTypedDisplayLandsOnAControlOfItsKind) {
    TForm1 form;
    const auto kindOf = [&form](const QString& name) { return form.kindOf(name); };
    for (Input i : every<Input>(kInputCount)) {
        const QString c = Presenter::controlOf(i);
        ASSERT_NE(form.control(c), nullptr) << c.toStdString();
        const ControlKind k = kindOf(c);
        EXPECT_TRUE(k == ControlKind::Edit || k == ControlKind::LabelledEdit || k == ControlKind::LabelledMemo)
            << c.toStdString();
    }
    for (Check i : every<Check>(kCheckCount)) {
        const QString c = Presenter::controlOf(i);
        EXPECT_TRUE(kindOf(c) == ControlKind::CheckBox || kindOf(c) == ControlKind::SpeedButton) << c.toStdString();
    }
    for (Lamp i : every<Lamp>(kLampCount))
        EXPECT_EQ(kindOf(Presenter::controlOf(i)), ControlKind::Led) << Presenter::controlOf(i).toStdString();
    for (ReadBack i : every<ReadBack>(kReadBackCount))
        EXPECT_EQ(kindOf(Presenter::controlOf(i)), ControlKind::Label);
    for (InfoLabel i : every<InfoLabel>(static_cast<int>(InfoLabel::RawDataFile) + 1)) {
        const ControlKind k = kindOf(Presenter::controlOf(i));
        EXPECT_TRUE(k == ControlKind::Label || k == ControlKind::PlatformLabel) << Presenter::controlOf(i).toStdString();
    }
}

TEST(Presenter, WhatTheOperatorTypesReachesTheCoreAndTheCoresAnswerShows) {
    Wired w;
    ASSERT_TRUE(w.started);
    // Typed without leaving the edit: the core knows it (a delayed start would read it).
    w.typeInto("editStart", "5");
    EXPECT_EQ(w.app.inputs().text(Input::Start), "5");
    w.app.UpdateStartzelle(); // what leaving the edit does
    w.typeInto("editAnzahl", "4");
    w.app.UpdateAnzahlZellen(); // what leaving the edit does: the count is clamped to reach cell 3
    EXPECT_EQ(w.form.text("editAnzahl"), "2");
    EXPECT_EQ(w.app.inputs().text(Input::Count), "2");

    // The description memo's designed text is the core's from the start, and so is what is typed.
    EXPECT_EQ(w.app.inputs().text(Input::Description), w.form.text("memoDescription"));
    w.form.setText("memoDescription", "Nitrile glove\r\nlot 7");
    EXPECT_EQ(w.app.inputs().text(Input::Description), "Nitrile glove\r\nlot 7");

    // A check box the operator ticks, and the core clearing it again.
    auto* box = qobject_cast<QCheckBox*>(w.form.control("chkboxIsobutanCalib"));
    ASSERT_NE(box, nullptr);
    box->click();
    EXPECT_TRUE(w.app.inputs().checked(Check::IsobutanCalib));
    w.app.inputs().setChecked(Check::IsobutanCalib, false);
    EXPECT_FALSE(box->isChecked());
}

TEST(Presenter, AToggleIsKnownToTheCoreBeforeItsHandlerRuns) {
    Wired w;
    ASSERT_TRUE(w.started);
    w.typeInto("editEmmision", "150");
    auto* toggle = qobject_cast<QAbstractButton*>(w.form.control("btnEmmisionAn"));
    ASSERT_NE(toggle, nullptr);
    toggle->click();
    EXPECT_TRUE(w.app.inputs().checked(Check::EmmisionOn));
    EXPECT_TRUE(w.instrument.mainLine().writtenData().endsWith("<EO1\r"));
    EXPECT_EQ(w.form.text("btnEmmisionAn"), "On");
}

TEST(Presenter, TheRunsStateShowsOnItsControls) {
    Wired w;
    ASSERT_TRUE(w.started);
    CellState cell = w.app.run().cell(2);
    cell.off = true;
    cell.brokeThrough = true;
    w.app.run().setCell(2, cell);
    EXPECT_TRUE(w.form.ledOn("ledSmpOff2"));
    EXPECT_FALSE(w.form.ledOn("ledSmpOff1"));
    // Broken through but measured on: the cell is not off, and its Off lamp says so.
    CellState measuredOn = w.app.run().cell(1);
    measuredOn.brokeThrough = true;
    w.app.run().setCell(1, measuredOn);
    EXPECT_FALSE(w.form.ledOn("ledSmpOff1"));

    // The progress and the cell overview land on their labels; a cell's time says what it is.
    RunProgress progress;
    progress.measurementText = "Measurement 4 of 12";
    progress.cycleText = "Cycle 1 of 3";
    progress.positionText = "Cell 2";
    progress.endText = "End in 00:20:00";
    CellProgress& second = progress.cells[1];
    second.inRange = true;
    second.rateText = "not calibrated";
    second.trendText = "rising";
    second.timeText = "breakthrough 01:12:30";
    second.nextText = "switched off";
    w.presenter.progressShown(progress);
    const std::pair<const char*, const char*> shown[] = {
        {"lblProgress", "Measurement 4 of 12"}, {"lblCycle", "Cycle 1 of 3"}, {"lblPosition", "Cell 2"},
        {"lblRunEnd", "End in 00:20:00"},
        {"lblCellRate2", "not calibrated"},     {"lblCellTrend2", "rising"},
        {"lblRunToBreak2", "breakthrough 01:12:30"}, {"lblCellNext2", "switched off"},
        {"lblCellRate1", ""},                   {"lblCellName2", "Cell 2"},
    };
    for (const auto& [control, text] : shown)
        EXPECT_EQ(w.form.text(control), QString::fromUtf8(text)) << control;

    w.app.valves().ValveSet(13);
    EXPECT_TRUE(w.form.ledOn("ledV1_2"));
    w.app.valves().DispSet(13);
    EXPECT_TRUE(w.form.ledOn("ledCalcell"));
    w.app.run().setControls({.start = false, .delay = false, .stop = true});
    EXPECT_FALSE(w.form.control("btnStart")->isEnabled());
    EXPECT_TRUE(w.form.control("btnStop")->isEnabled());

    // A click on a valve indicator switches the valve the other way from what it shows.
    w.instrument.mainLine().clearWrittenData();
    auto* led = qobject_cast<StatusLed*>(w.form.control("ledV1_2"));
    ASSERT_NE(led, nullptr);
    emit led->clicked();
    EXPECT_EQ(w.instrument.mainLine().writtenData(), "<V1SFF\r");
    EXPECT_FALSE(w.form.ledOn("ledV1_2"));
}
