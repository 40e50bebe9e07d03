// The permeation view: built from hand-made figures it draws one rate curve per cell and detector
// with exactly the measured points, the two limit lines, a diamond at each breakthrough and a row
// of figures per curve; later figures change only what changed; the logarithmic switch, the mouse
// zoom and the double-click act on the axes; and btnPermeation opens it beside the main window
// through the presenter of a program against the in-process instrument.

#include "app/KorvatApp.h"
#include "model/InProcessInstrument.h"
#include "shell/StringTable.h"
#include "support/AppFixture.h"
#include "support/RecordingDialogs.h"
#include "ui/MeasurementChart.h"
#include "ui/PermeationView.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QTableWidget>
#include <QMouseEvent>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <qcustomplot.h>

using namespace korvat;
using korvat::test::LocaleGuard;

namespace {

std::vector<std::pair<double, double>> pointsOf(const QCPGraph* graph) {
    std::vector<std::pair<double, double>> out;
    for (const QCPGraphData& d : *graph->data())
        out.emplace_back(d.key, d.value);
    return out;
}

std::vector<std::pair<double, double>> pointsOf(const std::vector<RatePoint>& series) {
    std::vector<std::pair<double, double>> out;
    for (const RatePoint& p : series)
        out.emplace_back(p.minutes, p.rate);
    return out;
}

// Latex on cell 1: through both limits; its FPD below them; cell 3 over 0.1 only. The figures are
// set by hand: the view shows figures, it does not compute them.
std::vector<CellSummary> handMade() {
    CellSummary latex;
    latex.cell = 1;
    latex.sampleName = "Latex";
    latex.series = {{5, 0}, {10, 0.05}, {15, 0.3}, {20, 2.0}, {25, 4.0}};
    CellMetrics& m = latex.metrics;
    m.measurements = 5;
    m.bt01 = {15.0, 10.0, 11.0};
    m.bt10 = {20.0, 15.0, 17.06};
    m.resolution = 5.0;
    m.cumulative = 24.125;
    m.level = {PerformanceLevel::Kind::Exact, 1, 1};
    m.detectionLimit = DetectionLimit{0.0123, DetectionLimit::From::ZeroGas};
    latex.molarMass = 92.14;
    m.testMinutes = 25;

    CellSummary latexFpd;
    latexFpd.cell = 1;
    latexFpd.detector = Detector::FPD;
    latexFpd.sampleName = "Latex";
    latexFpd.series = {{5, 0.01}, {10, 0.02}, {15, 0.02}, {20, 0.021}, {25, 0.02}};
    latexFpd.metrics.measurements = 5;
    latexFpd.metrics.steady = SteadyState{0.0203, 4};
    latexFpd.metrics.cumulative = 0.43;
    latexFpd.metrics.level = {PerformanceLevel::Kind::AtLeast, 1, 1, 25};
    latexFpd.metrics.testMinutes = 25;

    CellSummary nitrile;
    nitrile.cell = 3;
    nitrile.sampleName = "Nitrile";
    nitrile.series = {{8, 0.02}, {18, 0.5}};
    nitrile.metrics.measurements = 2;
    nitrile.metrics.bt01 = {18.0, 8.0, 9.5};
    nitrile.metrics.cumulative = 2.7;
    nitrile.metrics.level = {PerformanceLevel::Kind::AtLeast, 0, 0, 18};
    nitrile.metrics.testMinutes = 18;
    return {latex, latexFpd, nitrile};
}

QStringList rowOf(const QTableWidget* table, int row) {
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QStringLiteral("<none>"));
    return texts;
}

// The whole test: from the start to beyond the last measurement, every rate and both limits.
void expectWholeTest(const PermeationView& view, double lastMinutes, double topRate) {
    const QCPRange time = view.plot()->xAxis->range();
    const QCPRange rate = view.plot()->yAxis->range();
    EXPECT_LE(time.lower, 0);
    EXPECT_GT(time.lower, -0.05 * lastMinutes);
    EXPECT_GE(time.upper, lastMinutes);
    EXPECT_LE(rate.lower, kAstmThreshold);
    EXPECT_GE(rate.upper, std::max(topRate, kEnThreshold));
    EXPECT_TRUE(view.followsWholeTest());
}

} // namespace

