#pragma once
// The 8-bit code page of the configuration file, the substance lists and the results file:
// Windows-1252 on every platform, so files move between this program, the lab's spreadsheets and
// older installations unchanged.

#include <QByteArray>
#include <QString>

namespace korvat {

// Every byte maps to one character and back: the five unassigned positions (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) to the C1 controls of the same value.
QString fromCp1252(const QByteArray& bytes);
// Characters the code page lacks become "?".
QByteArray toCp1252(const QString& text);

} // namespace korvat
