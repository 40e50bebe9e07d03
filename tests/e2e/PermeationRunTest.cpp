// A whole eight-hour EN test against the in-process instrument with its permeation model: three
// sample cells of different membranes, the reference gas calibrating the FID in the first cycle,
// every measurement in the results file, and each cell switched off in the measurement in which
// its rate first exceeds the limit, within one cycle of the model's analytic breakthrough time.

#include "model/Permeation.h"
#include "support/AppFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvat;
using korvat::test::AppFixture;

namespace {

sim::InstrumentOptions permeationInstrument() {
    sim::InstrumentOptions o;
    o.permeation.enabled = true;
    sim::Membrane thick = sim::findMaterialPreset(u"fkm")->membrane;
    thick.thickness *= 1.5; // late in the test: about 7.8 hours under the EN limit
    o.permeation.cells = {sim::PermeationCell{sim::findMaterialPreset(u"nitrile")->membrane},
                          sim::PermeationCell{sim::findMaterialPreset(u"fkm")->membrane},
                          sim::PermeationCell{thick}};
    return o;
}

QList<QStringList> resultRows(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QStringList> out;
    bool body = false;
    for (const QByteArray& l : file.readAll().split('\n')) {
        const QString text = QString::fromLatin1(l).trimmed();
        if (text.isEmpty())
            continue;
        if (body)
            out << text.split(';');
        else
            body = text.startsWith("Zelle;Bruch;Bruchzeit;");
    }
    return out;
}

} // namespace

TEST(PermeationRun, EightHourENTestBreaksEachCellWithinOneCycleOfTheModel) {
    const sim::InstrumentOptions options = permeationInstrument();
    AppFixture f(options);
    f.writeIni(QStringList{"Language/Code=DE", "Measurement/MeasurementSampleTime/s=30",
                           "Measurement/MeasurementInjectionTime/s=5", "Measurement/MeasurementTimePerCell/s=60"} +
               korvat::test::tolueneCells());
    ASSERT_EQ(f.start(), StartupOutcome::Running);
    KorvatApp& app = f.app();
    app.rgStandardClick(1); // EN: 1.0 ug/cm2/min
    ASSERT_DOUBLE_EQ(app.settings().LimitFID, 1.0);
    const QString csv = f.dir + "EN-test.csv";
    f.dialogs.nextFileName = csv;
    app.btnSpeichernClick();
    f.app().inputs().toggled(Check::IsobutanCalib, true);
    f.app().inputs().edited(Input::Start, "2");
    f.app().inputs().edited(Input::Count, "5");
    f.app().inputs().edited(Input::Cycles, "99");
    app.sequencer().btnStartClick();
    ASSERT_TRUE(app.sequencer().running());

    const Millis end = f.clock.monotonicNow() + Millis(8LL * 3600 * 1000);
    auto tick = [&] {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
    };
    while (app.sequencer().running() && f.clock.monotonicNow() < end)
        tick();
    app.sequencer().btnStopClick();
    while (app.sequencer().running())
        tick();

    EXPECT_TRUE(f.dialogs.boxes.isEmpty()) << f.dialogs.texts().join('|').toStdString();
    const auto& results = app.run().measurements();
    const QList<QStringList> rows = resultRows(csv);
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(results.size()));
    ASSERT_EQ(results.size(), app.run().measurements().size());
    ASSERT_GT(results.size(), 150u);
    EXPECT_GT(app.settings().FIDCalArea, 100000);

    // One cycle: the five positions' measurements.
    const Millis runStart = app.run().runStartzeitMono;
    const qint64 cycleMs = results[5].elapsedMs - results[0].elapsedMs;
    for (int cell = 1; cell <= 3; ++cell) {
        SCOPED_TRACE(cell);
        const auto analytic = sim::cellBreakthrough(options.permeation, cell, 1.0);
        ASSERT_TRUE(analytic.has_value());
        int breaking = -1;
        for (std::size_t k = 0; k < results.size(); ++k)
            if (results[k].runZelle == cell + 3 && results[k].breakTime != "--:--" && breaking < 0)
                breaking = static_cast<int>(k);
        ASSERT_GE(breaking, 0) << "cell never broke through";
        const MeasurementRecord& r = results[breaking];
        EXPECT_EQ(r.marker, QChar('*'));
        EXPECT_GT(r.FIDMessMenge, 1.0);
        EXPECT_EQ(rows[breaking][1], "*");
        EXPECT_EQ(rows[breaking][2], r.breakTime);
        EXPECT_TRUE(f.view.cellOff(cell));
        EXPECT_TRUE(r.brokeThrough);
        // The cell's measurement before was still at or below the limit.
        for (int k = breaking - 1; k >= 0; --k)
            if (results[k].runZelle == cell + 3) {
                EXPECT_LE(results[k].FIDMessMenge, 1.0);
                break;
            }
        const qint64 programMs = (runStart + Millis(r.elapsedMs)).count();
        EXPECT_NEAR(static_cast<double>(programMs), static_cast<double>(analytic->modelTime.count()),
                    static_cast<double>(cycleMs))
            << "program " << programMs / 60000.0 << " min, model " << analytic->modelTime.count() / 60000.0
            << " min";
        // Later rows of the cell: switched off.
        for (std::size_t k = breaking + 1; k < results.size(); ++k)
            if (results[k].runZelle == cell + 3) {
                EXPECT_EQ(results[k].marker, QChar('*'));
                EXPECT_EQ(results[k].FIDMessMenge, 0.0);
            }
    }
}
