#pragma once
// The debug log: with "SetDebug" above 0 every command sent and every reply taken goes to a text
// file beside the program, one line each, with the time and the port.

#include "util/Clock.h"

#include <QFile>
#include <QString>

namespace korvat {

class DebugLog {
public:
    DebugLog(const Clock& clock, QString path) : clock_(clock), path_(std::move(path)) {}

    const QString& path() const { return path_; }
    // `port` names the line ("COM2", "/dev/pts/4"); `direction` is ">" for sent, "<" for taken.
    void write(const QString& port, const QString& direction, const QString& text);

private:
    const Clock& clock_;
    QString path_;
    QFile file_;
};

} // namespace korvat
