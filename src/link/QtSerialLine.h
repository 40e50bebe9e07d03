#pragma once
// A serial line on a real port or a pseudo-terminal, through QSerialPort.

#include "link/SerialLine.h"

#include <QSerialPort>

namespace korvat {

class QtSerialLine final : public SerialLine {
    Q_OBJECT
public:
    explicit QtSerialLine(QObject* parent = nullptr);

    QString deviceName() const override { return name_; }
    void setDeviceName(const QString& name) override { name_ = name; }
    bool deviceExists() const override;
    bool open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override { return port_.bytesAvailable(); }
    QByteArray readAll() override;
    void discardInput() override;
    QString errorString() const override { return error_; }
    bool openDenied() const override { return openDenied_; }
    QString deviceGroup() const override;

private:
    void onError(QSerialPort::SerialPortError error);
    // The device file the name stands for (a bare name lives under /dev, as QSerialPort has it).
    QString devicePath() const;

    QSerialPort port_;
    QString name_;
    QString error_;
    QByteArray readBuffer_;
    bool lossPending_ = false;
    bool openDenied_ = false;
};

} // namespace korvat
