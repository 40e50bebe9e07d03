// Notices for someone away from the instrument: which events are told, and the program named in
// the settings started with the event as plain arguments (nothing in a text reaches a shell).

#include "app/Notifier.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace korvat;

TEST(Notifier, TellsOfBreakthroughsRunEndsAndFaultsOnly) {
    const struct {
        EventKind kind;
        bool told;
    } cases[] = {{EventKind::Breakthrough, true},     {EventKind::RunEnd, true},        {EventKind::LineLost, true},
                 {EventKind::ConverterTimeout, true}, {EventKind::FileWaiting, true},   {EventKind::Measurement, false},
                 {EventKind::LineBack, false},        {EventKind::SettingChanged, false}, {EventKind::ProgramStart, false}};
    for (const auto& c : cases)
        EXPECT_EQ(Notifier::notifies(c.kind), c.told) << eventKindName(c.kind).toStdString();
}

TEST(Notifier, TheCommandGetsTheEventAsArgumentsNeverAsAShellLine) {
    QTemporaryDir dir;
    const QString script = dir.path() + "/notify-lab";
    const QString out = dir.path() + "/out.txt";
    const QString marker = dir.path() + "/injected";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"%1.tmp\" && mv \"%1.tmp\" \"%1\"\n").arg(out).toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    Notifier n;
    n.configure({script, false});
    const QString text = QStringLiteral("cell 2 (Nitril; $(touch %1)) broke through at 01:12:30").arg(marker);
    const RunEvent e{QDateTime(QDate(2026, 12, 10), QTime(3, 12, 30)), EventKind::Breakthrough, {}, 14, text};
    EXPECT_EQ(n.notify(e), QString());
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(out) && !deadline.hasExpired())
        QThread::msleep(20);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, (QStringList{"breakthrough", "2026-12-10T03:12:30", text}));
    EXPECT_FALSE(QFile::exists(marker));

    n.configure({dir.path() + "/no-such-program", false});
    EXPECT_TRUE(n.notify(e).contains("no-such-program"));
    EXPECT_EQ(n.notify({e.time, EventKind::Measurement, {}, 1, "x"}), QString());
}
