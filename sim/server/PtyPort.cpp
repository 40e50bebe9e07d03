#include "server/PtyPort.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace korvat::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool addFlags(int fd, int getCmd, int setCmd, int flags) {
    const int old = ::fcntl(fd, getCmd);
    return old != -1 && ::fcntl(fd, setCmd, old | flags) != -1;
}

} // namespace

PtyPort::PtyPort(QObject* parent) : QObject(parent) {}

PtyPort::~PtyPort() {
    close();
}

void PtyPort::close() {
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
    devicePath_.clear();
    pending_.clear();
    failed_ = false;
}

bool PtyPort::open(QString* error) {
    close();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        *error = systemError("posix_openpt");
        return false;
    }
    if (!addFlags(master_, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !addFlags(master_, F_GETFL, F_SETFL, O_NONBLOCK)) {
        *error = systemError("fcntl");
        return false;
    }
    if (::grantpt(master_) != 0) {
        *error = systemError("grantpt");
        return false;
    }
    if (::unlockpt(master_) != 0) {
        *error = systemError("unlockpt");
        return false;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        *error = systemError("ptsname");
        return false;
    }
    devicePath_ = QString::fromLocal8Bit(name);

    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        *error = systemError("open slave");
        return false;
    }
    // Raw from the start: no echo of the program's commands back to it, no CR to LF mapping, in
    // case the program does not set the line up itself.
    termios settings{};
    if (::tcgetattr(slave_, &settings) != 0) {
        *error = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B115200);
    settings.c_cflag |= CSTOPB | CLOCAL | CREAD;
    if (::tcsetattr(slave_, TCSANOW, &settings) != 0) {
        *error = systemError("tcsetattr");
        return false;
    }

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyPort::readMaster);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyPort::flush);
    return true;
}

void PtyPort::send(const QByteArray& bytes) {
    if (master_ < 0 || failed_ || bytes.isEmpty())
        return;
    if (pending_.size() + bytes.size() > kMaxPendingOutput) {
        dropped_ += bytes.size();
        return;
    }
    pending_.append(bytes);
    flush();
}

void PtyPort::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            if (receiver_)
                receiver_(QByteArray(buffer, static_cast<qsizetype>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO or end of file: every slave descriptor is gone, which our own one should prevent.
        // Stop listening rather than spin on a notifier that fires forever.
        fail(n == 0 ? QStringLiteral("pty master: end of file") : systemError("read pty master"));
        return;
    }
}

void PtyPort::flush() {
    while (!pending_.isEmpty()) {
        const ssize_t n =
            ::write(master_, pending_.constData(), static_cast<size_t>(pending_.size()));
        if (n > 0) {
            pending_.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        fail(systemError("write pty master"));
        return;
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!pending_.isEmpty());
}

void PtyPort::fail(const QString& reason) {
    if (failed_)
        return;
    failed_ = true;
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    pending_.clear();
    Q_EMIT failed(reason);
}

} // namespace korvat::sim
