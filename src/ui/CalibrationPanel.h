#pragma once
// The detectors' calibrations as the operator checks them before a test: per detector the points
// of the current calibration (each can be left out of the curve or taken in again), the curve in
// force with its R² and each point's residual, and the control chart of the response factor
// (area per ppm) over the history with its centre line and the ±2 s / ±3 s lines.

#include "run/CalibrationStore.h"

#include <QWidget>
#include <array>

class QLabel;
class QListWidget;

namespace korvat {

// The control chart drawn small: the response factors in time order, the newest one marked.
class ControlChartView : public QWidget {
    Q_OBJECT
public:
    explicit ControlChartView(QWidget* parent);
    void show(const ControlChart& chart);
    const ControlChart& chart() const { return chart_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ControlChart chart_;
};

class CalibrationPanel : public QWidget {
    Q_OBJECT
public:
    explicit CalibrationPanel(QWidget* parent);
    // The captions in the program's language (German 0, English 1000).
    void translate(int offset);
    void show(const CalibrationDisplay& display);

    // What the panel shows of a detector, for the tests.
    QString curveText(Detector d) const;
    QStringList pointTexts(Detector d) const;
    const ControlChartView& chartView(Detector d) const { return *columns_[static_cast<std::size_t>(d)].chart; }
    // Ticks or clears point `index` as the operator would.
    void choosePoint(Detector d, int index, bool used);

signals:
    // The operator took point `index` of the detector's current calibration into the curve, or
    // left it out.
    void pointChosen(int detector, int index, bool used);

private:
    struct Column {
        QLabel* title = nullptr;
        QLabel* curve = nullptr;
        QListWidget* points = nullptr;
        ControlChartView* chart = nullptr;
        CalibrationDisplay shown;
    };
    void refresh(Detector d);

    std::array<Column, 2> columns_;
    int offset_ = 0;
    bool filling_ = false;
};

} // namespace korvat
