#pragma once
// A serial line that leads straight into a converter of the virtual instrument, with no device
// in between. It behaves like a port as the program sees one: writes on a closed line fail with
// the port layer's text, and what the instrument answers arrives later, from the event loop, never
// inside write(), and nothing is readable before that. Tests can also make the device vanish, opens
// fail, writes fail, or the line die.

#include "link/SerialLine.h"

#include <QByteArray>
#include <QString>

namespace korvat::sim {

class ConverterEndpoint;

class InProcessLine final : public korvat::SerialLine {
    Q_OBJECT
public:
    // The texts the port layer gives for these failures, so messages look the same as with a
    // real port.
    static inline const QString kClosedPortError =
        QStringLiteral("Can't perform this operation on a closed port");
    static inline const QString kDeviceMissingError = QStringLiteral("No such file or directory");
    static inline const QString kAlreadyOpenError = QStringLiteral("The device is already open");
    // What a port reports when its device is pulled out while open.
    static inline const QString kDeviceRemovedError = QStringLiteral("Input/output error");

    explicit InProcessLine(QString deviceName = {}, QObject* parent = nullptr);
    ~InProcessLine() override;

    // Connects the line to a converter (or, with null, to nothing: writes then go nowhere). The
    // endpoint must outlive the line or be detached first.
    void attach(ConverterEndpoint* endpoint);
    ConverterEndpoint* endpoint() const { return endpoint_; }

    QString deviceName() const override { return deviceName_; }
    void setDeviceName(const QString& name) override { deviceName_ = name; }
    bool deviceExists() const override { return exists_; }
    bool open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override { return received_.size(); }
    QByteArray readAll() override;
    // Drops what has arrived and what is still on its way to the program.
    void discardInput() override;
    QString errorString() const override { return error_; }

    // ---- for tests ------------------------------------------------------------------------------
    // A missing device fails open() with kDeviceMissingError and reports deviceExists() false.
    void setExists(bool exists) { exists_ = exists; }
    // ok = false makes every open() fail with `error` until it is set back.
    void setOpenResult(bool ok, QString error = QStringLiteral("Permission denied"));
    // A non-empty error makes every write() fail with it (nothing reaches the instrument) until it
    // is cleared with an empty text. "Timeout" is what an incomplete write reports.
    void setWriteError(QString error) { writeError_ = std::move(error); }
    // Everything written while the line was open, in order; on a line that runs for days only the
    // most recent kWrittenKept bytes (at least) are kept, so the record cannot grow without bound.
    static constexpr qsizetype kWrittenKept = 64 * 1024;
    QByteArray writtenData() const { return written_; }
    void clearWrittenData() { written_.clear(); }
    // The settings of the last successful open().
    LineSettings lastSettings() const { return settings_; }
    int openCount() const { return openCount_; }
    // The device fails for good: the line closes and emits lost(reason), once. Nothing happens on
    // a line that is already closed. The device itself stays (see setExists) so a reopen can work.
    void injectLoss(const QString& reason);
    // Bytes as if the instrument had sent them; like the instrument's own bytes they are dropped
    // while the line is closed and announced with readyRead from the event loop.
    void feedReceived(const QByteArray& bytes);
    // Bytes left on the line by an earlier session: the next open() finds them waiting, as a
    // port's driver holds what arrived while nobody had the device open.
    void leaveStale(const QByteArray& bytes) { stale_ += bytes; }

private:
    void deliverLater();

    QString deviceName_;
    ConverterEndpoint* endpoint_ = nullptr;
    bool exists_ = true;
    bool openResult_ = true;
    QString openError_;
    QString writeError_;
    bool open_ = false;
    bool deliveryPending_ = false;
    int openCount_ = 0;
    LineSettings settings_;
    // Bytes on their way: readable only once the event loop has delivered them, as with a port
    // whose driver hands data over from its notifier.
    QByteArray inFlight_;
    QByteArray received_;
    QByteArray written_;
    QByteArray stale_;
    QString error_;
};

} // namespace korvat::sim
