#include "ui/MeasurementChart.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvat {

Q_LOGGING_CATEGORY(lcChart, "korvat.ui.chart")

// Paints the lines of the overlay source on the chart's top layer after the graphs are drawn.
// It has no hit area, so it never takes a mouse press away from the panning.
class MeasurementChart::Overlay : public QCPLayerable {
public:
    explicit Overlay(MeasurementChart* chart)
        : QCPLayerable(chart, QStringLiteral("overlay")), m_chart(chart) {}

    void setSource(MeasurementChart::OverlaySource source) { m_source = std::move(source); }
    // Whether a repaint would draw lines, or clear lines drawn before.
    bool shows() const { return m_drewLines || (m_source && !m_source().isEmpty()); }
    // Whether the last drawing drew lines.
    bool drewLines() const { return m_drewLines; }

protected:
    void applyDefaultAntialiasingHint(QCPPainter* painter) const override {
        painter->setAntialiasing(false);
    }

    void draw(QCPPainter* painter) override {
        m_drewLines = false;
        if (!m_source)
            return;
        const QVector<QLineF> lines = m_source();
        if (lines.isEmpty())
            return;
        m_drewLines = true;
        painter->setPen(QPen(Qt::black, 1, Qt::DotLine));
        for (const QLineF& line : lines) {
            painter->drawLine(
                QPoint(m_chart->bottomAxisPixel(line.x1()), m_chart->leftAxisPixel(line.y1())),
                QPoint(m_chart->bottomAxisPixel(line.x2()), m_chart->leftAxisPixel(line.y2())));
        }
    }

private:
    MeasurementChart* m_chart;
    MeasurementChart::OverlaySource m_source;
    bool m_drewLines = false;
};

// One of the chart's paint buffers, which the paint event puts on the screen in order. The buffer
// of the chart's own layer is opaque: it is filled with the background colour instead of being
// cleared to transparent, so the paint event copies it instead of blending it, and paints nothing
// beneath it. A transparent buffer is left out while it holds nothing to see: the one below the
// chart's layer, which no layer draws into, and the chords' buffer while there are no chords.
// Whole-widget fills and blends, not the drawing, were most of what a repaint cost.
class MeasurementChart::PaintBuffer final : public QCPAbstractPaintBuffer {
public:
    // An opaque buffer of the colour `background`, or a transparent one when it is invalid.
    PaintBuffer(const QSize& size, double devicePixelRatio, QColor background)
        : QCPAbstractPaintBuffer(size, devicePixelRatio), m_background(background) {
        PaintBuffer::reallocateBuffer();
    }

    bool opaque() const { return m_background.isValid(); }
    // For a transparent buffer: whether what was last drawn into it shows anything.
    void setShowsDrawing(std::function<bool()> shows) { m_showsDrawing = std::move(shows); }

    QCPPainter* startPainting() override {
        m_drawnInto = true;
        return new QCPPainter(&m_image);
    }

    void draw(QCPPainter* painter) const override {
        if (painter && painter->isActive() && holdsPixels())
            painter->drawImage(QPointF(0, 0), m_image);
    }

    void clear(const QColor& colour) override {
        if (opaque()) {
            m_image.fill(m_background);
        } else if (m_drawnInto || colour.alpha() != 0) {
            m_image.fill(colour);
        }
        m_drawnInto = !opaque() && colour.alpha() != 0;
    }

private:
    bool holdsPixels() const {
        return opaque() || (m_drawnInto && (!m_showsDrawing || m_showsDrawing()));
    }

