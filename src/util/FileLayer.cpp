#include "util/FileLayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <mutex>
#include <vector>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace korvat {

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

const QString kTemporaryMark = QStringLiteral(".korvat-tmp-");

class PosixFileLayer final : public FileLayer {
public:
    explicit PosixFileLayer(std::shared_ptr<SystemCalls> calls) : sys_(std::move(calls)) {}

    FileResult replace(const QString& path, const QByteArray& bytes) override {
        sweepLeftovers();
        const QString temporary = temporaryNameFor(path, ::getpid(), serial_.fetch_add(1));
        const QByteArray tmp = encoded(temporary);
        const int fd = sys_->open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return FileResult::failed(path, errno);
        FileResult result = writeAll(fd, bytes, path);
        if (result && sys_->fsync(fd) != 0)
            result = FileResult::failed(path, errno, QStringLiteral("pushing it to the disk"));
        // Network file systems report a failed write as late as the close.
        if (sys_->close(fd) != 0 && result)
            result = FileResult::failed(path, errno);
        if (result && sys_->rename(tmp, encoded(path)) != 0)
            result = FileResult::failed(path, errno, QStringLiteral("renaming the written file"));
        if (!result) {
            if (sys_->unlink(tmp) != 0)
                keepLeftover(tmp);
            return result;
        }
        return syncFolder(path);
    }

    FileResult append(const QString& path, const QByteArray& bytes, Create create, const FileIdentity* expected,
                      FileIdentity* after) override {
        sweepLeftovers();
        int flags = O_WRONLY | O_APPEND | O_CLOEXEC;
        if (create == Create::IfMissing)
            flags |= O_CREAT;
        if (create == Create::New)
            flags |= O_CREAT | O_EXCL;
        const int fd = sys_->open(encoded(path), flags, 0666);
        if (fd < 0)
            return FileResult::failed(path, errno);
        struct stat st {};
        if (sys_->fstat(fd, &st) != 0) {
            const int error = errno;
            sys_->close(fd);
            return FileResult::failed(path, error);
        }
        const FileIdentity before{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
        if (expected && !(*expected == before)) {
            sys_->close(fd);
            return FileResult::notTheSame(
                path, expected->sameFile(before)
                          ? QStringLiteral("its size is %1 bytes, the program left it at %2").arg(before.size).arg(expected->size)
                          : QStringLiteral("it is another file than the one the program wrote to"));
        }
        FileResult result = writeAll(fd, bytes, path);
        if (result && sys_->fsync(fd) != 0)
            result = FileResult::failed(path, errno, QStringLiteral("pushing it to the disk"));
        if (!result) {
            // Nothing of a failed append stays: a retry must not find half a line in front of it.
            if (sys_->ftruncate(fd, before.size) == 0)
                sys_->fsync(fd);
            else
                result.reason += QStringLiteral("; the part already written could not be removed");
            sys_->close(fd);
            if (create == Create::New)
                sys_->unlink(encoded(path));
            return result;
        }
        if (sys_->close(fd) != 0) {
            result = FileResult::failed(path, errno);
            cutBack(path, before);
            return result;
        }
        if (after)
            *after = FileIdentity{before.device, before.inode, before.size + bytes.size()};
        // The bytes are on the disk: a folder that cannot be synced must not make the caller
        // append them a second time, so this is done as well as it can be and not reported.
        if (create == Create::New || (create == Create::IfMissing && before.size == 0))
            syncFolder(path);
        return {};
    }

    FileResult truncate(const QString& path, qint64 size) override {
        const int fd = sys_->open(encoded(path), O_WRONLY | O_CLOEXEC, 0);
        if (fd < 0)
            return FileResult::failed(path, errno);
        FileResult result;
        if (sys_->ftruncate(fd, size) != 0 || sys_->fsync(fd) != 0)
            result = FileResult::failed(path, errno);
        sys_->close(fd);
        return result;
    }

    std::optional<FileIdentity> identity(const QString& path, FileResult* result) override {
        struct stat st {};
        if (sys_->stat(encoded(path), &st) != 0) {
            if (result)
                *result = FileResult::failed(path, errno);
            return std::nullopt;
        }
        if (!S_ISREG(st.st_mode)) {
            if (result)
                *result = FileResult::failed(path, EISDIR, QStringLiteral("it is not a regular file"));
            return std::nullopt;
        }
        if (result)
            *result = {};
        return FileIdentity{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size)};
    }

    bool exists(const QString& path) override {
        struct stat st {};
        return sys_->stat(encoded(path), &st) == 0;
    }

    FileResult read(const QString& path, QByteArray* bytes, qint64 from) override {
        bytes->clear();
        const int fd = sys_->open(encoded(path), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0);
        if (fd < 0)
            return FileResult::failed(path, errno);
        struct stat st {};
        if (sys_->fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            const int error = S_ISREG(st.st_mode) ? errno : EISDIR;
            sys_->close(fd);
            return FileResult::failed(path, error);
        }
        qint64 at = std::max<qint64>(0, from);
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        for (;;) {
            const ssize_t n = sys_->pread(fd, chunk.data(), size_t(chunk.size()), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const int error = errno;
                sys_->close(fd);
                return FileResult::failed(path, error);
            }
            if (n == 0)
                break;
            bytes->append(chunk.constData(), n);
            at += n;
        }
        sys_->close(fd);
        return {};
    }

    FileResult remove(const QString& path) override {
        if (sys_->unlink(encoded(path)) != 0 && errno != ENOENT)
            return FileResult::failed(path, errno);
        return {};
    }

