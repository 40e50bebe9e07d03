#pragma once
// The status poll list: the queries the tick sends in turn, each at most once a second.

#include "shell/Config.h"
#include "util/Clock.h"

#include <QString>
#include <vector>

namespace korvat {

struct TUpdateObject {
    Millis UpdateTime{0};   // when the query was last sent (monotonic)
    QString UpdateString;   // the query without its CR
    QString UpdateObject;   // the setpoint edit of the polled quantity, or empty
};

// 7 entries for one detector, 11 with the FPD converter; all timed from `now`.
std::vector<TUpdateObject> buildUpdateList(TDeviceTyp deviceTyp, Millis now);

} // namespace korvat
