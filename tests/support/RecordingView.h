#pragma once
// A FormView that remembers what the core told it, for tests without a window.

#include "shell/FormView.h"
#include "support/QtPrinters.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <map>

namespace korvat::test {

class RecordingView : public FormView {
public:
    void setWindowCaption(const QString& t) override { windowCaption = t; }
    void setText(const QString& c, const QString& t) override { texts[c] = t; }
    QString text(const QString& c) const override { return texts.value(c); }
    void setEditLabel(const QString& c, const QString& t) override { labels[c] = t; }
    QString editLabel(const QString& c) const override { return labels.value(c); }
    void setEnabled(const QString& c, bool e) override { enabled[c] = e; }
    void setLedOn(const QString& c, bool on) override { leds[c] = on; }
    bool ledOn(const QString& c) const override { return leds.value(c); }
    void setDown(const QString& c, bool d) override { down[c] = d; }
    bool isDown(const QString& c) const override { return down.value(c); }
    void setBackground(const QString& c, Rgb colour) override { backgrounds[c] = colour; }
    void setChecked(const QString& c, bool on) override { checked[c] = on; }
    bool isChecked(const QString& c) const override { return checked.value(c); }
    void setItemIndex(const QString& c, int i) override { itemIndexes[c] = i; }
    int itemIndex(const QString& c) const override { return itemIndexes.value(c, -1); }
    void setConnectionItem(int i, const QString& t, bool on) override { connections[i] = {t, on}; }
    void setValueList(const QString& c, const QStringList& l) override { valueLists[c] = l; }
    QStringList valueList(const QString& c) const override { return valueLists.value(c); }
    void setChartTitle(const QString& t) override { chartTitle = t; }
    void setBottomAxisMax(double s) override { bottomMax = s; }
    void setLeftAxisRange(double lo, double hi) override {
        leftMin = lo;
        leftMax = hi;
    }
    void setLeftAxisTitle(const QString& t) override { leftTitle = t; }
    void setSeriesTitle(int s, const QString& t) override { seriesTitles[s] = t; }
    void appendSeries(int s, std::span<const double> x, std::span<const double> y) override {
        auto& series = seriesData[s];
        series.first.insert(series.first.end(), x.begin(), x.end());
        series.second.insert(series.second.end(), y.begin(), y.end());
    }
    void clearSeries(int s) override { seriesData[s] = {}; }
    void replotChart() override { ++replots; }
    void repaintChartOverlay() override { ++overlayRepaints; }
    void addLogLine(const QString& t) override { log.append(t); }
    void setStatusText(const QString& t) override { status = t; }

    QString windowCaption, chartTitle, leftTitle, status;
    QHash<QString, QString> texts, labels;
    QHash<QString, bool> enabled, leds, down, checked;
    QHash<QString, Rgb> backgrounds;
    QHash<QString, int> itemIndexes;
    std::map<int, std::pair<QString, bool>> connections;
    QHash<QString, QStringList> valueLists;
    QMap<int, QString> seriesTitles;
    double bottomMax = -1, leftMin = -1, leftMax = -1;
    QStringList log;
    std::map<int, std::pair<std::vector<double>, std::vector<double>>> seriesData;
    int replots = 0;
    int overlayRepaints = 0;
};

} // namespace korvat::test
