#pragma once
// Turns the byte stream a converter receives into command lines, the way the boards read them:
// CR ends a line, LF is dropped wherever it appears, empty lines vanish. A partial line has a
// length limit so a stray binary stream cannot grow the buffer without end.

#include <QByteArray>
#include <QList>
#include <QString>

namespace korvat::sim {

class LineSplitter {
public:
    // Commands are a handful of characters; the free service command is the longest thing a
    // program sends. Anything far beyond that is noise, not a command.
    static constexpr qsizetype kDefaultMaxLength = 256;

    struct Line {
        QByteArray text;
        // The line was longer than the limit: `text` holds only its first maxLength bytes and the
        // line must not be acted on.
        bool overlong = false;
    };

    explicit LineSplitter(qsizetype maxLength = kDefaultMaxLength);

    // Feeds received bytes and returns every line they completed, in order. Bytes after the last
    // CR stay pending for the next call.
    QList<Line> feed(const QByteArray& bytes);

    qsizetype pendingSize() const { return partial_.size(); }
    qsizetype maxLength() const { return maxLength_; }

private:
    qsizetype maxLength_;
    QByteArray partial_;
    bool overlong_ = false;
};

// The line as a log shows it: control and non-ASCII bytes as \xNN, so a log line stays one line.
QString printableLine(const QByteArray& line);

} // namespace korvat::sim
