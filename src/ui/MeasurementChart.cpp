#include "ui/MeasurementChart.h"

#include <QLoggingCategory>

#include <algorithm>
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

    plotLayout()->insertRow(0);
    QFont titleFont = font();
    titleFont.setBold(true);
    m_title = new QCPTextElement(this, QString(), titleFont);
    plotLayout()->addElement(0, 0, m_title);

    xAxis->setRange(0, m_configuredMax);
    yAxis->setRange(0, 10000);
    xAxis2->setVisible(false);
    yAxis2->setVisible(false);

    setInteractions(QCP::iRangeDrag);
    axisRect()->setRangeDrag(Qt::Horizontal);
    legend->setVisible(true);

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

    // Two paint buffers: the chart itself and the chords over it. A repaint's cost is mostly
    // clearing and blending whole-widget buffers, not drawing, so new samples (and a view that
    // follows them, which moves grid and tick labels too) redraw the one "main" layer, and a
    // chord change redraws the overlay alone. Removing a layer keeps the drawing order: its
    // elements go to the neighbouring layer, at the near end.
    for (const char* name : {"grid", "background", "legend", "axes"})
        removeLayer(layer(QString::fromLatin1(name)));
    layer(QStringLiteral("main"))->setMode(QCPLayer::lmBuffered);
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmBuffered);

    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &MeasurementChart::onRangeChanged);
    connect(this, &QCustomPlot::mouseRelease, this, &MeasurementChart::onMouseRelease);
    connect(this, &QCustomPlot::mouseDoubleClick, this, &MeasurementChart::returnToConfiguredView);
}

void MeasurementChart::setTimeRange(const QCPRange& range) {
    m_settingRange = true;
    xAxis->setRange(range);
    m_settingRange = false;
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
    followNewest();
    replotQueued();
}

std::optional<double> MeasurementChart::newestKey() const {
    std::optional<double> newest;
    for (const QCPGraph* graph : {m_series[0], m_series[1]}) {
        if (!graph->visible() || graph->data()->isEmpty())
            continue;
        const double key = (graph->data()->constEnd() - 1)->key;
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
        graph->setData(x, y, /*alreadySorted=*/true);
        m_dataDirty = m_dataDirty || graph->visible();
    }
}

void MeasurementChart::addSeriesData(int index, const QVector<double>& x,
                                     const QVector<double>& y) {
    QCPGraph* graph = series(index);
    if (!graph || x.isEmpty())
        return;
    if (graph->visible() && touchesVisibleRange(graph, x.first(), x.last()))
        m_dataDirty = true;
    graph->addData(x, y, /*alreadySorted=*/true);
    if (graph->visible() && followNewest()) {
        m_axisMoved = true;
        m_dataDirty = true;
    }
}

void MeasurementChart::clearSeries(int index) {
    QCPGraph* graph = series(index);
    if (!graph || graph->data()->isEmpty())
        return;
    if (graph->visible())
        m_dataDirty = true;
    graph->data()->clear();
}

bool MeasurementChart::touchesVisibleRange(const QCPGraph* graph, double from, double to) const {
    const QCPRange visible = xAxis->range();
    if (!graph->data()->isEmpty())
        from = std::min(from, (graph->data()->constEnd() - 1)->key);
    return to >= visible.lower && from <= visible.upper;
}

void MeasurementChart::replotData() {
    if (!m_dataDirty || m_dataReplotPending)
        return;
    m_dataReplotPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_dataReplotPending = false;
            if (!m_dataDirty)
                return;
            m_dataDirty = false;
            if (hasInvalidatedPaintBuffers()) {
                // A layer replot would redraw everything anyway, once per layer.
                m_axisMoved = false;
                replot();
                return;
            }
            if (std::exchange(m_axisMoved, false)) {
                // Tick positions follow the range only in a whole replot's preparation; chords
                // (when there are any) move with the axis.
                axisRect()->update(QCPLayoutElement::upPreparation);
                if (m_overlay->shows())
                    layer(QStringLiteral("overlay"))->replot();
            }
            layer(QStringLiteral("main"))->replot();
        },
        Qt::QueuedConnection);
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

void MeasurementChart::replotQueued() {
    m_dataDirty = false; // a whole repaint draws the curves too
    m_axisMoved = false;
    replot(QCustomPlot::rpQueuedReplot);
}

} // namespace korvat
