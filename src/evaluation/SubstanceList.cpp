#include "evaluation/SubstanceList.h"

#include "util/CodePage.h"

#include <QFile>
#include <QSaveFile>

namespace korvat {

SubstanceValue splitSubstanceValue(const QString& value) {
    const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
    if (semicolon < 0)
        return {value.trimmed(), QString()};
    return {value.left(semicolon).trimmed(), value.mid(semicolon + 1).trimmed()};
}

QStringList decodeSubstanceList(const QByteArray& bytes) {
    QStringList lines;
    for (QString line : fromCp1252(bytes).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

QByteArray encodeSubstanceList(const QStringList& lines) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1252(line) + "\r\n";
    return bytes;
}

std::optional<QStringList> loadSubstanceList(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return decodeSubstanceList(file.readAll());
}

bool saveSubstanceList(const QString& path, const QStringList& lines, QString* error) {
    const QByteArray bytes = encodeSubstanceList(lines);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace korvat
