#include "link/QtSerialLine.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>

Q_LOGGING_CATEGORY(lcSerial, "korvat.link.serial")

namespace korvat {

namespace {
constexpr int kWriteTimeoutMs = 1000;
const char* const kClosedPortText = "Can't perform this operation on a closed port";
} // namespace

QtSerialLine::QtSerialLine(QObject* parent) : SerialLine(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialLine::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::onError);
}

QString QtSerialLine::devicePath() const {
    // Bare names ("COM3", "ttyUSB0") are looked up under /dev as QSerialPort does.
    if (name_.isEmpty() || QFileInfo::exists(name_) || name_.contains(QLatin1Char('/')))
        return name_;
    return QStringLiteral("/dev/") + name_;
}

bool QtSerialLine::deviceExists() const {
    // QFileInfo follows links: a dangling link to a vanished pseudo-terminal counts as missing.
    return !name_.isEmpty() && QFileInfo::exists(devicePath());
}

QString QtSerialLine::deviceGroup() const {
    // The group of the device itself, also behind a link (/dev/serial/by-id/...).
    return QFileInfo(devicePath()).group();
}

bool QtSerialLine::open(const LineSettings& s) {
    error_.clear();
    lossPending_ = false;
    openDenied_ = false;
    port_.setPortName(name_);
    port_.setBaudRate(s.baudRate);
    port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    port_.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port_.setParity(s.parity ? QSerialPort::EvenParity : QSerialPort::NoParity);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString();
        // Qt says PermissionError also for a device that another program holds (busy or
        // locked); only a device this user may not read and write is a matter of permission.
        const QFileInfo device(devicePath());
        openDenied_ = port_.error() == QSerialPort::PermissionError && device.exists() &&
                      !(device.isReadable() && device.isWritable());
        return false;
    }
    // A pseudo-terminal has no modem lines: the ioctl fails with UnsupportedOperationError there,
    // which is harmless. On a real port the lines must be held inactive, so any other failure counts.
    const bool dtrOk = port_.setDataTerminalReady(s.dtr);
    const bool rtsOk = port_.setRequestToSend(s.rts);
    if ((!dtrOk || !rtsOk) && port_.error() != QSerialPort::UnsupportedOperationError) {
        error_ = port_.errorString();
        port_.close();
        return false;
    }
    port_.clearError();
    return true;
}

void QtSerialLine::close() {
    if (port_.isOpen())
        port_.close();
}

bool QtSerialLine::write(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        error_ = QString::fromLatin1(kClosedPortText);
        return false;
    }
    if (port_.write(bytes) != bytes.size()) {
        error_ = port_.errorString();
        return false;
    }
    while (port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(kWriteTimeoutMs)) {
            error_ = QStringLiteral("Timeout");
            return false;
        }
    }
    return true;
}

QByteArray QtSerialLine::readAll() {
    // Exactly what the port holds, into memory kept from the last read once the caller has let
    // go of it. The instrument's lines come one at a time, and QIODevice::readAll(), which sizes
    // and allocates a fresh result for every notification, cost about twice as much.
    const qint64 available = port_.bytesAvailable();
    if (available <= 0)
        return {};
    readBuffer_.resize(available);
    const qint64 n = port_.read(readBuffer_.data(), available);
    readBuffer_.resize(n > 0 ? n : 0);
    return readBuffer_;
}

void QtSerialLine::discardInput() {
    // Both what Qt has read ahead into its buffer and what the driver still holds.
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtSerialLine::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // When the far end of the line dies Qt reports the error over and over while the port stays
    // open; close it once, from the event loop, and tell the owner once.
    if (lossPending_)
        return;
    lossPending_ = true;
    const QString reason = port_.errorString();
    qCWarning(lcSerial) << "line" << name_ << "lost:" << reason;
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            close();
            error_ = reason;
            Q_EMIT lost(reason);
        },
        Qt::QueuedConnection);
}

} // namespace korvat
