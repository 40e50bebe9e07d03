#pragma once
// korvat-sim as a separate process on pseudo-terminals, with stable links to its devices in a
// temporary folder. Ends the process when it goes.

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace korvat::test {

class SimProcess {
public:
    // The build puts every program, the tests included, into one folder.
    static QString binDir() {
        const QString fromEnv = qEnvironmentVariable("KORVAT_BIN_DIR");
        return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
    }
    static QString simPath() { return binDir() + "/korvat-sim"; }
    static bool available() { return !binDir().isEmpty() && QFileInfo::exists(simPath()); }

    // Starts with the extra options and waits (at most 10 s) for the handshake.
    bool start(const QStringList& options) {
        linkA = dir.filePath("portA");
        linkB = dir.filePath("portB");
        logPath = dir.filePath("sim.log");
        QStringList args = options;
        args << "--link-a" << linkA << "--link-b" << linkB << "--log" << logPath;
        process.start(simPath(), args);
        if (!process.waitForStarted(10000))
            return false;
        QByteArray out;
        while (!out.contains("READY\n")) {
            if (!process.waitForReadyRead(10000))
                return false;
            out += process.readAllStandardOutput();
        }
        return true;
    }

    QString log() const {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    ~SimProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000))
                process.kill();
            process.waitForFinished(2000);
        }
    }

    QTemporaryDir dir;
    QProcess process;
    QString linkA, linkB, logPath;
};

} // namespace korvat::test
