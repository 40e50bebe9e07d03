#pragma once
// Ticks a started run to its end on the fixture's manual clock, as the window's 90 ms timer
// would (at most `limit` of the run's time).
#include "support/AppFixture.h"

#include <QCoreApplication>

namespace korvat::test {

inline void tickRunToEnd(AppFixture& f, Millis limit = Millis(4 * 3600 * 1000)) {
    const Millis until = f.clock.monotonicNow() + limit;
    while (f.app().sequencer().running() && f.clock.monotonicNow() < until) {
        f.clock.advance(Millis(90));
        QCoreApplication::processEvents();
        f.app().Timer1Timer();
    }
}

} // namespace korvat::test
