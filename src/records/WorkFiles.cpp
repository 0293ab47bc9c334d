#include "records/WorkFiles.h"

#include "records/format.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

QString FileFailure::boxText() const { return description + QStringLiteral(" - ") + Format::str(number); }

FileFailure FileFailure::fileNotFound() { return {53, QStringLiteral("File not found")}; }
FileFailure FileFailure::inputPastEndOfFile() { return {62, QStringLiteral("Input past end of file")}; }
FileFailure FileFailure::typeMismatch() { return {13, QStringLiteral("Type mismatch")}; }
FileFailure FileFailure::overflow() { return {6, QStringLiteral("Overflow")}; }
FileFailure FileFailure::subscriptOutOfRange() { return {9, QStringLiteral("Subscript out of range")}; }
FileFailure FileFailure::invalidPropertyValue() { return {380, QStringLiteral("Invalid property value")}; }
FileFailure FileFailure::pathFileAccessError() { return {75, QStringLiteral("Path/File access error")}; }
FileFailure FileFailure::deviceIoError() { return {57, QStringLiteral("Device I/O error")}; }
FileFailure FileFailure::diskFull() { return {61, QStringLiteral("Disk full")}; }

namespace WorkFiles {

QString find(const QString& name)
{
    const QDir here = QDir::current();
    if (QFileInfo::exists(here.filePath(name))) return name;
    const QStringList entries =
        here.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0) return e;
    return {};
}

namespace {

// The failure that the errno of a failed step stands for: no room (a full disk or quota, a file-size
// limit), a path that cannot be used, or the device.
FileFailure failureOf(int cause)
{
    switch (cause) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return FileFailure::diskFull();
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EEXIST: return FileFailure::pathFileAccessError();
    default: return FileFailure::deviceIoError();
    }
}

// Writes all of bytes to fd; 0, or the errno of the write that failed. A write that takes no byte sets no
// errno: nothing more fits.
int writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        p += n;
        left -= n;
    }
    return 0;
}

// A descriptor that is closed when it goes, unless close() took it first.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
    // 0, or the errno of the close.
    int close()
    {
        const int f = std::exchange(fd, -1);
        return ::close(f) == 0 ? 0 : errno;
    }
};

// The file a path stands for: the file a symbolic link points to, followed through every link of a chain
// (a link stays a link), also when the last target does not exist yet, so that writing through the link
// creates its target. A chain that loops or runs too deep is left to the open of the path, which reports it.
QByteArray resolved(const QByteArray& path)
{
    QByteArray at = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(at.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(at.constData(), target.data(), std::size_t(target.size()));
        if (n <= 0 || n >= target.size()) return at;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = at.lastIndexOf('/');
            if (slash >= 0) target.prepend(at.left(slash + 1));
        }
        at = target;
    }
    return path;
}

// Creates a file of a name not yet taken beside `base` in folder dirFd, for writing; its name in temp.
int createTemp(int dirFd, const QByteArray& base, mode_t mode, QByteArray& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = base + '.' + QByteArray::number(QRandomGenerator::global()->generate64() & 0xffffffffffull, 36);
        const int fd = ::openat(dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::optional<FileFailure> replace(const QString& name, const QByteArray& bytes, const QString& existing)
{
    // Every step is checked (a buffered writer may report success after the disk filled up): the new
    // content is written, flushed to the disk and closed in a temporary file beside the target, then renamed
    // over it, and the folder's entry is flushed too. Up to the rename, a failure takes the temporary file
    // away and leaves the old file as it was.
    const QByteArray target = resolved(QFile::encodeName(QDir::current().filePath(name)));
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target.left(slash);
    const QByteArray base = target.mid(slash + 1);

    Fd dir{::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return failureOf(errno);

    // The mode: a replaced file keeps its permission bits. A new file is created with read and write for all,
    // which the kernel narrows by the umask (and the folder's default permissions) as for any file created:
    // the umask is never read or changed here (it is the whole process's, other threads create files too).
    struct stat old {};
    const bool replacing = ::fstatat(dir.fd, base.constData(), &old, 0) == 0;
    // A write-protected file is not replaced, even for a user the system would let write it.
    if (replacing && writeProtected(QFile::decodeName(target))) return FileFailure::pathFileAccessError();
    QByteArray temp;
    Fd file{createTemp(dir.fd, base, replacing ? 0600 : 0666, temp)};
    if (file.fd < 0) return failureOf(errno);
    int cause = writeAll(file.fd, bytes);
    if (!cause && ::fsync(file.fd) != 0) cause = errno;
    if (!cause && replacing && ::fchmod(file.fd, old.st_mode & 07777) != 0) cause = errno;
    if (const int closed = file.close(); !cause) cause = closed;
    if (!cause && ::renameat(dir.fd, temp.constData(), dir.fd, base.constData()) != 0) cause = errno;
    if (cause) {
        ::unlinkat(dir.fd, temp.constData(), 0);
        return failureOf(cause);
    }
    // The rename reaches the disk with the folder's entry; a folder that cannot be flushed is reported, as
    // the new file may not survive a power cut.
    if (::fsync(dir.fd) != 0) cause = errno;
    if (const int closed = dir.close(); !cause) cause = closed;
    if (cause) return failureOf(cause);

    if (!existing.isEmpty() && existing != name) {
        // On a folder that ignores case the two spellings are the file just written: keep it.
        std::error_code ec;
        const auto other = std::filesystem::path(QFile::encodeName(QDir::current().filePath(existing)).toStdString());
        const auto now = std::filesystem::path(target.toStdString());
        if (!std::filesystem::equivalent(other, now, ec) && !ec) QFile::remove(QDir::current().filePath(existing));
    }
    return std::nullopt;
}

bool writeProtected(const QString& path)
{
    namespace fs = std::filesystem;
    const QByteArray native = QFile::encodeName(path);
    std::error_code ec;
    const fs::perms p = fs::status(fs::path(native.toStdString()), ec).permissions();
    if (ec) return false;
    const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (p & anyWrite) == fs::perms::none || ::access(native.constData(), W_OK) != 0;
}

bool isDatabaseFile(const QString& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path chosen = fs::weakly_canonical(fs::absolute(fs::path(path.toStdString()), ec), ec);
    if (ec) return false;
    for (const char* name : {"Torvan.accdb", "Torvan.accdb-wal", "Torvan.accdb-shm"}) {
        const fs::path db = fs::weakly_canonical(fs::current_path(ec) / name, ec);
        if (ec) continue;
        if (chosen.parent_path() == db.parent_path() &&
            QString::fromStdString(chosen.filename().string())
                    .compare(QString::fromStdString(db.filename().string()), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace WorkFiles
