#include "server/ReceivedLineLog.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace korvat::sim {

bool ReceivedLineLog::open(const QString& path, QString* error) {
    bool opened = false;
    if (path.isEmpty()) {
        opened = file_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    } else {
        file_.setFileName(path);
        // Append seeks to the end, which a device such as /dev/null refuses with a warning.
        const QFileInfo existing(path);
        const bool device = existing.exists() && !existing.isFile();
        opened =
            file_.open(device ? QIODevice::WriteOnly : QIODevice::WriteOnly | QIODevice::Append);
    }
    if (!opened) {
        *error = QStringLiteral("%1: %2").arg(path.isEmpty() ? QStringLiteral("stderr") : path,
                                              file_.errorString());
        return false;
    }
    return true;
}

void ReceivedLineLog::write(const ReceivedLine& line) {
    QString text = portName(line.port) + QLatin1Char(' ');
    if (line.overlong)
        text += QStringLiteral("(overlong line dropped) ");
    writeLine(text + printableLine(line.text));
}

void ReceivedLineLog::note(const QString& text) {
    writeLine(QStringLiteral("- ") + text);
}

void ReceivedLineLog::writeLine(const QString& text) {
    if (!file_.isOpen())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    file_.write((stamp + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
    file_.flush();
}

} // namespace korvat::sim
