#include "shell/IniText.h"

#include "util/CodePage.h"

namespace korvat {

namespace {

// How the bytes split into code units: one byte each, or two in either order.
struct Units {
    IniEncoding encoding;
    qsizetype width() const {
        return encoding == IniEncoding::Utf16LE || encoding == IniEncoding::Utf16BE ? 2 : 1;
    }
    char16_t at(const QByteArray& bytes, qsizetype pos) const {
        const auto b = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
        switch (encoding) {
        case IniEncoding::Utf16LE: return static_cast<char16_t>(b(pos) | (b(pos + 1) << 8));
        case IniEncoding::Utf16BE: return static_cast<char16_t>((b(pos) << 8) | b(pos + 1));
        default: return b(pos);
        }
    }
};

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF), and whether any
// character needed more than one byte.
struct Utf8Check {
    bool valid = true;
    bool multiByte = false;
};

Utf8Check checkUtf8(const QByteArray& bytes, qsizetype from) {
    Utf8Check check;
    const auto n = bytes.size();
    const auto b = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const auto cont = [&](qsizetype k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return k < n && b(k) >= lo && b(k) <= hi;
    };
    for (qsizetype i = from; i < n;) {
        const unsigned c = b(i);
        qsizetype len = 0;
        if (c < 0x80)
            len = 1;
        else if (c >= 0xC2 && c <= 0xDF && cont(i + 1))
            len = 2;
        else if (c == 0xE0 && cont(i + 1, 0xA0) && cont(i + 2))
            len = 3;
        else if (((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) && cont(i + 1) && cont(i + 2))
            len = 3;
        else if (c == 0xED && cont(i + 1, 0x80, 0x9F) && cont(i + 2))
            len = 3;
        else if (c == 0xF0 && cont(i + 1, 0x90) && cont(i + 2) && cont(i + 3))
            len = 4;
        else if (c >= 0xF1 && c <= 0xF3 && cont(i + 1) && cont(i + 2) && cont(i + 3))
            len = 4;
        else if (c == 0xF4 && cont(i + 1, 0x80, 0x8F) && cont(i + 2) && cont(i + 3))
            len = 4;
        if (len == 0) {
            check.valid = false;
            return check;
        }
        check.multiByte = check.multiByte || len > 1;
        i += len;
    }
    return check;
}

QString decodeLine(IniEncoding encoding, const QByteArray& raw) {
    switch (encoding) {
    case IniEncoding::Windows1252: return fromCp1252(raw);
    case IniEncoding::Utf8: return QString::fromUtf8(raw);
    case IniEncoding::Utf16LE:
    case IniEncoding::Utf16BE: {
        const Units units{encoding};
        QString text;
        text.reserve(raw.size() / 2);
        for (qsizetype k = 0; k + 1 < raw.size(); k += 2)
            text.append(QChar(units.at(raw, k)));
        return text;
    }
    }
    return {};
}

QByteArray encodeUnits(IniEncoding encoding, const QString& text) {
    switch (encoding) {
    case IniEncoding::Windows1252: return toCp1252(text);
    case IniEncoding::Utf8: return text.toUtf8();
    case IniEncoding::Utf16LE:
    case IniEncoding::Utf16BE: {
        QByteArray out;
        out.reserve(text.size() * 2);
        for (const QChar ch : text) {
            const char hi = static_cast<char>(ch.unicode() >> 8);
            const char lo = static_cast<char>(ch.unicode() & 0xFF);
            if (encoding == IniEncoding::Utf16LE)
                out.append(lo).append(hi);
            else
                out.append(hi).append(lo);
        }
        return out;
    }
    }
    return {};
}

QString endText(IniLineEnd end) {
    switch (end) {
    case IniLineEnd::CrLf: return QStringLiteral("\r\n");
    case IniLineEnd::Lf: return QStringLiteral("\n");
    case IniLineEnd::Cr: return QStringLiteral("\r");
    case IniLineEnd::None: break;
    }
    return {};
}

QByteArray byteOrderMark(IniEncoding encoding) {
    switch (encoding) {
    case IniEncoding::Utf8: return QByteArrayLiteral("\xEF\xBB\xBF");
    case IniEncoding::Utf16LE: return QByteArrayLiteral("\xFF\xFE");
    case IniEncoding::Utf16BE: return QByteArrayLiteral("\xFE\xFF");
    case IniEncoding::Windows1252: break;
    }
    return {};
}

bool isSectionLine(const QString& text) {
    const QString t = text.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char(']'));
}

// Control characters no text file of settings holds; tab, form feed, vertical tab and the old
// end-of-file mark (0x1A) are left to editors.
bool isBinaryControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\f' && c != u'\v' && c != 0x1A) || c == 0x7F;
}

