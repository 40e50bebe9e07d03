#include "model/Faults.h"

#include "model/Noise.h"

#include <algorithm>
#include <array>

namespace korvat::sim {

bool includes(FaultPorts ports, Port port) {
    switch (ports) {
    case FaultPorts::Main:
        return port == Port::Main;
    case FaultPorts::Fpd:
        return port == Port::Fpd;
    case FaultPorts::Both:
        return true;
    }
    return false;
}

namespace faults {

namespace {
constexpr std::uint8_t kCr = '\r';
constexpr int kMaxGarbled = 3;
} // namespace

bool chance(double rate, std::uint64_t h) {
    if (rate <= 0.0)
        return false;
    // 53 random bits as a fraction in [0, 1).
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0) < rate;
}

bool garble(QByteArray& line, std::uint64_t h) {
    const qsizetype text = line.endsWith('\r') ? line.size() - 1 : line.size();
    if (text <= 0)
        return false;
    const int count = 1 + static_cast<int>(h % kMaxGarbled);
    // Each position at most once, so a second wrong byte cannot turn a first one back.
    std::array<qsizetype, kMaxGarbled> hit{};
    int hits = 0;
    for (int k = 0; k < count; ++k) {
        const std::uint64_t pick = noise::mix(h + static_cast<std::uint64_t>(k) + 1);
        const auto at = static_cast<qsizetype>(pick % static_cast<std::uint64_t>(text));
        if (std::find(hit.begin(), hit.begin() + hits, at) != hit.begin() + hits)
            continue;
        hit[static_cast<std::size_t>(hits++)] = at;
        const auto original = static_cast<std::uint8_t>(line[at]);
        // Any other byte but CR: an offset of 1..255 never lands on the original.
        auto offset = static_cast<int>((pick >> 32) % 255) + 1;
        std::uint8_t wrong = static_cast<std::uint8_t>(original + offset);
        while (wrong == kCr) {
            offset = offset % 255 + 1;
            wrong = static_cast<std::uint8_t>(original + offset);
        }
        line[at] = static_cast<char>(wrong);
    }
    return true;
}

} // namespace faults

std::optional<Millis> VanishingSchedule::nextAt() const {
    if (!plan_ || back_)
        return std::nullopt;
    if (!gone_)
        return plan_->at;
    if (!plan_->backAfter)
        return std::nullopt;
    return plan_->at + *plan_->backAfter;
}

std::vector<VanishingSchedule::Step> VanishingSchedule::advanceTo(Millis now) {
    std::vector<Step> steps;
    for (std::optional<Millis> due = nextAt(); due && *due <= now; due = nextAt()) {
        if (!gone_) {
            gone_ = true;
            steps.push_back(Step::Gone);
        } else {
            back_ = true;
            steps.push_back(Step::Back);
        }
    }
    return steps;
}

} // namespace korvat::sim
