#pragma once
// The few file operations the files of a run need, each one checked from the first byte to the
// folder entry: a whole file replaced in one step, an append that is either all there or not at
// all, a cut back, a file's identity (device, inode, size), and looking, listing, reading and
// removing. A write that fails leaves nothing half-done under the file's own name: a replacement
// goes through a temporary name beside the file, and an append that fails is cut back to the
// size the file had before it. QFile and QSaveFile are not used for this: a buffered write that
// fails on a full disk can still end in a commit that says it succeeded.
//
// The operations go through the operating system's calls (SystemCalls), which tests replace by
// ones that fail on command (a full disk, a read-only one, a folder that went away, a disk that
// does not answer or answers slowly), so the program's own handling of each is what is tested.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include <sys/stat.h>
#include <sys/types.h>

namespace korvat {

// What makes a file the one a writer left: the same device and inode, and the size it left.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    bool sameFile(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
    bool operator==(const FileIdentity&) const = default;
};

// The outcome of an operation: ok, or the system's error number and a text naming the file.
struct FileResult {
    int error = 0;        // errno of the call that failed; 0 when it worked
    bool changed = false; // the file is not the one the caller expected (identity check)
    QString reason;       // "<path>: <what went wrong>", empty when it worked
    bool ok() const { return error == 0 && !changed; }
    explicit operator bool() const { return ok(); }
    static FileResult failed(const QString& path, int error, const QString& what = {});
    static FileResult notTheSame(const QString& path, const QString& what);
};

// The operating system's calls the file layer uses, one to one (-1 and errno on failure).
class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    virtual int open(const QByteArray& path, int flags, int mode);
    virtual ssize_t write(int fd, const char* data, size_t size);
    virtual ssize_t pread(int fd, char* data, size_t size, off_t offset);
    virtual int fsync(int fd);
    virtual int fstat(int fd, struct stat* st);
    virtual int stat(const QByteArray& path, struct stat* st);
    virtual int ftruncate(int fd, off_t size);
    virtual int close(int fd);
    virtual int rename(const QByteArray& from, const QByteArray& to);
    virtual int unlink(const QByteArray& path);
    virtual int mkdir(const QByteArray& path, int mode);
    // The names in a folder (without "." and ".."); -1 and errno when it cannot be read.
    virtual int list(const QByteArray& folder, QStringList* names);
};

class FileLayer {
public:
    virtual ~FileLayer() = default;

    // Replaces (or creates) `path` with `bytes`: written under a temporary name beside it,
    // pushed to the disk, renamed over `path`, and the folder entry pushed to the disk too. On
    // failure `path` is as it was and the temporary file is gone.
    virtual FileResult replace(const QString& path, const QByteArray& bytes) = 0;

    enum class Create {
        No,        // the file must exist
        IfMissing, // created when it is not there
        New,       // must not exist yet: created with `bytes` (a half-written new file is removed)
    };
    // Appends `bytes` and pushes them to the disk. With `expected`, the file must be that file
    // with that size before the append (otherwise nothing is written and the result says
    // `changed`). On failure the file is cut back to its size before the call. `after` gets the
    // file's identity after the append.
    virtual FileResult append(const QString& path, const QByteArray& bytes, Create create,
                              const FileIdentity* expected, FileIdentity* after) = 0;
    // Cuts the file to `size` bytes (pushed to the disk).
    virtual FileResult truncate(const QString& path, qint64 size) = 0;
    // nullopt when there is no such file (or it cannot be looked at); `result` says why.
    virtual std::optional<FileIdentity> identity(const QString& path, FileResult* result = nullptr) = 0;
    virtual bool exists(const QString& path) = 0;
    // The bytes from `from` to the end.
    virtual FileResult read(const QString& path, QByteArray* bytes, qint64 from = 0) = 0;
    virtual FileResult remove(const QString& path) = 0;
    // The names of the entries of a folder.
    virtual FileResult list(const QString& folder, QStringList* names) = 0;
    // Creates the folder and the ones above it that are missing.
    virtual FileResult makeFolder(const QString& path) = 0;
};

// The production layer over the operating system's calls (`calls` defaults to the real ones).
std::shared_ptr<FileLayer> makePosixFileLayer(std::shared_ptr<SystemCalls> calls = {});

// The temporary name a replacement of `path` is written under: hidden, beside the file, naming
// this process, so a temporary file a killed program left is recognisable as such.
QString temporaryNameFor(const QString& path, qint64 pid, quint64 serial);
// Whether `name` (a file name without folder) is such a temporary name, and the process it names.
std::optional<qint64> temporaryNameProcess(const QString& name);

} // namespace korvat