    void reallocateBuffer() override {
        setInvalidated();
        m_image = QImage(mSize * mDevicePixelRatio,
                         opaque() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        m_image.setDevicePixelRatio(mDevicePixelRatio);
        m_image.fill(opaque() ? m_background : QColor(Qt::transparent));
        m_drawnInto = false;
    }

    QColor m_background;
    std::function<bool()> m_showsDrawing;
    QImage m_image;
    bool m_drawnInto = false;
};

namespace {

struct SeriesLook {
    const char* name;
    QColor colour;
    bool shown;
};

const SeriesLook kSeriesLooks[MeasurementChart::kSeriesCount] = {
    {"Series1", QColor(255, 0, 0), true},
    {"Series2", QColor(0, 255, 0), true},
    {"Serie3", QColor(0, 0, 255), false},
    {"Serie4", QColor(255, 0, 255), false},
};

// A pixel coordinate far outside the widget still has to fit an int after the cut.
int toPixel(double coordinate) {
    constexpr double limit = 1.0e6;
    return static_cast<int>(std::clamp(coordinate, -limit, limit));
}

} // namespace

MeasurementChart::MeasurementChart(QWidget* parent) : QCustomPlot(parent) {
    setObjectName(QStringLiteral("Chart1"));
    // The chart takes the focus on a click, so clicking it counts as leaving the page control.
    setFocusPolicy(Qt::ClickFocus);
    // Its paint event covers every pixel: nothing beneath it needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);

    plotLayout()->insertRow(0);
    QFont titleFont = font();
    titleFont.setBold(true);
    m_title = new QCPTextElement(this, QString(), titleFont);
    plotLayout()->addElement(0, 0, m_title);

    xAxis->setRange(0, m_configuredMax);
    yAxis->setRange(m_configuredValueRange);
    xAxis2->setVisible(false);
    yAxis2->setVisible(false);

    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    legend->setVisible(true);
    // Top left: the newest samples arrive at the right edge (monitoring follows them there), and
    // a legend in that corner would hide them.
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);

    for (const SeriesLook& look : kSeriesLooks) {
        QCPGraph* graph = addGraph(xAxis, yAxis);
        graph->setName(QString::fromLatin1(look.name));
        graph->setPen(QPen(look.colour));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        if (!look.shown) {
            graph->setVisible(false);
            graph->removeFromLegend();
        }
        m_series << graph;
    }

    m_overlay = new Overlay(this);

    // Two layers with a buffer each: the chart itself and the chords over it. New samples (and a
    // view that follows them, which moves grid and tick labels too) redraw the one "main" layer,
    // and a chord change redraws the overlay alone. Removing a layer keeps the drawing order: its
    // elements go to the neighbouring layer, at the near end.
    for (const char* name : {"grid", "background", "legend", "axes"})
        removeLayer(layer(QString::fromLatin1(name)));
    layer(QStringLiteral("main"))->setMode(QCPLayer::lmBuffered);
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmBuffered);
    // The buffers, in the order QCustomPlot hands them to these two layers on every replot: one
    // for the (absent) layers below "main", then one per buffered layer. It keeps buffers it
    // finds, so these are the ones used; see PaintBuffer.
    const QSize size = viewport().size();
    const double ratio = bufferDevicePixelRatio();
    auto* chords = new PaintBuffer(size, ratio, QColor());
    chords->setShowsDrawing([this] { return m_overlay->drewLines(); });
    mPaintBuffers.clear();
    mPaintBuffers << QSharedPointer<QCPAbstractPaintBuffer>(new PaintBuffer(size, ratio, QColor()))
                  << QSharedPointer<QCPAbstractPaintBuffer>(
                         new PaintBuffer(size, ratio, mBackgroundBrush.color()))
                  << QSharedPointer<QCPAbstractPaintBuffer>(chords);

    m_curvesRepaintTimer.setSingleShot(true);
    m_curvesRepaintTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_curvesRepaintTimer, &QTimer::timeout, this, &MeasurementChart::onCurvesRepaintDue);
    // A whole repaint draws the curves as they are.
    // Every whole repaint first hands the curves what the view shows now.
    connect(this, &QCustomPlot::beforeReplot, this, &MeasurementChart::refreshPictures);
    connect(this, &QCustomPlot::afterReplot, this, [this] {
        m_dataDirty = false;
        m_axisMoved = false;
        m_curvesRepaintTimer.stop();
    });

    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &MeasurementChart::onRangeChanged);
    connect(yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &MeasurementChart::onValueRangeChanged);
    connect(this, &QCustomPlot::mouseRelease, this, &MeasurementChart::onMouseRelease);
    connect(this, &QCustomPlot::mouseDoubleClick, this, &MeasurementChart::returnToConfiguredView);
}

