#pragma once
// The archive window: past tests from the archive the program uses (its SQLite file or the lab's
// server), filtered by chemical, material, date range and instrument. A test opened shows its
// permeation curves and figures in the permeation view's own drawing; several selected are
// overlaid on one chart, each test in a colour of its own; Report writes the selected test's
// report as PDF from the archive alone.
//
// Every question goes to the archive on a thread of its own (ArchiveSession): a server that does
// not answer leaves the window working and says so in its status line ("Archive not reachable").

#include "app/ArchiveSession.h"
#include "run/ArchivedRun.h"

#include <QWidget>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDateEdit;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace korvat {

class Dialogs;
class PermeationView;

class ArchiveWindow final : public QWidget {
    Q_OBJECT

public:
    enum Column { DateColumn, InstrumentColumn, TestColumn, ChemicalColumn, MaterialsColumn, CellsColumn,
                  BreakthroughColumn, LevelColumn, kColumnCount };

    // `where` as Archive::open takes it (empty: the archive is switched off); `offset` the
    // language (0 German, 1000 English). A top-level window of its own that `owner` keeps.
    ArchiveWindow(QWidget* owner, const QString& where, Dialogs& dialogs, int offset);
    ~ArchiveWindow() override;

    // Shows the window, brought to the front; the first time (and whenever asked) it lists the tests.
    void open();
    // Asks the archive again with the filters as they stand.
    void search();
    // The tests selected in the list: the first opened, all overlaid, the first reported.
    void openSelected();
    void overlaySelected();
    void reportSelected();

    // The parts, for the window's tests.
    QComboBox* chemicalFilter() const { return m_chemical; }
    QComboBox* materialFilter() const { return m_material; }
    QComboBox* instrumentFilter() const { return m_instrument; }
    QCheckBox* fromSwitch() const { return m_fromOn; }
    QCheckBox* toSwitch() const { return m_toOn; }
    QDateEdit* fromDate() const { return m_from; }
    QDateEdit* toDate() const { return m_to; }
    QTableWidget* list() const { return m_list; }
    PermeationView* permeationView() const { return m_view; }
    QCustomPlot* overlayPlot() const { return m_overlay; }
    QCheckBox* overlayLogarithmic() const { return m_overlayLog; }
    QTabWidget* tabs() const { return m_tabs; }
    QString statusText() const;
    // Whether an answer of the archive is still awaited.
    bool waiting() const { return m_waiting > 0; }
    // The tests listed, in the list's order.
    const std::vector<TestListing>& listed() const { return m_tests; }

private:
    QString T(int n) const;
    ArchiveFilter filter() const;
    QStringList selectedIds() const;
    void loadSelected(bool all, const std::function<void(const std::vector<ArchivedTest>&)>& show);
    void showList(const ArchiveListAnswer& answer);
    void showTest(const ArchivedTest& test);
    void showOverlay(const std::vector<ArchivedTest>& tests);
    void writeReport(const ArchivedTest& test);
    void setStatus(const QString& text);
    void unreachable(const QString& error);
    static void refill(QComboBox* box, const QStringList& names);

    Dialogs& m_dialogs;
    int m_offset = 0;
    QComboBox* m_chemical = nullptr;
    QComboBox* m_material = nullptr;
    QComboBox* m_instrument = nullptr;
    QCheckBox* m_fromOn = nullptr;
    QCheckBox* m_toOn = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QTableWidget* m_list = nullptr;
    QTabWidget* m_tabs = nullptr;
    PermeationView* m_view = nullptr;
    QCustomPlot* m_overlay = nullptr;
    QCheckBox* m_overlayLog = nullptr;
    std::vector<ArchivedTest> m_overlaid;
    QLabel* m_status = nullptr;
    std::vector<TestListing> m_tests;
    int m_waiting = 0;
    quint64 m_listAsked = 0; // only the newest list is shown
    bool m_listedOnce = false;
    // Last: it is gone (its thread joined) before any part of the window it answers to.
    std::unique_ptr<ArchiveSession> m_session;
};

} // namespace korvat
