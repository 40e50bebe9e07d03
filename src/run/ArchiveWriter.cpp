#include "run/ArchiveWriter.h"

#include <QLoggingCategory>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace korvat {

namespace {
Q_LOGGING_CATEGORY(lcArchive, "korvat.run.archive")
}

struct ArchiveWriter::Core {
    Options options;
    mutable std::mutex m;
    std::condition_variable work, idle;
    std::deque<std::pair<ArchivedTest, std::vector<ExportRecord>>> queue;
    bool stopping = false, busy = false, remoteDue = false, kick = false;
    Health health;
    std::thread thread;

    void loop() {
        QString error;
        std::unique_ptr<Archive> local, remote;
        auto clock = std::chrono::steady_clock::now;
        auto lastRemoteTry = clock() - std::chrono::hours(1);
        std::unique_lock lock(m);
        for (;;) {
            const auto retry = std::chrono::milliseconds(options.retryEvery.count());
            const bool remoteWaits = !options.remote.isEmpty() && (remoteDue || health.unsent > 0);
            work.wait_for(lock, remoteWaits ? retry : std::chrono::hours(24), [&] { return stopping || kick || !queue.empty(); });
            const bool kicked = std::exchange(kick, false);
            if (queue.empty() && stopping)
                break;
            busy = true;
            std::deque<std::pair<ArchivedTest, std::vector<ExportRecord>>> jobs;
            jobs.swap(queue);
            const bool ending = stopping;
            lock.unlock();

            if (!local) {
                error.clear();
                local = Archive::open(options.local, &error);
                if (!local)
                    qCWarning(lcArchive).noquote() << error;
            }
            QString localError = local ? QString() : error;
            // Of a test, only the newest figures count; its rows go in each once.
            while (local && !jobs.empty()) {
                auto& [test, rows] = jobs.front();
                if (!local->update(test, rows, &error)) {
                    localError = error;
                    qCWarning(lcArchive).noquote() << "archive" << options.local << ":" << error;
                    break; // kept for the next pass
                }
                jobs.pop_front();
            }

            QString remoteError;
            int unsent = local ? local->unsent() : 0;
            // At the end the server is not waited for: what it has not got stays in the local file.
            const bool tryRemote = !options.remote.isEmpty() && local && unsent > 0 && !ending;
            // A connection that works is used at once; a server that failed is tried again
            // after `retryEvery` (or when asked to settle).
            if (tryRemote && (remote || kicked || clock() - lastRemoteTry >= retry)) {
                lastRemoteTry = clock();
                if (!remote) {
                    remote = Archive::open(options.remote, &error);
                    if (!remote)
                        remoteError = error;
                }
                if (remote && local->syncTo(*remote, &error) < 0) {
                    remoteError = error;
                    remote.reset(); // a new connection with the next try
                }
                unsent = local->unsent();
                if (!remoteError.isEmpty())
                    qCWarning(lcArchive).noquote() << "archive server" << options.remote << ":" << remoteError;
            } else if (tryRemote) {
                remoteError = health.remoteError;
            }

            lock.lock();
            // What the local file did not take goes back in front, in order.
            for (auto it = jobs.rbegin(); it != jobs.rend(); ++it)
                queue.push_front(std::move(*it));
            health.localError = localError;
            health.remoteError = remoteError;
            health.unsent = options.remote.isEmpty() ? 0 : unsent;
            remoteDue = !remoteError.isEmpty();
            ++health.passes;
            busy = false;
            idle.notify_all();
            if (!localError.isEmpty() && !stopping) {
                // A local file that refuses is tried again later, not in a tight loop.
                work.wait_for(lock, retry, [&] { return stopping; });
            }
            if (stopping && (!localError.isEmpty() || queue.empty()))
                break;
        }
        lock.unlock();
        local.reset();
        remote.reset();
    }
};

ArchiveWriter::ArchiveWriter(Options options) : core_(std::make_shared<Core>()) {
    core_->options = std::move(options);
    core_->thread = std::thread([core = core_] { core->loop(); });
}

ArchiveWriter::~ArchiveWriter() {
    {
        std::lock_guard lock(core_->m);
        core_->stopping = true;
    }
    core_->work.notify_all();
    core_->thread.join();
}

void ArchiveWriter::measured(const ArchivedTest& test, std::optional<ExportRecord> row) {
    std::vector<ExportRecord> rows;
    if (row)
        rows.push_back(std::move(*row));
    measured(test, std::move(rows));
}

void ArchiveWriter::measured(const ArchivedTest& test, std::vector<ExportRecord> rows) {
    {
        std::lock_guard lock(core_->m);
        core_->queue.emplace_back(test, std::move(rows));
    }
    core_->work.notify_all();
}

ArchiveWriter::Health ArchiveWriter::health() const {
    std::lock_guard lock(core_->m);
    return core_->health;
}

bool ArchiveWriter::settle(Millis bound) {
    std::unique_lock lock(core_->m);
    const quint64 from = core_->health.passes;
    core_->kick = true;
    core_->work.notify_all();
    return core_->idle.wait_for(lock, std::chrono::milliseconds(bound.count()), [&] {
        return core_->queue.empty() && !core_->busy && core_->health.passes > from &&
               (core_->options.remote.isEmpty() || core_->health.unsent == 0);
    });
}

} // namespace korvat