void MeasurementChart::setTimeRange(const QCPRange& range) {
    m_settingRange = true;
    xAxis->setRange(range);
    m_settingRange = false;
}

void MeasurementChart::setValueRange(const QCPRange& range) {
    m_settingRange = true;
    yAxis->setRange(range);
    m_settingRange = false;
}

void MeasurementChart::onValueRangeChanged(const QCPRange& range) {
    // The window sets the signal axis straight on the axis (Scale, ScaleMin); the operator's
    // wheel and dragging, and the chart's own returns and fits, are not configuration.
    if (!m_settingRange && !m_operatorInput)
        m_configuredValueRange = range;
}

void MeasurementChart::wheelEvent(QWheelEvent* event) {
    m_operatorInput = true;
    QCustomPlot::wheelEvent(event);
    m_operatorInput = false;
}

void MeasurementChart::mouseMoveEvent(QMouseEvent* event) {
    m_operatorInput = true;
    QCustomPlot::mouseMoveEvent(event);
    m_operatorInput = false;
}

void MeasurementChart::onRangeChanged() {
    // Only the operator's dragging (or wheel) reaches here outside setTimeRange.
    if (!m_settingRange)
        m_operatorMoved = true;
}

void MeasurementChart::onMouseRelease() {
    // Dragged back to the newest data: following resumes from where the view is now.
    if (!m_follow || !m_operatorMoved)
        return;
    const std::optional<double> newest = newestKey();
    if (!newest || *newest <= xAxis->range().upper)
        m_operatorMoved = false;
}

void MeasurementChart::setTimeAxisMax(double seconds) {
    m_configuredMax = seconds;
    const QCPRange now = xAxis->range();
    if (followsNewest() || now.lower >= seconds) {
        setTimeRange(QCPRange(0, seconds));
        followNewest();
    } else {
        setTimeRange(QCPRange(now.lower, seconds));
    }
    replotQueued();
}

void MeasurementChart::setFollowNewest(bool follow) {
    m_follow = follow;
    returnToConfiguredView();
}

void MeasurementChart::returnToConfiguredView() {
    m_operatorMoved = false;
    setTimeRange(QCPRange(0, m_configuredMax));
    setValueRange(m_configuredValueRange);
    followNewest();
    replotQueued();
}

void MeasurementChart::fitToCurves() {
    bool any = false;
    QCPRange keys;
    QCPRange values;
    for (int i : {0, 1}) {
        if (!m_series[i]->visible())
            continue;
        const std::optional<SignalTrace::Range> kr = m_traces[i].keyRange();
        const std::optional<SignalTrace::Range> vr = m_traces[i].valueRange();
        if (!kr || !vr)
            continue;
        const QCPRange k(kr->lower, kr->upper);
        const QCPRange v(vr->lower, vr->upper);
        keys = any ? QCPRange(std::min(keys.lower, k.lower), std::max(keys.upper, k.upper)) : k;
        values =
            any ? QCPRange(std::min(values.lower, v.lower), std::max(values.upper, v.upper)) : v;
        any = true;
    }
    if (!any)
        return;
    if (keys.size() <= 0)
        keys = QCPRange(keys.lower - 1, keys.upper + 1);
    // A flat curve still gets a band around it, so it does not sit on the frame.
    const double margin = values.size() > 0 ? values.size() * kFitMargin
                                            : std::max(1.0, std::abs(values.lower) * kFitMargin);
    setTimeRange(keys);
    setValueRange(QCPRange(values.lower - margin, values.upper + margin));
    // A one-shot view: new samples leave it alone until the operator returns.
    m_operatorMoved = true;
    replotQueued();
}

std::optional<double> MeasurementChart::newestKey() const {
    std::optional<double> newest;
    for (int i : {0, 1}) {
        if (!m_series[i]->visible() || m_traces[i].empty())
            continue;
        const double key = m_traces[i].keyRange()->upper;
        newest = newest ? std::max(*newest, key) : key;
    }
    return newest;
}

