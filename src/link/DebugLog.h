#pragma once
// The debug log: with "SetDebug" above 0 every command sent and every reply taken goes to a text
// file beside the program, one line each, with the time and the port. It grows by tens of
// kilobytes a minute while the status poll runs, so it is rotated: past its size limit the file
// becomes korvat-debug.log.1 (the older ones .2, .3 ...) and a new one starts; the oldest beyond
// the number kept goes.

#include "util/Clock.h"

#include <QFile>
#include <QString>

namespace korvat {

class DebugLog {
public:
    struct Rotation {
        qint64 maxBytes = 10 * 1024 * 1024; // a file is never longer
        int keep = 3;                       // old files kept beside the current one
    };
    DebugLog(const Clock& clock, QString path) : DebugLog(clock, std::move(path), Rotation{}) {}
    DebugLog(const Clock& clock, QString path, Rotation rotation)
        : clock_(clock), path_(std::move(path)), rotation_(rotation) {}

    const QString& path() const { return path_; }
    // `port` names the line ("COM2", "/dev/pts/4"); `direction` is ">" for sent, "<" for taken.
    void write(const QString& port, const QString& direction, const QString& text);

private:
    void rotate();

    const Clock& clock_;
    QString path_;
    Rotation rotation_;
    QFile file_;
};

} // namespace korvat
