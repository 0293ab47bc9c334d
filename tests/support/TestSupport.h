#pragma once
// Shared fixtures of the test suites: a fresh temporary working folder with a new database, and helpers to
// write the program's text files there.
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class clsConnection;

namespace testsupport {

// Creates a temporary folder, makes it the working folder while it lives, and restores the previous one.
class TempWorkDir {
public:
    explicit TempWorkDir(bool withDatabase = true);
    ~TempWorkDir();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    // Writes text to a file of the folder (bytes as given, no line-end translation).
    void write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir dir_;
    QString previous_;
};

// While it lives, every file this process writes may grow to at most `bytes` (RLIMIT_FSIZE): a write past it
// fails with EFBIG as on a full disk, whoever runs the test (root included). SIGXFSZ is ignored meanwhile.
// The old limit and signal handling come back when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long oldCur_ = 0, oldMax_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// A connection opened on the working folder's database; fails the test (QVERIFY) when it does not open.
std::shared_ptr<clsConnection> openConnection();

// Runs one SQL statement on the working folder's database through the sqlite3 library, bypassing the
// program's own layer; returns the first column of the first row as text (empty when none).
QString sqlValue(const QString& sql);
// Runs statements that return nothing; returns false on error.
bool sqlExec(const QString& sql);

// Runs the sqlite3 command line on the working folder's database: a separate process that opens, reads and
// closes it, as a lab script or a backup would. Returns its output, trimmed; "FAILED: " and its error output
// when it did not run cleanly.
QString sqliteCommandLine(const QString& sql);

// The shared module's unit system and the captions that go with it.
void setUnits(int system);

// The steps of a stored sequence as "no:time:temp:rate" in step order, blank separated (empty when none).
QString storedSteps(int sequenceId);

// A data table of a window's controls: the columns "name", "caption" and "tip" (QString each), and one row
// of it tagged with the control's name.
void addControlColumns();
void addControlRow(const char* name, const char* caption, const char* tip);

// A test header under id and name with fixed sample values: dated 2020-01-02 10:03:04, researcher "old",
// weight 12.5, length 0.12, hardness 3, "grey clay", compaction 300 psi for 5 min on "01/02/2020", "brine".
bool storeSampleHeader(int id, const QString& name);
// One column of a stored test header, as text.
QString headerColumn(const QString& column, int id);

} // namespace testsupport
