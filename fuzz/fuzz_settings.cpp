// The settings file's in-memory decoder: bytes into lines with their encoding, byte-order mark and
// line ends, and back.
// Checks: decoding then encoding unchanged gives the input bytes back, whatever they are; no line
// holds a line end; the verdict agrees with the lines. For a document the program would write to,
// a line rewritten with its own text and a line added (as a write of a key does) read back as the
// same lines, with the new line where it was put.

#include "FuzzCheck.h"
#include "shell/IniText.h"

using namespace korvat;

namespace {

// The decoder reads a U+FEFF at the start of a UTF-8 line as a byte-order mark and leaves it out,
// so each rewrite of a line that starts with several of them loses one. Zero-width, and kept that
// way on purpose (a mark in front of a section line still reads as the section); lines compare
// without them.
QString withoutLeadingMarks(QString text) {
    qsizetype k = 0;
    while (k < text.size() && text[k].unicode() == 0xFEFF)
        ++k;
    return text.mid(k);
}

bool isSectionLine(const QString& text) {
    const QString t = text.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char(']'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytesOf(data, size);
    IniDocument doc = decodeIniText(bytes);
    FUZZ_CHECK(encodeIniText(doc) == bytes, "decode then encode changed the bytes");

    bool blank = true, section = false;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const IniLine& line = doc.lines[i];
        FUZZ_CHECK(!line.text.contains(QLatin1Char('\r')) && !line.text.contains(QLatin1Char('\n')),
                   "a line holding a line end");
        FUZZ_CHECK(line.end != IniLineEnd::None || i + 1 == doc.lines.size(),
                   "a line without a line end before the last");
        blank = blank && line.text.trimmed().isEmpty();
        section = section || isSectionLine(line.text);
    }
    switch (doc.verdict) {
    case IniVerdict::Settings: FUZZ_CHECK(section, "settings without a [section] line"); break;
    case IniVerdict::Empty: FUZZ_CHECK(blank, "an empty verdict on lines with text"); break;
    case IniVerdict::NotSettings:
        FUZZ_CHECK(!doc.reason.isEmpty(), "no reason why the bytes are no settings");
        return 0; // never written to
    }

    // A write: one line rewritten with its own text, and another line's text added at a place
    // the input chooses (the end included). As a write of a key does, both happen after the first
    // line (a key's line follows its section's line); only into an empty file does a line go first.
    const std::vector<IniLine> before = doc.lines;
    const std::size_t n = before.size();
    const std::size_t edited = n > 1 ? 1 + size % (n - 1) : 0;
    const std::size_t at = n ? 1 + (size / 7) % n : 0;
    // The program adds only "key=value" and "[section]" lines, never an empty one (an empty last
    // line without a line end is no line at all).
    QString added = n ? before[(size / 3) % n].text : QString();
    if (added.isEmpty())
        added = QStringLiteral("[Info]");
    if (n > 1 && !before[edited].text.isEmpty()) // a key's line is never empty
        doc.setText(edited, before[edited].text);
    doc.insert(at, added);

    // The encoding found may change (a UTF-8 file whose only multi-byte character was such a mark
    // is plain ASCII once that line is rewritten); the lines read may not.
    const IniDocument again = decodeIniText(encodeIniText(doc));
    FUZZ_CHECK(again.byteOrderMark == doc.byteOrderMark, "a write changed the byte-order mark");
    FUZZ_CHECK(again.lines.size() == n + 1, "a write changed the number of lines");
    for (std::size_t i = 0, k = 0; i < again.lines.size(); ++i) {
        const QString& expected = i == at ? added : before[k++].text;
        FUZZ_CHECK(withoutLeadingMarks(again.lines[i].text) == withoutLeadingMarks(expected),
                   "a write changed a line it should keep");
    }
    return 0;
}
