// Line assembly of one port's byte stream, and the routing and decoding of every line it emits.
// Checks: the lines do not depend on how the stream was cut into notifications; every line is
// non-empty, holds no CR or LF and is at most the length limit; without an overflow no byte other
// than CR and LF is lost; a data line decodes to a sample within the converter's range.
// The sinks keep no copy of a line (as the link does not), so the assembler reuses its buffer and
// a stream of short lines costs no allocation per line.

#include "FuzzCheck.h"
#include "link/Commands.h"
#include "link/LineAssembler.h"

#include <QList>
#include <algorithm>
#include <cstring>
#include <vector>

using namespace korvat;

namespace {

// Every line the whole-stream assembler emitted, one after the other, and where each ends.
struct Lines {
    QByteArray bytes;
    std::vector<qsizetype> ends;
    QList<QByteArray> overflowHeads;
};

void checkLine(const QByteArray& line) {
    FUZZ_CHECK(!line.isEmpty(), "empty line emitted");
    FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'), "line holds CR or LF");
    FUZZ_CHECK(line.size() <= LineAssembler::kMaxLineLength, "line longer than the limit");
    if (!isDataLine(line))
        return;
    const auto sample = decodeDataLine(QString::fromLatin1(line));
    if (!sample)
        return;
    FUZZ_CHECK(sample->marker == line.front(), "marker is not the line's first character");
    FUZZ_CHECK(sample->value >= -0xFFFFF && sample->value <= 0xFFFFF, "sample out of range");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray stream = fuzz::bytesOf(data, size);

    Lines whole;
    LineAssembler a(
        [&whole](const QByteArray& line) {
            checkLine(line);
            whole.bytes += line;
            whole.ends.push_back(whole.bytes.size());
        },
        [&whole](const QByteArray& head) { whole.overflowHeads.append(head); });
    a.feed(stream);

    // The same stream in notifications of varying length: a cut after every byte whose low three
    // bits are zero, so the input itself decides where the cuts fall. Each line must be the next
    // one the whole stream gave.
    std::size_t next = 0;
    qsizetype overflows = 0;
    LineAssembler b(
        [&](const QByteArray& line) {
            FUZZ_CHECK(next < whole.ends.size(), "more lines when the stream was cut");
            const qsizetype from = next ? whole.ends[next - 1] : 0;
            FUZZ_CHECK(whole.ends[next] - from == line.size() &&
                           std::memcmp(whole.bytes.constData() + from, line.constData(),
                                       static_cast<std::size_t>(line.size())) == 0,
                       "lines depend on how the stream was cut");
            ++next;
        },
        [&](const QByteArray& head) {
            FUZZ_CHECK(overflows < whole.overflowHeads.size() && whole.overflowHeads[overflows] == head,
                       "overflows depend on the cuts");
            ++overflows;
        });
    qsizetype start = 0;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        if ((static_cast<unsigned char>(stream[i]) & 7) == 0 || i + 1 == stream.size()) {
            b.feed(QByteArray::fromRawData(stream.constData() + start, i + 1 - start));
            start = i + 1;
        }
    }
    FUZZ_CHECK(next == whole.ends.size(), "fewer lines when the stream was cut");
    FUZZ_CHECK(overflows == whole.overflowHeads.size(), "fewer overflows when the stream was cut");
    FUZZ_CHECK(a.partial() == b.partial(), "partial line depends on the cuts");
    FUZZ_CHECK(a.partial().size() <= LineAssembler::kMaxLineLength, "partial line past the limit");
    for (const QByteArray& head : whole.overflowHeads)
        FUZZ_CHECK(!head.isEmpty() && head.size() <= 40, "overflow report head");

    // Without an overflow the lines and the partial line are exactly the stream without its CR
    // and LF bytes, in order.
    if (whole.overflowHeads.isEmpty()) {
        QByteArray kept(stream.size(), Qt::Uninitialized);
        kept.truncate(std::remove_copy_if(stream.cbegin(), stream.cend(), kept.begin(),
                                          [](char c) { return c == '\r' || c == '\n'; }) -
                      kept.begin());
        FUZZ_CHECK(whole.bytes + a.partial() == kept, "bytes lost or added without an overflow");
    }
    return 0;
}
