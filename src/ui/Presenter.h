#pragma once
// The one place where the program's model meets the window's controls. As the program's view it
// maps every typed call (an input the core set, a cell that broke through, a lamp, a read-back)
// onto the controls that show it; attached to the program, it sends each control event to the
// handler of the same name and keeps the core's copy of what the operator types up to date.
// The control names live here and in the window, nowhere else.

#include "app/MainView.h"

#include <QString>

namespace korvat {

class KorvatApp;
class EventListWindow;
class PermeationView;
class TForm1;

class Presenter final : public MainView {
public:
    explicit Presenter(TForm1& form) : form_(form) {}

    // Connects the window's events to `app`'s handlers and hands the core what the window holds
    // now (the designed description, the state of the check boxes).
    void attach(KorvatApp& app);

    // The controls of each input, check, lamp and so on (for the window's tests too).
    static QString controlOf(Input input);
    static QString controlOf(Check check);
    static QString controlOf(Lamp lamp);
    static QString controlOf(ReadBack readBack);
    static QString controlOf(InfoLabel label);

    // The permeation view (btnPermeation), a window of its own that the main window owns. It is
    // made with the first figures or the first click and then told every change, open or not.
    PermeationView* permeationView() const { return permeation_; }
    // The list of the run's events (opened from the warning lamp "ledWarning"); made with the
    // first event.
    EventListWindow* eventListWindow() const { return eventList_; }

    // LinkView
    void logLine(const QString& text) override;
    void statusText(const QString& text) override;
    void valveShown(int bank, int bit, bool open) override;
    void lampShown(Lamp lamp, bool on) override;
    void readBackShown(ReadBack what, const QString& text) override;
    // RunView
    void inputShown(Input input, const QString& text) override;
    void inputLabelShown(Input input, const QString& text) override;
    void checkShown(Check check, bool on) override;
    void runControlsShown(const RunControls& controls) override;
    void runTimeShown(const QString& elapsed) override;
    void delayShown(const QString& remaining) override;
    void startShown(const QString& text) override;
    void cellShown(int cell, const CellState& state) override;
    void progressShown(const RunProgress& progress) override;
    void chemicalShown(const QString& name) override;
    void resultShown(Detector detector, const QString& text) override;
    void calibratedShown(Detector detector, bool calibrated) override;
    void levelShown(Detector detector, const QString& text) override;
    void requirementShown(int choice, int rule) override;
    void calibrationShown(const CalibrationDisplay& calibration) override;
    void summariesShown(const std::vector<CellSummary>& summaries) override;
    void monitorShown(const QString& caption) override;
    void eventAdded(const RunEvent& event) override;
    void warningShown(bool lit) override;
    void storageShown(const StorageState& state) override;
    void seriesAppended(int series, std::span<const double> x, std::span<const double> y) override;
    void seriesCleared(int series) override;
    void curvesChanged() override;
    void chordsChanged() override;
    void timeAxisShown(double seconds) override;
    void followNewestShown(bool follow) override;
    // MainView
    void windowCaptionShown(const QString& text) override;
    void chartCaptionsShown(const ChartCaptions& captions) override;
    void valueAxisShown(double minimum, double maximum) override;
    void infoShown(InfoLabel label, const QString& text) override;
    void standardShown(int item) override;
    void connectionShown(int index, const QString& text, bool inUse) override;
    void substancesShown(SubstanceGrid grid, const QStringList& rows) override;
    void powerShown(bool on) override;
    void switchCaptionShown(Check toggle, const QString& caption) override;

private:
    // The specimens' page's chemicals: the names of the hydrocarbon list, and a pick passed on
    // with the lists' rows of that name.
    void offerChemicals();
    void pickChemical(int cell, const QString& name);

    void onEdited(const QString& control, const QString& text);
    void onChecked(const QString& control, bool on);
    void onEditExited(const QString& control);
    void onClicked(const QString& control);
    PermeationView& permeation();
    EventListWindow& eventList();

    TForm1& form_;
    KorvatApp* app_ = nullptr;
    std::vector<CellSummary> summaries_;
    PermeationView* permeation_ = nullptr;
    EventListWindow* eventList_ = nullptr;
};

} // namespace korvat
