#pragma once
// A detector signal kept for days: every sample once, compactly, and a min/max pyramid beside it
// so that a picture of any span costs about as much as the pixels it fills.
//
// The converters send ten samples a second of a 21-bit value, so a signal that has only ever held
// whole numbers on an even time step is kept as one 32-bit integer per sample; x is the first
// sample's time plus its index times the step. Anything else (a fractional value, an uneven or
// falling time) turns the trace into plain doubles from then on, with nothing lost. A NaN value is
// a gap (a line lost): it is kept as such, and every level of the pyramid above it shows a gap too.
//
// Level k of the pyramid holds, per block of kFanout^k samples, the smallest and largest value of
// the block and whether it holds a gap. With a fanout of 16 the pyramid costs about 0.6 bytes a
// sample beside the samples' 4, and storage grows in fixed chunks, so a long trace never carries a
// doubled vector's spare half.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace korvat {

// A vector that grows by fixed chunks: no copy when it grows, no more than one chunk spare.
template <typename T, std::size_t ChunkSize = 16384>
class ChunkedVector {
public:
    void push_back(const T& value) {
        if (size_ % ChunkSize == 0)
            chunks_.push_back(std::make_unique<T[]>(ChunkSize));
        chunks_[size_ / ChunkSize][size_ % ChunkSize] = value;
        ++size_;
    }
    T& operator[](std::size_t i) { return chunks_[i / ChunkSize][i % ChunkSize]; }
    const T& operator[](std::size_t i) const { return chunks_[i / ChunkSize][i % ChunkSize]; }
    T& back() { return (*this)[size_ - 1]; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }
    std::size_t bytes() const {
        return chunks_.size() * ChunkSize * sizeof(T) + chunks_.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t size_ = 0;
};

class SignalTrace {
public:
    static constexpr std::size_t kFanout = 16;

    struct Point {
        double x, y; // y NaN: a gap
    };
    struct Range {
        double lower, upper;
    };

    // Samples must come in time order; a time that falls back is kept, but no longer even.
    void append(double x, double y);
    void clear();

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    double x(std::size_t i) const;
    double y(std::size_t i) const;
    // Whether the samples are kept as whole numbers on an even time step.
    bool compact() const { return compact_; }

    // The times of the first and last sample, and the smallest and largest value that is not a gap.
    std::optional<Range> keyRange() const;
    std::optional<Range> valueRange() const;

    // Points that draw the samples from `from` to `to` (seconds) with at most about 2 * columns
    // points: the samples themselves when there are no more than pointsPerColumn of them per
    // column, otherwise per column the smallest and largest value of its samples, in the order
    // they came, taken from the pyramid level that fits. The sample just outside each end is
    // included so the line runs on to the edges. A span with a gap yields a NaN point at its
    // place. `out` is replaced. True when the points are the samples themselves.
    bool picture(double from, double to, std::size_t columns, std::size_t pointsPerColumn,
                 std::vector<Point>& out) const;

    // The memory the trace holds, in bytes.
    std::size_t bytes() const;
    // Levels above the samples (for tests): the block of level `level` (1 = kFanout samples).
    std::size_t levelCount() const { return levels_.size(); }
    struct Block {
        double min, max; // NaN, NaN: only gaps
        bool gap;
    };
    Block block(std::size_t level, std::size_t index) const;
    std::size_t blockCount(std::size_t level) const;

private:
    // Per block: smallest and largest value in the integer form, or in doubles once the trace is
    // not compact. An all-gap block has min > max.
    struct IntBlock {
        std::int32_t min, max;
    };
    struct DoubleBlock {
        double min, max;
    };
    struct Level {
        ChunkedVector<IntBlock, 1024> ints;
        ChunkedVector<DoubleBlock, 1024> doubles;
        ChunkedVector<std::uint8_t, 4096> gaps;
        std::size_t size() const { return gaps.size(); }
    };

    void toDoubles();
    void addToLevels(double y);
    void extendLevel(std::size_t level, double lo, double hi, bool gap, bool starts);
    std::size_t indexAtOrAfter(double time) const;
    std::size_t indexAfter(double time) const;
    Block levelBlock(const Level& level, std::size_t index) const;

    static constexpr std::int32_t kIntGap = INT32_MIN;
    static constexpr double kIntLimit = 1 << 30;

    bool compact_ = true;
    std::size_t count_ = 0;
    double x0_ = 0, step_ = 0;
    ChunkedVector<std::int32_t, 16384> ints_;
    ChunkedVector<double, 8192> xs_, ys_;
    std::vector<Level> levels_;
};

} // namespace korvat