    FileResult list(const QString& folder, QStringList* names) override {
        names->clear();
        if (sys_->list(encoded(folder), names) != 0)
            return FileResult::failed(folder, errno);
        return {};
    }

    FileResult makeFolder(const QString& path) override {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        struct stat st {};
        if (sys_->stat(encoded(absolute), &st) == 0)
            return S_ISDIR(st.st_mode) ? FileResult{} : FileResult::failed(absolute, ENOTDIR);
        const QString parent = QFileInfo(absolute).absolutePath();
        if (parent != absolute) {
            if (FileResult up = makeFolder(parent); !up)
                return up;
        }
        if (sys_->mkdir(encoded(absolute), 0777) != 0 && errno != EEXIST)
            return FileResult::failed(absolute, errno);
        return {};
    }

private:
    FileResult writeAll(int fd, const QByteArray& bytes, const QString& path) {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = sys_->write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return FileResult::failed(path, errno);
            if (n == 0)
                return FileResult::failed(path, ENOSPC);
            done += n;
        }
        return {};
    }

    // A new folder entry (a created or renamed file) survives a power cut only once the folder
    // is on the disk as well.
    FileResult syncFolder(const QString& path) {
        const QString folder = folderOf(path);
        const int fd = sys_->open(encoded(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (fd < 0)
            return FileResult::failed(folder, errno, QStringLiteral("pushing the folder entry to the disk"));
        FileResult result;
        // Some file systems cannot sync a folder at all; there the entry is as safe as it gets.
        if (sys_->fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
            result = FileResult::failed(folder, errno, QStringLiteral("pushing the folder entry to the disk"));
        sys_->close(fd);
        return result;
    }

    void cutBack(const QString& path, const FileIdentity& before) {
        const int fd = sys_->open(encoded(path), O_WRONLY | O_CLOEXEC, 0);
        if (fd < 0)
            return;
        struct stat st {};
        if (sys_->fstat(fd, &st) == 0 && quint64(st.st_ino) == before.inode && quint64(st.st_dev) == before.device &&
            st.st_size > before.size)
            sys_->ftruncate(fd, before.size);
        sys_->close(fd);
    }

    // A temporary file that could not be removed when its replacement failed (its folder was
    // taken away mid-write): removed as soon as it can be, so a folder that comes back holds no
    // piece of a write that never happened.
    void keepLeftover(const QByteArray& tmp) {
        const std::lock_guard<std::mutex> lock(leftoverMutex_);
        if (leftovers_.size() < 256)
            leftovers_.push_back(tmp);
    }
    void sweepLeftovers() {
        const std::lock_guard<std::mutex> lock(leftoverMutex_);
        if (leftovers_.empty())
            return;
        std::erase_if(leftovers_, [this](const QByteArray& tmp) { return sys_->unlink(tmp) == 0; });
    }

    std::shared_ptr<SystemCalls> sys_;
    std::atomic<quint64> serial_{0};
    std::mutex leftoverMutex_;
    std::vector<QByteArray> leftovers_;
};

} // namespace

FileResult FileResult::failed(const QString& path, int error, const QString& what) {
    FileResult r;
    r.error = error == 0 ? EIO : error;
    r.reason = path + QStringLiteral(": ") + (what.isEmpty() ? QString() : what + QStringLiteral(": ")) + errnoText(r.error);
    return r;
}

FileResult FileResult::notTheSame(const QString& path, const QString& what) {
    FileResult r;
    r.changed = true;
    r.reason = path + QStringLiteral(": ") + what;
    return r;
}

int SystemCalls::open(const QByteArray& path, int flags, int mode) { return ::open(path.constData(), flags, mode); }
ssize_t SystemCalls::write(int fd, const char* data, size_t size) { return ::write(fd, data, size); }
ssize_t SystemCalls::pread(int fd, char* data, size_t size, off_t offset) { return ::pread(fd, data, size, offset); }
int SystemCalls::fsync(int fd) { return ::fsync(fd); }
int SystemCalls::fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int SystemCalls::stat(const QByteArray& path, struct stat* st) { return ::stat(path.constData(), st); }
int SystemCalls::ftruncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int SystemCalls::close(int fd) { return ::close(fd); }
int SystemCalls::rename(const QByteArray& from, const QByteArray& to) { return ::rename(from.constData(), to.constData()); }
int SystemCalls::unlink(const QByteArray& path) { return ::unlink(path.constData()); }
int SystemCalls::mkdir(const QByteArray& path, int mode) { return ::mkdir(path.constData(), mode_t(mode)); }

int SystemCalls::list(const QByteArray& folder, QStringList* names) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return -1;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names->append(QFile::decodeName(name));
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

std::shared_ptr<FileLayer> makePosixFileLayer(std::shared_ptr<SystemCalls> calls) {
    return std::make_shared<PosixFileLayer>(calls ? std::move(calls) : std::make_shared<SystemCalls>());
}

QString temporaryNameFor(const QString& path, qint64 pid, quint64 serial) {
    const QFileInfo info(path);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + kTemporaryMark + QString::number(pid) +
                               QLatin1Char('-') + QString::number(serial));
}

std::optional<qint64> temporaryNameProcess(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.korvat-tmp-([0-9]+)-[0-9]+$"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 pid = m.captured(1).toLongLong(&ok);
    return ok ? std::optional<qint64>(pid) : std::nullopt;
}

} // namespace korvat
