#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop (self-pipe), so korvat-sim
// leaves through its normal exit path and removes its device links; SIGUSR1 is the lab putting the
// next reference-gas cylinder on.

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace korvat::sim {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    // Installs the handlers; only one watcher can exist per process.
    bool install(QString* error);

Q_SIGNALS:
    void terminationRequested(int signalNumber);
    // Once per SIGUSR1 received.
    void nextCylinderRequested();

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace korvat::sim
