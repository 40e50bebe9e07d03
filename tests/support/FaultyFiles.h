#pragma once
// The operating system's file calls with a folder that fails on command, under the program's own
// file layer: a disk that is full (a write stops half-way, then "no space left"), read-only, a
// folder that went away (a share unmounted), one that does not answer until it is released (a
// hanging share), and one whose every fsync takes its time. Everything outside the folder, and
// the folder while no fault is set, goes to the real calls. Thread-safe: the recorder's own
// thread writes while a test switches the fault.

#include "util/FileLayer.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QFile>

#include <fcntl.h>

namespace korvat::test {

enum class DiskFault { None, Full, ReadOnly, Removed, Hang, SlowSync };

inline const char* diskFaultName(DiskFault f) {
    switch (f) {
    case DiskFault::None: return "none";
    case DiskFault::Full: return "full";
    case DiskFault::ReadOnly: return "read-only";
    case DiskFault::Removed: return "removed";
    case DiskFault::Hang: return "hang";
    case DiskFault::SlowSync: return "slow-sync";
    }
    return "?";
}

class FaultySystemCalls final : public SystemCalls {
public:
    // `folder`: the folder that fails (absolute, without a trailing separator).
    explicit FaultySystemCalls(const QString& folder) : folder_(QFile::encodeName(folder)) {}

    // Sets the fault; None releases a hang.
    void set(DiskFault fault, std::chrono::milliseconds slowSync = std::chrono::milliseconds(50)) {
        std::lock_guard lock(m_);
        fault_ = fault;
        slowSync_ = slowSync;
        released_.notify_all();
    }
    DiskFault fault() const {
        std::lock_guard lock(m_);
        return fault_;
    }
    // Calls that are waiting for a hang to be released.
    int hanging() const {
        std::lock_guard lock(m_);
        return hanging_;
    }
    int fsyncs() const {
        std::lock_guard lock(m_);
        return fsyncs_;
    }
    // What was done to files inside the folder, in order: "write <name>" for a file opened to be
    // written, "rename <name>" for a file put in place; names without the folder.
    std::vector<QString> operations() const {
        std::lock_guard lock(m_);
        return operations_;
    }

