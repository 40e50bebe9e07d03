#include "model/LineSplitter.h"

namespace korvat::sim {

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
} // namespace

LineSplitter::LineSplitter(qsizetype maxLength) : maxLength_(maxLength > 0 ? maxLength : 1) {}

QList<LineSplitter::Line> LineSplitter::feed(const QByteArray& bytes) {
    QList<Line> lines;
    for (char byte : bytes) {
        if (byte == kLf)
            continue;
        if (byte == kCr) {
            if (overlong_)
                lines.append({partial_, true});
            else if (!partial_.isEmpty())
                lines.append({partial_, false});
            partial_.clear();
            overlong_ = false;
            continue;
        }
        if (overlong_)
            continue;
        if (partial_.size() >= maxLength_) {
            // Keep the head for the log, drop the rest up to the next CR: acting on the tail of a
            // broken line could run a command nobody sent.
            overlong_ = true;
            continue;
        }
        partial_.append(byte);
    }
    return lines;
}

QString printableLine(const QByteArray& line) {
    QString text;
    text.reserve(line.size());
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text.append(QLatin1Char(c));
        } else if (byte == '\\') {
            text.append(QLatin1String("\\\\"));
        } else {
            text.append(QLatin1String("\\x"));
            text.append(QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper());
        }
    }
    return text;
}

} // namespace korvat::sim
