#pragma once
// The event journal of a results file ("Glove7.csv" -> "Glove7_events.log"): one line per event,
// appended and pushed to the disk, so the morning after an unattended run shows
// what happened and when. Every line ends with a SHA-256 over the previous line's hash and its
// own text: a changed, inserted or removed line breaks the chain from there on.
//
// A line: time (ISO 8601 with milliseconds and offset), kind, port, measurement number (0 when
// none), text, hash, separated by tabs, LF at the end, UTF-8. Tabs, line breaks and other
// control characters in a field are written as \t, \n, \r, \xNN, and "\" as "\\", so every event
// is one line.

#include "util/FileLayer.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

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

// One journal file: where its chain stands and how lines go on it. Lines are appended in one
// checked write each batch (FileLayer::append: all of them or none, cut back on failure), so a
// line that fails leaves nothing behind and the chain is continued by the same lines on the next
// try. A journal that was there once is never made anew (its folder may be a bare mount point
// by then); one that was not there is created with its first line.
class EventJournal {
public:
    explicit EventJournal(std::shared_ptr<FileLayer> files = {});

    // Continues the journal at `path` (created with the first line when missing): the next line
    // chains from the last whole line there. A last line without its line end (the program
    // ended while writing it) is closed with a line end first, so it fails the check on its own
    // and nothing else joins it. False and error() when the file cannot be read.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }
    // Appends one line and pushes it to the disk. False and error() when it could not be written.
    bool append(const JournalEntry& e);
    const QString& error() const { return error_; }

    // The steps the recorder takes: which file, where its chain stands, and lines written on.
    void setPath(const QString& path);
    FileResult look();
    // Looks first when that is not done; when the file changed under it (another size or inode),
    // looks again and tries once more.
    FileResult write(const std::vector<JournalEntry>& lines);
    bool known() const { return known_; }
    // The file is not there and would be created by the next write.
    bool wouldCreate() const { return known_ && mayCreate_; }
    const std::optional<FileIdentity>& expected() const { return expected_; }

private:
    std::shared_ptr<FileLayer> files_;
    QString path_;
    QByteArray lastHash_;
    std::optional<FileIdentity> expected_;
    bool known_ = false;
    bool mayCreate_ = false;
    bool seen_ = false;
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

// Whether the rows and raw-data files a journal's measurement lines recorded are still what they
// were: each measurement's line carries the SHA-256 of its results row ("row sha256 ...") and of
// its raw-data file ("raw-data file NAME sha256 ..."). The results file is the journal's own
// ("<stem>_events.log" -> "<stem>.csv"), the raw-data files lie beside it. Outcomes marked
// discarded later (measurement-discarded: the program ended before their row) are not checked.
struct JournalMismatch {
    int line = 0;        // the measurement's line in the journal
    int measurement = 0;
    bool raw = false;    // a raw-data file, else a row
    QString text;
};
std::vector<JournalMismatch> verifyJournalData(const QString& journalPath);

} // namespace korvat
