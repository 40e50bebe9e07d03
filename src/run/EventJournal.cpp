#include "run/EventJournal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QFile>
#include <QList>

#include <cerrno>

namespace korvat {

namespace {
constexpr int kFields = 6;
constexpr qint64 kTailRead = 64 * 1024;
} // namespace

QString escapeJournalField(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (const QChar c : field) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

std::optional<QString> unescapeJournalField(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c != QLatin1Char('\\')) {
            out += c;
            continue;
        }
        if (++i >= field.size())
            return std::nullopt;
        switch (field[i].unicode()) {
        case '\\': out += QLatin1Char('\\'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 'r': out += QLatin1Char('\r'); break;
        case 'x': {
            bool ok = false;
            const QString digits = field.mid(i + 1, 2);
            const int v = digits.toInt(&ok, 16);
            if (!ok || digits.size() != 2)
                return std::nullopt;
            out += QChar(v);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return out;
}

QByteArray journalLineBody(const JournalEntry& e) {
    const QStringList fields{e.time.toString(Qt::ISODateWithMs), escapeJournalField(e.kind),
                             escapeJournalField(e.port), QString::number(e.measurement),
                             escapeJournalField(e.text)};
    return fields.join(QLatin1Char('\t')).toUtf8();
}

QByteArray journalGenesis() { return QByteArray(64, '0'); }

QByteArray journalHash(const QByteArray& previousHash, const QByteArray& body) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(previousHash);
    h.addData("\t");
    h.addData(body);
    return h.result().toHex();
}

EventJournal::EventJournal(std::shared_ptr<FileLayer> files)
    : files_(files ? std::move(files) : makePosixFileLayer()) {}

void EventJournal::setPath(const QString& path) {
    if (path == path_)
        return;
    path_ = path;
    known_ = false;
    seen_ = false;
    expected_.reset();
    lastHash_.clear();
}

bool EventJournal::open(const QString& path) {
    setPath(path);
    const FileResult looked = look();
    if (!looked) {
        error_ = QStringLiteral("Event journal %1 cannot be opened: %2").arg(path, looked.reason);
        path_.clear();
        return false;
    }
    error_.clear();
    return true;
}

void EventJournal::close() {
    path_.clear();
    known_ = false;
    expected_.reset();
    lastHash_.clear();
}

bool EventJournal::append(const JournalEntry& e) {
    if (path_.isEmpty())
        return false;
    const FileResult written = write({e});
    if (!written) {
        error_ = QStringLiteral("Event journal %1 not written: %2").arg(path_, written.reason);
        return false;
    }
    error_.clear();
    return true;
}

FileResult EventJournal::look() {
    FileResult looked;
    const std::optional<FileIdentity> id = files_->identity(path_, &looked);
    if (!id) {
        if (looked.error == ENOENT && !seen_) {
            mayCreate_ = true;
            lastHash_ = journalGenesis();
            expected_.reset();
            known_ = true;
            return {};
        }
        known_ = false;
        if (looked.error == ENOENT)
            return FileResult::failed(path_, ENOENT, QStringLiteral("the journal is not there any more"));
        return looked;
    }
    QByteArray tail;
    if (const FileResult read = files_->read(path_, &tail, std::max<qint64>(0, id->size - kTailRead)); !read)
        return read;
    FileIdentity at = *id;
    if (!tail.isEmpty() && !tail.endsWith('\n')) {
        // A last line left without its line end (the program ended while writing it) is closed
        // and fails the check on its own; the chain goes on from the last whole line.
        if (const FileResult closed = files_->append(path_, "\n", FileLayer::Create::No, &*id, &at); !closed)
            return closed;
    }
    QList<QByteArray> lines = tail.split('\n');
    if (!tail.endsWith('\n'))
        lines.removeLast();
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    lastHash_ = journalGenesis();
    if (!lines.isEmpty()) {
        const QByteArray& last = lines.last();
        const QByteArray field = last.mid(last.lastIndexOf('\t') + 1);
        if (field.size() == 64)
            lastHash_ = field;
    }
    expected_ = at;
    mayCreate_ = false;
    seen_ = true;
    known_ = true;
    return {};
}

FileResult EventJournal::write(const std::vector<JournalEntry>& entries) {
    if (entries.empty())
        return {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!known_)
            if (const FileResult looked = look(); !looked)
                return looked;
        QByteArray bytes;
        QByteArray hash = lastHash_;
        for (const JournalEntry& e : entries) {
            const QByteArray body = journalLineBody(e);
            hash = journalHash(hash, body);
            bytes += body + '\t' + hash + '\n';
        }
        FileIdentity after;
        const std::optional<FileIdentity> expected = expected_;
        const FileResult written = files_->append(path_, bytes, mayCreate_ ? FileLayer::Create::New : FileLayer::Create::No,
                                                  expected ? &*expected : nullptr, &after);
        if (written) {
            lastHash_ = hash;
            expected_ = after;
            mayCreate_ = false;
            seen_ = true;
            return written;
        }
        if (!written.changed && written.error != EEXIST)
            return written;
        // Something else wrote to it, or it was made meanwhile: its end is read again and the
        // chain goes on from there.
        known_ = false;
    }
    return FileResult::notTheSame(path_, QStringLiteral("it changed while the journal was written"));
}

JournalCheck verifyJournal(const QString& path) {
    JournalCheck check;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        check.readable = false;
        check.reason = f.errorString();
        return check;
    }
    QByteArray previous = journalGenesis();
    int number = 0;
    auto bad = [&](const QString& why) {
        check.firstBadLine = number;
        check.reason = why;
        return check;
    };
    while (!f.atEnd()) {
        QByteArray line = f.readLine();
        ++number;
        check.lines = number;
        if (!line.endsWith('\n'))
            return bad(QStringLiteral("the line has no line end (the file was cut)"));
        line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != kFields)
            return bad(QStringLiteral("%1 fields instead of %2").arg(fields.size()).arg(kFields));
        const qsizetype tab = line.lastIndexOf('\t');
        const QByteArray body = line.left(tab);
        const QByteArray hash = line.mid(tab + 1);
        if (journalHash(previous, body) != hash)
            return bad(QStringLiteral("the hash does not fit the line and the one before it (changed, inserted or removed)"));
        if (!QDateTime::fromString(QString::fromUtf8(fields[0]), Qt::ISODateWithMs).isValid())
            return bad(QStringLiteral("no valid time"));
        previous = hash;
    }
    return check;
}

