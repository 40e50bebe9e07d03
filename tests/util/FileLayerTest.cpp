// The file layer the run's files go through: a replacement is all or nothing under the file's
// own name and leaves no temporary file; an append that fails (a full disk, a file-size limit)
// is cut back to the size before it; an append to a file that is not the one expected writes
// nothing; a new file that cannot be written whole is not left behind. Each fault of a disk is
// played by the operating system's calls failing on command, under the layer's own code.

#include "support/AppFixture.h"
#include "support/FaultyFiles.h"
#include "util/FileLayer.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace korvat;
using korvat::test::DiskFault;
using korvat::test::FaultyFiles;
using korvat::test::readBytes;
using korvat::test::writeFile;

namespace {

struct Layer : ::testing::Test {
    QTemporaryDir dir;
    QString folder = dir.path() + "/share";
    FaultyFiles faulty{folder};
    FileLayer& files = *faulty.layer;
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(folder)); }
    QString at(const QString& name) const { return folder + "/" + name; }
    // Files in the folder other than the ones named.
    QStringList others(const QStringList& expected) const {
        QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString& n : expected)
            names.removeAll(n);
        return names;
    }
};

const DiskFault kWriteFaults[] = {DiskFault::Full, DiskFault::ReadOnly, DiskFault::Removed};

} // namespace

TEST_F(Layer, AReplacementIsWholeOrNotThereAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(files.replace(at("Glove_summary.csv"), "first\r\n"));
    ASSERT_TRUE(files.replace(at("Glove_summary.csv"), "second, longer\r\n"));
    EXPECT_EQ(readBytes(at("Glove_summary.csv")), "second, longer\r\n");
    EXPECT_EQ(others({"Glove_summary.csv"}), QStringList());
    for (const DiskFault fault : kWriteFaults) {
        SCOPED_TRACE(test::diskFaultName(fault));
        faulty.calls->set(fault);
        const FileResult failed = files.replace(at("Glove_summary.csv"), QByteArray(4096, 'x'));
        EXPECT_FALSE(failed);
        EXPECT_NE(failed.error, 0);
        EXPECT_TRUE(failed.reason.contains("Glove_summary.csv")) << failed.reason.toStdString();
        EXPECT_FALSE(files.replace(at("Glove_7.txt"), "raw"));
        faulty.calls->set(DiskFault::None);
        EXPECT_EQ(readBytes(at("Glove_summary.csv")), "second, longer\r\n");
        EXPECT_FALSE(QFile::exists(at("Glove_7.txt")));
        EXPECT_EQ(others({"Glove_summary.csv"}), QStringList());
    }
}

TEST_F(Layer, AFailedAppendIsCutBackAndTheNextOneGoesInWhole) {
    writeFile(at("Glove.csv"), "header\r\n1;row\r\n");
    for (const DiskFault fault : kWriteFaults) {
        SCOPED_TRACE(test::diskFaultName(fault));
        faulty.calls->set(fault);
        EXPECT_FALSE(files.append(at("Glove.csv"), "2;a row that does not fit\r\n", FileLayer::Create::No, nullptr, nullptr));
        faulty.calls->set(DiskFault::None);
        EXPECT_EQ(readBytes(at("Glove.csv")), "header\r\n1;row\r\n");
    }
    FileIdentity after;
    ASSERT_TRUE(files.append(at("Glove.csv"), "2;row\r\n", FileLayer::Create::No, nullptr, &after));
    EXPECT_EQ(readBytes(at("Glove.csv")), "header\r\n1;row\r\n2;row\r\n");
    EXPECT_EQ(after.size, 22);
    EXPECT_EQ(files.identity(at("Glove.csv")), after);
}

// A file-size limit stands in for a real full disk: the kernel stops the write part-way.
TEST_F(Layer, ARowCutOffByAFileSizeLimitLeavesNoFragmentBehind) {
    const QString path = dir.path() + "/full.csv";
    writeFile(path, QByteArray(90, 'x'));
    const std::shared_ptr<FileLayer> layer = makePosixFileLayer();
    FileLayer& real = *layer;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileResult written = real.append(path, QByteArray(30, 'r') + "\r\n", FileLayer::Create::No, nullptr, nullptr);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(QFileInfo(path).size(), 90);
    // Room again: the row goes in whole, once.
    ASSERT_TRUE(real.append(path, QByteArray(30, 'r') + "\r\n", FileLayer::Create::No, nullptr, nullptr));
    EXPECT_EQ(readBytes(path), QByteArray(90, 'x') + QByteArray(30, 'r') + "\r\n");
}

