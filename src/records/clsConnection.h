#pragma once
// The database connection: "Torvan.accdb" (an SQLite file) in the current working folder.
#include "platform/DatabaseLock.h"

#include <QSqlDatabase>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// One open SQLite connection. Record objects hold it by shared pointer, so a replaced connection stays
// usable until the last record object bound to it lets go; it is closed and removed then.
// The hold guard watches it: where its database file (or -wal, -shm) is replaced or removed on disk, the
// connection is closed and opened again on the same path, as the same object; statements prepared before
// are prepared again (generation() tells them), and a failed reopen leaves it closed until the files at
// the path change again.
class DbHandle final : private platform::WatchedConnection {
public:
    // How long a statement waits for another connection's lock before it fails with "database is locked".
    static constexpr int BusyTimeoutMs = 100;

    DbHandle();
    ~DbHandle();
    DbHandle(const DbHandle&) = delete;
    DbHandle& operator=(const DbHandle&) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }
    bool isOpen() const { return open_; }
    const QString& name() const { return name_; }

    // Opens path read-write (never creates it) and probes it. Throws DbError.
    void open(const QString& path);

    // Before a statement runs: the cheap check that the files SQLite has open are still those at the
    // path (reopens where not). Then isOpen() tells whether the connection can be used.
    void checkFiles();
    // Counts the opens of this object: a statement prepared under another count must be prepared again.
    std::uint64_t generation() const { return generation_; }
    // Runs on the connection now (when open) and after every later open: functions and hooks that a
    // connection needs on its SQLite handle.
    void setOpenHook(std::function<void(const QSqlDatabase&)> hook);

private:
    bool busy() const override;
    bool writing() const override;
    bool checkpoint() override;
    void closeForReopen() override;
    QString reopen() override;

    QString name_;
    QString path_;
    bool open_ = false;
    std::uint64_t generation_ = 0;
    std::function<void(const QSqlDatabase&)> openHook_;
};

class clsConnection {
public:
    clsConnection();
    ~clsConnection();

    // Opens "Torvan.accdb" in the current working folder. The four arguments are accepted and ignored.
    // On failure shows "clsConnection.OpenConnection: Error #: " + number + CR LF + description and leaves
    // the connection unopened: its first use by a record object then fails in that caller.
    void OpenDB(const QString& user = {}, const QString& password = {}, const QString& dsn = {},
                const QString& extra = {});

    // The connection that record objects and literal statements bind to; never null (unopened before a
    // successful OpenDB).
    std::shared_ptr<DbHandle> ADOConnection() const { return handle_; }
    bool IsOpen() const { return handle_ && handle_->isOpen(); }

    // A file made before the overlay's covering index lacks it: true when the opened file lacks it and this
    // run has not tried to add it yet.
    bool IndexMissing() const;
    // Adds that index to the opened file, once per run and file. Building it takes seconds on a file of
    // millions of points: step is called every few milliseconds meanwhile (to keep the event loop going);
    // when it answers false the build stops and the file stays as it was. The index is built on a
    // connection of its own, which holds the file's write lock until it is done: writes on other
    // connections fail as locked meanwhile. True when the index was added.
    bool AddMissingIndex(const std::function<bool()>& step);

    // Guarded transactions: BeginTrans hands out a token 1..1,000,000 (0 when one is already open);
    // CommitTrans and RollBack act only on the matching token.
    int BeginTrans();
    bool CommitTrans(int token);
    bool RollBack(int token);
    bool InTransaction() const { return inTransaction_; }

    const QString& LastError() const { return lastError_; }
    const QString& ConnectionString() const { return connectionString_; }

private:
    std::shared_ptr<DbHandle> handle_;
    QString connectionString_;
    QString lastError_;
    bool inTransaction_ = false;
    int token_ = 0;
};

// Creates a new database file "Torvan.accdb" in folder from the schema. Refuses to overwrite an existing
// file. Returns an empty text on success, else the reason.
QString createDatabase(const QString& folder);

// The text of data/schema.sql, built into the program.
QString databaseSchema();
