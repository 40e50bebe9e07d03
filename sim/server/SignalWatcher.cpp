#include "server/SignalWatcher.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korvat::sim {

namespace {

constexpr std::array kWatchedSignals{SIGINT, SIGTERM, SIGHUP, SIGUSR1};
int pipeFds[2] = {-1, -1};

extern "C" void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // Nothing sensible to do if the pipe is full: a termination is already pending then.
    if (::write(pipeFds[1], &byte, 1) < 0) {
    }
    errno = savedErrno;
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {}

SignalWatcher::~SignalWatcher() {
    if (!notifier_)
        return;
    for (int signalNumber : kWatchedSignals)
        std::signal(signalNumber, SIG_DFL);
    delete notifier_;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

bool SignalWatcher::install(QString* error) {
    if (pipeFds[0] >= 0) {
        *error = QStringLiteral("signal watcher installed twice");
        return false;
    }
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kWatchedSignals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            *error =
                QStringLiteral("sigaction: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    return true;
}

void SignalWatcher::drain() {
    unsigned char byte = 0;
    int last = 0;
    int cylinders = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        if (byte == SIGUSR1)
            ++cylinders;
        else
            last = byte;
    }
    for (int i = 0; i < cylinders; ++i)
        Q_EMIT nextCylinderRequested();
    if (last != 0)
        Q_EMIT terminationRequested(last);
}

} // namespace korvat::sim