// The verdict on a decoded document; `lineStarts` are the byte offsets of its lines.
void judge(IniDocument& doc, const std::vector<qsizetype>& lineStarts, qsizetype width,
           bool cutOff) {
    auto notSettings = [&](const QString& reason) {
        doc.verdict = IniVerdict::NotSettings;
        doc.reason = reason;
    };
    if (cutOff) {
        notSettings(QStringLiteral("it ends in the middle of a UTF-16 character"));
        return;
    }
    qsizetype characters = 0, controls = 0;
    bool blank = true, section = false;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const QString& text = doc.lines[i].text;
        for (qsizetype k = 0; k < text.size(); ++k) {
            const char16_t c = text[k].unicode();
            if (c == 0) {
                notSettings(QStringLiteral("it holds binary data (a zero byte at offset %1)")
                                .arg(lineStarts[i] + k * width));
                return;
            }
            controls += isBinaryControl(c) ? 1 : 0;
        }
        characters += text.size();
        blank = blank && text.trimmed().isEmpty();
        section = section || isSectionLine(text);
    }
    if (controls > 0 && controls * 20 > characters) {
        notSettings(QStringLiteral("it holds binary data (%1 control characters in %2)")
                        .arg(controls)
                        .arg(characters));
        return;
    }
    if (blank) {
        doc.verdict = IniVerdict::Empty;
        return;
    }
    if (!section) {
        notSettings(QStringLiteral("it has no [section] line"));
        return;
    }
    doc.verdict = IniVerdict::Settings;
}

} // namespace

void IniDocument::setText(std::size_t index, const QString& text) {
    IniLine& line = lines.at(index);
    line.text = text;
    line.raw.clear();
    line.edited = true;
}

void IniDocument::insert(std::size_t index, const QString& text) {
    IniLine line{text, {}, lineEnd, true};
    // A lone CR right before an empty LF line would read back as one CR LF: the empty line would
    // be gone. The new line ends in CR LF there instead.
    if (line.end == IniLineEnd::Cr && index < lines.size() && lines[index].end == IniLineEnd::Lf &&
        (lines[index].edited ? lines[index].text.isEmpty() : lines[index].raw.isEmpty()))
        line.end = IniLineEnd::CrLf;
    if (index >= lines.size()) {
        index = lines.size();
        if (!lines.empty() && lines.back().end == IniLineEnd::None)
            line.end = IniLineEnd::None; // the line before it gets one when encoded
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

IniDocument decodeIniText(const QByteArray& bytes) {
    IniDocument doc;
    qsizetype pos = 0;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        doc.encoding = IniEncoding::Utf8;
        doc.byteOrderMark = true;
        pos = 3;
    } else if (bytes.startsWith("\xFF\xFE")) {
        doc.encoding = IniEncoding::Utf16LE;
        doc.byteOrderMark = true;
        pos = 2;
    } else if (bytes.startsWith("\xFE\xFF")) {
        doc.encoding = IniEncoding::Utf16BE;
        doc.byteOrderMark = true;
        pos = 2;
    } else {
        const Utf8Check utf8 = checkUtf8(bytes, 0);
        doc.encoding = utf8.valid && utf8.multiByte ? IniEncoding::Utf8 : IniEncoding::Windows1252;
    }

    const Units units{doc.encoding};
    const qsizetype width = units.width();
    const qsizetype whole = pos + (bytes.size() - pos) / width * width; // end of the last whole unit
    std::vector<qsizetype> lineStarts;
    int counts[4] = {};
    qsizetype start = pos;
    auto addLine = [&](qsizetype end, IniLineEnd lineEnd) {
        const QByteArray raw = bytes.mid(start, end - start);
        doc.lines.push_back({decodeLine(doc.encoding, raw), raw, lineEnd, false});
        lineStarts.push_back(start);
        ++counts[static_cast<int>(lineEnd)];
    };
    for (qsizetype k = pos; k < whole; k += width) {
        const char16_t c = units.at(bytes, k);
        if (c == u'\n') {
            addLine(k, IniLineEnd::Lf);
            start = k + width;
        } else if (c == u'\r') {
            const bool crlf = k + width < whole && units.at(bytes, k + width) == u'\n';
            addLine(k, crlf ? IniLineEnd::CrLf : IniLineEnd::Cr);
            if (crlf)
                k += width;
            start = k + width;
        }
    }
    // The rest: a last line without a line end, and a byte that is half a UTF-16 unit.
    if (start < bytes.size()) {
        const QByteArray raw = bytes.mid(start);
        doc.lines.push_back({decodeLine(doc.encoding, raw.left(whole - start)), raw,
                             IniLineEnd::None, false});
        lineStarts.push_back(start);
    }

    const IniLineEnd order[] = {IniLineEnd::CrLf, IniLineEnd::Lf, IniLineEnd::Cr};
    for (const IniLineEnd e : order) {
        if (counts[static_cast<int>(e)] > counts[static_cast<int>(doc.lineEnd)])
            doc.lineEnd = e;
    }
    judge(doc, lineStarts, width, whole != bytes.size());
    return doc;
}

QByteArray encodeIniText(const IniDocument& doc) {
    QByteArray out;
    if (doc.byteOrderMark)
        out += byteOrderMark(doc.encoding);
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const IniLine& line = doc.lines[i];
        out += line.edited ? encodeUnits(doc.encoding, line.text) : line.raw;
        IniLineEnd end = line.end;
        if (end == IniLineEnd::None && i + 1 < doc.lines.size())
            end = doc.lineEnd; // a line was added after the one that had no line end
        out += encodeUnits(doc.encoding, endText(end));
    }
    return out;
}

QString iniEncodingName(IniEncoding encoding) {
    switch (encoding) {
    case IniEncoding::Windows1252: return QStringLiteral("Windows-1252");
    case IniEncoding::Utf8: return QStringLiteral("UTF-8");
    case IniEncoding::Utf16LE: return QStringLiteral("UTF-16 LE");
    case IniEncoding::Utf16BE: return QStringLiteral("UTF-16 BE");
    }
    return {};
}

} // namespace korvat
