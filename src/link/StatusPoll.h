#pragma once
// The status poll: every tick sends at most one query of a fixed list (each query at most once a
// second) and interprets at most one reply line, updating the read-back labels, mirroring the
// instrument's heating and sample-loop state and keeping the main converter's status. Lines that
// are no reply it interprets (an instrument's echoes and acknowledgements) are logged and passed
// over in the same tick, so they cannot make the replies behind them wait.

#include "link/LinkView.h"
#include "shell/Config.h"
#include "util/Clock.h"

#include <QString>
#include <array>
#include <optional>
#include <functional>
#include <vector>

namespace korvat {

class Link;
class Valves;

struct TUpdateObject {
    Millis UpdateTime{0}; // when the query was last sent (monotonic)
    QString UpdateString; // the query without its CR
    std::optional<ReadBack> UpdateObject; // the quantity the query reads back, if any
};

// 7 entries for one detector, 11 with the FPD converter; all timed from `now`.
std::vector<TUpdateObject> buildUpdateList(TDeviceTyp deviceTyp, Millis now);

class StatusPoll {
public:
    struct Deps {
        Link& link;
        LinkView& view;
        Valves& valves;
        const Clock& clock;
        const int& ID;
    };

    explicit StatusPoll(Deps deps) : d_(deps) {}

    // The instrument's heating register asks for the valve block's or the measuring cell's heater
    // to be on or off; the settings page follows (its toggle, setpoint and switch), inside the tick.
    enum class HeatedZone { ValveBlock, MeasuringCell };
    using HeaterRequest = std::function<void(HeatedZone zone, bool on)>;
    void setHeaterRequest(HeaterRequest request) { heaterRequest_ = std::move(request); }

    void build(TDeviceTyp deviceTyp) { UpdateList = buildUpdateList(deviceTyp, d_.clock.monotonicNow()); }
    // Stage 1 of the tick, in this order.
    void pollStep();
    void dispatchStep();

    // What the poll last read back of each quantity, as shown; set() also for the placeholders
    // start-up shows before the first reply.
    const QString& readBack(ReadBack what) const { return readBacks_[static_cast<int>(what)]; }
    void setReadBack(ReadBack what, const QString& text);
    // The last temperature read back (°C) of a heater (valve block, measuring chamber, emission
    // chamber, transfer line); none before the first reply.
    std::optional<double> temperature(ReadBack what) const { return temperatures_[static_cast<int>(what)]; }

    std::vector<TUpdateObject> UpdateList;
    int PollCursor = 0;    // 1-based entry of the current tick; 0 before the first
    int intAD1Status = 0;  // last status number of the main converter

private:
    // Whether the line was a reply of a kind the poll interprets (also one whose value did not
    // decode, which is reported).
    bool act(QChar letter, const QString& line);
    void heatingMirror(int c);
    bool malformed(const QString& line);
    QString T(int n) const;

    Deps d_;
    HeaterRequest heaterRequest_;
    std::array<QString, kReadBackCount> readBacks_;
    std::array<std::optional<double>, kReadBackCount> temperatures_{};
};

} // namespace korvat
