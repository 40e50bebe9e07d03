#pragma once
// The serial port chooser: the ports found, a box per port (a name may be typed as well), a
// test of the pair through the identification exchange, storing it, or quitting.

#include "app/PortChooser.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace korvat {

class PortChooserDialog : public QDialog {
    Q_OBJECT
public:
    // `byIdDir`: where the stable names of the ports are looked up.
    PortChooserDialog(PortChooserRequest request, QWidget* parent = nullptr,
                      const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

    PortPair chosen() const;
    // What the last test or store said.
    QString resultText() const;

    // Named for tests and the screenshots: portA, portB, ports, problem, result, btnTest,
    // btnStore, btnQuit.
    QComboBox* portA() const { return portA_; }
    QComboBox* portB() const { return portB_; }
    QTableWidget* portTable() const { return table_; }
    QPushButton* testButton() const { return test_; }
    QPushButton* storeButton() const { return store_; }
    QPushButton* quitButton() const { return quit_; }

private:
    void runTest();
    void runStore();
    void takeRow(int row);
    QString T(int n) const;

    PortChooserRequest request_;
    QComboBox* portA_ = nullptr;
    QComboBox* portB_ = nullptr;
    QComboBox* lastPicked_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* test_ = nullptr;
    QPushButton* store_ = nullptr;
    QPushButton* quit_ = nullptr;
};

// The chooser as a modal dialog over the window.
class QtPortChooser : public PortChooser {
public:
    explicit QtPortChooser(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<PortPair> choosePorts(const PortChooserRequest& request) override;

private:
    QWidget* parent_;
};

} // namespace korvat