bool MeasurementChart::followNewest() {
    if (!followsNewest())
        return false;
    const std::optional<double> newest = newestKey();
    if (!newest || *newest <= xAxis->range().upper)
        return false;
    setTimeRange(QCPRange(*newest - m_configuredMax, *newest));
    return true;
}

QCPGraph* MeasurementChart::series(int index) const {
    if (index < 0 || index >= kSeriesCount) {
        qCWarning(lcChart) << "no chart series" << index;
        return nullptr;
    }
    return m_series[index];
}

void MeasurementChart::setSeriesData(int index, const QVector<double>& x,
                                     const QVector<double>& y) {
    if (QCPGraph* graph = series(index)) {
        SignalTrace& trace = m_traces[index];
        trace.clear();
        const qsizetype n = std::min(x.size(), y.size());
        for (qsizetype i = 0; i < n; ++i)
            trace.append(x[i], y[i]);
        m_pictures[index].valid = false;
        refreshPicture(index, true);
        m_dataDirty = m_dataDirty || graph->visible();
    }
}

void MeasurementChart::addSeriesData(int index, const QVector<double>& x,
                                     const QVector<double>& y) {
    QCPGraph* graph = series(index);
    const qsizetype n = std::min(x.size(), y.size());
    if (!graph || n == 0)
        return;
    SignalTrace& trace = m_traces[index];
    Picture& picture = m_pictures[index];
    const bool touches = touchesVisibleRange(index, x.first(), x[n - 1]);
    // A curve that shows the samples as they are, up to the last, takes the new ones straight
    // when they show; anything else is drawn anew from the trace at the next repaint.
    const bool straight = touches && picture.valid && picture.raw && picture.samples == trace.size();
    for (qsizetype i = 0; i < n; ++i)
        trace.append(x[i], y[i]);
    if (straight) {
        graph->addData(x.first(n), y.first(n), /*alreadySorted=*/true);
        picture.samples = trace.size();
    }
    if (graph->visible() && touches)
        m_dataDirty = true;
    if (graph->visible() && followNewest()) {
        m_axisMoved = true;
        m_dataDirty = true;
    }
}

void MeasurementChart::clearSeries(int index) {
    QCPGraph* graph = series(index);
    if (!graph || m_traces[index].empty())
        return;
    if (graph->visible())
        m_dataDirty = true;
    m_traces[index].clear();
    graph->data()->clear();
    m_pictures[index] = Picture{xAxis->range(), m_pictures[index].columns, 0, true, true};
}

std::size_t MeasurementChart::sampleCount(int index) const {
    return index >= 0 && index < kSeriesCount ? m_traces[index].size() : 0;
}

std::size_t MeasurementChart::seriesBytes() const {
    std::size_t bytes = m_scratch.capacity() * sizeof(SignalTrace::Point);
    for (int i = 0; i < kSeriesCount; ++i)
        bytes += m_traces[i].bytes() + static_cast<std::size_t>(m_series[i]->dataCount()) * sizeof(QCPGraphData);
    return bytes;
}

bool MeasurementChart::touchesVisibleRange(int index, double from, double to) const {
    const QCPRange visible = xAxis->range();
    if (const std::optional<SignalTrace::Range> keys = m_traces[index].keyRange())
        from = std::min(from, keys->upper);
    return to >= visible.lower && from <= visible.upper;
}

void MeasurementChart::refreshPictures() {
    for (int i = 0; i < kSeriesCount; ++i)
        refreshPicture(i, false);
}

void MeasurementChart::refreshPicture(int index, bool evenHidden) {
    QCPGraph* graph = m_series[index];
    if (!graph->visible() && !evenHidden)
        return;
    const QCPRange range = xAxis->range();
    const int width = axisRect()->width();
    const int columns = width > 0 ? width : 1000; // not laid out yet
    const SignalTrace& trace = m_traces[index];
    Picture& picture = m_pictures[index];
    if (picture.valid && picture.range == range && picture.columns == columns && picture.samples == trace.size())
        return;
    const bool raw = trace.picture(range.lower, range.upper, static_cast<std::size_t>(columns),
                                   kSamplesPerColumn, m_scratch);
    QVector<QCPGraphData> points;
    points.reserve(static_cast<qsizetype>(m_scratch.size()));
    for (const SignalTrace::Point& p : m_scratch)
        points.append(QCPGraphData(p.x, p.y));
    graph->data()->set(points, /*alreadySorted=*/true);
    picture = Picture{range, columns, trace.size(), raw, true};
}