TEST(PermeationView, DrawsEveryCellAndDetectorWithItsPointsLimitsAndBreakthroughs) {
    LocaleGuard german{QLocale(QLocale::German, QLocale::Germany)};
    PermeationView view;
    const std::vector<CellSummary> summaries = handMade();
    view.showSummaries(summaries);

    // One curve per cell and detector that has measurements, with exactly the measured points.
    for (const CellSummary& s : summaries) {
        SCOPED_TRACE(s.cell * 10 + static_cast<int>(s.detector));
        const QCPGraph* rate = view.rateGraph(s.cell, s.detector);
        ASSERT_NE(rate, nullptr);
        EXPECT_EQ(pointsOf(rate), pointsOf(s.series));
        EXPECT_NE(rate->scatterStyle().shape(), QCPScatterStyle::ssNone) << "every measurement is marked";
        EXPECT_EQ(rate->pen().style(), s.detector == Detector::FPD ? Qt::DashLine : Qt::SolidLine);
        EXPECT_EQ(rate->valueAxis(), view.plot()->yAxis);
    }
    EXPECT_EQ(view.rateGraph(2, Detector::FID), nullptr);
    EXPECT_EQ(view.rateGraph(3, Detector::FPD), nullptr);
    EXPECT_EQ(view.rateGraph(1, Detector::FID)->pen().color(), view.rateGraph(1, Detector::FPD)->pen().color());
    EXPECT_NE(view.rateGraph(1, Detector::FID)->pen().color(), view.rateGraph(3, Detector::FID)->pen().color());
    EXPECT_EQ(view.rateGraph(1, Detector::FID)->name(), "Zelle 1 FID (Latex)");

    // The two limit lines, labelled in the locale's numbers.
    const struct {
        double rate;
        const char* label;
    } limits[] = {{0.1, "0,1 ug/cm²/min"}, {1.0, "1,0 ug/cm²/min"}};
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(view.limitLine(i), nullptr);
        EXPECT_EQ(view.limitLine(i)->point1->coords().y(), limits[i].rate);
        EXPECT_EQ(view.limitLine(i)->point2->coords().y(), limits[i].rate);
        EXPECT_EQ(view.limitLabel(i)->text(), QString::fromUtf8(limits[i].label));
    }

    // A diamond on the limit line where a curve crossed it, none where it did not.
    using Points = std::vector<std::pair<double, double>>;
    EXPECT_EQ(pointsOf(view.breakthroughMarkers(1, Detector::FID)), (Points{{11.0, 0.1}, {17.06, 1.0}}));
    EXPECT_EQ(pointsOf(view.breakthroughMarkers(1, Detector::FPD)), Points{});
    EXPECT_EQ(pointsOf(view.breakthroughMarkers(3, Detector::FID)), (Points{{9.5, 0.1}}));

    // The figures, one row per curve in the order of the cells.
    const QTableWidget* table = view.table();
    ASSERT_EQ(table->rowCount(), 3);
    ASSERT_EQ(table->columnCount(), PermeationView::kColumnCount);
    const QString none = PermeationView::kNoFigure;
    const QStringList rows[] = {
        {"1", "FID", "Latex", "15,0", "11,0", "20,0", "17,1", "5,0", "1", none, "24,125", none, none,
         "0,0123", "25,0", "92,14 g/mol", none, ""},
        {"1", "FPD", "Latex", none, none, none, none, none,
         "≥ 1", "0,0203", "0,430", none, none, none, "25,0", "ohne Molmasse: 0,00251 µg/ml je ppm", none, ""},
        {"3", "FID", "Nitrile", "18,0", "9,5", none, none, none,
         "≥ 0", none, "2,700", none, none, none, "18,0", "Isobutan-Äquivalent", none, ""},
    };
    // (No uncertainty known to these figures, and no requirement to decide against.)
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(rowOf(table, r), rows[r]) << "row " << r;
    // A breakthrough or steady state not reached says so on the "–"; other missing figures do not.
    EXPECT_EQ(table->item(1, PermeationView::Bt01Column)->toolTip(), "nicht erreicht");
    EXPECT_EQ(table->item(0, PermeationView::SteadyStateColumn)->toolTip(), "nicht erreicht");
    // An interpolated crossing names the two measurements it lies between.
    EXPECT_EQ(table->item(0, PermeationView::Bt01Column)->toolTip(), "zwischen 10,0 und 15,0 min");
    EXPECT_EQ(table->item(0, PermeationView::Cumulative480Column)->toolTip(), "");
    // Without a breakthrough the level is a lower bound, said in words on the tooltip.
    EXPECT_EQ(table->item(1, PermeationView::LevelColumn)->toolTip(),
              "nicht durchgebrochen innerhalb 25,0 min: Stufe 1 oder höher");
    EXPECT_EQ(table->item(0, PermeationView::LevelColumn)->toolTip(), "");
    EXPECT_EQ(table->horizontalHeaderItem(PermeationView::Bt01Column)->text(),
              "Durchbruch 0,1\ninterpoliert\n(min)");
}

