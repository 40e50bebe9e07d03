#pragma once
// Turns one port's byte stream into lines. CR ends a line, LF is dropped, empty lines vanish.
// A partial line that grows past the limit without a CR is cut off, reported and dropped; the
// assembler then skips to the next CR, so one garbled burst cannot eat the memory or glue itself
// to the next good line.

#include <QByteArray>
#include <functional>

namespace korvat {

class LineAssembler {
public:
    static constexpr int kMaxLineLength = 4096;

    using LineSink = std::function<void(const QByteArray& line)>;
    using OverflowSink = std::function<void(const QByteArray& head)>;

    LineAssembler(LineSink onLine, OverflowSink onOverflow)
        : onLine_(std::move(onLine)), onOverflow_(std::move(onOverflow)) {}

    void feed(const QByteArray& bytes);
    const QByteArray& partial() const { return buffer_; }
    // Forgets a partial line (the line was lost; what follows a reopen starts afresh).
    void reset() {
        buffer_.clear();
        skipping_ = false;
    }

private:
    void appendRun(const char* p, const char* end);

    LineSink onLine_;
    OverflowSink onOverflow_;
    QByteArray buffer_;
    bool skipping_ = false;
};

// Data lines (detector samples) start with "/", "[" or "]"; every other line is a reply.
inline bool isDataLine(const QByteArray& line) {
    if (line.isEmpty())
        return false;
    const char c = line.front();
    return c == '/' || c == '[' || c == ']';
}

} // namespace korvat
