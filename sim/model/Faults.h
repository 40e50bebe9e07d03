#pragma once
// Faults the virtual instrument can show on demand, so the program can be tested against them.
// Every one is off by default. Times are model times (the clock the instrument follows); what is
// random follows from the instrument's seed, so the same seed and the same commands give the same
// faults in the same places.

#include "model/ConverterEndpoint.h"
#include "util/Clock.h"

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvat::sim {

// Which cable a vanishing device takes with it.
enum class FaultPorts { Main, Fpd, Both };

bool includes(FaultPorts ports, Port port);

// The serial device disappears (a USB adapter pulled out) and, optionally, comes back. The
// instrument itself keeps running and keeps its state; a burst in progress is dropped.
struct DeviceVanishing {
    Millis at{0};
    // How long the device stays away; without it, it never comes back.
    std::optional<Millis> backAfter;
    FaultPorts ports = FaultPorts::Main;
};

struct FaultOptions {
    // Share of lines (0 to 1), replies and data lines alike, in which one to three characters
    // arrive as wrong bytes. The CR is never hit and no wrong byte is a CR, so a garbled line is
    // still exactly one line: the fault shows up in the content, not in the framing.
    double garbleRate = 0.0;
    // Share of replies (answers to queries, acknowledgements) that are never sent.
    double dropReplyRate = 0.0;
    // Share of data lines of a burst, the closing "]" line included, that are never sent.
    double dropDataRate = 0.0;
    // Both boards answer nothing from this model time on.
    std::optional<Millis> silentFrom{};
    // From this model time on, the stop command leaves the burst running: no "]" line, the status
    // stays "burst". Millis{0} makes it so from the start.
    std::optional<Millis> endlessBurstFrom{};
    // The device vanishing in mid-run. The model itself has no device; InProcessInstrument and
    // korvat-sim act on this.
    std::optional<DeviceVanishing> vanishing{};

    // Whether anything per line (garbling, dropping) is asked for.
    bool touchesLines() const {
        return garbleRate > 0.0 || dropReplyRate > 0.0 || dropDataRate > 0.0;
    }
};

namespace faults {

// True with probability `rate` for a uniformly distributed `h`.
bool chance(double rate, std::uint64_t h);

// Replaces one to three characters of `line` (its trailing CR excluded) by other bytes, none of
// them a CR, chosen by `h`. Returns false, changing nothing, when there is nothing before the CR.
bool garble(QByteArray& line, std::uint64_t h);

} // namespace faults

// Follows a DeviceVanishing over model time: says when the device goes and when it comes back.
class VanishingSchedule {
public:
    enum class Step { Gone, Back };

    explicit VanishingSchedule(std::optional<DeviceVanishing> plan = std::nullopt)
        : plan_(std::move(plan)) {}

    bool active() const { return plan_.has_value(); }
    const std::optional<DeviceVanishing>& plan() const { return plan_; }
    // The model time of the next step still to come.
    std::optional<Millis> nextAt() const;
    // The steps due by `now`, in order; a jump over both gives both.
    std::vector<Step> advanceTo(Millis now);

private:
    std::optional<DeviceVanishing> plan_;
    bool gone_ = false;
    bool back_ = false;
};

} // namespace korvat::sim
