#include "run/EventJournal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QList>

#include <unistd.h>

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

bool EventJournal::open(const QString& path) {
    close();
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("Event journal %1 cannot be opened: %2").arg(path, f.errorString());
        return false;
    }
    QByteArray hash = journalGenesis();
    const qint64 size = f.size();
    if (size > 0) {
        // The last whole line's hash is its last field; only the file's end is read.
        const qint64 from = std::max<qint64>(0, size - kTailRead);
        f.seek(from);
        const QByteArray tail = f.readAll();
        if (!tail.endsWith('\n')) {
            f.seek(size);
            if (f.write("\n") != 1 || !f.flush()) {
                error_ = QStringLiteral("Event journal %1 cannot be written: %2").arg(path, f.errorString());
                return false;
            }
        }
        // A last line left without its line end (the program ended while writing it) is closed
        // above and fails the check on its own; the chain goes on from the last whole line.
        QList<QByteArray> lines = tail.split('\n');
        if (!tail.endsWith('\n'))
            lines.removeLast();
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        if (!lines.isEmpty()) {
            const QByteArray& last = lines.last();
            const QByteArray field = last.mid(last.lastIndexOf('\t') + 1);
            if (field.size() == 64)
                hash = field;
        }
    }
    path_ = path;
    lastHash_ = hash;
    error_.clear();
    return true;
}

void EventJournal::close() {
    path_.clear();
    lastHash_.clear();
}

bool EventJournal::append(const JournalEntry& e) {
    if (path_.isEmpty())
        return false;
    const QByteArray body = journalLineBody(e);
    const QByteArray hash = journalHash(lastHash_, body);
    QByteArray line = body;
    line.append('\t').append(hash).append('\n');
    QFile f(path_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(line) != line.size() || !f.flush()) {
        error_ = QStringLiteral("Event journal %1 not written: %2").arg(path_, f.errorString());
        return false;
    }
    ::fsync(f.handle());
    lastHash_ = hash;
    return true;
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

} // namespace korvat
