#pragma once
// Counts how often the curves of a chart were drawn and how often the chart widget was painted:
// a drawing-free item on the layer of a series, which the chart draws whenever that series is
// redrawn (a layer repaint for new samples or a whole repaint), and a watch on the widget's paint
// events, which put the drawn buffers on the screen. It also keeps the time of the series' newest
// point at the last drawing. Benchmarks use it to check that what they time really drew.

#include <QEvent>
#include <cmath>
#include <qcustomplot.h>

namespace korvat::bench {

class ChartProbe final : public QCPLayerable {
public:
    explicit ChartProbe(QCPGraph* series)
        : QCPLayerable(series->parentPlot(), series->layer()->name()), series_(series) {
        series->parentPlot()->installEventFilter(this);
    }

    long draws() const { return draws_; }
    long paints() const { return paints_; }
    // The key of the series' last point when the series was last drawn (NaN: none yet).
    double newestDrawn() const { return newestDrawn_; }

protected:
    void applyDefaultAntialiasingHint(QCPPainter*) const override {}
    void draw(QCPPainter*) override {
        ++draws_;
        newestDrawn_ = series_->data()->isEmpty() ? NAN : (series_->data()->constEnd() - 1)->key;
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints_;
        return false;
    }

private:
    QCPGraph* series_;
    long draws_ = 0;
    long paints_ = 0;
    double newestDrawn_ = NAN;
};

} // namespace korvat::bench
