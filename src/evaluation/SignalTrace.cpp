#include "evaluation/SignalTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvat {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

double SignalTrace::x(std::size_t i) const {
    return compact_ ? x0_ + static_cast<double>(i) * step_ : xs_[i];
}

double SignalTrace::y(std::size_t i) const {
    if (!compact_)
        return ys_[i];
    const std::int32_t v = ints_[i];
    return v == kIntGap ? kNaN : static_cast<double>(v);
}

void SignalTrace::append(double x, double y) {
    if (compact_) {
        const bool whole = std::isnan(y) || (y == std::floor(y) && std::abs(y) < kIntLimit);
        bool even = true;
        if (count_ == 1) {
            step_ = x - x0_;
            even = step_ > 0 && std::isfinite(step_);
        } else if (count_ > 1) {
            even = std::abs(x - (x0_ + static_cast<double>(count_) * step_)) <= 1e-6 * step_;
        } else {
            x0_ = x;
            even = std::isfinite(x);
        }
        if (whole && even) {
            ints_.push_back(std::isnan(y) ? kIntGap : static_cast<std::int32_t>(y));
        } else {
            toDoubles();
        }
    }
    if (!compact_) {
        xs_.push_back(x);
        ys_.push_back(y);
    }
    ++count_;
    addToLevels(y);
}

void SignalTrace::clear() {
    *this = SignalTrace();
}

void SignalTrace::toDoubles() {
    if (!compact_)
        return;
    for (std::size_t i = 0; i < count_; ++i) {
        xs_.push_back(x(i));
        ys_.push_back(y(i));
    }
    for (Level& level : levels_) {
        for (std::size_t b = 0; b < level.size(); ++b) {
            const Block k = levelBlock(level, b);
            level.doubles.push_back(k.gap && std::isnan(k.min) ? DoubleBlock{kInf, -kInf}
                                                                : DoubleBlock{k.min, k.max});
        }
        level.ints.clear();
    }
    ints_.clear();
    compact_ = false;
}

void SignalTrace::extendLevel(std::size_t index, double lo, double hi, bool gap, bool starts) {
    Level& level = levels_[index];
    if (starts) {
        if (compact_)
            level.ints.push_back(IntBlock{std::numeric_limits<std::int32_t>::max(),
                                          std::numeric_limits<std::int32_t>::min()});
        else
            level.doubles.push_back(DoubleBlock{kInf, -kInf});
        level.gaps.push_back(0);
    }
    if (gap)
        level.gaps.back() = 1;
    if (lo > hi)
        return; // nothing but gaps
    if (compact_) {
        IntBlock& b = level.ints.back();
        b.min = std::min(b.min, static_cast<std::int32_t>(lo));
        b.max = std::max(b.max, static_cast<std::int32_t>(hi));
    } else {
        DoubleBlock& b = level.doubles.back();
        b.min = std::min(b.min, lo);
        b.max = std::max(b.max, hi);
    }
}

void SignalTrace::addToLevels(double y) {
    const std::size_t i = count_ - 1;
    const bool gap = std::isnan(y);
    const double lo = gap ? kInf : y, hi = gap ? -kInf : y;
    std::size_t blockSize = kFanout;
    for (std::size_t l = 0; l < levels_.size(); ++l, blockSize *= kFanout)
        extendLevel(l, lo, hi, gap, i % blockSize == 0);
    if (levels_.empty()) {
        levels_.emplace_back();
        extendLevel(0, lo, hi, gap, true);
    }
    // A new level above once the top one holds two blocks: the top always holds the whole trace
    // in one block.
    while (levels_.back().size() >= 2) {
        const std::size_t below = levels_.size() - 1;
        levels_.emplace_back();
        for (std::size_t b = 0; b < levels_[below].size(); ++b) {
            const Block k = levelBlock(levels_[below], b);
            const bool empty = std::isnan(k.min);
            extendLevel(below + 1, empty ? kInf : k.min, empty ? -kInf : k.max, k.gap, b == 0);
        }
    }
}

SignalTrace::Block SignalTrace::levelBlock(const Level& level, std::size_t index) const {
    double lo = 0, hi = 0;
    if (compact_) {
        const IntBlock b = level.ints[index];
        lo = b.min;
        hi = b.max;
    } else {
        const DoubleBlock b = level.doubles[index];
        lo = b.min;
        hi = b.max;
    }
    if (lo > hi)
        return Block{kNaN, kNaN, true};
    return Block{lo, hi, level.gaps[index] != 0};
}

