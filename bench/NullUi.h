#pragma once
// A view and dialogs that show nothing, for benchmarks that measure the core alone. The dialogs
// keep what they were asked to show, so a benchmark can tell that its run went without a message.

#include "app/MainView.h"
#include "util/Dialogs.h"

#include <QStringList>

namespace korvat::bench {

// Shows nothing: the core keeps every state it needs itself.
class NullView final : public MainView {
public:
    void logLine(const QString&) override {}
    void eventAdded(const RunEvent&) override {}
    void warningShown(bool) override {}
    void statusText(const QString&) override {}
    void valveShown(int, int, bool) override {}
    void lampShown(Lamp, bool) override {}
    void readBackShown(ReadBack, const QString&) override {}
    void inputShown(Input, const QString&) override {}
    void inputLabelShown(Input, const QString&) override {}
    void checkShown(Check, bool) override {}
    void runControlsShown(const RunControls&) override {}
    void runTimeShown(const QString&) override {}
    void delayShown(const QString&) override {}
    void startShown(const QString&) override {}
    void cellShown(int, const CellState&) override {}
    void chemicalShown(const QString&) override {}
    void resultShown(Detector, const QString&) override {}
    void calibratedShown(Detector, bool) override {}
    void levelShown(Detector, const QString&) override {}
    void summariesShown(const std::vector<CellSummary>&) override {}
    void monitorShown(const QString&) override {}
    void seriesAppended(int, std::span<const double>, std::span<const double>) override {}
    void seriesCleared(int) override {}
    void curvesChanged() override {}
    void chordsChanged() override {}
    void timeAxisShown(double) override {}
    void followNewestShown(bool) override {}
    void windowCaptionShown(const QString&) override {}
    void chartCaptionsShown(const ChartCaptions&) override {}
    void valueAxisShown(double, double) override {}
    void infoShown(InfoLabel, const QString&) override {}
    void standardShown(int) override {}
    void connectionShown(int, const QString&, bool) override {}
    void substancesShown(SubstanceGrid, const QStringList&) override {}
    void powerShown(bool) override {}
    void switchCaptionShown(Check, const QString&) override {}
};

class NullDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString&) override { shown << text; }
    void information(const QString& text) override { shown << text; }
    void error(const QString& text) override { shown << text; }
    bool question(const QString& text) override {
        shown << text;
        return false;
    }
    // The file dialogs answer with `fileName`.
    QString saveFileName(const QString&, const QString&) override { return fileName; }
    QString openFileName(const QString&, const QString&) override { return fileName; }

    QStringList shown;
    QString fileName;
};

} // namespace korvat::bench
