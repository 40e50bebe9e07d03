#include "link/DebugLog.h"

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDebugLog, "korvat.link.debuglog")

namespace korvat {

void DebugLog::write(const QString& port, const QString& direction, const QString& text) {
    if (!file_.isOpen()) {
        file_.setFileName(path_);
        if (!file_.open(QIODevice::Append | QIODevice::Text)) {
            qCWarning(lcDebugLog) << "cannot open" << path_ << file_.errorString();
            return;
        }
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    const QString line = clock_.wallNow().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
                         QLatin1Char(' ') + port + QLatin1Char(' ') + direction + QLatin1Char(' ') +
                         shown + QLatin1Char('\n');
    const QByteArray bytes = line.toUtf8();
    if (file_.size() > 0 && file_.size() + bytes.size() > rotation_.maxBytes) {
        rotate();
        if (!file_.isOpen())
            return;
    }
    file_.write(bytes);
    file_.flush();
}

void DebugLog::rotate() {
    file_.close();
    const auto old = [this](int n) { return path_ + QLatin1Char('.') + QString::number(n); };
    QFile::remove(old(rotation_.keep));
    for (int n = rotation_.keep - 1; n >= 1; --n)
        QFile::rename(old(n), old(n + 1));
    if (rotation_.keep > 0)
        QFile::rename(path_, old(1));
    else
        QFile::remove(path_);
    file_.setFileName(path_);
    if (!file_.open(QIODevice::Append | QIODevice::Text))
        qCWarning(lcDebugLog) << "cannot open" << path_ << file_.errorString();
}

} // namespace korvat
