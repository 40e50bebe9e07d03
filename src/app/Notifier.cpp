#include "app/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>
#include <QProcess>
#include <QVariantMap>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace korvat {

struct Notifier::Worker {
    std::mutex m;
    std::condition_variable work, done;
    std::deque<RunEvent> queue;
    Settings settings;
    std::function<void(const QString&)> onError;
    QPointer<QObject> context;
    int pending = 0;
    bool stopping = false;
    bool finished = false;
    std::thread thread;

    void run() {
        for (;;) {
            RunEvent e;
            Settings s;
            {
                std::unique_lock lock(m);
                work.wait(lock, [&] { return stopping || !queue.empty(); });
                if (queue.empty()) {
                    finished = true;
                    done.notify_all();
                    return;
                }
                e = queue.front();
                queue.pop_front();
                s = settings;
            }
            const QString error = tell(e, s);
            {
                std::lock_guard lock(m);
                --pending;
                if (!error.isEmpty() && onError && context) {
                    auto f = onError;
                    QMetaObject::invokeMethod(context.data(), [f, error] { f(error); }, Qt::QueuedConnection);
                }
            }
        }
    }

    static QString tell(const RunEvent& e, const Settings& s) {
        QStringList errors;
        if (!s.command.isEmpty() && !QProcess::startDetached(s.command, arguments(e)))
            errors << QStringLiteral("Notification command %1 could not be started").arg(s.command);
        if (s.desktop) {
            // A message call without looking the service up first (that would be a call of its
            // own); on this thread, the wait for the answer holds up nothing else.
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
                QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
            call << QStringLiteral("KORVAT-PC") << 0u << QString() << QStringLiteral("KORVAT-PC: ") + eventKindName(e.kind)
                 << e.text << QStringList() << QVariantMap() << -1;
            QDBusConnection bus = QDBusConnection::sessionBus();
            const QDBusMessage reply =
                bus.isConnected() ? bus.call(call, QDBus::Block, 20000) : QDBusMessage::createError(bus.lastError());
            if (reply.type() != QDBusMessage::ReplyMessage)
                errors << QStringLiteral("Desktop notification not shown (%1)")
                              .arg(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
        }
        return errors.join(QStringLiteral("; "));
    }
};

Notifier::Notifier() : worker_(std::make_shared<Worker>()) {
    worker_->context = &context_;
    std::shared_ptr<Worker> w = worker_;
    worker_->thread = std::thread([w] { w->run(); });
}

Notifier::~Notifier() {
    Worker& w = *worker_;
    std::unique_lock lock(w.m);
    w.stopping = true;
    w.queue.clear();
    w.onError = nullptr;
    w.work.notify_all();
    // A notification service that does not answer is not waited for at the program's end.
    if (w.done.wait_for(lock, std::chrono::milliseconds(500), [&] { return w.finished; })) {
        lock.unlock();
        w.thread.join();
    } else {
        lock.unlock();
        w.thread.detach();
    }
}

void Notifier::configure(Settings settings) {
    std::lock_guard lock(worker_->m);
    worker_->settings = std::move(settings);
}

void Notifier::onError(std::function<void(const QString&)> f) {
    std::lock_guard lock(worker_->m);
    worker_->onError = std::move(f);
}

int Notifier::pending() const {
    std::lock_guard lock(worker_->m);
    return worker_->pending;
}

bool Notifier::notifies(EventKind kind) {
    switch (kind) {
    case EventKind::Breakthrough:
    case EventKind::RunEnd:
    case EventKind::LineLost:
    case EventKind::ConverterTimeout:
    case EventKind::FileWaiting:
    case EventKind::ResultsFileChanged:
    case EventKind::RunStateDamaged:
        return true;
    default:
        return false;
    }
}

QStringList Notifier::arguments(const RunEvent& e) {
    return {eventKindName(e.kind), e.time.toString(Qt::ISODate), e.text};
}

void Notifier::notify(const RunEvent& e) {
    if (!notifies(e.kind))
        return;
    Worker& w = *worker_;
    std::lock_guard lock(w.m);
    if (w.settings.command.isEmpty() && !w.settings.desktop)
        return;
    w.queue.push_back(e);
    ++w.pending;
    w.work.notify_one();
}

} // namespace korvat
