#include "evaluation/SubstanceList.h"

#include "util/CodePage.h"

#include <QFile>
#include <QSaveFile>

namespace korvat {

std::optional<QStringList> loadSubstanceList(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\": %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QStringList lines;
    for (QString line : fromCp1252(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            lines.append(line);
    }
    return lines;
}

bool saveSubstanceList(const QString& path, const QStringList& lines, QString* error) {
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toCp1252(line) + "\r\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\": %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace korvat
