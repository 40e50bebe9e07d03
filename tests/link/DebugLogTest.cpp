// The debug log stays within its size: past the limit the file is moved aside (.1, .2, ...), a new
// one starts, and only the newest few old files are kept; no line is split between two files.

#include "link/DebugLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

namespace {
QStringList linesOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}
} // namespace

TEST(DebugLog, IsRotatedPastItsSizeAndKeepsTheNewestOldFiles) {
    ManualClock clock;
    const struct {
        const char* name;
        int keep;
        int lines;
        int filesExpected; // the current one and the old ones
    } cases[] = {
        {"within the limit: one file", 3, 5, 1},
        {"past it: old files appear", 3, 25, 3},
        {"far past it: only three old ones", 3, 200, 4},
        {"none kept", 0, 60, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("korvat-debug.log");
        // Each line is 39 bytes: the time (23), the port, the direction and the text.
        const qint64 limit = 400;
        {
            DebugLog log(clock, path, {limit, c.keep});
            for (int i = 0; i < c.lines; ++i)
                log.write("A", ">", QStringLiteral("<SG%1\r").arg(i, 4, 10, QLatin1Char('0')));
        }
        QStringList all;
        int files = 0;
        for (int n = c.keep; n >= 0; --n) {
            const QString file = n == 0 ? path : path + "." + QString::number(n);
            if (!QFile::exists(file))
                continue;
            ++files;
            EXPECT_LE(QFile(file).size(), limit) << file.toStdString();
            all += linesOf(file);
        }
        EXPECT_EQ(files, c.filesExpected);
        EXPECT_FALSE(QFile::exists(path + "." + QString::number(c.keep + 1)));
        // What is kept is the newest lines, whole and in order, ending with the last one written.
        ASSERT_FALSE(all.isEmpty());
        EXPECT_TRUE(all.last().endsWith(QStringLiteral("A > <SG%1\\r").arg(c.lines - 1, 4, 10, QLatin1Char('0'))));
        for (qsizetype i = 1; i < all.size(); ++i)
            EXPECT_LT(all[i - 1].right(8), all[i].right(8));
        if (c.filesExpected == 1 && c.keep > 0) {
            EXPECT_EQ(all.size(), c.lines);
        }
    }
}