void MeasurementChart::setRepaintClock(const Clock& clock) {
    m_repaintClock = &clock;
}

void MeasurementChart::replotData() {
    if (!m_dataDirty)
        return;
    const Millis wait = untilCurvesRepaint();
    if (!m_curvesRepaintTimer.isActive() || wait < m_curvesRepaintTimer.remainingTimeAsDuration())
        m_curvesRepaintTimer.start(wait);
}

Millis MeasurementChart::untilCurvesRepaint() const {
    if (!m_curvesDrawnAt)
        return Millis(0);
    const Millis since = m_repaintClock->monotonicNow() - *m_curvesDrawnAt;
    return std::clamp(kCurvesRepaintInterval - since, Millis(0), kCurvesRepaintInterval);
}

void MeasurementChart::onCurvesRepaintDue() {
    if (!m_dataDirty)
        return; // a whole repaint came first
    // The timer may fire a little early, and a clock set for the chart need not be real time.
    if (const Millis wait = untilCurvesRepaint(); wait > Millis(0)) {
        m_curvesRepaintTimer.start(wait);
        return;
    }
    repaintCurves();
}

void MeasurementChart::repaintCurves() {
    m_curvesDrawnAt = m_repaintClock->monotonicNow();
    refreshPictures();
    m_dataDirty = false;
    if (hasInvalidatedPaintBuffers()) {
        // A layer replot would redraw everything anyway, once per layer.
        m_axisMoved = false;
        replot();
        emit curvesRepainted();
        return;
    }
    if (std::exchange(m_axisMoved, false)) {
        // Tick positions follow the range only in a whole replot's preparation; chords (when
        // there are any) move with the axis.
        axisRect()->update(QCPLayoutElement::upPreparation);
        if (m_overlay->shows())
            layer(QStringLiteral("overlay"))->replot();
    }
    layer(QStringLiteral("main"))->replot();
    emit curvesRepainted();
}

void MeasurementChart::replotOverlay() {
    if (m_overlayReplotPending)
        return;
    m_overlayReplotPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_overlayReplotPending = false;
            layer(QStringLiteral("overlay"))->replot();
        },
        Qt::QueuedConnection);
}

void MeasurementChart::setTitle(const QString& text) {
    m_title->setText(text);
}

QString MeasurementChart::title() const {
    return m_title->text();
}

void MeasurementChart::setOverlaySource(OverlaySource source) {
    m_overlay->setSource(std::move(source));
}

int MeasurementChart::bottomAxisPixel(double seconds) const {
    return toPixel(xAxis->coordToPixel(seconds));
}

int MeasurementChart::leftAxisPixel(double value) const {
    return toPixel(yAxis->coordToPixel(value));
}

void MeasurementChart::paintEvent(QPaintEvent* event) {
    // The topmost opaque buffer covers the whole widget: nothing below it needs painting.
    qsizetype bottom = mPaintBuffers.size() - 1;
    for (; bottom >= 0; --bottom) {
        const auto* buffer = dynamic_cast<const PaintBuffer*>(mPaintBuffers.at(bottom).data());
        if (buffer && buffer->opaque())
            break;
    }
    if (bottom < 0) {
        QCustomPlot::paintEvent(event);
        return;
    }
    QCPPainter painter(this);
    if (!painter.isActive())
        return;
    for (qsizetype i = bottom; i < mPaintBuffers.size(); ++i)
        mPaintBuffers.at(i)->draw(&painter);
}

void MeasurementChart::replotQueued() {
    m_dataDirty = false; // a whole repaint draws the curves too
    m_axisMoved = false;
    replot(QCustomPlot::rpQueuedReplot);
}

} // namespace korvat
