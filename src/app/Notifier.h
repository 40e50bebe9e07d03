#pragma once
// Tells someone who is not at the instrument: when a cell breaks through, a run ends, or a fault
// needs the operator, a desktop notification (the session's notification service over D-Bus)
// and/or a program named in Korvat.ini, started with the event as its arguments:
//     PROGRAM KIND TIME TEXT      e.g.  notify-lab breakthrough 2026-12-10T03:12:30 "cell 2 ..."
// The program gets an argument list, never a shell line, so nothing in a text is run. Both are
// off by default ([Notify] Command empty, [Notify] Desktop=0).

#include "run/Events.h"

#include <QString>
#include <QStringList>

namespace korvat {

class Notifier {
public:
    struct Settings {
        QString command;
        bool desktop = false;
    };
    void configure(Settings settings) { settings_ = std::move(settings); }

    // Whether the event is one to tell.
    static bool notifies(EventKind kind);
    // The arguments the command is started with.
    static QStringList arguments(const RunEvent& event);

    // Tells of the event when it is one to tell. Errors (no such program, no notification
    // service) are returned for the log; they never stop the run.
    QString notify(const RunEvent& event);

private:
    Settings settings_;
};

} // namespace korvat
