#include "util/Clock.h"

#include <QFileInfo>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace korvat {

void readLocalTimeZoneOnce() {
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
}

QDateTime SystemClock::wallNow() const { return QDateTime::currentDateTime(); }

Millis SystemClock::monotonicNow() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::waitForEvents(Millis upTo) {
    // Blocks in the event loop until something arrives (serial bytes, a timer, operator input) or
    // the limit passes; the timer only guarantees the wake-up. No busy loop.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max<qint64>(upTo.count(), 0));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

ManualClock::ManualClock(QDateTime wallStart) : wallStart_(std::move(wallStart)) {}

QDateTime ManualClock::wallNow() const { return wallStart_.addMSecs((now_ + wallOffset_).count()); }

void ManualClock::waitForEvents(Millis upTo) {
    QCoreApplication::processEvents();
    advance(std::clamp(upTo, Millis(1), waitStep_));
    QCoreApplication::processEvents();
}

void ManualClock::advance(Millis by) {
    now_ += by;
    for (auto& listener : listeners_)
        listener(now_);
}

} // namespace korvat
