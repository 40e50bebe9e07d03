#include "link/Identification.h"

#include <QLatin1StringView>

namespace korvat {

namespace {

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

bool isDecimalDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

bool allOf(const QString& text, qsizetype from, bool (*digit)(QChar)) {
    for (qsizetype i = from; i < text.size(); ++i)
        if (!digit(text[i]))
            return false;
    return true;
}

// The replies of the status poll's queries, each with the width of its value field.
struct StatusForm {
    QLatin1StringView head;
    qsizetype digits;
    bool decimal;
};
constexpr StatusForm kStatusForms[] = {
    {QLatin1StringView(":SG"), 4, false},   {QLatin1StringView(":VG"), 4, false},
    {QLatin1StringView(":EG"), 4, false},   {QLatin1StringView(":TG"), 4, false},
    {QLatin1StringView(":ZG"), 4, false},   {QLatin1StringView(":HG"), 4, false},
    {QLatin1StringView(":PG"), 2, false},   {QLatin1StringView(":DG"), 2, false},
    {QLatin1StringView(":LG"), 2, false},   {QLatin1StringView(":V1G"), 2, false},
    {QLatin1StringView(":V2G"), 2, false},  {QLatin1StringView(":12AS"), 3, true},
};

bool hasStatusForm(const QString& line) {
    for (const StatusForm& form : kStatusForms) {
        if (line.size() != form.head.size() + form.digits || !line.startsWith(form.head))
            continue;
        if (allOf(line, form.head.size(), form.decimal ? isDecimalDigit : isHexDigit))
            return true;
    }
    return false;
}

} // namespace

QString withoutTrailingBlanks(const QString& line) {
    qsizetype end = line.size();
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    return line.left(end);
}

bool identifiesMainConverter(const QString& reply) {
    const QString judged = withoutTrailingBlanks(reply);
    return judged.size() >= 4 && judged[3] == QLatin1Char('4');
}

bool isNoIdentification(const QString& line, const QString& command, IdentifiedBoard board) {
    const QString judged = withoutTrailingBlanks(line);
    if (judged.isEmpty())
        return true;
    QString sent = command;
    sent.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    if (judged == sent)
        return true;
    if (board == IdentifiedBoard::Main && identifiesMainConverter(judged))
        return false;
    return hasStatusForm(judged);
}

QString serialNumberOf(const QString& reply) { return withoutTrailingBlanks(reply).mid(1); }

} // namespace korvat
