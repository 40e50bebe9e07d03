// A serial device that is there but may not be opened by this user: the message names the device
// and its group and says what to do, in the program's language; the port opening shows it under
// entry 28 and still asks the program to end. And the group is the device's own, behind a link.

#include "link/Link.h"
#include "link/QtSerialLine.h"
#include "model/InProcessLine.h"
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
#include "util/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <unistd.h>

using namespace korvat;
using korvat::sim::InProcessLine;
using korvat::test::RecordingDialogs;
using korvat::test::RecordingView;

namespace {

// A device whose open fails as it does for a user outside the device's group.
class DeniedLine final : public SerialLine {
public:
    explicit DeniedLine(QString group) : group_(std::move(group)) {}
    QString deviceName() const override { return name_; }
    void setDeviceName(const QString& name) override { name_ = name; }
    bool deviceExists() const override { return true; }
    bool open(const LineSettings&) override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool write(const QByteArray&) override { return false; }
    qint64 bytesAvailable() const override { return 0; }
    QByteArray readAll() override { return {}; }
    QString errorString() const override { return QStringLiteral("Permission denied"); }
    bool openDenied() const override { return true; }
    QString deviceGroup() const override { return group_; }

private:
    QString name_ = QStringLiteral("/dev/ttyUSB0");
    QString group_;
};

} // namespace

TEST(PortPermission, MessageNamesDeviceGroupAndWhatToDo) {
    const struct {
        int language;
        const char* group;
        QStringList says;
        QStringList never;
    } cases[] = {
        {1000, "dialout", {"/dev/ttyUSB0", "group dialout", "sudo adduser $USER dialout", "log out and log in again"}, {}},
        {0, "dialout", {"/dev/ttyUSB0", "Gruppe dialout", "sudo adduser $USER dialout", "ab und wieder an"}, {"log out"}},
        {1000, "uucp", {"group uucp", "sudo adduser $USER uucp"}, {"dialout"}},
        // Unknown group: the usual one, and how to see the real one.
        {1000, "", {"usually dialout", "ls -l /dev/ttyUSB0", "log out and log in again"}, {}},
        {0, "", {"meist dialout", "ls -l /dev/ttyUSB0", "ab und wieder an"}, {}},
        // A device of group root: nobody is told to join root.
        {1000, "root", {"group root", "administrator", "dialout", "log out and log in again"}, {"adduser $USER root"}},
        {0, "root", {"Gruppe root", "Administrator", "dialout"}, {"adduser $USER root"}},
    };
    for (const auto& c : cases) {
        const QString text = permissionDeniedText(c.language, "/dev/ttyUSB0", c.group);
        SCOPED_TRACE(text.toStdString());
        for (const QString& part : c.says)
            EXPECT_TRUE(text.contains(part)) << part.toStdString();
        for (const QString& part : c.never)
            EXPECT_FALSE(text.contains(part)) << part.toStdString();
    }
}

TEST(PortPermission, OpeningADeniedDeviceExplainsUnderEntry28AndAsksToEnd) {
    for (const int language : {0, 1000}) {
        ManualClock clock;
        RecordingView view;
        RecordingDialogs dialogs;
        DeniedLine com1("dialout");
        InProcessLine com2("B");
        Link link(com1, com2, clock, dialogs, view);
        int terminateRequests = 0;
        link.setTerminateRequest([&] { ++terminateRequests; });
        link.setLanguage(language);

        EXPECT_FALSE(link.OpenComPort(com1));
        ASSERT_EQ(dialogs.boxes.size(), 1);
        EXPECT_EQ(dialogs.boxes[0].caption, language == 0 ? "Fehler" : "Error");
        EXPECT_EQ(dialogs.boxes[0].text, (language == 0 ? "Fehler: Beim Öffnen des seriellen Anschlusses /dev/ttyUSB0\n\n"
                                                        : "Error: Cannot open COM port /dev/ttyUSB0\n\n") +
                                             permissionDeniedText(language, "/dev/ttyUSB0", "dialout"));
        EXPECT_EQ(terminateRequests, 1);
    }
}

TEST(PortPermission, AnOpenThatFailsForAnotherReasonSaysNothingOfPermissions) {
    ManualClock clock;
    RecordingView view;
    RecordingDialogs dialogs;
    InProcessLine com1("A"), com2("B");
    Link link(com1, com2, clock, dialogs, view);
    // The in-process line's failure text reads "Permission denied", but the line does not say the
    // open was refused for lack of permission: no advice about groups.
    com1.setOpenResult(false);
    EXPECT_FALSE(link.OpenComPort(com1));
    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].text, "Fehler: Beim Öffnen des seriellen Anschlusses A");
}

TEST(PortPermission, TheGroupIsTheDevicesOwnAlsoBehindALinkOrABareName) {
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyFake");
    QFile f(device);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(QFile::link(device, dir.filePath("by-id")));
    // The device gets a group other than the link's own, where this user may give it one.
    for (const char* other : {"dialout", "tty", "uucp"}) {
        const group* g = ::getgrnam(other);
        if (g && g->gr_gid != ::getegid() && ::chown(device.toLocal8Bit().constData(), -1, g->gr_gid) == 0)
            break;
    }

    QtSerialLine line;
    line.setDeviceName(dir.filePath("by-id"));
    EXPECT_FALSE(line.deviceGroup().isEmpty());
    EXPECT_EQ(line.deviceGroup(), QFileInfo(device).group());
    // A bare name is the device under /dev.
    line.setDeviceName("null");
    EXPECT_EQ(line.deviceGroup(), QFileInfo("/dev/null").group());
    // Nothing opened, nothing refused.
    EXPECT_FALSE(line.openDenied());
}
