#include "app/ArchiveSession.h"

#include <QMetaObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace korvat {

QString archiveInUse(const QString& named, const QString& localFile) {
    const QString n = named.trimmed();
    if (n.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return {};
    return n.isEmpty() ? localFile : n;
}

struct ArchiveSession::Worker {
    using Job = std::function<void(Worker&)>;

    QString where;
    std::unique_ptr<Archive> archive; // the worker thread's alone
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
    std::thread thread;

    // The archive, opened when it is not; nullptr with `error` said.
    Archive* open(QString* error) {
        if (!archive)
            archive = Archive::open(where, error);
        return archive.get();
    }
    // After a failed question the connection may be the broken part: the next one opens anew.
    void failed() { archive.reset(); }

    void run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return stopping || !jobs.empty(); });
                if (stopping)
                    break;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job(*this);
        }
        // The connection belongs to this thread: it is closed here.
        archive.reset();
    }

    void post(Job job) {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }
};

namespace {

template <typename Answer>
void answer(QObject* context, const std::function<void(const Answer&)>& done, Answer a) {
    // Queued on the context's thread: dropped there when the context is deleted before it runs.
    QMetaObject::invokeMethod(
        context, [done, a = std::move(a)] { done(a); }, Qt::QueuedConnection);
}

} // namespace

ArchiveSession::ArchiveSession(QString where) : where_(std::move(where)), worker_(std::make_shared<Worker>()) {
    worker_->where = where_;
    worker_->thread = std::thread([w = worker_] { w->run(); });
}

ArchiveSession::~ArchiveSession() {
    {
        std::lock_guard lock(worker_->mutex);
        worker_->stopping = true;
        worker_->jobs.clear();
    }
    worker_->wake.notify_one();
    worker_->thread.join();
}

void ArchiveSession::list(const ArchiveFilter& filter, QObject* context,
                          std::function<void(const ArchiveListAnswer&)> done) {
    worker_->post([filter, guard = context, done = std::move(done)](Worker& w) {
        ArchiveListAnswer a;
        if (w.where.isEmpty()) {
            a.error = QStringLiteral("[Archive] Database=none");
            return answer(guard, done, std::move(a));
        }
        Archive* archive = w.open(&a.error);
        if (!archive)
            return answer(guard, done, std::move(a));
        QString error;
        a.tests = archive->find(filter, &error);
        if (error.isEmpty())
            a.chemicals = archive->names(Archive::Names::Chemicals, &error);
        if (error.isEmpty())
            a.materials = archive->names(Archive::Names::Materials, &error);
        if (error.isEmpty())
            a.instruments = archive->names(Archive::Names::Instruments, &error);
        if (!error.isEmpty()) {
            w.failed();
            a = ArchiveListAnswer{};
            a.error = error;
            return answer(guard, done, std::move(a));
        }
        a.ok = true;
        answer(guard, done, std::move(a));
    });
}

void ArchiveSession::load(const QStringList& ids, QObject* context, std::function<void(const ArchiveLoadAnswer&)> done) {
    worker_->post([ids, guard = context, done = std::move(done)](Worker& w) {
        ArchiveLoadAnswer a;
        Archive* archive = w.where.isEmpty() ? nullptr : w.open(&a.error);
        if (!archive) {
            if (a.error.isEmpty())
                a.error = QStringLiteral("[Archive] Database=none");
            return answer(guard, done, std::move(a));
        }
        for (const QString& id : ids) {
            QString error;
            std::optional<ArchivedTest> t = archive->load(id, &error);
            if (!t) {
                w.failed();
                a = ArchiveLoadAnswer{};
                a.error = error;
                return answer(guard, done, std::move(a));
            }
            a.tests.push_back(std::move(*t));
        }
        a.ok = true;
        answer(guard, done, std::move(a));
    });
}

} // namespace korvat
