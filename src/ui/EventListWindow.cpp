#include "ui/EventListWindow.h"

#include "run/EventTexts.h"
#include "shell/StringTable.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvat {

EventListWindow::EventListWindow(QWidget* owner, bool german)
    : QWidget(owner, Qt::Window), table_(new QTableWidget(0, 5, this)), note_(new QLabel(this)), german_(german) {
    setObjectName(QStringLiteral("EventListWindow"));
    setWindowTitle(german ? QStringLiteral("Ereignisse") : QStringLiteral("Events"));
    table_->setObjectName(QStringLiteral("tableEvents"));
    table_->setHorizontalHeaderLabels(german ? QStringList{"Zeit", "Art", "Port", "Messung", "Text"}
                                             : QStringList{"Time", "Kind", "Port", "Measurement", "Text"});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(true);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(0, 140);
    table_->setColumnWidth(1, 150);
    table_->setColumnWidth(2, 110);
    table_->setColumnWidth(3, 110);
    note_->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addWidget(note_);
    resize(900, 360);
}

void EventListWindow::add(const RunEvent& e) {
    if (table_->rowCount() >= kRowLimit) {
        table_->removeRow(0);
        ++dropped_;
        note_->setText(german_ ? QStringLiteral("%1 ältere Ereignisse nur im Ereignisprotokoll").arg(dropped_)
                               : QStringLiteral("%1 older events only in the event journal").arg(dropped_));
        note_->setVisible(true);
    }
    const int row = table_->rowCount();
    table_->insertRow(row);
    // What the operator reads is in the program's language; the journal keeps the line as it was.
    const int ID = german_ ? kGermanOffset : kEnglishOffset;
    const QString cells[] = {eventMomentText(e.time, ID), eventKindText(e.kind, ID), e.port,
                             e.measurement > 0 ? QString::number(e.measurement) : QString(), eventText(e.text, ID)};
    for (int c = 0; c < 5; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        if (eventAffectsData(e.kind))
            item->setForeground(QColor(0xb0, 0, 0));
        table_->setItem(row, c, item);
    }
    if (isVisible())
        table_->scrollToBottom();
}

int EventListWindow::rowCount() const { return table_->rowCount(); }

QString EventListWindow::textAt(int row, int column) const {
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? item->text() : QString();
}

void EventListWindow::open() {
    show();
    raise();
    activateWindow();
    table_->resizeRowsToContents();
    table_->scrollToBottom();
}

} // namespace korvat
