#pragma once
// Tells someone who is not at the instrument: when a cell breaks through, a run ends, or a fault
// needs the operator, a desktop notification (the session's notification service over D-Bus)
// and/or a program named in Korvat.ini, started with the event as its arguments:
//     PROGRAM KIND TIME TEXT      e.g.  notify-lab breakthrough 2026-12-10T03:12:30 "cell 2 ..."
// The program gets an argument list, never a shell line, so nothing in a text is run. Both are
// off by default ([Notify] Command empty, [Notify] Desktop=0).
//
// A notice never holds up the tick: the tick hands it over and goes on, and a thread of the
// notifier's own starts the program and talks to the notification service, which may take its
// time to answer (or never do). What goes wrong comes back to the window's thread as a text for
// the log.

#include "run/Events.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace korvat {

class Notifier {
public:
    struct Settings {
        QString command;
        bool desktop = false;
    };
    Notifier();
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    void configure(Settings settings);

    // Whether the event is one to tell.
    static bool notifies(EventKind kind);
    // The arguments the command is started with.
    static QStringList arguments(const RunEvent& event);

    // Tells of the event when it is one to tell, off the caller's thread; returns at once.
    void notify(const RunEvent& event);
    // Errors (no such program, no notification service) are given to `f` on the thread the
    // notifier was made on, for the log; they never stop the run.
    void onError(std::function<void(const QString&)> f);
    // Notices handed over and not yet done (started, or answered by the service).
    int pending() const;

    struct Worker;

private:
    QObject context_; // lives on the window's thread: errors come back through it
    std::shared_ptr<Worker> worker_;
};

} // namespace korvat
