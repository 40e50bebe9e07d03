#pragma once
// The archive as a window reads it: every question asked on a thread of its own, the answer
// handed back on the asking object's thread. A lab server that does not answer holds up that
// thread until its connect timeout, never the window. The connection is opened at the first
// question and again after a question failed (the server may be back).

#include "run/Archive.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace korvat {

// The archive the program uses with `[Archive] Database=named`: a server or another file as
// named, else `localFile`; empty for "none" (the archive switched off).
QString archiveInUse(const QString& named, const QString& localFile);

struct ArchiveListAnswer {
    bool ok = false;
    QString error; // why the archive could not be asked
    std::vector<TestListing> tests;
    // The names the filters offer.
    QStringList chemicals, materials, instruments;
};

struct ArchiveLoadAnswer {
    bool ok = false;
    QString error;
    std::vector<ArchivedTest> tests; // in the order asked for
};

class ArchiveSession {
public:
    explicit ArchiveSession(QString where);
    // Drops the questions not yet begun and waits for the one being answered.
    ~ArchiveSession();
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    const QString& where() const { return where_; }

    // The tests `filter` finds, with the names the filters offer. `done` runs on `context`'s
    // thread; `context` must outlive the session (the window that owns it), so no answer is
    // handed to an object already gone.
    void list(const ArchiveFilter& filter, QObject* context, std::function<void(const ArchiveListAnswer&)> done);
    // The tests `ids` with their measurements.
    void load(const QStringList& ids, QObject* context, std::function<void(const ArchiveLoadAnswer&)> done);

    struct Worker;

private:
    QString where_;
    std::shared_ptr<Worker> worker_;
};

} // namespace korvat
