#pragma once
// A MainView that remembers what the core told it, call by call, for tests without a window: the
// latest value of every typed display, and the series and repaint counts of the chart.

#include "app/MainView.h"
#include "support/QtPrinters.h"

#include <map>

namespace korvat::test {

// The latest value per key; value() gives the fallback for a key never shown.
template <class K, class V> struct Latest : std::map<K, V> {
    V value(const K& key, V fallback = {}) const {
        const auto it = this->find(key);
        return it == this->end() ? fallback : it->second;
    }
};

class RecordingView : public MainView {
public:
    // LinkView
    void logLine(const QString& t) override { log.append(t); }
    void statusText(const QString& t) override { status = t; }
    void valveShown(int bank, int bit, bool open) override { valves[{bank, bit}] = open; }
    void lampShown(Lamp l, bool on) override { lamps[l] = on; }
    void readBackShown(ReadBack r, const QString& t) override { readBacks[r] = t; }
    // RunView
    void inputShown(Input i, const QString& t) override { inputs[i] = t; }
    void inputLabelShown(Input i, const QString& t) override { inputLabels[i] = t; }
    void checkShown(Check c, bool on) override { checks[c] = on; }
    void runControlsShown(const RunControls& c) override { controls = c; }
    void runTimeShown(const QString& t) override { runTime = t; }
    void delayShown(const QString& t) override { delay = t; }
    void startShown(const QString& t) override { start = t; }
    void cellShown(int k, const CellState& s) override { cells[k] = s; }
    void progressShown(const RunProgress& p) override { progress = p; }
    void chemicalShown(const QString& t) override { chemical = t; }
    void resultShown(Detector d, const QString& t) override { results[d] = t; }
    void calibratedShown(Detector d, bool on) override { calibrated[d] = on; }
    void levelShown(Detector d, const QString& t) override { levels[d] = t; }
    void summariesShown(const std::vector<CellSummary>& s) override { summaries = s; }
    void monitorShown(const QString& t) override { monitorCaption = t; }
    void eventAdded(const RunEvent& e) override { events.push_back(e); }
    void warningShown(bool lit) override { warning = lit; }
    void storageShown(const StorageState& s) override {
        storage = s;
        storageHistory.push_back(s);
    }
    void seriesAppended(int s, std::span<const double> x, std::span<const double> y) override {
        auto& series = seriesData[s];
        series.first.insert(series.first.end(), x.begin(), x.end());
        series.second.insert(series.second.end(), y.begin(), y.end());
    }
    void seriesCleared(int s) override { seriesData[s] = {}; }
    void curvesChanged() override { ++replots; }
    void chordsChanged() override { ++overlayRepaints; }
    void timeAxisShown(double s) override { bottomMax = s; }
    void followNewestShown(bool f) override { followsNewest = f; }
    // MainView
    void windowCaptionShown(const QString& t) override { windowCaption = t; }
    void chartCaptionsShown(const ChartCaptions& c) override { chartCaptions = c; }
    void valueAxisShown(double lo, double hi) override {
        leftMin = lo;
        leftMax = hi;
    }
    void infoShown(InfoLabel l, const QString& t) override { infos[l] = t; }
    void standardShown(int item) override { standard = item; }
    void connectionShown(int i, const QString& t, bool on) override { connections[i] = {t, on}; }
    void substancesShown(SubstanceGrid g, const QStringList& rows) override { substances[g] = rows; }
    void powerShown(bool on) override { power = on; }
    void switchCaptionShown(Check c, const QString& t) override { switchCaptions[c] = t; }

    // A cell's lamp and label as the window shows them (cell 1..3).
    bool cellOff(int k) const { return cells.count(k) && cells.at(k).off; }
    QString cellTime(int k) const { return cells.count(k) ? cells.at(k).timeText : QString(); }
    bool lamp(Lamp l) const { return lamps.value(l, false); }
    bool valve(int bank, int bit) const { return valves.count({bank, bit}) && valves.at({bank, bit}); }

    RunProgress progress;
    QString status, windowCaption, runTime, delay, start, chemical, monitorCaption;
    QStringList log;
    std::map<std::pair<int, int>, bool> valves;
    Latest<Lamp, bool> lamps;
    Latest<ReadBack, QString> readBacks;
    Latest<Input, QString> inputs, inputLabels;
    Latest<Check, bool> checks;
    RunControls controls;
    std::map<int, CellState> cells;
    Latest<Detector, QString> results, levels;
    Latest<Detector, bool> calibrated;
    ChartCaptions chartCaptions;
    Latest<InfoLabel, QString> infos;
    int standard = -2;
    std::map<int, std::pair<QString, bool>> connections;
    Latest<SubstanceGrid, QStringList> substances;
    bool power = false;
    Latest<Check, QString> switchCaptions;
    double bottomMax = -1, leftMin = -1, leftMax = -1;
    bool followsNewest = false;
    std::vector<CellSummary> summaries;
    std::vector<RunEvent> events;
    bool warning = false;
    StorageState storage;
    std::vector<StorageState> storageHistory;
    std::map<int, std::pair<std::vector<double>, std::vector<double>>> seriesData;
    int replots = 0;
    int overlayRepaints = 0;
};

} // namespace korvat::test
