#include "link/LineAssembler.h"

namespace korvat {

void LineAssembler::feed(const QByteArray& bytes) {
    for (const char c : bytes) {
        if (c == '\r') {
            if (skipping_) {
                skipping_ = false;
                continue;
            }
            if (!buffer_.isEmpty()) {
                onLine_(buffer_);
                buffer_.clear();
            }
            continue;
        }
        if (c == '\n' || skipping_)
            continue;
        if (buffer_.size() >= kMaxLineLength) {
            onOverflow_(buffer_.left(40));
            buffer_.clear();
            skipping_ = true;
            continue;
        }
        buffer_.append(c);
    }
}

} // namespace korvat
