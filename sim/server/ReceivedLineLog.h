#pragma once
// korvat-sim's record of what the program sent: one line per received command with the wall time
// and the port, appended to a file or written to stderr. Flushed line by line, so a crash of
// either side still leaves the log complete up to that moment.

#include "model/VirtualInstrument.h"

#include <QFile>
#include <QString>

namespace korvat::sim {

class ReceivedLineLog {
public:
    // An empty path logs to stderr.
    bool open(const QString& path, QString* error);
    void write(const ReceivedLine& line);
    void note(const QString& text);

private:
    void writeLine(const QString& text);

    QFile file_;
};

} // namespace korvat::sim
