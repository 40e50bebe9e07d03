#include "link/SerialPortList.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace korvat {

QString preferredDeviceName(const QString& systemLocation, const QString& byIdDir) {
    const QString target = QFileInfo(systemLocation).canonicalFilePath();
    if (target.isEmpty())
        return systemLocation;
    const QDir dir(byIdDir);
    const QStringList names = dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString link = dir.filePath(name);
        if (QFileInfo(link).canonicalFilePath() == target)
            return link;
    }
    return systemLocation;
}

std::vector<SerialPortEntry> listSerialPorts(const QString& byIdDir) {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.push_back({preferredDeviceName(info.systemLocation(), byIdDir), info.systemLocation(),
                         info.description(), info.manufacturer(), info.serialNumber()});
    }
    // Adapters with a stable name first: on a PC with a row of built-in ttyS ports they are the
    // ones the instrument is likely on.
    auto stable = [](const SerialPortEntry& e) { return e.device != e.systemLocation; };
    std::sort(ports.begin(), ports.end(), [&stable](const SerialPortEntry& a, const SerialPortEntry& b) {
        if (stable(a) != stable(b))
            return stable(a);
        return a.device < b.device;
    });
    return ports;
}

} // namespace korvat
