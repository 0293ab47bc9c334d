#include "records/WorkFiles.h"

#include "records/format.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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

// Writes all of bytes to fd; false on any short or failed write.
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

std::optional<FileFailure> replace(const QString& name, const QByteArray& bytes, const QString& existing)
{
    // Every step is checked (a buffered writer may report success after the disk filled up): the new
    // content is written, flushed to the disk and closed in a temporary file beside the target, and only
    // then renamed over it. On any failure the temporary file goes and the old file stays as it was.
    const QByteArray target = QFile::encodeName(QDir::current().filePath(name));
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return FileFailure::pathFileAccessError();
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int cause = ok ? 0 : errno;
    // The replaced file keeps its permissions; a new one gets those the umask leaves of read and write.
    mode_t mode = 0;
    if (struct stat st{}; ::stat(target.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    if (ok && ::fchmod(fd, mode) != 0) ok = false;
    if (::close(fd) != 0 && ok) {
        ok = false;
        cause = errno;
    }
    if (ok && ::rename(temp.constData(), target.constData()) != 0) {
        ok = false;
        cause = errno;
    }
    if (!ok) {
        ::unlink(temp.constData());
        return cause == ENOSPC || cause == EFBIG || cause == EDQUOT ? FileFailure::diskFull()
                                                                      : FileFailure::deviceIoError();
    }
    // The rename itself reaches the disk with the folder's entry.
    if (const int dirFd = ::open(QFile::encodeName(QDir::currentPath()).constData(), O_RDONLY | O_DIRECTORY);
        dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    if (!existing.isEmpty() && existing != name) {
        // On a folder that ignores case the two spellings are the file just written: keep it.
        std::error_code ec;
        const auto old = std::filesystem::path(QFile::encodeName(QDir::current().filePath(existing)).toStdString());
        const auto now = std::filesystem::path(target.toStdString());
        if (!std::filesystem::equivalent(old, now, ec) && !ec) QFile::remove(QDir::current().filePath(existing));
    }
    return std::nullopt;
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
