#include "link/LineAssembler.h"

#include <cstring>

namespace korvat {

// Works on runs of bytes rather than byte by byte: the instrument sends a short line per
// notification, and a copy of a whole run into a buffer that keeps its memory from line to line
// costs far less than a growing append of every byte.
void LineAssembler::feed(const QByteArray& bytes) {
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p < end) {
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
        const char* const runEnd = cr ? cr : end;
        if (!skipping_)
            appendRun(p, runEnd);
        if (!cr)
            return;
        p = cr + 1;
        if (skipping_) {
            skipping_ = false;
            continue;
        }
        if (!buffer_.isEmpty()) {
            onLine_(buffer_);
            buffer_.resize(0); // keeps the memory for the next line
        }
    }
}

// Appends the bytes up to the next CR, without LFs, as far as the length limit allows; at the
// first byte past the limit the partial line is reported and dropped and skipping starts.
void LineAssembler::appendRun(const char* p, const char* end) {
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const pieceEnd = lf ? lf : end;
        const qsizetype room = kMaxLineLength - buffer_.size();
        const qsizetype length = pieceEnd - p;
        if (length > room) {
            buffer_.append(p, room);
            onOverflow_(buffer_.left(40));
            buffer_.clear();
            skipping_ = true;
            return;
        }
        buffer_.append(p, length);
        p = lf ? lf + 1 : end;
    }
}

} // namespace korvat
