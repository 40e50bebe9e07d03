// Line assembly of one port's byte stream, and the routing and decoding of every line it emits.
// Checks: the lines do not depend on how the stream was cut into notifications; every line is
// non-empty, holds no CR or LF and is at most the length limit; without an overflow no byte other
// than CR and LF is lost; a data line decodes to a sample within the converter's range.

#include "FuzzCheck.h"
#include "link/Commands.h"
#include "link/LineAssembler.h"

#include <QList>
#include <algorithm>

using namespace korvat;

namespace {

struct Collected {
    QList<QByteArray> lines;
    QList<QByteArray> overflowHeads;
};

LineAssembler collector(Collected& c) {
    return LineAssembler([&c](const QByteArray& l) { c.lines.append(l); },
                         [&c](const QByteArray& head) { c.overflowHeads.append(head); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray stream = fuzz::bytesOf(data, size);

    Collected whole;
    LineAssembler a = collector(whole);
    a.feed(stream);

    // The same stream in notifications of varying length: a cut after every byte whose low three
    // bits are zero, so the input itself decides where the cuts fall.
    Collected pieces;
    LineAssembler b = collector(pieces);
    qsizetype start = 0;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        if ((static_cast<unsigned char>(stream[i]) & 7) == 0 || i + 1 == stream.size()) {
            b.feed(QByteArray::fromRawData(stream.constData() + start, i + 1 - start));
            start = i + 1;
        }
    }
    FUZZ_CHECK(whole.lines == pieces.lines, "lines depend on how the stream was cut");
    FUZZ_CHECK(whole.overflowHeads == pieces.overflowHeads, "overflows depend on the cuts");
    FUZZ_CHECK(a.partial() == b.partial(), "partial line depends on the cuts");
    FUZZ_CHECK(a.partial().size() <= LineAssembler::kMaxLineLength, "partial line past the limit");

    // The stream without its CR and LF bytes; without an overflow the lines and the partial line
    // must be exactly that, in order.
    QByteArray kept(stream.size(), Qt::Uninitialized);
    kept.truncate(std::remove_copy_if(stream.cbegin(), stream.cend(), kept.begin(),
                                      [](char c) { return c == '\r' || c == '\n'; }) -
                  kept.begin());
    const bool overflowed = !whole.overflowHeads.isEmpty();
    qsizetype at = 0;
    for (const QByteArray& line : whole.lines) {
        FUZZ_CHECK(!line.isEmpty(), "empty line emitted");
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'), "line holds CR or LF");
        FUZZ_CHECK(line.size() <= LineAssembler::kMaxLineLength, "line longer than the limit");
        if (!overflowed) {
            FUZZ_CHECK(QByteArrayView(kept).sliced(at).startsWith(line),
                       "a line that is not the stream's bytes");
            at += line.size();
        }

        if (!isDataLine(line))
            continue;
        const auto sample = decodeDataLine(QString::fromLatin1(line));
        if (!sample)
            continue;
        FUZZ_CHECK(sample->marker == line.front(), "marker is not the line's first character");
        FUZZ_CHECK(sample->value >= -0xFFFFF && sample->value <= 0xFFFFF, "sample out of range");
    }
    for (const QByteArray& head : whole.overflowHeads)
        FUZZ_CHECK(!head.isEmpty() && head.size() <= 40, "overflow report head");

    if (!overflowed)
        FUZZ_CHECK(QByteArrayView(kept).sliced(at) == a.partial(),
                   "bytes lost or added without an overflow");
    return 0;
}
