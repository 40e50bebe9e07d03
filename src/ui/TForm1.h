#pragma once
// The main window: the measurement chart across the top and the four pages below it (run,
// configuration and service, factors, sample info) with every control under its own name. The
// window holds no measurement logic. The presenter drives it by control name and listens to the
// operator through the signals below, each of which carries the name of the control concerned.

#include "shell/TranslateRules.h"

#include <QHash>
#include <QLineF>
#include <QColor>
#include <QMainWindow>
#include <QTimer>
#include <QVector>
#include <array>
#include <functional>
#include <span>

class QButtonGroup;
class QComboBox;
class QDropEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;

namespace korvat {

class CalibrationPanel;
class MeasurementChart;
class StatusLed;
enum class TLedColor;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The designed client area, also the smallest the window can be made (it can grow: the chart
    // takes what is added). It fits a 1024 x 768 screen with the window's frame and a panel.
    static constexpr int kDesignedWidth = 1016;
    static constexpr int kDesignedHeight = 690;
    // The log memo keeps this many of the most recent lines.
    static constexpr int kLogLines = 9;

    // What the description's key rule makes of one typed key.
    enum class KeyAction { Keep, Discard, ReplaceWithEnter };
    // Asked for every key of memoDescription that types a character (Enter and Backspace
    // included); line and column are zero-based, taken at the start of the selection.
    using DescriptionKeyRule = std::function<KeyAction(bool enter, int line, int column)>;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    using QMainWindow::setEnabled;

    // Controls by name. Memo texts (LMDMemo1, memoDescription) cross with CR LF between lines.
    void setWindowCaption(const QString& text);
    void setText(const QString& control, const QString& text);
    QString text(const QString& control) const;
    void setEditLabel(const QString& control, const QString& text);
    QString editLabel(const QString& control) const;
    void setEnabled(const QString& control, bool enabled);
    void setLedOn(const QString& control, bool on);
    bool ledOn(const QString& control) const;
    void setDown(const QString& control, bool down);
    bool isDown(const QString& control) const;
    void setBackground(const QString& control, const QColor& colour);
    void setChecked(const QString& control, bool checked);
    bool isChecked(const QString& control) const;
    void setItemIndex(const QString& control, int index);
    int itemIndex(const QString& control) const;
    void setConnectionItem(int index, const QString& text, bool checked);
    void setValueList(const QString& control, const QStringList& lines);
    QStringList valueList(const QString& control) const;
    void setChartTitle(const QString& text);
    void setBottomAxisMax(double seconds);
    void setChartFollowsNewest(bool follow);
    void setLeftAxisRange(double minimum, double maximum);
    void setLeftAxisTitle(const QString& text);
    void setBottomAxisTitle(const QString& text);
    // Series index 0 to 3: Series1 (FID), Series2 (FPD), Serie3, Serie4.
    void setSeriesTitle(int series, const QString& text);
    void addLogLine(const QString& text);
    void setStatusText(const QString& text);
    // A live reading (a converter's level, a read-back value) that may change many times a
    // second: shown with the chart's next repaint (at most kReadingsDelayMs later), so the window
    // is painted once for both; on a page not in front, once the page comes. text() gives the
    // newest value at once.
    void showReading(const QString& control, const QString& text);
    static constexpr int kReadingsDelayMs = 200;

    // Sets the captions of every tagged control of a translated kind from the string table.
    void TranslateForm(int offset);

    // The specimens' page: the requirement's choice (RequirementChoice) and the decision rule (0
    // simple, 1 guarded acceptance), set without telling; the calibrations' panel.
    void setRequirement(int choice, int rule);
    int requirementChoice() const;
    int decisionRuleChoice() const;
    CalibrationPanel& calibrationPanel() const { return *m_calibration; }
    // Each cell's chemical on the specimens' page: the names offered (the hydrocarbon list), and
    // the one shown for a cell (set without telling).
    void setChemicalChoices(const QStringList& names);
    void setChemicalShown(int cell, const QString& name);
    QString chemicalShown(int cell) const;

    // Chart data, copied from the run side's vectors; series indexed as in setSeriesTitle.
    void setSeriesData(int series, const QVector<double>& x, const QVector<double>& y);
    void addSeriesData(int series, const QVector<double>& x, const QVector<double>& y);
    void appendSeries(int series, std::span<const double> x, std::span<const double> y);
    void clearSeries(int series);
    // Asks for one repaint of the chart in the next event loop pass.
    void replotChart();
    void repaintChartOverlay();
    // Dotted lines over the chart, in seconds and left-axis units, asked for on every repaint.
    void setChartOverlay(std::function<QVector<QLineF>()> source);
    MeasurementChart* chart() const { return m_chart; }

    void setDescriptionKeyRule(DescriptionKeyRule rule) { m_descriptionKeyRule = std::move(rule); }

    // Controls by name. Unknown names give nullptr, Other and 0.
    QWidget* control(const QString& name) const;
    ControlKind kindOf(const QString& name) const;
    int tag(const QString& name) const;
    void setTag(const QString& name, int tag);
    // Every named control in creation order (attached labels and radio items are not listed).
    QStringList controlNames() const { return m_order; }

signals:
    // A push button, toggle or indicator with a click handler was clicked (or a toggle changed
    // its down state by the operator's click; isDown() then already tells the new state).
    void clicked(const QString& control);
    // The operator typed into an edit or the description memo (never raised when code sets the
    // text), or ticked a check box: the new text or state.
    void edited(const QString& control, const QString& text);
    void checkToggled(const QString& control, bool checked);
    // The focus moved from one control of the window to another (a message box or another
    // program taking it is no exit). When one move leaves several, they come innermost first:
    // the edit (only those with an exit handler), its page (only tabFaktoren), the page control.
    void editExited(const QString& control);
    void tabSheetExited(const QString& tabSheet);
    void pageControlExited();
    // The operator picked a standard in rgStandard (never raised by setItemIndex).
    void standardPicked(int index);
    // A substance row of a value list editor was dropped on a factor edit: the grid, the edit,
    // and the name and factor text of the grid's selected row.
    void substanceDropped(const QString& grid, const QString& edit, const QString& name,
                          const QString& factor);
    // The window is closing.
    void closing();
    // The operator picked a requirement (RequirementChoice) or a decision rule on the specimens' page.
    void requirementPicked(int choice);
    void decisionRulePicked(int rule);
    // The operator picked cell `cell`'s chemical (by name) on the specimens' page.
    void chemicalPicked(int cell, const QString& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Control {
        QWidget* widget = nullptr;
        ControlKind kind = ControlKind::Other;
        QLabel* attachedLabel = nullptr;
    };

    // Building the pages (TForm1Pages.cpp).
    void buildStatusPage(QWidget* page);
    void buildSettingsPage(QWidget* page);
    void buildFactorsPage(QWidget* page);
    void buildSampleInfoPage(QWidget* page);
    void buildSpecimensPage(QWidget* page); // TForm1Specimens.cpp
    void translateSpecimensPage(int offset);
    static void setChemical(QComboBox* combo, const QString& name);

    // Each creates, names, tags, places and registers one control.
    void registerControl(QWidget* widget, const QString& name, ControlKind kind, int tag,
                         QLabel* attachedLabel = nullptr);
    template <class W>
    W* add(QWidget* parent, const QString& name, ControlKind kind, int tag, const QRect& geometry);
    QWidget* tabSheet(const QString& name, int tag);
    QLabel* label(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    QLineEdit* edit(QWidget* parent, const QString& name, const QRect& geometry,
                    bool hasExitHandler = false);
    QLineEdit* labelledEdit(QWidget* parent, const QString& name, const QRect& geometry,
                            const QRect& labelGeometry, Qt::Alignment labelAlignment);
    void button(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                const QString& caption = {});
    void toggle(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                int groupIndex);
    StatusLed* led(QWidget* parent, const QString& name, int tag, const QRect& geometry,
                   TLedColor colour, bool hasClickHandler, const QString& caption = {});
    QWidget* group(QWidget* parent, const QString& name, int tag, const QRect& geometry);
    void checkBox(QWidget* parent, const QString& name, int tag, const QRect& geometry);

    const Control* find(const QString& name) const;
    template <class W> W* widgetAs(const QString& name) const;
    void onFocusChanged(QWidget* old, QWidget* now);
    bool filterDescriptionKey(QKeyEvent* event);
    bool handleSubstanceDrag(QLineEdit* edit, QDropEvent* event);
    void trimLog();
    // Shows the readings and log lines that wait, those of hidden pages only with `hiddenToo`
    // (const: text() shows them all first).
    void applyReadings(bool hiddenToo) const;
    void applyText(const QString& name, const QString& text) const;

    MeasurementChart* m_chart = nullptr;
    QTabWidget* m_pages = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QComboBox* m_requirement = nullptr;
    QComboBox* m_decisionRule = nullptr;
    std::array<QComboBox*, 3> m_chemicals{};
    CalibrationPanel* m_calibration = nullptr;
    QHash<QString, Control> m_controls;
    QStringList m_order;
    QHash<QWidget*, QString> m_exitEdits;
    QVector<QWidget*> m_exitPages;
    QVector<QWidget*> m_factorEdits;
    QHash<QWidget*, QButtonGroup*> m_radioItems;
    DescriptionKeyRule m_descriptionKeyRule;
    QMetaObject::Connection m_focusWatch;
    // Readings and log lines not shown yet, and the timer that shows them when the chart does not
    // repaint first.
    mutable QHash<QString, QString> m_pendingReadings;
    mutable QStringList m_pendingLog;
    QTimer* m_readingsTimer = nullptr;
    bool m_settingItemIndex = false;
    bool m_trimmingLog = false;
    bool m_replayingKey = false;
};

} // namespace korvat
