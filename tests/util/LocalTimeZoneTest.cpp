#include "util/Clock.h"

#include <QDateTime>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace korvat;

namespace {

// Puts TZ back as it was when the test began.
struct KeepTz {
    KeepTz() : was(qEnvironmentVariableIsSet("TZ")), value(qgetenv("TZ")) {}
    ~KeepTz() {
        if (was)
            qputenv("TZ", value);
        else
            qunsetenv("TZ");
    }
    bool was;
    QByteArray value;
};

qint64 summerAndWinter() {
    const QDateTime summer(QDate(2024, 7, 1), QTime(12, 0));
    const QDateTime winter(QDate(2024, 1, 1), QTime(12, 0));
    return summer.toMSecsSinceEpoch() ^ (winter.toMSecsSinceEpoch() << 1);
}

} // namespace

TEST(LocalTimeZone, ReadOnceIsTheSameZoneAndAZoneSetByTheUserStays) {
    KeepTz keep;
    if (!QFileInfo::exists(QStringLiteral("/etc/localtime")))
        GTEST_SKIP() << "no /etc/localtime on this machine";
    qunsetenv("TZ");
    const qint64 before = summerAndWinter();
    readLocalTimeZoneOnce();
    EXPECT_EQ(qgetenv("TZ"), ":/etc/localtime");
    EXPECT_EQ(summerAndWinter(), before) << "local times moved when the zone was named";

    qputenv("TZ", "Pacific/Auckland");
    readLocalTimeZoneOnce();
    EXPECT_EQ(qgetenv("TZ"), "Pacific/Auckland");
}
