#pragma once
// The substance-factor lists beside the program ("CH-Substanzen.txt", "S-Substanzen.txt"): one
// "name=factor" line per substance, Windows-1252, CR LF. The value may carry the substance's molar
// mass in g/mol after a ";" ("Toluol=0,57;92,14"); a line without it stays valid, and the grids
// keep the value as typed, so either form goes back to the file as it came.

#include <QString>
#include <QStringList>
#include <optional>

namespace korvat {

// A list value split at its first ";": the factor as typed, and the molar mass as typed (empty
// when the value has none). Both trimmed.
struct SubstanceValue {
    QString factor;
    QString molarMass;
};
SubstanceValue splitSubstanceValue(const QString& value);

// The non-empty lines of a list file's bytes, without their line ends.
QStringList decodeSubstanceList(const QByteArray& bytes);
// The bytes of a list file holding `lines`.
QByteArray encodeSubstanceList(const QStringList& lines);

// The non-empty lines of the file; nullopt and an error naming the file when it cannot be read.
std::optional<QStringList> loadSubstanceList(const QString& path, QString* error);
// Replaces the file atomically; false and an error naming the file when that fails.
bool saveSubstanceList(const QString& path, const QStringList& lines, QString* error);

} // namespace korvat
