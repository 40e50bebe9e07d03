// The chart as the window sets it up: visible and hidden series, hidden right and top axes,
// horizontal panning only, fixed ranges and titles set through the view, series data replaced
// or appended, and the dotted overlay lines placed by the axes' value-to-pixel conversion.

#include "ui/MeasurementChart.h"
#include "ui/TForm1.h"

#include <QImage>
#include <cmath>
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
    EXPECT_EQ(chart.interactions(), QCP::Interactions(QCP::iRangeDrag));
    EXPECT_EQ(chart.axisRect()->rangeDrag(), Qt::Horizontal);
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
                count += c.red() > 200 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
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
