#include "server/DeviceLink.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace korvat::sim {

bool DeviceLink::removeStale(const QString& linkPath, QString* error) {
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        if (!QFile::remove(linkPath)) {
            *error = QStringLiteral("%1: cannot remove the old link").arg(linkPath);
            return false;
        }
        return true;
    }
    // exists() follows links; a dangling link was handled above.
    if (existing.exists()) {
        *error =
            QStringLiteral("%1: exists and is not a symbolic link; not replacing it").arg(linkPath);
        return false;
    }
    return true;
}

bool DeviceLink::create(const QString& linkPath, const QString& target, QString* error) {
    remove();
    if (!removeStale(linkPath, error))
        return false;
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(linkPath).constData()) !=
        0) {
        *error =
            QStringLiteral("%1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    linkPath_ = linkPath;
    target_ = target;
    return true;
}

void DeviceLink::remove() {
    if (linkPath_.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(linkPath_);
    char pointsTo[4096];
    const ssize_t n = ::readlink(path.constData(), pointsTo, sizeof pointsTo);
    if (n >= 0 && QByteArray(pointsTo, static_cast<qsizetype>(n)) == QFile::encodeName(target_))
        ::unlink(path.constData());
    linkPath_.clear();
    target_.clear();
}

} // namespace korvat::sim
