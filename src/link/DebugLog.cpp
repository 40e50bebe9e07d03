#include "link/DebugLog.h"

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
    file_.write(line.toUtf8());
    file_.flush();
}

} // namespace korvat
