#pragma once
// What the core tells the main window to show. Controls are addressed by their names
// ("editIsobutan", "ledSmpOff1", ...); the window looks them up once and keeps them.
// Tests implement this with a recorder; no core class ever sees a widget.

#include <QString>
#include <QStringList>
#include <span>

namespace korvat {

// A background colour, red/green/blue 0..255 (the core links no GUI module).
struct Rgb {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

class FormView {
public:
    virtual ~FormView() = default;

    virtual void setWindowCaption(const QString& text) = 0;
    // Caption of a label, button, group box, check box or indicator; the text of an edit.
    virtual void setText(const QString& control, const QString& text) = 0;
    virtual QString text(const QString& control) const = 0;
    // The attached label of a labelled edit or memo.
    virtual void setEditLabel(const QString& control, const QString& text) = 0;
    virtual QString editLabel(const QString& control) const = 0;
    virtual void setEnabled(const QString& control, bool enabled) = 0;
    virtual void setLedOn(const QString& control, bool on) = 0;
    virtual bool ledOn(const QString& control) const = 0;
    // Pressed state of a two-state (toggle) button.
    virtual void setDown(const QString& control, bool down) = 0;
    virtual bool isDown(const QString& control) const = 0;
    virtual void setBackground(const QString& control, Rgb colour) = 0;
    virtual void setChecked(const QString& control, bool checked) = 0;
    virtual bool isChecked(const QString& control) const = 0;
    // Selected item of a radio group, -1 for none.
    virtual void setItemIndex(const QString& control, int index) = 0;
    virtual int itemIndex(const QString& control) const = 0;
    // One line of the connection list clBoxConnection.
    virtual void setConnectionItem(int index, const QString& text, bool checked) = 0;
    // Rows "name=value" of a value list editor.
    virtual void setValueList(const QString& control, const QStringList& lines) = 0;
    virtual QStringList valueList(const QString& control) const = 0;

    // The chart.
    virtual void setChartTitle(const QString& text) = 0;
    virtual void setBottomAxisMax(double seconds) = 0;
    // Monitoring: the time axis keeps its width and moves with the newest sample once that passes
    // the right edge, unless the operator moved the view. Off: back to the configured view.
    virtual void setChartFollowsNewest(bool follow) { (void)follow; }
    virtual void setLeftAxisRange(double minimum, double maximum) = 0;
    virtual void setLeftAxisTitle(const QString& text) = 0;
    virtual void setSeriesTitle(int series, const QString& text) = 0;
    // Series 0 (Series1, FID) and 1 (Series2, FPD) mirror the run side's data: points are appended
    // as they arrive and the chart repainted once per batch.
    virtual void appendSeries(int series, std::span<const double> x, std::span<const double> y) = 0;
    virtual void clearSeries(int series) = 0;
    virtual void replotChart() = 0;
    // The baseline chords drawn over the curves changed (or were switched on or off).
    virtual void repaintChartOverlay() {}

    // The log memo on the settings page (keeps the most recent lines) and the status line.
    virtual void addLogLine(const QString& text) = 0;
    virtual void setStatusText(const QString& text) = 0;
};

} // namespace korvat
