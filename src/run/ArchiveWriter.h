#pragma once
// Puts a run into the archive as it goes, on a thread of its own: the tick hands it the test and
// each new measurement with the cells' figures as they stand, and goes on at once. Everything
// goes into the local SQLite file first; with a lab server named, what the local file holds is
// then sent there (Archive::syncTo) — at once, and again every `retryEvery` while the server
// cannot be reached. A server that is down, slow or refusing never holds up the run, and each
// measurement reaches it exactly once.

#include "run/Archive.h"
#include "util/Clock.h"

#include <QString>
#include <memory>

namespace korvat {

class ArchiveWriter {
public:
    struct Options {
        QString local;  // the SQLite file (always written)
        QString remote; // the lab's server; empty: none
        Millis retryEvery{30'000};
    };
    explicit ArchiveWriter(Options options);
    ~ArchiveWriter(); // finishes what it was given (bounded), then stops
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // The test with its cells' figures as they stand, and the measurement just recorded (none:
    // the test alone, at its start).
    void measured(const ArchivedTest& test, std::optional<ExportRecord> row);
    // The same with several measurements at once (a resumed run's so far: those the archive has
    // are left as they are).
    void measured(const ArchivedTest& test, std::vector<ExportRecord> rows);

    struct Health {
        QString localError;  // the local file refused (empty: fine)
        QString remoteError; // the server could not be reached or refused (empty: fine)
        int unsent = 0;      // tests the server has not got up to date
        quint64 passes = 0;  // completed passes (for tests)
    };
    Health health() const;
    // Waits at most `bound` until everything handed over is in the local file and, when the
    // server answers, sent. True when nothing is left to do.
    bool settle(Millis bound);

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

} // namespace korvat
