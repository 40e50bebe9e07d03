#include "model/InProcessLine.h"

#include "model/ConverterEndpoint.h"

#include <QMetaObject>

#include <utility>

namespace korvat::sim {

InProcessLine::InProcessLine(QString deviceName, QObject* parent)
    : SerialLine(parent), deviceName_(std::move(deviceName)) {}

InProcessLine::~InProcessLine() {
    attach(nullptr);
}

void InProcessLine::attach(ConverterEndpoint* endpoint) {
    if (endpoint_)
        endpoint_->setOutput({});
    endpoint_ = endpoint;
    if (endpoint_)
        endpoint_->setOutput([this](const QByteArray& bytes) { feedReceived(bytes); });
}

bool InProcessLine::open(const LineSettings& settings) {
    if (open_) {
        error_ = kAlreadyOpenError;
        return false;
    }
    if (!exists_) {
        error_ = kDeviceMissingError;
        return false;
    }
    if (!openResult_) {
        error_ = openError_;
        return false;
    }
    settings_ = settings;
    open_ = true;
    ++openCount_;
    error_.clear();
    if (!stale_.isEmpty()) {
        inFlight_ = std::exchange(stale_, {});
        deliverLater();
    }
    return true;
}

void InProcessLine::close() {
    open_ = false;
    // Closing a port discards what it had buffered; a reopened line starts empty.
    inFlight_.clear();
    received_.clear();
}

bool InProcessLine::write(const QByteArray& bytes) {
    if (!open_) {
        error_ = kClosedPortError;
        return false;
    }
    if (!writeError_.isEmpty()) {
        error_ = writeError_;
        return false;
    }
    written_.append(bytes);
    // Trimmed in halves, so the copy costs little per byte written.
    if (written_.size() > 2 * kWrittenKept)
        written_.remove(0, written_.size() - kWrittenKept);
    if (endpoint_)
        endpoint_->receive(bytes);
    return true;
}

QByteArray InProcessLine::readAll() {
    QByteArray bytes;
    bytes.swap(received_);
    return bytes;
}

void InProcessLine::discardInput() {
    inFlight_.clear();
    received_.clear();
}

void InProcessLine::setOpenResult(bool ok, QString error) {
    openResult_ = ok;
    openError_ = std::move(error);
}

void InProcessLine::injectLoss(const QString& reason) {
    if (!open_)
        return;
    close();
    error_ = reason;
    Q_EMIT lost(reason);
}

void InProcessLine::feedReceived(const QByteArray& bytes) {
    if (!open_ || bytes.isEmpty())
        return;
    inFlight_.append(bytes);
    deliverLater();
}

void InProcessLine::deliverLater() {
    // One notification for everything that arrives before the event loop runs, as a real port
    // coalesces its notifications.
    if (deliveryPending_)
        return;
    deliveryPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            deliveryPending_ = false;
            if (!open_ || inFlight_.isEmpty())
                return;
            received_.append(inFlight_);
            inFlight_.clear();
            Q_EMIT readyRead();
        },
        Qt::QueuedConnection);
}

} // namespace korvat::sim
