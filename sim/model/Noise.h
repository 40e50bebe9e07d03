#pragma once
// Reproducible noise without state: every value is a hash of the seed, a channel number and the
// moment it belongs to. A reading therefore does not depend on how often or in which order
// anything was asked before, and two instruments with the same seed say exactly the same.

#include <cstdint>

namespace korvat::sim::noise {

// The splitmix64 finaliser: cheap, and every input bit reaches every output bit.
constexpr std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

constexpr std::uint64_t hash(std::uint64_t seed, std::uint64_t channel, std::uint64_t n) {
    return mix(seed ^ mix(channel ^ mix(n)));
}

// Uniform in [-1, 1).
constexpr double uniform(std::uint64_t h) {
    return static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// Roughly normal with standard deviation 1, from the sum of four uniform 16-bit parts; bounded to
// about ±3.46, so a signal built on it has hard limits a test can rely on.
constexpr double bell(std::uint64_t h) {
    double sum = 0;
    for (int i = 0; i < 4; ++i)
        sum += static_cast<double>((h >> (16 * i)) & 0xFFFF) / 65536.0;
    // Four uniforms on [0, 1) have mean 2 and variance 1/3.
    return (sum - 2.0) * 1.7320508075688772;
}

inline constexpr double kBellLimit = 3.4641016151377544;

} // namespace korvat::sim::noise
