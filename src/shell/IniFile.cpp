#include "shell/IniFile.h"

#include "util/NumberText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace korvat {

namespace {

constexpr int kMaxTextLength = 2047;

bool isSectionLine(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.contains(QLatin1Char(']'));
}

QString sectionName(const QString& trimmed) {
    return trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Key of a "key=value" line, or an empty string for any other line.
QString keyOf(const QString& line) {
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return {};
    return line.left(eq).trimmed();
}

void setEntry(IniDocument& doc, const QString& section, const QString& key, const QString& value) {
    const QString newLine = key + QLatin1Char('=') + value;
    std::vector<IniLine>& lines = doc.lines;
    bool inSection = false;
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].text.trimmed();
        if (isSectionLine(t)) {
            if (inSection)
                break;
            if (sameName(sectionName(t), section)) {
                inSection = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!t.isEmpty())
            insertAt = i + 1;
        if (sameName(keyOf(lines[i].text), key)) {
            doc.setText(i, newLine);
            return;
        }
    }
    if (!inSection) {
        doc.insert(lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
        doc.insert(lines.size(), newLine);
        return;
    }
    doc.insert(insertAt, newLine);
}

} // namespace

bool IniFile::exists() const { return QFileInfo(path_).isFile(); }

std::optional<IniDocument> IniFile::read(QString* error) const {
    if (error)
        error->clear();
    QFile file(path_);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path_, file.errorString());
        return std::nullopt;
    }
    return decodeIniText(file.readAll());
}

std::optional<QString> IniFile::lookup(const QString& section, const QString& key) const {
    const auto doc = read();
    // Bytes that are no settings hold no values, whatever they happen to look like.
    if (!doc || doc->verdict == IniVerdict::NotSettings)
        return std::nullopt;
    bool inSection = false;
    for (const IniLine& entry : doc->lines) {
        const QString& line = entry.text;
        const QString t = line.trimmed();
        if (isSectionLine(t)) {
            inSection = sameName(sectionName(t), section);
            continue;
        }
        if (inSection && sameName(keyOf(line), key))
            return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
    }
    return std::nullopt;
}

QString IniFile::readString(const QString& section, const QString& key,
                            const QString& fallback) const {
    return lookup(section, key).value_or(fallback).left(kMaxTextLength);
}

int IniFile::readInteger(const QString& section, const QString& key, int fallback) const {
    const auto text = lookup(section, key);
    if (!text)
        return fallback;
    return parseInteger(*text).value_or(fallback);
}

std::optional<double> IniFile::readFloat(const QString& section, const QString& key,
                                         double fallback, QString* error) const {
    const auto text = lookup(section, key);
    if (!text)
        return fallback;
    if (const auto v = parseDecimal(*text))
        return v;
    if (error) {
        *error = QStringLiteral("\"%1\" is not a valid number: key %2 of section [%3] in %4")
                     .arg(*text, key, section, path_);
    }
    return std::nullopt;
}

bool IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    if (!changeObserver_)
        return writeEntries({{section, key, value}});
    const QString before = readString(section, key, QString());
    if (!writeEntries({{section, key, value}}))
        return false;
    if (before != value)
        changeObserver_(section, key, before, value);
    return true;
}

bool IniFile::writeInteger(const QString& section, const QString& key, int value) {
    return writeString(section, key, QString::number(value));
}

QChar IniFile::decimalSeparator(const QString& section, const QString& key) const {
    if (const auto own = lookup(section, key))
        if (const QChar c = decimalSeparatorOf(*own); !c.isNull())
            return c;
    // The file's other numbers say how it is written; a file edited under another locale keeps
    // its own form.
    int commas = 0, points = 0;
    if (const auto doc = read(); doc && doc->verdict != IniVerdict::NotSettings) {
        for (const IniLine& entry : doc->lines) {
            const QString& line = entry.text;
            if (keyOf(line).isEmpty())
                continue;
            const QChar c = decimalSeparatorOf(QStringView(line).mid(line.indexOf(QLatin1Char('=')) + 1));
            commas += c == QLatin1Char(',');
            points += c == QLatin1Char('.');
        }
    }
    if (commas != points)
        return commas > points ? QLatin1Char(',') : QLatin1Char('.');
    // Nothing to go by: the file's language decides, as for a file the program creates.
    return readString(QStringLiteral("Language"), QStringLiteral("Code"), QString()) == QLatin1String("US")
               ? QLatin1Char('.')
               : QLatin1Char(',');
}

QString formatDecimal(double value, QChar separator) {
    return formatGeneral(value, separator == QLatin1Char(',') ? QLocale(QLocale::German, QLocale::Germany)
                                                              : QLocale::c());
}

bool IniFile::writeFloat(const QString& section, const QString& key, double value) {
    return writeString(section, key, formatDecimal(value, decimalSeparator(section, key)));
}

bool IniFile::writeEntries(const std::vector<Entry>& entries) {
    QString error;
    std::optional<IniDocument> doc = read(&error);
    if (!error.isEmpty()) {
        // Writing without what the file holds would replace all of it with one key.
        lastError_ = error;
        return false;
    }
    if (doc && doc->verdict == IniVerdict::NotSettings) {
        lastError_ = QStringLiteral("Not written: %1 is not a settings file (%2)").arg(path_, doc->reason);
        return false;
    }
    if (!doc)
        doc.emplace(); // a file of our own: Windows-1252, CR LF
    for (const Entry& e : entries)
        setEntry(*doc, e.section, e.key, e.value);
    return save(*doc);
}

bool IniFile::replaceAll(const std::vector<Entry>& entries) {
    IniDocument doc;
    for (const Entry& e : entries)
        setEntry(doc, e.section, e.key, e.value);
    return save(doc);
}

bool IniFile::save(const IniDocument& doc) {
    const QByteArray bytes = encodeIniText(doc);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        lastError_ = QStringLiteral("Cannot write %1: %2").arg(path_, file.errorString());
        return false;
    }
    lastError_.clear();
    return true;
}

} // namespace korvat
