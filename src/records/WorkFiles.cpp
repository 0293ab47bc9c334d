#include "records/WorkFiles.h"

#include "records/format.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <filesystem>

QString FileFailure::boxText() const { return description + QStringLiteral(" - ") + Format::str(number); }

FileFailure FileFailure::fileNotFound() { return {53, QStringLiteral("File not found")}; }
FileFailure FileFailure::inputPastEndOfFile() { return {62, QStringLiteral("Input past end of file")}; }
FileFailure FileFailure::typeMismatch() { return {13, QStringLiteral("Type mismatch")}; }
FileFailure FileFailure::overflow() { return {6, QStringLiteral("Overflow")}; }
FileFailure FileFailure::subscriptOutOfRange() { return {9, QStringLiteral("Subscript out of range")}; }
FileFailure FileFailure::invalidPropertyValue() { return {380, QStringLiteral("Invalid property value")}; }
FileFailure FileFailure::pathFileAccessError() { return {75, QStringLiteral("Path/File access error")}; }
FileFailure FileFailure::deviceIoError() { return {57, QStringLiteral("Device I/O error")}; }

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

std::optional<FileFailure> replace(const QString& name, const QByteArray& bytes, const QString& existing)
{
    QSaveFile f(QDir::current().filePath(name));
    if (!f.open(QIODevice::WriteOnly)) return FileFailure::pathFileAccessError();
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        f.commit();
        return FileFailure::deviceIoError();
    }
    if (!f.commit()) return FileFailure::deviceIoError();
    if (!existing.isEmpty() && existing != name) {
        // On a folder that ignores case the two spellings are the file just written: keep it.
        std::error_code ec;
        const auto old = std::filesystem::path(QFile::encodeName(QDir::current().filePath(existing)).toStdString());
        const auto now = std::filesystem::path(QFile::encodeName(QDir::current().filePath(name)).toStdString());
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
