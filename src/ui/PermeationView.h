#pragma once
// The permeation view: what the run has measured of every sample cell and detector, as the lab
// reads it. The rate over the test time, one curve per cell and detector (cells in colours of
// their own, the FPD curves dashed, every measurement marked), the 0.1 and 1.0 ug/cm²/min lines,
// a diamond where each curve crosses them (the interpolated breakthrough), the cumulative
// permeation on the right axis when asked for, and under the chart a table of the figures.
//
// A window of its own, owned by the main window, so the live signal chart stays in sight. It is
// told the figures after every measurement, shown or not, and changes only what changed: a curve
// whose measurements are the same keeps its data, a table cell its text. The operator zooms and
// drags both axes with the mouse; a view they moved stays put as measurements come in, and a
// double-click brings back the whole test.
//
// On the logarithmic rate axis, measurements of rate 0 (and below) are left out: there is no
// place for them on that axis, and a made-up floor would pretend to a rate nobody measured.

#include "evaluation/CellSummary.h"

#include <QWidget>
#include <array>
#include <optional>
#include <vector>

class QCheckBox;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCPRange;
class QCustomPlot;
class QTableWidget;

namespace korvat {

class PermeationView final : public QWidget {
    Q_OBJECT

public:
    // The table's columns, in order.
    enum Column {
        CellColumn,
        DetectorColumn,
        SampleColumn,
        Bt01FirstColumn,
        Bt01Column,
        Bt10FirstColumn,
        Bt10Column,
        ResolutionColumn,
        LevelColumn,
        SteadyStateColumn,
        CumulativeColumn,
        Cumulative60Column,
        Cumulative480Column,
        DetectionLimitColumn,
        TestTimeColumn,
        MolarMassColumn, // the rates' mass basis: the chemical's molar mass, or the isobutane equivalent
        UBt10Column,     // the expanded uncertainty (k = 2) of the breakthrough at 1.0
        DecisionColumn,  // the cell against the run's requirement
        kColumnCount
    };
    // What a figure that does not exist shows (a breakthrough or steady state not reached, a
    // cumulative at 480 min of a shorter test, a detection limit without blanks); where it is a
    // figure not reached yet, its tooltip says so.
    static const QString kNoFigure;

    // A top-level window of its own; `owner` (the main window) keeps it and takes it along.
    explicit PermeationView(QWidget* owner = nullptr);
    ~PermeationView() override;

    // Every text of the view from the string table, German (0) or English (1000).
    void translate(int offset);
    // The figures of the run after its latest measurement (CellSummary order), whether the window
    // is shown or not; an empty list clears the view.
    void showSummaries(const std::vector<CellSummary>& summaries);
    // Shows the window, brought to the front (also when it was already open or minimised).
    void open();

    void setLogarithmic(bool on);
    bool logarithmic() const;
    void setCumulativeShown(bool on);
    bool cumulativeShown() const;
    // The whole test in sight: from the start to the last measurement, every rate (and the two
    // limit lines). Measurements coming in keep it so until the operator moves the view again.
    void showWholeTest();
    // Whether new measurements widen the view (no zoom or drag since the last whole view).
    bool followsWholeTest() const { return !m_operatorMoved; }

    // The parts, for the window's tests and benchmarks. A curve's graphs are nullptr while the
    // cell has no measurement of that detector.
    QCustomPlot* plot() const { return m_plot; }
    QTableWidget* table() const { return m_table; }
    QCheckBox* logarithmicSwitch() const { return m_logSwitch; }
    QCheckBox* cumulativeSwitch() const { return m_cumulativeSwitch; }
    QCPGraph* rateGraph(int cell, Detector detector) const;
    QCPGraph* cumulativeGraph(int cell, Detector detector) const;
    QCPGraph* breakthroughMarkers(int cell, Detector detector) const;
    // 0: the 0.1 line, 1: the 1.0 line.
    QCPItemStraightLine* limitLine(int index) const { return m_limits[index].line; }
    QCPItemText* limitLabel(int index) const { return m_limits[index].label; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // One cell and detector: slot (cell − 1) × 2 + (FPD ? 1 : 0).
    static constexpr int kSlots = 6;
    struct Curve {
        QCPGraph* rate = nullptr;
        QCPGraph* cumulative = nullptr;
        QCPGraph* markers = nullptr;
        std::vector<RatePoint> series;
        double contactRate = 0; // where the cumulative curve starts from
        std::array<std::optional<double>, 2> crossings; // at 0.1 and 1.0
        QString sampleName;
    };
    struct Limit {
        double rate = 0;
        QCPItemStraightLine* line = nullptr;
        QCPItemText* label = nullptr;
    };

    QString T(int n) const;
    const Curve* curve(int cell, Detector detector) const;
    void addCurve(int slot);
    void removeCurve(int slot);
    void fillRateGraph(const Curve& curve);
    QString curveName(int slot) const;
    void rebuildLegend();
    // Table texts from the figures; true when a text changed.
    bool updateTable();
    QString decisionText(Decision d) const;
    QStringList rowTexts(const CellSummary& summary) const;
    QString tipOf(const CellSummary& summary, int column, const QString& text) const;
    void setCellText(int row, int column, const QString& text);
    void applyHeaderTexts();
    // Axis ranges set here, as opposed to the operator's zoom and drag.
    void setRanges(const QCPRange& time, const QCPRange& rate, const QCPRange& cumulative);
    void fitWholeTest();
    void onRangeChanged();
    void updateDragAxes();
    // Draws the chart once in the next event loop pass, if it is on the screen.
    void replotWhenShown();

    QCustomPlot* m_plot = nullptr;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_logSwitch = nullptr;
    QCheckBox* m_cumulativeSwitch = nullptr;
    QCPGraph* m_markerLegend = nullptr;
    std::array<Curve, kSlots> m_curves;
    std::array<Limit, 2> m_limits;
    std::vector<CellSummary> m_summaries;
    std::optional<int> m_offset;
    bool m_operatorMoved = false;
    bool m_settingRanges = false;
};

} // namespace korvat