// A cell above the limit at its first measurement: its crossing is the bracket "≤ first" with no
// diamond on the curve, and its level the range of levels the bracket leaves. A detector without a
// calibration gets a row that says so and no curve of zeros; one that cannot see the chemical no
// level.
TEST(PermeationView, BracketsUncalibratedDetectorsAndUnseenChemicals) {
    LocaleGuard german{QLocale(QLocale::German, QLocale::Germany)};
    CellSummary early;
    early.cell = 1;
    early.series = {{23.1, 2.5}, {46.2, 4.0}};
    early.metrics = cellMetrics(early.series, std::nullopt, 0, 480);
    CellSummary uncalibrated = early;
    uncalibrated.detector = Detector::FPD;
    uncalibrated.series.clear();
    uncalibrated.metrics = {};
    uncalibrated.calibrated = false;
    CellSummary unseen;
    unseen.cell = 2;
    unseen.detector = Detector::FPD;
    unseen.seesChemical = false;
    unseen.series = {{20, 0.0}, {40, 0.0}};
    unseen.metrics = cellMetrics(unseen.series, std::nullopt, 0, 480, false);

    PermeationView view;
    view.showSummaries({early, uncalibrated, unseen});
    const QTableWidget* table = view.table();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, PermeationView::Bt10Column)->text(), "≤ 23,1");
    EXPECT_EQ(table->item(0, PermeationView::Bt10Column)->toolTip(),
              "vor der ersten Messung (23,1 min) durchgebrochen, nicht interpoliert");
    EXPECT_EQ(table->item(0, PermeationView::LevelColumn)->text(), "0–1");
    EXPECT_EQ(table->item(0, PermeationView::LevelColumn)->toolTip(), "Stufe 0 bis 1 möglich");
    EXPECT_TRUE(view.breakthroughMarkers(1, Detector::FID)->data()->isEmpty()) << "no diamond at a made-up crossing";

    EXPECT_EQ(view.rateGraph(1, Detector::FPD), nullptr);
    EXPECT_EQ(table->item(1, PermeationView::LevelColumn)->text(), "nicht kalibriert");
    for (int column = PermeationView::Bt01FirstColumn; column <= PermeationView::TestTimeColumn; ++column) {
        if (column != PermeationView::LevelColumn) {
            EXPECT_EQ(table->item(1, column)->text(), PermeationView::kNoFigure) << column;
        }
    }

    ASSERT_NE(view.rateGraph(2, Detector::FPD), nullptr);
    EXPECT_EQ(table->item(2, PermeationView::LevelColumn)->text(), PermeationView::kNoFigure);
    EXPECT_EQ(table->item(2, PermeationView::LevelColumn)->toolTip(), "FPD sieht die Chemikalie nicht");
}

TEST(PermeationView, SpeaksEnglishWhenTranslated) {
    PermeationView view;
    view.showSummaries(handMade());
    view.translate(kEnglishOffset);
    EXPECT_EQ(view.windowTitle(), "Permeation");
    EXPECT_EQ(view.logarithmicSwitch()->text(), "Logarithmic");
    EXPECT_EQ(view.plot()->xAxis->label(), "Test time (min)");
    EXPECT_EQ(view.limitLabel(1)->text(), QString::fromUtf8("1.0 ug/cm²/min"));
    EXPECT_EQ(view.rateGraph(3, Detector::FID)->name(), "Cell 3 FID (Nitrile)");
    EXPECT_EQ(view.table()->item(1, PermeationView::LevelColumn)->toolTip(),
              "not broken through within 25.0 min: level 1 or higher");
    EXPECT_EQ(view.table()->item(2, PermeationView::MolarMassColumn)->text(), "isobutane equivalent");
    EXPECT_EQ(view.table()->item(2, PermeationView::Bt10Column)->toolTip(), "not reached");
}