    int open(const QByteArray& path, int flags, int mode) override {
        const bool inside = under(path);
        const int refused = inside ? refusal(path, (flags & (O_WRONLY | O_RDWR | O_CREAT)) != 0) : 0;
        if (refused != 0)
            return fail(refused);
        const int fd = SystemCalls::open(path, flags, mode);
        if (fd >= 0 && inside) {
            std::lock_guard lock(m_);
            fds_[fd] = {path, false};
            if ((flags & (O_WRONLY | O_RDWR)) != 0)
                operations_.push_back(QStringLiteral("write ") + nameOf(path));
        }
        return fd;
    }
    ssize_t write(int fd, const char* data, size_t size) override {
        if (!watched(fd))
            return SystemCalls::write(fd, data, size);
        waitWhileHanging();
        std::unique_lock lock(m_);
        if (fault_ == DiskFault::ReadOnly)
            return fail(EROFS);
        if (fault_ == DiskFault::Removed)
            return fail(EIO);
        if (fault_ == DiskFault::Full) {
            // A full disk takes what still fits, then says it is full.
            File& f = fds_[fd];
            if (f.partial || size < 2)
                return fail(ENOSPC);
            f.partial = true;
            lock.unlock();
            return SystemCalls::write(fd, data, size / 2);
        }
        lock.unlock();
        return SystemCalls::write(fd, data, size);
    }
    ssize_t pread(int fd, char* data, size_t size, off_t offset) override {
        if (watched(fd)) {
            waitWhileHanging();
            if (fault() == DiskFault::Removed)
                return fail(EIO);
        }
        return SystemCalls::pread(fd, data, size, offset);
    }
    int fsync(int fd) override {
        if (watched(fd)) {
            waitWhileHanging();
            std::chrono::milliseconds slow{0};
            {
                std::lock_guard lock(m_);
                ++fsyncs_;
                if (fault_ == DiskFault::SlowSync)
                    slow = slowSync_;
                if (fault_ == DiskFault::Full)
                    return fail(ENOSPC);
                if (fault_ == DiskFault::Removed)
                    return fail(EIO);
            }
            if (slow.count() > 0)
                std::this_thread::sleep_for(slow);
        }
        return SystemCalls::fsync(fd);
    }
    int fstat(int fd, struct stat* st) override {
        if (watched(fd))
            waitWhileHanging();
        return SystemCalls::fstat(fd, st);
    }
    int stat(const QByteArray& path, struct stat* st) override {
        if (under(path) || path == folder_) {
            waitWhileHanging();
            if (fault() == DiskFault::Removed)
                return fail(ENOENT);
        }
        return SystemCalls::stat(path, st);
    }
    int ftruncate(int fd, off_t size) override {
        if (watched(fd)) {
            waitWhileHanging();
            const DiskFault f = fault();
            if (f == DiskFault::ReadOnly)
                return fail(EROFS);
            if (f == DiskFault::Removed)
                return fail(EIO);
        }
        return SystemCalls::ftruncate(fd, size);
    }
    int close(int fd) override {
        {
            std::lock_guard lock(m_);
            fds_.erase(fd);
        }
        return SystemCalls::close(fd);
    }
    int rename(const QByteArray& from, const QByteArray& to) override {
        if (under(from) || under(to))
            if (const int refused = refusal(to, true))
                return fail(refused);
        const int done = SystemCalls::rename(from, to);
        if (done == 0 && under(to)) {
            std::lock_guard lock(m_);
            operations_.push_back(QStringLiteral("rename ") + nameOf(to));
        }
        return done;
    }
    int unlink(const QByteArray& path) override {
        if (under(path))
            if (const int refused = refusal(path, true))
                return fail(refused);
        return SystemCalls::unlink(path);
    }
    int mkdir(const QByteArray& path, int mode) override {
        if (under(path) || path == folder_)
            if (const int refused = refusal(path, true))
                return fail(refused);
        return SystemCalls::mkdir(path, mode);
    }
    int list(const QByteArray& folder, QStringList* names) override {
        if (under(folder) || folder == folder_)
            if (const int refused = refusal(folder, false))
                return fail(refused);
        return SystemCalls::list(folder, names);
    }

private:
    struct File {
        QByteArray path;
        bool partial = false;
    };

    bool under(const QByteArray& path) const { return path.startsWith(folder_ + '/'); }
    QString nameOf(const QByteArray& path) const { return QFile::decodeName(path.mid(folder_.size() + 1)); }
    bool watched(int fd) const {
        std::lock_guard lock(m_);
        return fds_.count(fd) > 0;
    }
    static int fail(int error) {
        errno = error;
        return -1;
    }
    void waitWhileHanging() {
        std::unique_lock lock(m_);
        if (fault_ != DiskFault::Hang)
            return;
        ++hanging_;
        released_.wait(lock, [this] { return fault_ != DiskFault::Hang; });
        --hanging_;
    }
    // The error a call that touches `path` meets (0: none), after a hang is released.
    int refusal(const QByteArray& path, bool writes) {
        (void)path;
        waitWhileHanging();
        std::lock_guard lock(m_);
        switch (fault_) {
        case DiskFault::Removed: return ENOENT;
        case DiskFault::ReadOnly: return writes ? EROFS : 0;
        default: return 0;
        }
    }

    QByteArray folder_;
    mutable std::mutex m_;
    std::condition_variable released_;
    DiskFault fault_ = DiskFault::None;
    std::chrono::milliseconds slowSync_{50};
    int hanging_ = 0;
    int fsyncs_ = 0;
    std::map<int, File> fds_;
    std::vector<QString> operations_;
};

// The program's file layer over those calls.
struct FaultyFiles {
    explicit FaultyFiles(const QString& folder)
        : calls(std::make_shared<FaultySystemCalls>(folder)), layer(makePosixFileLayer(calls)) {}
    std::shared_ptr<FaultySystemCalls> calls;
    std::shared_ptr<FileLayer> layer;
};

} // namespace korvat::test
