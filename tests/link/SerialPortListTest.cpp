// The name the port chooser offers for a device: its stable link under by-id when there is one.

#include "link/SerialPortList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvat;

TEST(SerialPortList, TheStableLinkIsPreferredToTheKernelsName) {
    QTemporaryDir dir;
    const QString dev = dir.filePath("dev");
    const QString byId = dir.filePath("by-id");
    QDir().mkpath(dev);
    QDir().mkpath(byId);
    for (const char* tty : {"ttyUSB0", "ttyUSB1", "ttyS0"}) {
        QFile f(dev + "/" + tty);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Two links to one adapter (the udev rules of some adapters make both): the first by name.
    QFile::link(dev + "/ttyUSB0", byId + "/usb-FTDI_FT232R_A10KXY7-if00-port0");
    QFile::link(dev + "/ttyUSB0", byId + "/usb-FTDI_FT232R_A10KXY7-if00-port0-alias");
    QFile::link(dev + "/ttyUSB1", byId + "/usb-Prolific_PL2303-if00-port0");
    QFile::link(dev + "/gone", byId + "/usb-dangling");

    const struct {
        const char* device;
        QString expected;
    } cases[] = {
        {"ttyUSB0", byId + "/usb-FTDI_FT232R_A10KXY7-if00-port0"},
        {"ttyUSB1", byId + "/usb-Prolific_PL2303-if00-port0"},
        {"ttyS0", dev + "/ttyS0"},        // a built-in port has no by-id link
        {"ttyUSB5", dev + "/ttyUSB5"},    // not there at all: its own name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(preferredDeviceName(dev + "/" + c.device, byId), c.expected);
    }
    EXPECT_EQ(preferredDeviceName(dev + "/ttyS0", dir.filePath("no-by-id")), dev + "/ttyS0");
}
