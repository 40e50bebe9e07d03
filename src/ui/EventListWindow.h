#pragma once
// The window of the run's events: every event that touched the data or needs the operator, with
// its time, port, measurement and whole text, newest at the bottom. Opened from the warning lamp
// in the run page's status group; it keeps what it was told also while it is closed.

#include "run/Events.h"

#include <QWidget>

class QTableWidget;
class QLabel;

namespace korvat {

class EventListWindow : public QWidget {
    Q_OBJECT
public:
    // Rows kept in the window (the journal keeps all).
    static constexpr int kRowLimit = static_cast<int>(Events::kListLimit);

    explicit EventListWindow(QWidget* owner, bool german);

    void add(const RunEvent& event);
    int rowCount() const;
    QString textAt(int row, int column) const;
    // Shows the window (raised when it is open already).
    void open();

private:
    QTableWidget* table_;
    QLabel* note_;
    bool german_;
    int dropped_ = 0;
};

} // namespace korvat
