#pragma once
// Plain text files of the working folder (settings and calibration files) and the calibration reports: the
// failures their readers and writers report, names matched without regard to letter case, and replacing a
// file without ever leaving it cut short.
#include <QByteArray>
#include <QString>
#include <optional>

// A failure of reading or writing a file, with the number and description the operator is shown.
struct FileFailure {
    int number = 0;
    QString description;

    // The usual box text: the description, " - ", then the number with its sign blank ("File not found -  53").
    QString boxText() const;

    static FileFailure fileNotFound();        // 53
    static FileFailure inputPastEndOfFile();  // 62
    static FileFailure typeMismatch();        // 13
    static FileFailure overflow();            // 6
    static FileFailure subscriptOutOfRange(); // 9
    static FileFailure invalidPropertyValue(); // 380
    static FileFailure pathFileAccessError(); // 75
    static FileFailure deviceIoError();       // 57
    static FileFailure diskFull();            // 61
};

namespace WorkFiles {

// Title of the box in which the unit screens and the calibration saves report a failure.
inline const QString FormLoadErrorTitle = QStringLiteral("Form_Load Error");

// True when path names the working folder's database file or one of its journal files (name compared
// without regard to case), which only the database engine may open: reports are never written there.
bool isDatabaseFile(const QString& path);
inline const QString DatabaseNotAReportMessage = QStringLiteral("The test database cannot be used as a report file");

// True when the file or folder at path cannot be written: it carries no write permission at all (a
// write-protected file, which holds even for a user whom the system lets write anyway), or the system
// refuses this process the write (permissions, a read-only mount, an immutable file). Nothing is opened.
bool writeProtected(const QString& path);

// The entry of the working folder whose name equals `name` without regard to case: `name` itself when it
// exists, else the first other spelling in name order; empty when there is none.
QString find(const QString& name);

// Replaces the file `name` (of the working folder, or any path) by `bytes`: written to a temporary file
// beside it and renamed over it after every write, the flush to the disk and the close succeeded, so a
// failure leaves the old file byte for byte and no temporary file. A replaced file keeps its permissions
// (a symbolic link is followed, the file it points to is replaced, or created where it does not exist yet);
// a new one gets those of any new file. A write-protected file is refused ("Path/File access error").
// The failure names its cause: "Disk full" when nothing more fits (a full disk, a quota, a file-size
// limit), "Path/File access error" when the folder or the file cannot be used, else "Device I/O error".
// An existing spelling of the name in another case (`existing`, as find() gave it) is removed afterwards,
// so one file remains. Returns the failure, if any.
std::optional<FileFailure> replace(const QString& name, const QByteArray& bytes, const QString& existing = {});

} // namespace WorkFiles
