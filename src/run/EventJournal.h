#pragma once
// The event journal of a results file ("Glove7.csv" -> "Glove7_events.log"): one line per event,
// appended and pushed to the disk line by line, so the morning after an unattended run shows
// what happened and when. Every line ends with a SHA-256 over the previous line's hash and its
// own text: a changed, inserted or removed line breaks the chain from there on.
//
// A line: time (ISO 8601 with milliseconds and offset), kind, port, measurement number (0 when
// none), text, hash, separated by tabs, LF at the end, UTF-8. Tabs, line breaks and other
// control characters in a field are written as \t, \n, \r, \xNN, and "\" as "\\", so every event
// is one line.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace korvat {

struct JournalEntry {
    QDateTime time;
    QString kind;
    QString port;
    int measurement = 0;
    QString text;
};

// The text of an entry without its hash (no line end), and the hash that follows it.
QByteArray journalLineBody(const JournalEntry& e);
QByteArray journalHash(const QByteArray& previousHash, const QByteArray& body);
// The hash a journal's first line chains from.
QByteArray journalGenesis();
// Field escaping, and its inverse (nullopt for a broken escape).
QString escapeJournalField(const QString& field);
std::optional<QString> unescapeJournalField(const QString& field);

class EventJournal {
public:
    // Continues the journal at `path` (created when missing): the next line chains from the
    // last whole line there. A last line without its line end (the program ended while writing
    // it) is closed with a line end first, so it fails the check on its own and nothing else
    // joins it. False and error() when the file cannot be opened or read.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }

    // Appends one line and pushes it to the disk. False and error() when it could not be written
    // (the line is then lost for the journal; the caller says so elsewhere).
    bool append(const JournalEntry& e);
    const QString& error() const { return error_; }

private:
    QString path_;
    QByteArray lastHash_;
    QString error_;
};

// Checks a journal line by line. `firstBadLine` is 0 when every line fits; otherwise the
// 1-based number of the first line that does not and why.
struct JournalCheck {
    bool readable = true;
    int lines = 0;
    int firstBadLine = 0;
    QString reason;
};
JournalCheck verifyJournal(const QString& path);

} // namespace korvat
