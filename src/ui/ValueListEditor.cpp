#include "ui/ValueListEditor.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace korvat {

namespace {
constexpr int kKeyColumn = 0;
constexpr int kValueColumn = 1;
// The name a key cell held before the operator's edit, so a refused duplicate can be put back.
constexpr int kAcceptedKeyRole = Qt::UserRole + 1;
} // namespace

ValueListEditor::ValueListEditor(QWidget* parent) : QTableWidget(0, 2, parent) {
    setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Value")});
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kKeyColumn)
            refuseDuplicateKey(item);
    });
}

void ValueListEditor::setRow(int row, const QString& key, const QString& value) {
    auto* keyItem = new QTableWidgetItem(key);
    keyItem->setData(kAcceptedKeyRole, key);
    setItem(row, kKeyColumn, keyItem);
    setItem(row, kValueColumn, new QTableWidgetItem(value));
}

void ValueListEditor::setLines(const QStringList& lines) {
    const QSignalBlocker blocker(this);
    setRowCount(0);
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const int row = rowCount();
        insertRow(row);
        if (equals < 0)
            setRow(row, line, QString());
        else
            setRow(row, line.left(equals), line.mid(equals + 1));
    }
}

QStringList ValueListEditor::lines() const {
    QStringList result;
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem* keyItem = item(row, kKeyColumn);
        const QTableWidgetItem* valueItem = item(row, kValueColumn);
        const QString key = keyItem ? keyItem->text() : QString();
        const QString value = valueItem ? valueItem->text() : QString();
        // A row added and left blank carries nothing worth a line in the list file.
        if (key.isEmpty() && value.isEmpty())
            continue;
        result << key + QLatin1Char('=') + value;
    }
    return result;
}

void ValueListEditor::setTitles(const QString& keyTitle, const QString& valueTitle) {
    setHorizontalHeaderLabels({keyTitle, valueTitle});
}

QString ValueListEditor::title(int column) const {
    const QTableWidgetItem* header = horizontalHeaderItem(column);
    return header ? header->text() : QString();
}

bool ValueListEditor::selectedEntry(QString* name, QString* value) const {
    const int row = currentRow();
    if (row < 0)
        return false;
    const QTableWidgetItem* keyItem = item(row, kKeyColumn);
    const QTableWidgetItem* valueItem = item(row, kValueColumn);
    *name = keyItem ? keyItem->text() : QString();
    *value = valueItem ? valueItem->text() : QString();
    return true;
}

QString ValueListEditor::sourceGrid(const QMimeData* mime) {
    if (!mime || !mime->hasFormat(QLatin1String(kSubstanceMimeType)))
        return {};
    return QString::fromUtf8(mime->data(QLatin1String(kSubstanceMimeType)));
}

bool ValueListEditor::keyExistsElsewhere(const QString& key, int row) const {
    for (int other = 0; other < rowCount(); ++other) {
        const QTableWidgetItem* keyItem = item(other, kKeyColumn);
        if (other != row && keyItem && keyItem->text().compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void ValueListEditor::refuseDuplicateKey(QTableWidgetItem* item) {
    const QString key = item->text();
    const QSignalBlocker blocker(this);
    if (!key.isEmpty() && keyExistsElsewhere(key, item->row())) {
        item->setText(item->data(kAcceptedKeyRole).toString());
        QApplication::beep();
        return;
    }
    item->setData(kAcceptedKeyRole, key);
}

void ValueListEditor::mousePressEvent(QMouseEvent* event) {
    // Let the grid select the pressed cell first; the drag decision looks at that selection.
    QTableWidget::mousePressEvent(event);
    const QModelIndex pressed = indexAt(event->position().toPoint());
    m_dragArmed =
        event->button() == Qt::LeftButton && pressed.isValid() && currentColumn() > kKeyColumn;
    m_pressPosition = event->position().toPoint();
}

void ValueListEditor::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragArmed && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_dragArmed = false;
        startSubstanceDrag();
        return;
    }
    QTableWidget::mouseMoveEvent(event);
}

void ValueListEditor::mouseReleaseEvent(QMouseEvent* event) {
    m_dragArmed = false;
    QTableWidget::mouseReleaseEvent(event);
}

void ValueListEditor::startSubstanceDrag() {
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(kSubstanceMimeType), objectName().toUtf8());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction);
}

void ValueListEditor::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier) {
            const int row = currentRow() < 0 ? rowCount() : currentRow() + 1;
            {
                const QSignalBlocker blocker(this);
                insertRow(row);
                setRow(row, QString(), QString());
            }
            setCurrentCell(row, kKeyColumn);
            editItem(item(row, kKeyColumn));
            return;
        }
        if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
            if (currentRow() >= 0)
                removeRow(currentRow());
            return;
        }
    }
    QTableWidget::keyPressEvent(event);
}

} // namespace korvat
