// The run's events in the window: a line lost during a run lights the red "Events" lamp and lands
// whole in the event list; opening the list (a click on the lamp) puts the lamp out.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "support/AppFixture.h"
#include "support/RecordingDialogs.h"
#include "ui/EventListWindow.h"
#include "ui/Presenter.h"
#include "ui/StatusLed.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

TEST(EventList, ALostLineLightsTheLampAndIsListedUntilTheListIsOpened) {
    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    korvat::test::writeFile(dir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
    korvat::test::writeFile(dir + "S-Substanzen.txt", "THT=1,00\r\n");
    ManualClock clock;
    sim::InProcessInstrument instrument;
    instrument.follow(clock);
    IniFile(dir + "Korvat.ini")
        .writeEntries({{"Language", "Code", "US"},
                       {"Communication", "ComPortA", instrument.mainLine().deviceName()},
                       {"Measurement", "MeasurementTimePerCell/s", "30"}});
    TForm1 form;
    Presenter presenter{form};
    korvat::test::RecordingDialogs dialogs;
    KorvatApp app{{presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir}};
    presenter.attach(app);
    ASSERT_EQ(app.FormCreate([&](int offset) { form.TranslateForm(offset); }), StartupOutcome::Running);
    auto* lamp = qobject_cast<StatusLed*>(form.control("ledWarning"));
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->caption(), "Events");
    EXPECT_FALSE(lamp->ledOn());

    app.inputs().edited(Input::Start, "4");
    app.inputs().edited(Input::Count, "1");
    app.inputs().edited(Input::Cycles, "1");
    app.sequencer().btnStartClick();
    auto tick = [&] {
        clock.advance(Millis(90));
        QApplication::processEvents();
        app.Timer1Timer();
    };
    for (int i = 0; i < 200; ++i)
        tick();
    instrument.mainLine().setExists(false);
    instrument.mainLine().injectLoss("device removed");
    for (int i = 0; i < 20; ++i)
        tick();
    instrument.mainLine().setExists(true);
    while (app.sequencer().running())
        tick();

    EXPECT_TRUE(lamp->ledOn());
    EventListWindow* list = presenter.eventListWindow();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isVisible());
    bool lost = false;
    for (int row = 0; row < list->rowCount(); ++row)
        lost = lost || (list->textAt(row, 1) == "Line lost" &&
                        list->textAt(row, 2) == instrument.mainLine().deviceName() && list->textAt(row, 3) == "1" &&
                        list->textAt(row, 4).contains("line lost (device removed)"));
    EXPECT_TRUE(lost);

    emit form.clicked("ledWarning");
    EXPECT_TRUE(list->isVisible());
    EXPECT_TRUE(list->isWindow());
    EXPECT_FALSE(lamp->ledOn());
}

// The list reads in the program's language: the moment, the kind and the text; the port and the
// measurement's number as they are.
TEST(EventList, TimesKindsAndTextsInTheProgramsLanguage) {
    const RunEvent e{QDateTime(QDate(2026, 12, 11), QTime(10, 15, 3)), EventKind::LineLost, "/dev/ttyUSB0", 3,
                     "/dev/ttyUSB0: line lost (device removed)"};
    const struct {
        bool german;
        QStringList cells;
    } cases[] = {
        {true, {"11.12.2026 10:15:03", "Leitung verloren", "/dev/ttyUSB0", "3", "/dev/ttyUSB0: Leitung verloren (device removed)"}},
        {false, {"2026-12-11 10:15:03", "Line lost", "/dev/ttyUSB0", "3", "/dev/ttyUSB0: line lost (device removed)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.german);
        EventListWindow list(nullptr, c.german);
        list.add(e);
        ASSERT_EQ(list.rowCount(), 1);
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(list.textAt(0, column), c.cells[column]) << "column " << column;
    }
}
