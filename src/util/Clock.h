#pragma once
// The program's only source of time. Wall-clock time is for texts, dates and files; every
// elapsed-time decision (phase thresholds, reply waits, poll intervals, countdowns) uses the
// monotonic time, so a daylight-saving change during an overnight run cannot skip or stretch a phase.

#include <QDateTime>
#include <chrono>
#include <functional>
#include <vector>

namespace korvat {

using Millis = std::chrono::milliseconds;

// The system's time zone read once for the process. While TZ is unset the C library looks at
// /etc/localtime again at every conversion to local time (a file-system call per logged line or
// per row read); naming the file in TZ makes it read it once. A zone changed while the program runs
// counts from its next start. Call first thing in main, before any thread.
void readLocalTimeZoneOnce();

class Clock {
public:
    virtual ~Clock() = default;
    // Local date and time, for what the operator reads and what files record.
    virtual QDateTime wallNow() const = 0;
    // Time since an arbitrary fixed origin; never jumps.
    virtual Millis monotonicNow() const = 0;
    // Lets pending events run and returns after at most `upTo`, earlier when an event arrived.
    // Used by waits that must keep the window responsive (the reply wait, for example).
    virtual void waitForEvents(Millis upTo) = 0;
};

// The real clock: system wall clock, steady clock, and a blocking wait on the event loop.
class SystemClock final : public Clock {
public:
    QDateTime wallNow() const override;
    Millis monotonicNow() const override;
    void waitForEvents(Millis upTo) override;
};

// A clock that moves only when told to. Tests and the benchmark runs use it to play hours of
// operation in seconds. Listeners are told every time it moves (the in-process instrument follows
// it that way).
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime wallStart = QDateTime(QDate(2026, 1, 15), QTime(8, 0, 0)));

    QDateTime wallNow() const override;
    Millis monotonicNow() const override { return now_; }
    // Advances by min(upTo, step) and processes pending events; the step keeps waits fine-grained.
    void waitForEvents(Millis upTo) override;

    void advance(Millis by);
    void setWaitStep(Millis step) { waitStep_ = step; }
    // Moves the wall clock alone, as a daylight-saving change or a manual clock setting would.
    void shiftWallClock(Millis by) { wallOffset_ += by; }
    void onAdvance(std::function<void(Millis)> listener) { listeners_.push_back(std::move(listener)); }

private:
    QDateTime wallStart_;
    Millis now_{0};
    Millis wallOffset_{0};
    Millis waitStep_{10};
    std::vector<std::function<void(Millis)>> listeners_;
};

} // namespace korvat