TEST(PermeationView, LaterFiguresChangeOnlyWhatChangedAndANewRunClearsIt) {
    PermeationView view;
    int replots = 0;
    QObject::connect(view.plot(), &QCustomPlot::afterReplot, view.plot(), [&replots] { ++replots; });
    auto repaintsNow = [&replots] {
        replots = 0;
        QApplication::processEvents();
        QApplication::sendPostedEvents();
        return replots;
    };

    // Closed, it is kept current all the same, and draws when it opens.
    repaintsNow(); // the chart's own first drawing, queued when it is made
    std::vector<CellSummary> summaries = handMade();
    view.showSummaries(summaries);
    EXPECT_EQ(repaintsNow(), 0);
    EXPECT_EQ(view.table()->rowCount(), 3);
    view.show();
    EXPECT_GE(repaintsNow(), 1);
    QCPGraph* latex = view.rateGraph(1, Detector::FID);
    std::vector<QTableWidgetItem*> items;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < PermeationView::kColumnCount; ++column)
            items.push_back(view.table()->item(row, column));

    // The same figures again: nothing to draw.
    view.showSummaries(summaries);
    EXPECT_EQ(repaintsNow(), 0);

    // Cell 3 measured once more: its curve and its row change, in one repaint; cell 1 keeps its
    // graphs and its table cells.
    summaries[2].series.push_back({28, 1.4});
    summaries[2].metrics.testMinutes = 28;
    summaries[2].metrics.bt10 = {28.0, 18.0, 26.0};
    view.showSummaries(summaries);
    EXPECT_EQ(repaintsNow(), 1);
    EXPECT_EQ(view.rateGraph(1, Detector::FID), latex);
    EXPECT_EQ(pointsOf(view.rateGraph(3, Detector::FID)), pointsOf(summaries[2].series));
    EXPECT_EQ(pointsOf(view.breakthroughMarkers(3, Detector::FID)),
              (std::vector<std::pair<double, double>>{{9.5, 0.1}, {26.0, 1.0}}));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < PermeationView::kColumnCount; ++column)
            EXPECT_EQ(view.table()->item(row, column), items[row * PermeationView::kColumnCount + column]);
    EXPECT_EQ(view.table()->item(2, PermeationView::Bt10Column)->text(), "26.0");
    EXPECT_EQ(view.table()->item(2, PermeationView::TestTimeColumn)->text(), "28.0");
    expectWholeTest(view, 28, 4.0);

    // The next run starts without figures: every curve and row goes.
    view.showSummaries({});
    for (int cell = 1; cell <= 3; ++cell)
        EXPECT_EQ(view.rateGraph(cell, Detector::FID), nullptr);
    EXPECT_EQ(view.table()->rowCount(), 0);
    EXPECT_EQ(view.plot()->graphCount(), 1) << "only the legend's explanation of the diamonds stays";
}

