#pragma once
// Counts how often the curves of a chart were drawn and how often the chart widget was painted:
// a drawing-free item on the layer of a series, which the chart draws whenever that series is
// redrawn (a layer repaint for new samples or a whole repaint), and a watch on the widget's paint
// events, which put the drawn buffers on the screen. Benchmarks use it to check that what they
// time really drew.

#include <QEvent>
#include <qcustomplot.h>

namespace korvat::bench {

class ChartProbe final : public QCPLayerable {
public:
    explicit ChartProbe(QCPGraph* series)
        : QCPLayerable(series->parentPlot(), series->layer()->name()) {
        series->parentPlot()->installEventFilter(this);
    }

    long draws() const { return draws_; }
    long paints() const { return paints_; }

protected:
    void applyDefaultAntialiasingHint(QCPPainter*) const override {}
    void draw(QCPPainter*) override { ++draws_; }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints_;
        return false;
    }

private:
    long draws_ = 0;
    long paints_ = 0;
};

} // namespace korvat::bench