TEST_F(Layer, AnAppendToAnotherFileThanTheExpectedWritesNothing) {
    struct Case {
        const char* what;
        std::function<void()> change;
    } cases[] = {
        {"a row added by someone else", [&] { writeFile(at("Glove.csv"), "header\r\nforeign\r\n"); }},
        {"replaced by another file", [&] {
             writeFile(at("other"), "header\r\n");
             ASSERT_EQ(::rename(QFile::encodeName(at("other")).constData(), QFile::encodeName(at("Glove.csv")).constData()), 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(at("Glove.csv"), "header\r\n");
        const FileIdentity now = *files.identity(at("Glove.csv"));
        c.change();
        const QByteArray before = readBytes(at("Glove.csv"));
        const FileResult r = files.append(at("Glove.csv"), "1;row\r\n", FileLayer::Create::No, &now, nullptr);
        EXPECT_FALSE(r);
        EXPECT_TRUE(r.changed);
        EXPECT_EQ(readBytes(at("Glove.csv")), before);
    }
}

TEST_F(Layer, ANewFileIsMadeWholeOrNotAtAll) {
    FileIdentity after;
    ASSERT_TRUE(files.append(at("New.csv"), "header\r\n", FileLayer::Create::New, nullptr, &after));
    EXPECT_EQ(after.size, 8);
    const FileResult again = files.append(at("New.csv"), "header\r\n", FileLayer::Create::New, nullptr, nullptr);
    EXPECT_EQ(again.error, EEXIST);
    EXPECT_EQ(readBytes(at("New.csv")), "header\r\n");
    // A full disk takes half of the header: the half file is not left to be taken for a results file.
    faulty.calls->set(DiskFault::Full);
    EXPECT_FALSE(files.append(at("Half.csv"), QByteArray(100, 'h'), FileLayer::Create::New, nullptr, nullptr));
    faulty.calls->set(DiskFault::None);
    EXPECT_FALSE(QFile::exists(at("Half.csv")));
    // Nor is a missing file made when it must exist.
    EXPECT_EQ(files.append(at("Gone.csv"), "1\r\n", FileLayer::Create::No, nullptr, nullptr).error, ENOENT);
    EXPECT_FALSE(QFile::exists(at("Gone.csv")));
}

TEST_F(Layer, LooksListsReadsCutsAndRemoves) {
    writeFile(at("a.txt"), "0123456789");
    EXPECT_TRUE(files.exists(at("a.txt")));
    EXPECT_FALSE(files.exists(at("b.txt")));
    QByteArray bytes;
    ASSERT_TRUE(files.read(at("a.txt"), &bytes, 4));
    EXPECT_EQ(bytes, "456789");
    ASSERT_TRUE(files.truncate(at("a.txt"), 3));
    EXPECT_EQ(readBytes(at("a.txt")), "012");
    QStringList names;
    ASSERT_TRUE(files.list(folder, &names));
    EXPECT_EQ(names, QStringList{"a.txt"});
    ASSERT_TRUE(files.makeFolder(folder + "/x/y"));
    EXPECT_TRUE(QFileInfo(folder + "/x/y").isDir());
    ASSERT_TRUE(files.remove(at("a.txt")));
    EXPECT_TRUE(files.remove(at("a.txt"))); // already gone is fine
    FileResult looked;
    EXPECT_FALSE(files.identity(at("a.txt"), &looked));
    EXPECT_EQ(looked.error, ENOENT);
    EXPECT_FALSE(files.identity(folder + "/x", &looked)); // a folder is no file
    // The folder taken away: nothing there, nothing listed.
    faulty.calls->set(DiskFault::Removed);
    EXPECT_FALSE(files.exists(folder));
    EXPECT_FALSE(files.list(folder, &names));
    faulty.calls->set(DiskFault::None);
}

TEST(TemporaryNames, AreHiddenBesideTheFileAndNameTheirProcess) {
    const QString name = temporaryNameFor("/data/Tests/Glove.7_summary.csv", 4711, 3);
    EXPECT_EQ(name, "/data/Tests/.Glove.7_summary.csv.korvat-tmp-4711-3");
    EXPECT_EQ(temporaryNameProcess(QFileInfo(name).fileName()), 4711);
    for (const char* other : {"Glove.csv", ".Glove.csv.korvat-tmp-", "Glove.csv.korvat-tmp-1-2", ".x.korvat-tmp-a-1"})
        EXPECT_FALSE(temporaryNameProcess(other).has_value()) << other;
}