std::vector<JournalMismatch> verifyJournalData(const QString& journalPath) {
    std::vector<JournalMismatch> found;
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadOnly))
        return found;
    const QFileInfo info(journalPath);
    QString stem = info.fileName();
    if (stem.endsWith(QLatin1String("_events.log")))
        stem.chop(int(qstrlen("_events.log")));
    const QString results = info.dir().filePath(stem + QStringLiteral(".csv"));
    // Every line of the results file by its hash, as the row was hashed: without its line end.
    QSet<QByteArray> rows;
    QFile csv(results);
    if (csv.open(QIODevice::ReadOnly))
        for (QByteArray line : csv.readAll().split('\n')) {
            while (line.endsWith('\r'))
                line.chop(1);
            rows.insert(QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex());
        }
    static const QRegularExpression rowHash(QStringLiteral("; row sha256 ([0-9a-f]{64})"));
    static const QRegularExpression rawHash(QStringLiteral("; raw-data file (.+) sha256 ([0-9a-f]{64})"));
    static const QRegularExpression discarded(QStringLiteral("journalled at (\\S+) "));
    struct Outcome {
        int line, measurement;
        QString time, text;
    };
    std::vector<Outcome> outcomes;
    QSet<QString> discardedAt;
    int number = 0;
    while (!journal.atEnd()) {
        const QByteArray raw = journal.readLine();
        ++number;
        const QList<QByteArray> f = raw.split('\t');
        if (f.size() < 5)
            continue;
        const QString kind = unescapeJournalField(QString::fromUtf8(f[1])).value_or(QString());
        const QString text = unescapeJournalField(QString::fromUtf8(f[4])).value_or(QString());
        if (kind == QLatin1String("measurement"))
            outcomes.push_back({number, f[3].toInt(), QString::fromUtf8(f[0]), text});
        else if (kind == QLatin1String("measurement-discarded"))
            if (const QRegularExpressionMatch m = discarded.match(text); m.hasMatch())
                discardedAt.insert(m.captured(1));
    }
    for (const Outcome& o : outcomes) {
        if (discardedAt.contains(o.time))
            continue;
        if (const QRegularExpressionMatch m = rowHash.match(o.text); m.hasMatch() && !rows.contains(m.captured(1).toLatin1()))
            found.push_back({o.line, o.measurement, false,
                             QStringLiteral("measurement %1: its row is not in %2 as it was recorded (changed or removed)")
                                 .arg(o.measurement)
                                 .arg(results)});
        if (const QRegularExpressionMatch m = rawHash.match(o.text); m.hasMatch()) {
            const QString path = info.dir().filePath(m.captured(1));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                found.push_back({o.line, o.measurement, true,
                                 QStringLiteral("measurement %1: %2 is not there").arg(o.measurement).arg(path)});
            else if (QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex() != m.captured(2).toLatin1())
                found.push_back({o.line, o.measurement, true,
                                 QStringLiteral("measurement %1: %2 is not as it was recorded (changed)").arg(o.measurement).arg(path)});
        }
    }
    return found;
}

} // namespace korvat
