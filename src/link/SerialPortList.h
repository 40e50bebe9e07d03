#pragma once
// The serial ports this machine has, as the port chooser lists them. A name under
// /dev/serial/by-id is preferred to the kernel's name: it names the adapter (maker, serial
// number) and stays the same when the adapter is plugged in again or into another socket, where
// /dev/ttyUSB0 and /dev/ttyUSB1 may trade places.

#include <QString>
#include <vector>

namespace korvat {

struct SerialPortEntry {
    QString device;         // the name to store: the stable link when there is one
    QString systemLocation; // the kernel's device (/dev/ttyUSB0)
    QString description;
    QString manufacturer;
    QString serialNumber;
};

inline constexpr char kSerialByIdDir[] = "/dev/serial/by-id";

// The entry of `byIdDir` that leads to `systemLocation`, else `systemLocation` itself. Several
// links to one device give the first by name, so the choice does not change between calls.
QString preferredDeviceName(const QString& systemLocation, const QString& byIdDir = QString::fromLatin1(kSerialByIdDir));

// Every serial port Qt finds: those with a stable name first, each group ordered by name.
std::vector<SerialPortEntry> listSerialPorts(const QString& byIdDir = QString::fromLatin1(kSerialByIdDir));

} // namespace korvat
