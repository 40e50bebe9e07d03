#pragma once
// What the instrument link has to show the operator: notes for the log and the status line, the
// valves and lamps as the program keeps them, and the values the status poll reads back. The
// window implements it (through the run's and the program's views, which extend it); the link
// never learns how any of it is drawn.

#include <QString>

namespace korvat {

// The front-panel lamps the program switches, and the sample loop's.
enum class Lamp { Zero, Calgas, Calcell, Sample1, Sample2, Sample3, Loop };
inline constexpr int kLampCount = 7;

// What the status poll reads back from the instrument.
enum class ReadBack { Ventilblock, Messkammer, Emmision, Transfer, Zero, HVoltage };
inline constexpr int kReadBackCount = 6;

class LinkView {
public:
    virtual ~LinkView() = default;

    // A line for the log of replies and notes (it keeps the most recent lines).
    virtual void logLine(const QString& text) = 0;
    // The one-line status of the run.
    virtual void statusText(const QString& text) = 0;
    // A valve of bank 1 or 2 (bit 0 to 5) as the program's register copy has it.
    virtual void valveShown(int bank, int bit, bool open) = 0;
    virtual void lampShown(Lamp lamp, bool on) = 0;
    virtual void readBackShown(ReadBack what, const QString& text) = 0;
};

} // namespace korvat
