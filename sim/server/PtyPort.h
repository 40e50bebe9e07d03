#pragma once
// One pseudo-terminal that stands in for a converter's serial connector. The program opens the
// slave side like any serial device; we serve the master side. We keep a slave descriptor open
// ourselves for the whole run: without it the master reports EIO whenever no program is connected,
// and a program could not close and reopen the device.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

namespace korvat::sim {

class PtyPort : public QObject {
    Q_OBJECT
public:
    // A pty pushes back instead of dropping, so output waits here until the master is writable.
    // Only when nobody reads the slave for a long time does the queue reach this bound; then new
    // bytes are dropped, as they would be on an unplugged cable.
    static constexpr qsizetype kMaxPendingOutput = 1 << 20;

    explicit PtyPort(QObject* parent = nullptr);
    ~PtyPort() override;

    // Creates the pty pair (a new one if there was one); false with `error` set when the system
    // refuses.
    bool open(QString* error);
    // Closes both sides, as if the device had been pulled out: a program that has the slave open
    // sees its reads fail, and the device name goes. Output waiting for it is dropped. open()
    // gives a new pty afterwards.
    void close();
    bool isOpen() const { return master_ >= 0; }
    // The slave device the program opens, e.g. "/dev/pts/4".
    QString devicePath() const { return devicePath_; }

    void setReceiver(std::function<void(const QByteArray&)> receiver) {
        receiver_ = std::move(receiver);
    }
    void send(const QByteArray& bytes);

    qsizetype pendingOutput() const { return pending_.size(); }
    qint64 droppedOutput() const { return dropped_; }

Q_SIGNALS:
    // Something went wrong for good on the master side; the port stops serving.
    void failed(const QString& reason);

private:
    void readMaster();
    void flush();
    void fail(const QString& reason);

    int master_ = -1;
    int slave_ = -1;
    QString devicePath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    std::function<void(const QByteArray&)> receiver_;
    QByteArray pending_;
    qint64 dropped_ = 0;
    bool failed_ = false;
};

} // namespace korvat::sim
