#include "shell/IniFile.h"

#include "util/CodePage.h"
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

void setEntry(QStringList& lines, const QString& section, const QString& key, const QString& value) {
    const QString newLine = key + QLatin1Char('=') + value;
    int sectionStart = -1;
    int insertAt = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (isSectionLine(t)) {
            if (sectionStart >= 0)
                break;
            if (sameName(sectionName(t), section)) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionStart < 0)
            continue;
        if (!t.isEmpty())
            insertAt = i + 1;
        if (sameName(keyOf(lines[i]), key)) {
            lines[i] = newLine;
            return;
        }
    }
    if (sectionStart < 0) {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(newLine);
        return;
    }
    lines.insert(insertAt, newLine);
}

} // namespace

bool IniFile::exists() const { return QFileInfo(path_).isFile(); }

QStringList IniFile::readLines() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = fromCp1252(file.readAll()).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::optional<QString> IniFile::lookup(const QString& section, const QString& key) const {
    bool inSection = false;
    for (const QString& line : readLines()) {
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
    if (const auto v = parseFloat(*text))
        return v;
    if (error) {
        *error = QStringLiteral("\"%1\" is not a valid number: key %2 of section [%3] in %4")
                     .arg(*text, key, section, path_);
    }
    return std::nullopt;
}

bool IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    return writeEntries({{section, key, value}});
}

bool IniFile::writeInteger(const QString& section, const QString& key, int value) {
    return writeString(section, key, QString::number(value));
}

bool IniFile::writeFloat(const QString& section, const QString& key, double value) {
    return writeString(section, key, formatGeneral(value));
}

bool IniFile::writeEntries(const std::vector<Entry>& entries) {
    QStringList lines = readLines();
    for (const Entry& e : entries)
        setEntry(lines, e.section, e.key, e.value);
    QByteArray bytes = toCp1252(lines.join(QStringLiteral("\r\n")));
    bytes.append("\r\n");

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        lastError_ = QStringLiteral("Cannot write %1: %2").arg(path_, file.errorString());
        return false;
    }
    lastError_.clear();
    return true;
}

} // namespace korvat
