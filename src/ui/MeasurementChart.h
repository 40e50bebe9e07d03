#pragma once
// The measurement chart Chart1: the FID signal Series1 (red) and the FPD signal Series2 (green)
// over time, two hidden helper series Serie3 and Serie4 that only hold data, a title row, a legend,
// axis ranges set by code (the configured view), and the operator's own view: the mouse wheel
// zooms both axes around the cursor, dragging pans both, a double-click returns to the configured
// view and fitToCurves shows the whole of the signal curves. The series data belong to the run
// side; the chart keeps what it is given once, as a compact trace with a min/max pyramid (days of
// monitoring stay a few MB), and hands each curve only the points its pixels need: the samples when
// zoomed in, per pixel column the least and largest value when zoomed out. Straight dotted lines (the baseline chords) are painted
// over the plot after every repaint from a source asked at paint time, so they follow the view.
// While monitoring, the time axis follows the newest sample (see setFollowNewest).
//
// New samples are drawn at most once per kCurvesRepaintInterval of real time: a sample marks the
// curves for a repaint, and a timer draws them when the interval since the last drawing has
// passed, so the newest sample always shows within that interval.

#include "evaluation/SignalTrace.h"
#include "util/Clock.h"

#include <QLineF>
#include <QTimer>
#include <QVector>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <qcustomplot.h>

namespace korvat {

class MeasurementChart : public QCustomPlot {
    Q_OBJECT

public:
    // Series by index: 0 = Series1 (FID), 1 = Series2 (FPD), 2 = Serie3, 3 = Serie4.
    static constexpr int kSeriesCount = 4;
    // The shortest time between two repaints of the curves for new samples. The converters send
    // ten samples a second; five pictures a second still look live and cost half the repaints.
    static constexpr Millis kCurvesRepaintInterval{200};
    // Lines in axis units: x in seconds on the bottom axis, y in the left axis' units.
    using OverlaySource = std::function<QVector<QLineF>()>;

    explicit MeasurementChart(QWidget* parent = nullptr);

    QCPGraph* series(int index) const;

    // The time axis as configured: its maximum (and the width of the view) in seconds. Only the
    // maximum is set; a minimum the operator panned to stays, unless the view follows the newest
    // sample or the minimum lies beyond the new maximum (then the view starts at 0).
    void setTimeAxisMax(double seconds);
    // Monitoring: the view keeps its width and its right edge moves with the newest sample once
    // that passes it. A view the operator moved stays where they put it; following resumes when
    // they drag the newest sample back into view or double-click the chart. Off: the configured
    // view (0 to the maximum).
    void setFollowNewest(bool follow);
    // Whether the next sample beyond the right edge moves the view.
    bool followsNewest() const { return m_follow && !m_operatorMoved; }
    // Back to the configured view, both axes (a double-click does this); following, when on,
    // resumes.
    void returnToConfiguredView();
    // Once: both axes span the visible signal curves from their first to their last sample, the
    // signal axis with kFitMargin of the values' span above and below. The view then stays as an
    // operator-moved one (no following) until they return. Nothing changes without samples.
    void fitToCurves();
    static constexpr double kFitMargin = 0.05;
    // The signal axis as the code last set it (Scale, ScaleMin), whatever the operator did since.
    QCPRange configuredValueRange() const { return m_configuredValueRange; }
    void setSeriesData(int index, const QVector<double>& x, const QVector<double>& y);
    void addSeriesData(int index, const QVector<double>& x, const QVector<double>& y);
    void clearSeries(int index);
    // The samples a series holds, and the memory all series hold (the traces and the points
    // handed to the curves), in bytes.
    std::size_t sampleCount(int index) const;
    std::size_t seriesBytes() const;
    // A curve shows at most this many samples per pixel column before it shows the pyramid.
    static constexpr std::size_t kSamplesPerColumn = 4;

    void setTitle(const QString& text);
    QString title() const;

    void setOverlaySource(OverlaySource source);
    // Value to pixel, cut toward zero like every drawing coordinate of the overlay.
    int bottomAxisPixel(double seconds) const;
    int leftAxisPixel(double value) const;

    // The time the repaint interval of the curves is measured in: real time unless set (the chart
    // keeps the reference; the clock must outlive it).
    void setRepaintClock(const Clock& clock);

    // Coalesces the many data updates of one timer tick into one repaint.
    void replotQueued();
    // Asks for a repaint of the chart's own layer (curves, grid, axes, legend and title) when a
    // data change since the last repaint touched the visible range; points appended beyond the
    // right edge of a fixed axis cost no repaint at all. Nothing is drawn here: the repaint runs
    // in a later event loop pass, and no sooner than kCurvesRepaintInterval after the curves were
    // last drawn, so the samples of several ticks share one repaint. When following moved the
    // time axis, its tick labels and the chords are redrawn along with the curves.
    void replotData();
    // Repaints the overlay's lines alone (once per event loop pass); the curves are not redrawn.
    void replotOverlay();

signals:
    // The curves were drawn anew (new samples, a moved view): what else the window shows live
    // can be painted in the same pass.
    void curvesRepainted();

protected:
    // Puts the paint buffers on the screen: the opaque chart buffer is copied, the chords' buffer
    // is blended over it only while it holds lines.
    void paintEvent(QPaintEvent* event) override;
    // The operator's zooming and panning: range changes made inside them are not configuration.
    void wheelEvent(QWheelEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    class Overlay;
    class PaintBuffer;

    // Whether points from `from` to `to` (seconds), joined to the series' previous last point,
    // can show in the visible range.
    bool touchesVisibleRange(int index, double from, double to) const;
    // Hands the curves the points of the visible range from their traces, where the range, the
    // width or the trace changed since the last time.
    void refreshPictures();
    void refreshPicture(int index, bool evenHidden);
    // The latest time of the visible signal series, if any has points.
    std::optional<double> newestKey() const;
    // Moves the view so the newest sample sits at the right edge, when following and the sample
    // lies beyond it. True when the axis moved.
    bool followNewest();
    // Range changes made here, as opposed to the operator's dragging.
    void setTimeRange(const QCPRange& range);
    void setValueRange(const QCPRange& range);
    void onRangeChanged();
    void onValueRangeChanged(const QCPRange& range);
    void onMouseRelease();
    // Time left until the curves may be drawn again for new samples.
    Millis untilCurvesRepaint() const;
    void onCurvesRepaintDue();
    void repaintCurves();

    QCPTextElement* m_title = nullptr;
    Overlay* m_overlay = nullptr;
    QVector<QCPGraph*> m_series;
    // What each curve was last handed: the range and width it was drawn for, the samples of the
    // trace then, and whether the points are the samples themselves.
    struct Picture {
        QCPRange range;
        int columns = 0;
        std::size_t samples = 0;
        bool raw = false;
        bool valid = false;
    };
    std::array<SignalTrace, kSeriesCount> m_traces;
    std::array<Picture, kSeriesCount> m_pictures;
    std::vector<SignalTrace::Point> m_scratch;
    double m_configuredMax = 60;
    QCPRange m_configuredValueRange{0, 10000};
    bool m_operatorInput = false;
    bool m_follow = false;
    bool m_operatorMoved = false;
    bool m_settingRange = false;
    bool m_axisMoved = false;
    bool m_dataDirty = false;
    bool m_overlayReplotPending = false;
    SystemClock m_systemClock;
    const Clock* m_repaintClock = &m_systemClock;
    QTimer m_curvesRepaintTimer;
    std::optional<Millis> m_curvesDrawnAt;
};

} // namespace korvat
