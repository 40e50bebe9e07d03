#pragma once
// A real PostgreSQL server for a test: Debian's initdb and pg_ctl make a cluster in a temporary
// folder that listens on a Unix socket only (no TCP port), trusts local connections, and is
// stopped and removed with the object. Run as root, the server runs as the postgres user (it
// refuses root). available() is false when the server package is not installed.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

namespace korvat::test {

class PostgresServer {
public:
    static QString binDir() {
        const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
            const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(*it);
            if (QFile::exists(bin + QStringLiteral("initdb")) && QFile::exists(bin + QStringLiteral("pg_ctl")))
                return bin;
        }
        return {};
    }
    static bool available() { return !binDir().isEmpty(); }

    PostgresServer() : folder_(QDir::tempPath() + QStringLiteral("/korvat-pg-XXXXXX")) {}
    ~PostgresServer() { stop(); }

    // Makes the cluster and starts it; false with `error` said.
    bool start(QString* error) {
        const QString bin = binDir();
        data_ = folder_.path() + QStringLiteral("/data");
        socket_ = folder_.path();
        if (::geteuid() == 0) {
            // The server refuses root: the folder becomes the postgres user's.
            QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("postgres"), folder_.path()});
            asUser_ = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")};
        }
        if (!run(bin + QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data_, QStringLiteral("--auth=trust"), QStringLiteral("-U"), user(),
                  QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")},
                 error))
            return false;
        const QString options = QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off").arg(socket_);
        if (!run(bin + QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), data_, QStringLiteral("-o"), options, QStringLiteral("-l"),
                  folder_.path() + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("start")},
                 error))
            return false;
        running_ = true;
        return true;
    }
    // Stops the server at once (a lost server); start() again is not possible, resume() is.
    void stop() {
        if (!running_)
            return;
        QString ignored;
        run(binDir() + QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")}, &ignored);
        running_ = false;
    }
    bool resume(QString* error) {
        const QString options = QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off").arg(socket_);
        if (!run(binDir() + QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), data_, QStringLiteral("-o"), options, QStringLiteral("-l"),
                  folder_.path() + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("start")},
                 error))
            return false;
        running_ = true;
        return true;
    }

    // The archive's address of the cluster's default database, through the socket folder.
    QString address() const {
        return QStringLiteral("postgresql://%1@/postgres?host=%2").arg(user(), socket_);
    }
    QString log() const {
        QFile f(folder_.path() + QStringLiteral("/server.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    static QString user() { return QStringLiteral("postgres"); }
    bool run(const QString& program, const QStringList& args, QString* error) const {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (asUser_.isEmpty())
            p.start(program, args);
        else
            p.start(asUser_.first(), asUser_.mid(1) + QStringList{program} + args);
        if (!p.waitForFinished(60'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(p.readAll()));
            return false;
        }
        return true;
    }

    QTemporaryDir folder_;
    QString data_, socket_;
    QStringList asUser_;
    bool running_ = false;
};

} // namespace korvat::test
