#pragma once
// The small interface every serial line of the program goes through. QtSerialLine implements it
// for real ports and pseudo-terminals; the virtual instrument offers an in-process implementation
// driven by the same clock, so a test cannot tell it from hardware.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace korvat {

// Line settings of the instrument's converters: 115200 baud, 8 data bits, 2 stop bits, no parity,
// no handshake, DTR and RTS held inactive.
struct LineSettings {
    qint32 baudRate = 115200;
    int dataBits = 8;
    int stopBits = 2;
    bool parity = false;
    bool dtr = false;
    bool rts = false;
    int readTimeoutConstantMs = 100;
    int readTimeoutPerByteMs = 100;
};

class SerialLine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialLine() override = default;

    virtual QString deviceName() const = 0;
    virtual void setDeviceName(const QString& name) = 0;
    // Whether the device is there at all (a dangling link counts as missing).
    virtual bool deviceExists() const = 0;
    // Applies the settings and opens the line; false and errorString() when it fails.
    virtual bool open(const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Writes all bytes and returns once they are on their way; false and errorString() otherwise.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    // Throws away what has arrived and not been read yet, including what the driver still holds:
    // bytes left on the line from an earlier session must not pass for an answer.
    virtual void discardInput() { readAll(); }
    virtual QString errorString() const = 0;
    // Whether the last open() failed because this user may not open the device, and the group
    // that owns the device file ("" when unknown): the operator joins it to get access.
    virtual bool openDenied() const { return false; }
    virtual QString deviceGroup() const { return {}; }

Q_SIGNALS:
    // Bytes have arrived; delivered on the main thread.
    void readyRead();
    // The device went away or failed for good; the line has closed itself. Emitted once per loss.
    void lost(const QString& reason);
};

} // namespace korvat
