#pragma once
// A two-column key/value grid over "name=value" lines, as the substance lists use it. The operator
// edits names and factors in place, adds a row with Insert and deletes one with Ctrl+Delete; a name
// that already exists is refused. Pressing on a factor cell and moving the mouse starts a drag that
// the factor edits of the window accept.

#include <QPoint>
#include <QStringList>
#include <QTableWidget>

class QMimeData;

namespace korvat {

class ValueListEditor : public QTableWidget {
    Q_OBJECT

public:
    // The drag payload names the source grid (its object name); nothing else leaves the grid.
    static constexpr const char* kSubstanceMimeType = "application/x-korvat-substance";

    explicit ValueListEditor(QWidget* parent = nullptr);

    // Rows from "name=value" lines: the first "=" separates the two; empty lines are skipped.
    void setLines(const QStringList& lines);
    QStringList lines() const;

    void setTitles(const QString& keyTitle, const QString& valueTitle);
    QString title(int column) const;

    // Name and factor text of the selected row; false when no row is selected.
    bool selectedEntry(QString* name, QString* value) const;

    // The grid a substance drag came from, or an empty string for any other drag.
    static QString sourceGrid(const QMimeData* mime);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setRow(int row, const QString& key, const QString& value);
    void refuseDuplicateKey(QTableWidgetItem* item);
    bool keyExistsElsewhere(const QString& key, int row) const;
    void startSubstanceDrag();

    bool m_dragArmed = false;
    QPoint m_pressPosition;
};

} // namespace korvat
