// The chart as the window sets it up: visible and hidden series, hidden right and top axes,
// horizontal panning only, fixed ranges and titles set through the view, series data replaced
// or appended, the dotted overlay lines placed by the axes' value-to-pixel conversion, and the
// view that follows the newest sample while monitoring.

#include "model/InProcessInstrument.h"
#include "app/KorvatApp.h"
#include "support/AppFixture.h"
#include "ui/MeasurementChart.h"
#include "ui/Presenter.h"
#include "ui/TForm1.h"
#include "util/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QAbstractButton>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <tuple>
#include <optional>
#include <vector>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

// Dark pixels (the overlay is black) inside a rectangle of the rendered chart.
int darkPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qGray(image.pixel(x, y)) < 60 ? 1 : 0;
    return count;
}

} // namespace

TEST(MeasurementChart, TwoVisibleSignalSeriesAndTwoHiddenHelpers) {
    MeasurementChart chart;
    ASSERT_EQ(chart.graphCount(), MeasurementChart::kSeriesCount);
    const struct {
        const char* name;
        bool visible;
        QColor colour;
    } expected[] = {{"Series1", true, QColor(255, 0, 0)},
                    {"Series2", true, QColor(0, 255, 0)},
                    {"Serie3", false, {}},
                    {"Serie4", false, {}}};
    for (int i = 0; i < MeasurementChart::kSeriesCount; ++i) {
        SCOPED_TRACE(expected[i].name);
        QCPGraph* graph = chart.series(i);
        ASSERT_NE(graph, nullptr);
        EXPECT_EQ(graph->name(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(graph->visible(), expected[i].visible);
        EXPECT_EQ(chart.legend->hasItemWithPlottable(graph), expected[i].visible);
        EXPECT_EQ(graph->scatterStyle().shape(), QCPScatterStyle::ssNone);
        if (expected[i].visible) {
            EXPECT_EQ(graph->pen().color(), expected[i].colour);
        }
    }
    EXPECT_EQ(chart.series(-1), nullptr);
    EXPECT_EQ(chart.series(4), nullptr);
}

TEST(MeasurementChart, AxesLegendAndPanning) {
    MeasurementChart chart;
    EXPECT_TRUE(chart.xAxis->visible());
    EXPECT_TRUE(chart.yAxis->visible());
    EXPECT_FALSE(chart.xAxis2->visible());
    EXPECT_FALSE(chart.yAxis2->visible());
    EXPECT_TRUE(chart.legend->visible());
    EXPECT_EQ(chart.interactions(), QCP::Interactions(QCP::iRangeDrag | QCP::iRangeZoom));
    EXPECT_EQ(chart.axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
    EXPECT_EQ(chart.axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
    EXPECT_EQ(chart.objectName(), QStringLiteral("Chart1"));
}

TEST(MeasurementChart, RangesAndTitlesThroughTheView) {
    TForm1 form;
    MeasurementChart* chart = form.chart();
    chart->xAxis->setRange(20, 80); // panned by the operator
    form.setBottomAxisMax(300);
    EXPECT_EQ(chart->xAxis->range(), QCPRange(20, 300)) << "only the maximum is set";
    form.setLeftAxisRange(-100, 20000);
    EXPECT_EQ(chart->yAxis->range(), QCPRange(-100, 20000));
    form.setLeftAxisTitle(QString::fromUtf8("µV"));
    EXPECT_EQ(chart->yAxis->label(), QString::fromUtf8("µV"));
    form.setChartTitle(QStringLiteral("Diagramm"));
    EXPECT_EQ(chart->title(), QStringLiteral("Diagramm"));
    form.setSeriesTitle(0, QString::fromUtf8("FID Kanal (µV)"));
    form.setSeriesTitle(1, QString::fromUtf8("FPD Kanal (µV)"));
    EXPECT_EQ(chart->series(0)->name(), QString::fromUtf8("FID Kanal (µV)"));
    EXPECT_EQ(chart->series(1)->name(), QString::fromUtf8("FPD Kanal (µV)"));
    form.setSeriesTitle(7, QStringLiteral("ignored"));
}

TEST(MeasurementChart, SeriesDataReplacedAppendedAndCleared) {
    TForm1 form;
    MeasurementChart* chart = form.chart();
    form.setSeriesData(1, {0.0, 0.1, 0.2}, {5.0, 6.0, 7.0});
    form.addSeriesData(1, {0.3}, {8.0});
    QCPGraph* fpd = chart->series(1);
    ASSERT_EQ(fpd->dataCount(), 4);
    EXPECT_DOUBLE_EQ(fpd->data()->at(3)->key, 0.3);
    EXPECT_DOUBLE_EQ(fpd->data()->at(3)->value, 8.0);
    EXPECT_EQ(chart->series(0)->dataCount(), 0) << "the FID series is untouched";

    form.setSeriesData(1, {1.0}, {2.0});
    EXPECT_EQ(fpd->dataCount(), 1);
    form.setSeriesData(2, {0.0, 0.1}, {1.0, 1.0});
    EXPECT_EQ(chart->series(2)->dataCount(), 2) << "hidden helpers hold data too";
    form.clearSeries(1);
    EXPECT_EQ(fpd->dataCount(), 0);
}

TEST(MeasurementChart, OverlayLinesFollowTheAxes) {
    MeasurementChart chart;
    chart.resize(TForm1::kDesignedWidth, 455);
    chart.xAxis->setRange(0, 30);
    chart.yAxis->setRange(0, 400);
    chart.replot();

    const QLineF chord(12.0, 200.0, 15.0, 180.0);
    EXPECT_EQ(chart.bottomAxisPixel(12.0), int(chart.xAxis->coordToPixel(12.0)));
    EXPECT_EQ(chart.leftAxisPixel(180.0), int(chart.yAxis->coordToPixel(180.0)));
    const auto chordArea = [&] {
        return QRect(
            QPoint(chart.bottomAxisPixel(chord.x1()), chart.leftAxisPixel(chord.y1()) - 3),
            QPoint(chart.bottomAxisPixel(chord.x2()), chart.leftAxisPixel(chord.y2()) + 3));
    };

    EXPECT_EQ(darkPixels(chart.grab().toImage(), chordArea()), 0) << "nothing drawn without lines";

    int asked = 0;
    chart.setOverlaySource([&] {
        ++asked;
        return QVector<QLineF>{chord};
    });
    chart.replot();
    const int drawn = darkPixels(chart.grab().toImage(), chordArea());
    EXPECT_GT(asked, 0);
    // A dotted line across the chord's width: about every other pixel of it.
    const int width = chordArea().width();
    EXPECT_GE(drawn, width / 3);
    EXPECT_LE(drawn, width);

    // Panned: the same chord lands on new pixels.
    chart.xAxis->setRange(10, 40);
    chart.replot();
    EXPECT_GE(darkPixels(chart.grab().toImage(), chordArea()), width / 3);
}

TEST(MeasurementChart, AChangedChordIsRepaintedWithoutRedrawingTheCurves) {
    MeasurementChart chart;
    chart.resize(TForm1::kDesignedWidth, 455);
    chart.xAxis->setRange(0, 30);
    chart.yAxis->setRange(0, 400);
    bool evaluated = false;
    int asked = 0;
    chart.setOverlaySource([&] {
        ++asked;
        return evaluated ? QVector<QLineF>{QLineF(12.0, 200.0, 15.0, 180.0)} : QVector<QLineF>{};
    });
    chart.replot();
    chart.grab(); // lays the chart out at its final size; the resize queues a full replot
    QCoreApplication::processEvents();
    const QImage before = chart.grab().toImage();
    const QRect area(QPoint(chart.bottomAxisPixel(12.0), chart.leftAxisPixel(200.0) - 3),
                     QPoint(chart.bottomAxisPixel(15.0), chart.leftAxisPixel(180.0) + 3));
    ASSERT_EQ(darkPixels(before, area), 0);

    evaluated = true; // an evaluation fixed its chord
    const int askedBefore = asked;
    chart.replotOverlay();
    chart.replotOverlay(); // several requests in one pass give one repaint
    QCoreApplication::processEvents();
    EXPECT_EQ(asked, askedBefore + 1);
    EXPECT_GE(darkPixels(chart.grab().toImage(), area), area.width() / 3);
    evaluated = false; // the next measurement starts
    chart.replotOverlay();
    QCoreApplication::processEvents();
    EXPECT_EQ(darkPixels(chart.grab().toImage(), area), 0);
}

TEST(MeasurementChart, NewSamplesAreDrawnWhenVisible) {
    TForm1 form;
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    form.show();
    form.setBottomAxisMax(60);
    form.setLeftAxisRange(0, 10000);
    QCoreApplication::processEvents();
    MeasurementChart* chart = form.chart();
    auto redPixels = [&] {
        const QImage image = chart->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                // Red, or the pink of its smoothed edge: a level that falls between two pixel rows
            // is drawn half into each.
            count += c.red() > 200 && c.green() < 180 && c.blue() < 180 ? 1 : 0;
            }
        return count;
    };
    const int before = redPixels(); // the legend's line only

    // Beyond the right edge: nothing new to see.
    const double late[] = {100.0, 100.1};
    const double high[] = {9000.0, 1000.0};
    form.appendSeries(0, late, high);
    form.replotChart();
    QCoreApplication::processEvents();
    EXPECT_EQ(redPixels(), before);

    // Inside the window: the curve appears with the next repaint.
    const double x[] = {10.0, 10.1, 10.2, 10.3};
    const double y[] = {1000.0, 9000.0, 9000.0, 1000.0};
    form.clearSeries(0);
    form.appendSeries(0, x, y);
    form.replotChart();
    QCoreApplication::processEvents();
    EXPECT_GT(redPixels(), before + 100);
}

namespace {

// A monitoring session's samples, ten a second from `from` to before `to` (seconds), at `level`,
// as they arrive: the chart's repaint clock moves on by the time they took to come, or by
// `arrivedWithin` when given.
void feed(TForm1& form, ManualClock& clock, double from, double to, double level,
          std::optional<Millis> arrivedWithin = std::nullopt) {
    std::vector<double> x, y;
    for (int i = static_cast<int>(std::lround(from * 10)); i < std::lround(to * 10); ++i) {
        x.push_back(i / 10.0);
        y.push_back(level);
    }
    clock.advance(arrivedWithin.value_or(Millis(std::lround((to - from) * 1000))));
    form.appendSeries(0, x, y);
    form.replotChart();
    QCoreApplication::processEvents();
}

// The operator drags the plot sideways by `dx` pixels (positive: towards earlier times).
void drag(MeasurementChart* chart, int dx) {
    const QPoint from = chart->axisRect()->rect().center();
    const QPoint to = from + QPoint(dx, 0);
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, chart->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    QCoreApplication::processEvents();
}

void doubleClick(MeasurementChart* chart) {
    const QPoint at = chart->axisRect()->rect().center();
    QMouseEvent e(QEvent::MouseButtonDblClick, at, chart->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(chart, &e);
    QCoreApplication::processEvents();
}

// Red pixels of the FID curve in a band around `level`, in the right tenth of the plot.
int redNearRightEdge(MeasurementChart* chart, double level) {
    const QImage image = chart->grab().toImage();
    const QRect plot = chart->axisRect()->rect();
    const int y = chart->leftAxisPixel(level);
    int count = 0;
    for (int x = plot.right() - plot.width() / 10; x < plot.right(); ++x)
        for (int dy = -2; dy <= 2; ++dy) {
            const QColor c = image.pixelColor(x, y + dy);
            // Red, or the pink of its smoothed edge: a level that falls between two pixel rows
            // is drawn half into each.
            count += c.red() > 200 && c.green() < 180 && c.blue() < 180 ? 1 : 0;
        }
    return count;
}

// Columns between `from` and `to` seconds where the FID curve shows in a band around `level`
// (red, or the pink of its smoothed edge).
int redColumnsOnLevel(MeasurementChart* chart, double level, double from, double to) {
    const QImage image = chart->grab().toImage();
    const int y = chart->leftAxisPixel(level);
    int count = 0;
    for (int x = chart->bottomAxisPixel(from); x <= chart->bottomAxisPixel(to); ++x) {
        bool red = false;
        for (int dy = -2; dy <= 2; ++dy) {
            const QColor c = image.pixelColor(x, y + dy);
            red = red || (c.red() > 200 && c.green() < 180 && c.blue() < 180);
        }
        count += red ? 1 : 0;
    }
    return count;
}

// Counts how often the chart's own layer (curves, grid, axes) is drawn: an item on that layer
// that draws nothing itself.
class LayerDraws final : public QCPLayerable {
public:
    explicit LayerDraws(MeasurementChart* chart)
        : QCPLayerable(chart, chart->series(0)->layer()->name()) {}
    int count = 0;

protected:
    void applyDefaultAntialiasingHint(QCPPainter*) const override {}
    void draw(QCPPainter*) override { ++count; }
};

// Lets the event loop run until `done` or, as a safety net, a few seconds of real time passed.
template <typename Done> void processEventsUntil(Done done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

struct MonitoringChart : ::testing::Test {
    void SetUp() override {
        form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
        form.show();
        form.setLeftAxisRange(0, 10000);
        form.setBottomAxisMax(300);
        form.setChartFollowsNewest(true);
        QCoreApplication::processEvents();
        chart = form.chart();
        chart->setRepaintClock(clock);
    }
    QCPRange range() const { return chart->xAxis->range(); }
    void feed(double from, double to, double level,
              std::optional<Millis> arrivedWithin = std::nullopt) {
        ::feed(form, clock, from, to, level, arrivedWithin);
    }

    ManualClock clock;
    TForm1 form;
    MeasurementChart* chart = nullptr;
};

} // namespace

TEST_F(MonitoringChart, FollowsTheNewestSampleOnceItPassesTheConfiguredWidth) {
    feed(0, 300, 2000);
    EXPECT_EQ(range(), QCPRange(0, 300)) << "the first 300 s fit the configured view";

    feed(300, 350, 2000);
    feed(350, 400, 8000);
    EXPECT_DOUBLE_EQ(range().upper, 399.9);
    EXPECT_DOUBLE_EQ(range().size(), 300);
    EXPECT_TRUE(chart->followsNewest());
    // Repainted with the moved axis: the new level shows at the right edge, and the tick labels
    // belong to the new range.
    EXPECT_GT(redNearRightEdge(chart, 8000), 20);
    const QVector<double> ticks = chart->xAxis->tickVector();
    ASSERT_FALSE(ticks.isEmpty());
    EXPECT_GE(ticks.first(), range().lower);
    EXPECT_LE(ticks.last(), range().upper);
    EXPECT_TRUE(chart->xAxis->tickVectorLabels().contains(QStringLiteral("350")));

    feed(400, 400.5, 8000);
    EXPECT_DOUBLE_EQ(range().upper, 400.4);
}

TEST_F(MonitoringChart, AViewTheOperatorMovedStaysUntilTheyReturn) {
    feed(0, 400, 2000);
    ASSERT_DOUBLE_EQ(range().upper, 399.9);

    drag(chart, 300); // back in time
    const QCPRange panned = range();
    ASSERT_LT(panned.upper, 390.0);
    EXPECT_FALSE(chart->followsNewest());
    feed(400, 460, 8000);
    EXPECT_EQ(range(), panned) << "new samples leave the operator's view alone";

    // A double-click returns to the configured view, which follows again.
    doubleClick(chart);
    EXPECT_TRUE(chart->followsNewest());
    EXPECT_DOUBLE_EQ(range().upper, 459.9);
    EXPECT_DOUBLE_EQ(range().size(), 300);
    EXPECT_GT(redNearRightEdge(chart, 8000), 20);
    feed(460, 470, 8000);
    EXPECT_DOUBLE_EQ(range().upper, 469.9);

    // Dragging the newest sample back into view resumes following too.
    drag(chart, 300);
    ASSERT_FALSE(chart->followsNewest());
    drag(chart, -400);
    EXPECT_GE(range().upper, 469.9);
    EXPECT_TRUE(chart->followsNewest());
    feed(470, 600, 8000);
    EXPECT_DOUBLE_EQ(range().upper, 599.9);
}

TEST_F(MonitoringChart, ARunsWindowStaysAsConfigured) {
    // Monitoring ends and a run starts: its window runs from 0 to the measuring time, and the
    // samples after it (the converter's last lines) do not move it.
    feed(0, 400, 2000);
    form.setChartFollowsNewest(false);
    form.setBottomAxisMax(60);
    EXPECT_EQ(range(), QCPRange(0, 60));
    form.clearSeries(0);
    feed(0, 65, 2000);
    EXPECT_EQ(range(), QCPRange(0, 60));
    doubleClick(chart);
    EXPECT_EQ(range(), QCPRange(0, 60)) << "a double-click returns to the run's window";
}

TEST_F(MonitoringChart, SamplesWithinTheRepaintIntervalShareOneRepaintAndTheNewestShowsAfterIt) {
    auto* draws = new LayerDraws(chart);
    feed(0, 10, 2000);
    const int drawn = draws->count;
    ASSERT_GE(drawn, 1) << "the first samples are drawn at once";

    // Two ticks 90 ms apart, both within the interval since that drawing: nothing is drawn.
    ASSERT_GT(MeasurementChart::kCurvesRepaintInterval, Millis(180));
    feed(10, 20, 8000, Millis(90));
    feed(20, 30, 8000, Millis(90));
    EXPECT_EQ(draws->count, drawn);
    EXPECT_EQ(redColumnsOnLevel(chart, 8000, 10, 30), 0);

    // Once the interval has passed, one repaint draws them all, without a further tick.
    clock.advance(MeasurementChart::kCurvesRepaintInterval);
    processEventsUntil([&] { return draws->count > drawn; });
    EXPECT_EQ(draws->count, drawn + 1);
    const int columns = chart->bottomAxisPixel(29) - chart->bottomAxisPixel(11);
    EXPECT_GE(redColumnsOnLevel(chart, 8000, 11, 29), columns);

    // A change of the axes is not held back by the interval.
    form.setLeftAxisRange(0, 20000);
    QCoreApplication::processEvents();
    EXPECT_EQ(draws->count, drawn + 2);
}

TEST_F(MonitoringChart, RepaintsOfCurvesOrChordsAloneShowWhatAWholeRepaintShows) {
    // The layer repaints (new samples, a moved view, a changed chord) against a whole repaint of
    // the same state: the screen must not keep anything of an earlier picture.
    bool chord = true;
    form.setChartOverlay(
        [&] { return chord ? QVector<QLineF>{QLineF(250, 7000, 290, 3000)} : QVector<QLineF>{}; });
    const auto sameAsWholeRepaint = [&] {
        const QImage shown = chart->grab().toImage();
        chart->replot();
        return shown == chart->grab().toImage();
    };
    feed(0, 280, 2000);
    form.appendSeries(1, std::vector<double>{100, 200}, std::vector<double>{500, 900});
    form.replotChart();
    chart->replot();
    feed(280, 290, 6000); // new samples in a standing view
    EXPECT_TRUE(sameAsWholeRepaint());
    feed(290, 330, 3000); // the view follows, the chord moves with it
    ASSERT_DOUBLE_EQ(range().upper, 329.9);
    EXPECT_TRUE(sameAsWholeRepaint());
    chord = false; // the next measurement starts
    form.repaintChartOverlay();
    QCoreApplication::processEvents();
    EXPECT_TRUE(sameAsWholeRepaint());
    feed(330, 340, 3000);
    EXPECT_TRUE(sameAsWholeRepaint());
}

// The program's own monitoring switch drives the following: on, the view moves with the newest
// sample of the virtual instrument's stream; off (or a run's start), the view is the measuring
// window from 0 again.
TEST(MonitoringChartInTheProgram, MonitoringOnFollowsMonitoringOffReturnsToTheWindow) {
    QTemporaryDir dir;
    const QString programDir = dir.path() + "/";
    korvat::test::writeFile(programDir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
    korvat::test::writeFile(programDir + "S-Substanzen.txt", "THT=1,00\r\n");
    ManualClock clock;
    sim::InProcessInstrument instrument;
    instrument.follow(clock);
    IniFile(programDir + "Korvat.ini")
        .writeEntries({{"Communication", "ComPortA", instrument.mainLine().deviceName()},
                       {"Measurement", "MeasurementTimePerCell/s", "60"}});
    TForm1 form;
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    form.show();
    korvat::test::RecordingDialogs dialogs;
    Presenter presenter(form);
    KorvatApp app({presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), programDir});
    presenter.attach(app);
    ASSERT_EQ(app.FormCreate({}), StartupOutcome::Running);
    MeasurementChart* chart = form.chart();

    app.acquisition().MonitorOn();
    for (int i = 0; i < 400 * 1000 / 90; ++i) { // 400 s
        clock.advance(Millis(90));
        QCoreApplication::processEvents();
        app.Timer1Timer();
    }
    QCoreApplication::processEvents();
    const std::size_t samples = chart->sampleCount(0);
    ASSERT_GT(samples, 3900u);
    EXPECT_NEAR(chart->xAxis->range().upper, (samples - 1) / 10.0, 1e-9);
    EXPECT_DOUBLE_EQ(chart->xAxis->range().size(), 300);

    app.acquisition().MonitorOff();
    EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 60));
    EXPECT_FALSE(chart->followsNewest());
}

// ---- the operator's view: wheel zoom, panning on both axes, return and fit

namespace {

// The window with the program behind it, so the chart's buttons go through the presenter.
struct OperatorView : ::testing::Test {
    void SetUp() override {
        const QString programDir = dir.path() + "/";
        korvat::test::writeFile(programDir + "CH-Substanzen.txt", "Aceton=2,05\r\n");
        korvat::test::writeFile(programDir + "S-Substanzen.txt", "THT=1,00\r\n");
        instrument.follow(clock);
        IniFile(programDir + "Korvat.ini")
            .writeEntries({{"Communication", "ComPortA", instrument.mainLine().deviceName()}});
        form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
        form.show();
        app = std::make_unique<KorvatApp>(KorvatApp::Environment{
            presenter, dialogs, clock, instrument.mainLine(), instrument.fpdLine(), programDir});
        presenter.attach(*app);
        ASSERT_EQ(app->FormCreate({}), StartupOutcome::Running);
        form.setLeftAxisRange(-500, 10000);
        form.setBottomAxisMax(300);
        QCoreApplication::processEvents();
        chart = form.chart();
        chart->replot();
    }
    void wheel(QPoint at, int steps) {
        QWheelEvent e(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(chart, &e);
        QCoreApplication::processEvents();
        chart->replot();
    }
    void click(const char* name) {
        auto* button = qobject_cast<QAbstractButton*>(form.control(QString::fromLatin1(name)));
        ASSERT_NE(button, nullptr) << name;
        button->click();
        QCoreApplication::processEvents();
    }
    void expectConfigured() const {
        EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 300));
        EXPECT_EQ(chart->yAxis->range(), QCPRange(-500, 10000));
    }

    QTemporaryDir dir;
    ManualClock clock;
    sim::InProcessInstrument instrument;
    TForm1 form;
    korvat::test::RecordingDialogs dialogs;
    Presenter presenter{form};
    std::unique_ptr<KorvatApp> app;
    MeasurementChart* chart = nullptr;
};

} // namespace

TEST_F(OperatorView, TheWheelZoomsBothAxesAroundTheCursorAndDraggingPansBoth) {
    const QRect plot = chart->axisRect()->rect();
    const QPoint at(plot.left() + plot.width() / 4, plot.top() + plot.height() / 3);
    const double timeThere = chart->xAxis->pixelToCoord(at.x());
    const double valueThere = chart->yAxis->pixelToCoord(at.y());

    wheel(at, 2); // towards the operator: closer
    const QCPRange time = chart->xAxis->range();
    const QCPRange value = chart->yAxis->range();
    EXPECT_LT(time.size(), 300 * 0.9);
    EXPECT_LT(value.size(), 10500 * 0.9);
    // The point under the cursor stays there (within the few pixels the tick labels' new width
    // moves the plot by); a zoom around the plot's centre would move it by a tenth of the span.
    EXPECT_NEAR(chart->xAxis->pixelToCoord(at.x()), timeThere, time.size() / 50);
    EXPECT_NEAR(chart->yAxis->pixelToCoord(at.y()), valueThere, value.size() / 50);
    EXPECT_EQ(chart->configuredValueRange(), QCPRange(-500, 10000)) << "zooming is no setting";

    wheel(at, -4); // away: further than the configured view
    EXPECT_GT(chart->xAxis->range().size(), 300);
    EXPECT_GT(chart->yAxis->range().size(), 10500);

    // Dragging up and to the left moves both axes by the pixels' worth and keeps their spans.
    const QCPRange before = chart->xAxis->range();
    const QCPRange beforeValue = chart->yAxis->range();
    const QPoint from = plot.center();
    const QPoint to = from + QPoint(-100, -60);
    for (auto [type, point, buttons] :
         {std::tuple{QEvent::MouseButtonPress, from, Qt::MouseButtons(Qt::LeftButton)},
          std::tuple{QEvent::MouseMove, to, Qt::MouseButtons(Qt::LeftButton)},
          std::tuple{QEvent::MouseButtonRelease, to, Qt::MouseButtons(Qt::NoButton)}}) {
        QMouseEvent e(type, point, chart->mapToGlobal(point), Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(chart, &e);
    }
    EXPECT_NEAR(chart->xAxis->range().size(), before.size(), 1e-9);
    EXPECT_NEAR(chart->yAxis->range().size(), beforeValue.size(), 1e-6);
    EXPECT_NEAR(chart->xAxis->range().lower - before.lower, before.size() * 100 / plot.width(),
                before.size() / 100);
    EXPECT_NEAR(chart->yAxis->range().lower - beforeValue.lower,
                -beforeValue.size() * 60 / plot.height(), beforeValue.size() / 100);
}

TEST_F(OperatorView, DoubleClickAndTheAxesButtonReturnToTheConfiguredAxes) {
    const QPoint at = chart->axisRect()->rect().center();
    wheel(at, 3);
    doubleClick(chart);
    expectConfigured();

    wheel(at, 3);
    click("btnChartAxes");
    expectConfigured();

    // A new configured signal axis is what both return to.
    form.setLeftAxisRange(0, 50000);
    wheel(at, -2);
    click("btnChartAxes");
    EXPECT_EQ(chart->yAxis->range(), QCPRange(0, 50000));
}

TEST_F(OperatorView, FitShowsTheWholeCurveOnceAndTheChordsStayOnIt) {
    // A peak far above the configured axis, and a chord on two of its points.
    QVector<double> x, y;
    for (int i = 0; i <= 600; ++i) {
        x << 20 + i * 0.1;
        y << 1500 + 60000 * std::exp(-std::pow((i - 250) / 40.0, 2));
    }
    form.setSeriesData(0, x, y);
    form.setSeriesData(1, {30.0, 40.0}, {-2000.0, 0.0});
    const QLineF chord(x[100], y[100], x[400], y[400]);
    form.setChartOverlay([&] { return QVector<QLineF>{chord}; });

    click("btnChartFit");
    const double low = -2000, high = y[250], margin = (high - low) * MeasurementChart::kFitMargin;
    EXPECT_EQ(chart->xAxis->range(), QCPRange(20, 80));
    EXPECT_NEAR(chart->yAxis->range().lower, low - margin, 1e-6);
    EXPECT_NEAR(chart->yAxis->range().upper, high + margin, 1e-6);
    // One shot: new samples do not widen the view.
    form.addSeriesData(0, {80.1}, {90000.0});
    EXPECT_EQ(chart->xAxis->range(), QCPRange(20, 80));

    // Zoomed in around the chord's left end: the chord is drawn from the curve's point there.
    const QPoint end(chart->bottomAxisPixel(chord.x1()), chart->leftAxisPixel(chord.y1()));
    wheel(end, 2);
    chart->replot();
    const QImage image = chart->grab().toImage();
    const QPoint moved(chart->bottomAxisPixel(chord.x1()), chart->leftAxisPixel(chord.y1()));
    const QPointF curve = chart->series(0)->coordsToPixels(x[100], y[100]);
    EXPECT_LE((QPointF(moved) - curve).manhattanLength(), 2.0);
    const QPoint along(chart->bottomAxisPixel(chord.x1() + 2), chart->leftAxisPixel(
        chord.y1() + (chord.y2() - chord.y1()) * 2 / (chord.x2() - chord.x1())));
    EXPECT_GT(darkPixels(image, QRect(along - QPoint(20, 3), along + QPoint(20, 3))), 5)
        << "the chord is drawn along its new course";
}

TEST_F(OperatorView, FitWithoutSamplesChangesNothing) {
    click("btnChartFit");
    expectConfigured();
}

// Days of monitoring: the chart hands each curve only what its pixels need, from the pyramid when
// the whole range is in view and the samples themselves when zoomed in, and a lost line stays a
// gap at every zoom.
TEST(MeasurementChart, ACurveOfDaysIsDrawnFromThePointsItsPixelsNeed) {
    TForm1 form;
    form.resize(TForm1::kDesignedWidth, TForm1::kDesignedHeight);
    form.show();
    MeasurementChart* chart = form.chart();
    const long n = 3 * 864000; // three days at ten samples a second
    std::vector<double> x(n), y(n);
    double lo = 1e300, hi = -1e300;
    for (long i = 0; i < n; ++i) {
        x[i] = i / 10.0;
        y[i] = std::round(1500 + 800 * std::sin(i * 1e-4) + (i % 6000 < 20 ? 3000 : 0));
        lo = std::min(lo, y[i]);
        hi = std::max(hi, y[i]);
    }
    const long lost = 2 * 864000 + 12345; // a line down for two seconds on the third day
    for (long i = lost; i < lost + 20; ++i)
        y[i] = std::nan("");
    form.appendSeries(0, x, y);
    EXPECT_EQ(chart->sampleCount(0), static_cast<std::size_t>(n));

    struct View {
        const char* name;
        double from, to;
        bool samples; // the curve holds the samples themselves
        bool gap;
    };
    const View views[] = {
        {"all three days", 0, n / 10.0, false, true},
        {"the third day", 2 * 86400.0, 3 * 86400.0, false, true},
        {"the minute of the lost line", lost / 10.0 - 30, lost / 10.0 + 30, true, true},
        {"the first hour", 0, 3600, false, false},
    };
    const int width = chart->axisRect()->width();
    ASSERT_GT(width, 100);
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        chart->xAxis->setRange(v.from, v.to);
        chart->replot();
        const QCPGraph* fid = chart->series(0);
        const int points = fid->dataCount();
        EXPECT_LE(points, 3 * width + 8) << "more points than the pixels need";
        EXPECT_GT(points, width / 2) << "fewer points than the pixels show";
        int gaps = 0;
        double shownLo = 1e300, shownHi = -1e300;
        for (auto it = fid->data()->constBegin(); it != fid->data()->constEnd(); ++it) {
            if (std::isnan(it->value)) {
                ++gaps;
                continue;
            }
            ASSERT_GE(it->value, lo);
            ASSERT_LE(it->value, hi);
            shownLo = std::min(shownLo, it->value);
            shownHi = std::max(shownHi, it->value);
            if (v.samples) {
                const long i = std::lround(it->key * 10);
                ASSERT_EQ(it->value, y[i]) << "a zoomed-in curve shows the samples as they are";
            }
        }
        EXPECT_EQ(gaps > 0, v.gap);
        // No peak is lost at any zoom: the largest and least value in view are drawn.
        double viewLo = 1e300, viewHi = -1e300;
        for (long i = std::lround(v.from * 10); i <= std::min(n - 1, std::lround(v.to * 10)); ++i) {
            if (!std::isnan(y[i])) {
                viewLo = std::min(viewLo, y[i]);
                viewHi = std::max(viewHi, y[i]);
            }
        }
        EXPECT_GE(shownHi, viewHi);
        EXPECT_LE(shownLo, viewLo);
    }
    // Fit spans the whole of the three days.
    chart->fitToCurves();
    EXPECT_DOUBLE_EQ(chart->xAxis->range().lower, 0);
    EXPECT_NEAR(chart->xAxis->range().upper, (n - 1) / 10.0, 1e-6);
    const double margin = (hi - lo) * MeasurementChart::kFitMargin;
    EXPECT_NEAR(chart->yAxis->range().lower, lo - margin, 1e-6);
    EXPECT_NEAR(chart->yAxis->range().upper, hi + margin, 1e-6);
}
