// Notices for someone away from the instrument: which events are told, and the program named in
// the settings started with the event as plain arguments (nothing in a text reaches a shell).

#include "app/Notifier.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
    QStringList errors;
    n.onError([&](const QString& error) { errors << error; });
    n.configure({script, false});
    const QString text = QStringLiteral("cell 2 (Nitril; $(touch %1)) broke through at 01:12:30").arg(marker);
    const RunEvent e{QDateTime(QDate(2026, 12, 10), QTime(3, 12, 30)), EventKind::Breakthrough, {}, 14, text};
    n.notify(e);
    QDeadlineTimer deadline(20000);
    while (!QFile::exists(out) && !deadline.hasExpired())
        QThread::msleep(20);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines, (QStringList{"breakthrough", "2026-12-10T03:12:30", text}));
    EXPECT_FALSE(QFile::exists(marker));

    // A program that is not there is said, for the log (on this thread, once it is known).
    n.configure({dir.path() + "/no-such-program", false});
    n.notify({e.time, EventKind::Measurement, {}, 1, "x"}); // not one to tell
    n.notify(e);
    QDeadlineTimer failed(20000);
    while (errors.isEmpty() && !failed.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("no-such-program")) << errors[0].toStdString();
}

// A notification service that takes the connection and never answers (a desktop session that
// hangs): the notices wait on the notifier's own thread, and the caller goes on at once.
TEST(Notifier, ANotificationServiceThatDoesNotAnswerHoldsNothingUp) {
    QTemporaryDir dir;
    const QByteArray socketPath = QFile::encodeName(dir.path() + "/bus");
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(std::size_t(socketPath.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), std::size_t(socketPath.size()));
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(server, 4), 0);
    const QByteArray before = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socketPath);

    QStringList errors;
    {
        Notifier n;
        n.onError([&](const QString& error) { errors << error; });
        n.configure({{}, true});
        const RunEvent e{QDateTime(QDate(2026, 12, 10), QTime(3, 12, 30)), EventKind::Breakthrough, {}, 14, "cell 1"};
        for (int i = 0; i < 3; ++i)
            n.notify(e); // each returns while the service has not said a word
        // The notifier's thread is at the service's door and waits there: all three are pending.
        pollfd waiting{server, POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 20000), 1) << "the notifier never called the service";
        const int client = ::accept(server, nullptr, nullptr);
        ASSERT_GE(client, 0);
        EXPECT_EQ(n.pending(), 3);
        // The service goes away: the notices fail, and that is said.
        ::close(client);
        ::close(server);
        QDeadlineTimer failed(30000);
        while (errors.isEmpty() && !failed.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    if (before.isEmpty())
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        qputenv("DBUS_SESSION_BUS_ADDRESS", before);
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors[0].contains("Desktop notification not shown")) << errors[0].toStdString();
}
