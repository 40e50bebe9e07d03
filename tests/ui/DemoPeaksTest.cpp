// The demo as scripts/run-demo starts it (its Korvat.ini, the virtual instrument's options), run
// in-process on a manual clock: every peak it measures has its apex inside the signal axis the
// demo's settings set, and the reference gas's peak is tall enough to be seen on it.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "model/Permeation.h"
#include "shell/IniFile.h"
#include "support/AppFixture.h"
#include "ui/MeasurementChart.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace korvat;

TEST(Demo, EveryMeasuredPeakFitsTheAxisTheDemoSets) {
    // scripts/run-demo: --fidfpd --permeation --cell-material latex,nitrile,fkm --cell-flow 600
    // --time-factor 6 --fid-factor 0.57 --ref-ppm 500
    sim::InstrumentOptions options;
    options.twoConverters = true;
    options.gas.hydrocarbonPpm[1] = 500;
    options.permeation.enabled = true;
    options.permeation.timeFactor = 6;
    options.permeation.fidFactor = 0.57;
    const char16_t* materials[] = {u"latex", u"nitrile", u"fkm"};
    for (int i = 0; i < 3; ++i) {
        options.permeation.cells[i] =
            sim::PermeationCell{sim::findMaterialPreset(materials[i])->membrane};
        options.permeation.cells[i].flowMlPerMin = 600;
    }
    ManualClock clock;
    sim::InProcessInstrument instrument(options);
    instrument.follow(clock);

    QTemporaryDir folder;
    const QString dir = folder.path() + "/";
    QFile demo(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/../scripts/demo-Korvat.ini"));
    ASSERT_TRUE(demo.open(QIODevice::ReadOnly));
    QString ini = QString::fromUtf8(demo.readAll());
    ini.replace("@PORT_A@", instrument.mainLine().deviceName())
        .replace("@PORT_B@", instrument.fpdLine().deviceName())
        .replace("@DIR@", dir)
        .replace("\n", "\r\n");
    korvat::test::writeFile(dir + "Korvat.ini", ini.toLatin1());
    for (const char* list : {"CH-Substanzen.txt", "S-Substanzen.txt"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(KORVAT_TEST_SOURCE_DIR "/../resources/") + list,
                                dir + list));

    TForm1 form;
    Presenter presenter(form);
    korvat::test::RecordingDialogs dialogs;
    KorvatApp app({presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), dir});
    presenter.attach(app);
    ASSERT_EQ(app.FormCreate({}), StartupOutcome::Running);
    const QCPRange axis = form.chart()->configuredValueRange();

    // The peak of each measuring window: the highest FID sample before the series starts anew.
    std::vector<double> apexes;
    double apex = 0;
    std::size_t size = 0;
    Sequencer& seq = app.sequencer();
    seq.btnStartClick();
    const Millis end = clock.monotonicNow() + Millis(90 * 60'000LL);
    while (clock.monotonicNow() < end && seq.running()) {
        clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
        const std::vector<double>& y = app.acquisition().Series1.y;
        if (y.size() < size) {
            apexes.push_back(apex);
            apex = 0;
        }
        size = y.size();
        if (!y.empty())
            apex = std::max(apex, *std::max_element(y.begin(), y.end()));
    }
    EXPECT_FALSE(seq.running()) << "the demo's 20 cycles end within 90 minutes";
    ASSERT_GE(apexes.size(), 20u);
    for (std::size_t i = 0; i < apexes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LT(apexes[i], axis.upper);
        EXPECT_GT(apexes[i], axis.lower);
    }
    // The first window is the reference gas: its peak stands out on the axis.
    EXPECT_GT(apexes.front(), axis.lower + axis.size() / 5);
    // Toluene's factor on both sides leaves the rates as they were: latex breaks through in the
    // first cycle, nitrile in the second, the fluoroelastomer after about 27 minutes.
    const qint64 breaks[] = {app.run().cell(1).breakElapsedMs, app.run().cell(2).breakElapsedMs,
                             app.run().cell(3).breakElapsedMs};
    std::printf("demo break times (s): %lld %lld %lld\n", breaks[0] / 1000, breaks[1] / 1000,
                breaks[2] / 1000);
    EXPECT_GT(breaks[0], 0);
    EXPECT_LT(breaks[0], 4 * 60'000);
    EXPECT_GT(breaks[1], breaks[0]);
    EXPECT_LT(breaks[1], 8 * 60'000);
    EXPECT_GT(breaks[2], 20 * 60'000);
    EXPECT_LT(breaks[2], 35 * 60'000);
    std::printf("demo apexes (axis %g..%g):", axis.lower, axis.upper);
    for (double a : apexes)
        std::printf(" %.0f", a);
    std::printf("\n");
}
