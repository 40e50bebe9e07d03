#include "app/Notifier.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QVariantMap>

namespace korvat {

bool Notifier::notifies(EventKind kind) {
    switch (kind) {
    case EventKind::Breakthrough:
    case EventKind::RunEnd:
    case EventKind::LineLost:
    case EventKind::ConverterTimeout:
    case EventKind::FileWaiting:
        return true;
    default:
        return false;
    }
}

QStringList Notifier::arguments(const RunEvent& e) {
    return {eventKindName(e.kind), e.time.toString(Qt::ISODate), e.text};
}

QString Notifier::notify(const RunEvent& e) {
    if (!notifies(e.kind))
        return {};
    QStringList errors;
    if (!settings_.command.isEmpty() && !QProcess::startDetached(settings_.command, arguments(e)))
        errors << QStringLiteral("Notification command %1 could not be started").arg(settings_.command);
    if (settings_.desktop) {
        QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"),
                               QStringLiteral("/org/freedesktop/Notifications"),
                               QStringLiteral("org.freedesktop.Notifications"), QDBusConnection::sessionBus());
        const QDBusReply<uint> reply =
            service.isValid() ? service.call(QStringLiteral("Notify"), QStringLiteral("KORVAT-PC"), 0u, QString(),
                                             QStringLiteral("KORVAT-PC: ") + eventKindName(e.kind), e.text,
                                             QStringList(), QVariantMap(), -1)
                              : QDBusReply<uint>();
        if (!reply.isValid())
            errors << QStringLiteral("Desktop notification not shown (%1)")
                          .arg(service.isValid() ? reply.error().message() : service.lastError().message());
    }
    return errors.join(QStringLiteral("; "));
}

} // namespace korvat
