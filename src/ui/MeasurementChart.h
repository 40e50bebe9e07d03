#pragma once
// The measurement chart Chart1: the FID signal Series1 (red) and the FPD signal Series2 (green)
// over time, two hidden helper series Serie3 and Serie4 that only hold data, a title row, a legend,
// fixed axis ranges set by code, and horizontal panning. The series data belong to the run side;
// the chart only gets copies to draw. Straight dotted lines (the baseline chords) are painted over
// the plot after every repaint from a source asked at paint time, so they follow panning.

#include <QLineF>
#include <QVector>
#include <functional>
#include <qcustomplot.h>

namespace korvat {

class MeasurementChart : public QCustomPlot {
    Q_OBJECT

public:
    // Series by index: 0 = Series1 (FID), 1 = Series2 (FPD), 2 = Serie3, 3 = Serie4.
    static constexpr int kSeriesCount = 4;
    // Lines in axis units: x in seconds on the bottom axis, y in the left axis' units.
    using OverlaySource = std::function<QVector<QLineF>()>;

    explicit MeasurementChart(QWidget* parent = nullptr);

    QCPGraph* series(int index) const;
    void setSeriesData(int index, const QVector<double>& x, const QVector<double>& y);
    void addSeriesData(int index, const QVector<double>& x, const QVector<double>& y);
    void clearSeries(int index);

    void setTitle(const QString& text);
    QString title() const;

    void setOverlaySource(OverlaySource source);
    // Value to pixel, cut toward zero like every drawing coordinate of the overlay.
    int bottomAxisPixel(double seconds) const;
    int leftAxisPixel(double value) const;

    // Coalesces the many data updates of one timer tick into one repaint.
    void replotQueued();
    // Repaints the curves alone, once per event loop pass, and only when a data change since the
    // last repaint touched the visible range. Points appended beyond the right edge (monitoring
    // for hours with a fixed axis) cost no repaint at all; axes, grid and legend are not redrawn.
    void replotData();
    // Repaints the overlay's lines alone (once per event loop pass); the curves are not redrawn.
    void replotOverlay();

private:
    class Overlay;

    // Whether points from `from` to `to` (seconds), joined to the series' previous last point,
    // can show in the visible range.
    bool touchesVisibleRange(const QCPGraph* graph, double from, double to) const;

    QCPTextElement* m_title = nullptr;
    Overlay* m_overlay = nullptr;
    QVector<QCPGraph*> m_series;
    bool m_dataDirty = false;
    bool m_dataReplotPending = false;
    bool m_overlayReplotPending = false;
};

} // namespace korvat
