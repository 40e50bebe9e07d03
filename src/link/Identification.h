#pragma once
// The identification exchange's answer, judged the way the converters define it and no stricter:
// the answer is the first line after "<SN" that is not recognisably something else; the main
// converter's has "4" in fourth place, the FPD converter's is any line with something in it; the
// serial number is the answer without its first character. Trailing blanks are padding, not part
// of the answer: a converter that fills its line to a fixed width identifies as one that does not.

#include <QString>

namespace korvat {

enum class IdentifiedBoard { Main, Fpd };

// The line as judged: trailing blanks and tabs removed.
QString withoutTrailingBlanks(const QString& line);

// Whether `line` (trailing blanks removed) is recognisably not the answer to `command` on
// `board`'s port, and is passed over while the exchange waits:
// - the command itself echoed back ("<SN", whatever CR and LF framed it);
// - a line of blanks;
// - a reply to a status query in its exact full-width form (":SG0258", ":HG0000", ":PGFC",
//   ":DG00", ":LGEF", ":V1GFF", ":12AS118"), as an earlier session may leave one behind.
// On the main converter's port a line with "4" in fourth place is never passed over: it meets the
// protocol's own rule, and a status reply of that form cannot be told from an identification.
// Nothing else is passed over, so a converter that answers in a form of its own is still heard.
bool isNoIdentification(const QString& line, const QString& command, IdentifiedBoard board);

// The main converter's answer (trailing blanks removed) has "4" in fourth place; shorter answers
// fail.
bool identifiesMainConverter(const QString& reply);

// The serial number an answer carries: the answer without its first character and without
// trailing blanks.
QString serialNumberOf(const QString& reply);

} // namespace korvat