SignalTrace::Block SignalTrace::block(std::size_t level, std::size_t index) const {
    return levelBlock(levels_[level - 1], index);
}

std::size_t SignalTrace::blockCount(std::size_t level) const {
    return level == 0 || level > levels_.size() ? 0 : levels_[level - 1].size();
}

std::optional<SignalTrace::Range> SignalTrace::keyRange() const {
    if (count_ == 0)
        return std::nullopt;
    return Range{x(0), x(count_ - 1)};
}

std::optional<SignalTrace::Range> SignalTrace::valueRange() const {
    if (count_ == 0)
        return std::nullopt;
    const Block top = levelBlock(levels_.back(), 0);
    if (std::isnan(top.min))
        return std::nullopt;
    return Range{top.min, top.max};
}

std::size_t SignalTrace::indexAtOrAfter(double time) const {
    if (count_ == 0)
        return 0;
    if (compact_) {
        if (!(time > x0_))
            return 0;
        const double k = std::ceil((time - x0_) / step_ - 1e-9);
        return k >= static_cast<double>(count_) ? count_ : static_cast<std::size_t>(k);
    }
    std::size_t lo = 0, hi = count_;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (xs_[mid] < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t SignalTrace::indexAfter(double time) const {
    std::size_t i = indexAtOrAfter(time);
    while (i < count_ && !(x(i) > time))
        ++i;
    return i;
}

bool SignalTrace::picture(double from, double to, std::size_t columns, std::size_t pointsPerColumn,
                          std::vector<Point>& out) const {
    out.clear();
    if (count_ == 0 || !(to >= from))
        return true;
    columns = std::max<std::size_t>(columns, 1);
    const std::size_t first = indexAtOrAfter(from), end = indexAfter(to);
    // One sample beyond each edge, so the line runs out of the view instead of stopping short.
    const std::size_t a = first > 0 ? first - 1 : 0;
    const std::size_t b = std::min(count_, std::max(end, first) + 1);
    const std::size_t visible = b - a;
    if (visible <= columns * std::max<std::size_t>(pointsPerColumn, 1)) {
        out.reserve(visible);
        for (std::size_t i = a; i < b; ++i)
            out.push_back(Point{x(i), y(i)});
        return true;
    }
    // The coarsest level whose blocks are no longer than a column's share, and columns made of
    // whole blocks of it.
    const std::size_t perColumn = (visible + columns - 1) / columns;
    std::size_t level = 0, blockSize = 1;
    while (level < levels_.size() && blockSize * kFanout <= perColumn) {
        blockSize *= kFanout;
        ++level;
    }
    const std::size_t columnSize = (perColumn + blockSize - 1) / blockSize * blockSize;
    out.reserve(2 * (visible / columnSize + 2) + 2);
    for (std::size_t start = a / columnSize * columnSize; start < b; start += columnSize) {
        const std::size_t stop = std::min(start + columnSize, count_);
        double lo = kInf, hi = -kInf;
        bool gap = false;
        if (level == 0) {
            for (std::size_t i = start; i < stop; ++i) {
                const double v = y(i);
                if (std::isnan(v)) {
                    gap = true;
                } else {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
        } else {
            const Level& l = levels_[level - 1];
            for (std::size_t k = start / blockSize; k * blockSize < stop; ++k) {
                const Block blk = levelBlock(l, k);
                gap = gap || blk.gap;
                if (!std::isnan(blk.min)) {
                    lo = std::min(lo, blk.min);
                    hi = std::max(hi, blk.max);
                }
            }
        }
        const double at = (x(start) + x(stop - 1)) / 2;
        if (lo <= hi) {
            out.push_back(Point{at, lo});
            if (hi > lo)
                out.push_back(Point{at, hi});
        }
        if (gap)
            out.push_back(Point{at, kNaN});
    }
    return false;
}

std::size_t SignalTrace::bytes() const {
    std::size_t total = sizeof(*this) + ints_.bytes() + xs_.bytes() + ys_.bytes() +
                        levels_.capacity() * sizeof(Level);
    for (const Level& level : levels_)
        total += level.ints.bytes() + level.doubles.bytes() + level.gaps.bytes();
    return total;
}

} // namespace korvat