TEST(PermeationView, LogarithmicSwitchLeavesOutRateZeroAndFitsTheRateAxis) {
    PermeationView view;
    view.showSummaries(handMade());
    view.logarithmicSwitch()->click();
    EXPECT_TRUE(view.logarithmic());
    EXPECT_EQ(view.plot()->yAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_TRUE(view.plot()->yAxis->ticker().dynamicCast<QCPAxisTickerLog>());
    // Latex's first measurement read 0: no place for it on a logarithmic axis.
    EXPECT_EQ(view.rateGraph(1, Detector::FID)->data()->size(), 4);
    EXPECT_EQ(view.rateGraph(1, Detector::FID)->data()->begin()->key, 10);
    EXPECT_GT(view.plot()->yAxis->range().lower, 0);
    EXPECT_LE(view.plot()->yAxis->range().lower, 0.01);
    // Figures arriving now are drawn the same way.
    std::vector<CellSummary> more = handMade();
    more[2].series.push_back({28, 0});
    view.showSummaries(more);
    EXPECT_EQ(view.rateGraph(3, Detector::FID)->data()->size(), 2);

    view.logarithmicSwitch()->click();
    EXPECT_EQ(view.plot()->yAxis->scaleType(), QCPAxis::stLinear);
    EXPECT_EQ(view.rateGraph(1, Detector::FID)->data()->size(), 5);
    EXPECT_EQ(view.rateGraph(3, Detector::FID)->data()->size(), 3);
    EXPECT_EQ(view.plot()->yAxis->range().lower, 0);
}

TEST(PermeationView, CumulativeSwitchShowsTheCumulativeCurvesOnTheirOwnAxis) {
    PermeationView view;
    const std::vector<CellSummary> summaries = handMade();
    view.showSummaries(summaries);
    const QCPGraph* cumulative = view.cumulativeGraph(1, Detector::FID);
    ASSERT_NE(cumulative, nullptr);
    EXPECT_FALSE(cumulative->visible());
    EXPECT_FALSE(view.plot()->yAxis2->visible());

    view.cumulativeSwitch()->click();
    EXPECT_TRUE(cumulative->visible());
    EXPECT_TRUE(view.plot()->yAxis2->visible());
    EXPECT_EQ(cumulative->valueAxis(), view.plot()->yAxis2);
    EXPECT_EQ(pointsOf(cumulative), pointsOf(cumulativeCurve(summaries[0].series)));
    EXPECT_GE(view.plot()->yAxis2->range().upper, cumulativeCurve(summaries[0].series).back().rate);
}

TEST(PermeationView, MouseZoomsBothAxesAViewMovedStaysAndADoubleClickShowsTheWholeTest) {
    PermeationView view;
    view.show();
    QApplication::processEvents();
    std::vector<CellSummary> summaries = handMade();
    view.showSummaries(summaries);
    expectWholeTest(view, 25, 4.0);

    // The wheel over the plot zooms time and rate together.
    QCustomPlot* plot = view.plot();
    const QRect area = plot->axisRect()->rect();
    const QPointF centre = area.center();
    const QCPRange timeBefore = plot->xAxis->range();
    const QCPRange rateBefore = plot->yAxis->range();
    QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    EXPECT_LT(plot->xAxis->range().size(), timeBefore.size());
    EXPECT_LT(plot->yAxis->range().size(), rateBefore.size());
    EXPECT_FALSE(view.followsWholeTest());

    // A measurement coming in leaves the operator's view where it is.
    const QCPRange zoomed = plot->xAxis->range();
    summaries[0].series.push_back({30, 30.0});
    view.showSummaries(summaries);
    EXPECT_EQ(plot->xAxis->range(), zoomed);

    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, plot->mapToGlobal(centre), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &doubleClick);
    expectWholeTest(view, 30, 30.0);
}

// ---- opened from the main window -----------------------------------------------------------------

namespace {

// The window, its presenter and the program against the in-process instrument, in English.
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
        form.show();
        QApplication::processEvents();
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

} // namespace

TEST(PermeationView, BtnPermeationOpensItBesideTheSignalChartAndShowsTheRunsFigures) {
    Wired w;
    ASSERT_TRUE(w.started);
    // Figures before the window was ever opened are there when it opens.
    w.app.run().setSummaries(handMade());

    auto* button = qobject_cast<QAbstractButton*>(w.form.control("btnPermeation"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Permeation");
    button->click();
    PermeationView* view = w.presenter.permeationView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->isWindow());
    EXPECT_EQ(view->parentWidget(), &w.form);
    EXPECT_TRUE(w.form.chart()->isVisible()) << "the live signal chart stays";
    EXPECT_EQ(view->logarithmicSwitch()->text(), "Logarithmic");
    ASSERT_NE(view->rateGraph(3, Detector::FID), nullptr);
    EXPECT_EQ(view->table()->rowCount(), 3);

    // Closed and clicked again: the same window comes back, with what was measured meanwhile.
    view->close();
    std::vector<CellSummary> later = handMade();
    later.pop_back();
    w.app.run().setSummaries(later);
    button->click();
    EXPECT_EQ(w.presenter.permeationView(), view);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->rateGraph(3, Detector::FID), nullptr);
    EXPECT_EQ(view->table()->rowCount(), 2);
    EXPECT_EQ(w.form.findChildren<PermeationView*>().size(), 1);
}
