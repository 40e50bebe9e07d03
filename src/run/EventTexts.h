#pragma once
// What the operator reads of an event, in the program's language: its kind, its moment and its
// text. The journal keeps every line as it was written (English texts, ISO times, the kinds'
// names), so the file stays machine-readable and its chain unbroken; the event list and the report
// turn those lines into the language when they show them. A text no rule knows (an operating
// system's error message, say) is shown as it was journalled.

#include "run/Events.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace korvat {

// The kind as the operator reads it ("Leitung verloren" / "Line lost"). `ID` is the language
// offset (0 German, 1000 English).
QString eventKindText(EventKind kind, int ID);
// The same for a kind's journal name ("line-lost"); a name no kind has is returned as it is.
QString eventKindText(const QString& journalName, int ID);
std::optional<EventKind> eventKindNamed(const QString& journalName);

// "11.12.2026 10:15:03" in German, "2026-12-11 10:15:03" in English; "---" for no time.
QString eventMomentText(const QDateTime& moment, int ID);

// The journalled (English) text of an event in the language; date-times inside it
// ("2026-12-11T10:15:03") are written as eventMomentText writes them.
QString eventText(const QString& journalled, int ID);

} // namespace korvat
