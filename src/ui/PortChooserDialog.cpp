#include "ui/PortChooserDialog.h"

#include "link/SerialPortList.h"
#include "shell/StringTable.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace korvat {

namespace {

QLabel* wrappedLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QComboBox* portBox(const QString& name, const std::vector<SerialPortEntry>& ports, const QString& current,
                   QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(28);
    for (const SerialPortEntry& p : ports)
        box->addItem(p.device);
    box->setCurrentText(current);
    return box;
}

QPushButton* plainButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Return in a port box must not store or quit behind the operator's back.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

PortChooserDialog::PortChooserDialog(PortChooserRequest request, QWidget* parent, const QString& byIdDir)
    : QDialog(parent), request_(std::move(request)) {
    setObjectName(QStringLiteral("PortChooser"));
    setWindowTitle(T(300));
    auto* layout = new QVBoxLayout(this);

    if (!request_.problem.isEmpty()) {
        auto* problem = wrappedLabel(QStringLiteral("problem"), request_.problem, this);
        problem->setStyleSheet(QStringLiteral("color: #a00000;"));
        layout->addWidget(problem);
    }
    layout->addWidget(wrappedLabel(QStringLiteral("settingsFile"), T(306).arg(request_.settingsFile), this));

    const std::vector<SerialPortEntry> ports = listSerialPorts(byIdDir);
    layout->addWidget(wrappedLabel(QStringLiteral("portsCaption"), ports.empty() ? T(315) : T(307), this));
    table_ = new QTableWidget(static_cast<int>(ports.size()), 4, this);
    table_->setObjectName(QStringLiteral("ports"));
    table_->setHorizontalHeaderLabels({T(308), T(309), T(310), T(311)});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < static_cast<int>(ports.size()); ++row) {
        const SerialPortEntry& p = ports[static_cast<std::size_t>(row)];
        const QString device =
            p.device == p.systemLocation ? p.device : p.device + QStringLiteral(" (") + p.systemLocation + QLatin1Char(')');
        const QString cells[] = {device, p.description, p.manufacturer, p.serialNumber};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setData(Qt::UserRole, p.device);
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { takeRow(row); });
    layout->addWidget(table_, 1);

    auto* form = new QFormLayout;
    portA_ = portBox(QStringLiteral("portA"), ports, request_.current.portA, this);
    portB_ = portBox(QStringLiteral("portB"), ports, request_.current.portB, this);
    form->addRow(T(301), portA_);
    QString labelB = T(302);
    if (!request_.usesPortB)
        labelB += QLatin1Char(' ') + T(320);
    form->addRow(labelB, portB_);
    portB_->setEnabled(request_.usesPortB);
    layout->addLayout(form);
    lastPicked_ = portA_;
    for (QComboBox* box : {portA_, portB_}) {
        connect(box, &QComboBox::activated, this, [this, box] { lastPicked_ = box; });
        connect(box->lineEdit(), &QLineEdit::textEdited, this, [this, box] { lastPicked_ = box; });
    }

    result_ = wrappedLabel(QStringLiteral("result"), QString(), this);
    result_->setMinimumHeight(fontMetrics().height() * 2);
    layout->addWidget(result_);

    auto* buttons = new QHBoxLayout;
    test_ = plainButton(QStringLiteral("btnTest"), T(303), this);
    store_ = plainButton(QStringLiteral("btnStore"), request_.atStartup ? T(304) : T(321), this);
    quit_ = plainButton(QStringLiteral("btnQuit"), request_.atStartup ? T(305) : T(323), this);
    buttons->addWidget(test_);
    buttons->addStretch(1);
    buttons->addWidget(store_);
    buttons->addWidget(quit_);
    layout->addLayout(buttons);
    connect(test_, &QPushButton::clicked, this, &PortChooserDialog::runTest);
    connect(store_, &QPushButton::clicked, this, &PortChooserDialog::runStore);
    connect(quit_, &QPushButton::clicked, this, &QDialog::reject);
    resize(720, 480);
}

QString PortChooserDialog::T(int n) const { return LoadLangText(request_.language, n); }

PortPair PortChooserDialog::chosen() const {
    return {portA_->currentText().trimmed(), portB_->currentText().trimmed()};
}

QString PortChooserDialog::resultText() const { return result_->text(); }

void PortChooserDialog::takeRow(int row) {
    const QTableWidgetItem* item = table_->item(row, 0);
    if (!item)
        return;
    QComboBox* box = request_.usesPortB ? lastPicked_ : portA_;
    box->setCurrentText(item->data(Qt::UserRole).toString());
}

void PortChooserDialog::runTest() {
    if (!request_.test)
        return;
    // The exchange waits up to 5 s a port: the buttons rest meanwhile, so no second test or a
    // store can start inside it.
    const bool wasEnabled = isEnabled();
    setEnabled(false);
    result_->setText(T(303) + QStringLiteral(" \u2026"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PortTestResult r = request_.test(chosen());
    QApplication::restoreOverrideCursor();
    setEnabled(wasEnabled);
    result_->setStyleSheet(r.identified ? QStringLiteral("color: #006000;") : QStringLiteral("color: #a00000;"));
    result_->setText(r.lines.join(QLatin1Char('\n')));
}

void PortChooserDialog::runStore() {
    const QString error = request_.store ? request_.store(chosen()) : QString();
    if (!error.isEmpty()) {
        result_->setStyleSheet(QStringLiteral("color: #a00000;"));
        result_->setText(T(325).arg(error));
        return;
    }
    accept();
}

std::optional<PortPair> QtPortChooser::choosePorts(const PortChooserRequest& request) {
    PortChooserDialog dialog(request, parent_);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

} // namespace korvat
