#pragma once
// What every fuzz target shares: a check that stops the run with a message (libFuzzer then keeps
// the input as a crash), and the input as the Latin-1 text the link and the loaders see.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace korvat::fuzz {

// Wraps the fuzzer's buffer without copying; valid for one call.
inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace korvat::fuzz
