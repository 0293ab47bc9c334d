#pragma once
// Shared fixtures of the test suites: a fresh temporary working folder with a new database, and helpers to
// write the program's text files there.
#include <QDir>
#include <QList>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>

class clsConnection;
struct sqlite3;

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

// veduvovir-crash-logger (tests/harness) logging on both cells of units 1 and 2 in the working folder,
// against torvan-sim on ports 1 and 2; both processes end with the run.
class LoggerRun {
public:
    LoggerRun() = default;
    ~LoggerRun();
    LoggerRun(const LoggerRun&) = delete;
    LoggerRun& operator=(const LoggerRun&) = delete;

    // Starts the simulator (with seed) and the logger (with the extra arguments and environment entries
    // "NAME=value"), and waits until every cell runs. Returns an empty text then, else what went wrong.
    QString start(int seed, const QStringList& extraArguments = {}, const QStringList& environment = {});
    // Takes what the logger printed since the last call: LOGGED ids into logged, other lines into lines.
    void collect();
    // Keeps the event loop running, collecting, until done() holds or ms have passed; returns done().
    bool waitFor(const std::function<bool()>& done, int ms);
    // SIGKILL to the logger, then its last lines; then the simulator is stopped.
    void kill();
    qint64 loggerPid() const { return logger_.processId(); }
    bool loggerRunning() const { return logger_.state() != QProcess::NotRunning; }
    // How many of its other lines begin with prefix.
    qsizetype count(const char* prefix) const
    {
        return std::count_if(lines.begin(), lines.end(), [&](const QByteArray& l) { return l.startsWith(prefix); });
    }

    QSet<qint64> logged;          // committed point rows (RESULT_ID) the logger printed
    QList<QByteArray> lines;      // its other lines (READY, LISTED, ERROR)

private:
    QProcess sim_, logger_;
    QByteArray buffer_;
};

// A connection opened on the working folder's database; fails the test (QVERIFY) when it does not open.
std::shared_ptr<clsConnection> openConnection();

// Runs one SQL statement on the working folder's database through the sqlite3 library, bypassing the
// program's own layer; returns the first column of the first row as text (empty when none).
QString sqlValue(const QString& sql);
// Runs statements that return nothing; returns false on error.
bool sqlExec(const QString& sql);

// A second SQLite connection to the working folder's database that holds its write lock (BEGIN IMMEDIATE)
// while it lives, as another program writing would; release() lets go earlier.
class WriteLock {
public:
    WriteLock();
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool held() const { return held_; }
    void release();

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

// Runs the sqlite3 command line on the working folder's database (or on another file of the folder): a
// separate process that opens, reads and closes it, as a lab script or a backup would. Returns its output,
// trimmed; "FAILED: " and its error output when it did not run cleanly.
QString sqliteCommandLine(const QString& sql, const QString& file = QStringLiteral("Torvan.accdb"));

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
