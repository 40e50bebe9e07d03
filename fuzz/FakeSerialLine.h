#pragma once
// A serial line that is always open, hands over whatever the harness feeds it and keeps what the
// program wrote. It answers nothing by itself.

#include "link/SerialLine.h"

#include <QByteArrayList>

namespace korvat::fuzz {

class FakeSerialLine final : public SerialLine {
public:
    explicit FakeSerialLine(QString name) : name_(std::move(name)) {}

    QString deviceName() const override { return name_; }
    void setDeviceName(const QString& name) override { name_ = name; }
    bool deviceExists() const override { return true; }
    bool open(const LineSettings&) override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool write(const QByteArray& bytes) override {
        written.append(bytes);
        return true;
    }
    qint64 bytesAvailable() const override { return pending_.size(); }
    QByteArray readAll() override { return std::exchange(pending_, {}); }
    QString errorString() const override { return {}; }

    // Bytes arrive; the receive notification runs at once, as the port layer would deliver it.
    void feed(const QByteArray& bytes) {
        pending_ += bytes;
        Q_EMIT readyRead();
    }

    QByteArrayList written; // one entry per write call

private:
    QString name_;
    QByteArray pending_;
};

} // namespace korvat::fuzz
