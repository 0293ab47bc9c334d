#pragma once
// The hold on the database files. SQLite's locks are POSIX locks, held per process and inode: opening and
// closing the database file (or its -shm) any other way inside the program drops them, and an outside
// reader may then take the database for unused and delete the live -wal. The guard therefore
// - holds, for every watched database in WAL mode, open file description (OFD) read locks of its own on
//   the two ranges that tell other processes the database is in use (the database's shared range and the
//   -shm's "in use" byte); no close elsewhere in the process drops them, so no outside process can delete
//   the -wal or rebuild the -shm while the program has the database open;
// - puts SQLite's own read locks back where they were dropped, and the WAL's write lock while one of its
//   connections is inside a write transaction (a POSIX lock of the process, which SQLite's unlock at the
//   end of the transaction releases as its own);
// - checks that the database, -wal and -shm at their paths are still the files its connections have
//   open (device and inode); where one is gone or replaced it closes every connection on that database
//   and opens them again, once per change, so that nothing is written into a deleted file.
// Each watched database has one descriptor per file in the process, opened when the first connection is
// watched and closed only after SQLite closed the last one (any close of a descriptor drops the process's
// POSIX locks on that file). The checks read no /proc/locks: each is a few stat and fcntl calls.
#include <QString>

#include <functional>

namespace platform {

// A connection of the program to a database file, as the guard sees it.
class WatchedConnection {
public:
    virtual ~WatchedConnection() = default;
    // A transaction or an unfinished statement is open: the connection cannot be closed now.
    virtual bool busy() const = 0;
    // A write transaction is open (SQLite holds the WAL's write lock).
    virtual bool writing() const = 0;
    // Writes every frame of the WAL into the database file the connection has open (wherever that file
    // lies now) and empties the WAL; false when that could not be done completely now (a reader or writer
    // in the way).
    virtual bool checkpoint() = 0;
    // Closes the connection; its prepared statements become unusable.
    virtual void closeForReopen() = 0;
    // Opens it again on the same path (which watches it again); an empty text on success, else the reason.
    virtual QString reopen() = 0;
};

// True when /proc/locks lists a lock of the process pid (0: this one) on the file at path (by its inode).
// For tests and diagnostics: the kernel builds that file on each read, which takes milliseconds.
bool processHoldsLock(const QString& path, qint64 pid = 0);

// Starts watching connection c, just opened by SQLite on the database at path (wal: in WAL mode). Also
// starts the check once a second, so that a path that drops the locks inside a dialog (the print dialog's
// own file choice) is mended within that second.
void watchDatabaseLock(const QString& path, WatchedConnection* c, bool wal);

// Closes c through close() and stops watching it. For the last connection on its database the guard lets
// its own locks go just before, with SQLite's locks in place, so that SQLite's close can tidy its -wal
// and no moment passes without a lock; the guard's descriptors close after SQLite's.
void closeWatched(WatchedConnection* c, const std::function<void()>& close);

// The cheap check before a connection reads or writes: where the files at the paths of c's database (or,
// with c null, of the database at path) are no longer the ones open, the connections on it are opened
// again (unless one of them is busy: then at the next check).
void checkDatabaseFiles(WatchedConnection* c, const QString& path = {});

// The whole check: the files of every watched database, SQLite's read locks, and the write lock of any
// write transaction; takes back what was dropped. True when a lock had to be taken again.
// Called after every modal dialog and every export, and once a second.
bool keepDatabaseLock();

// How many times a lock had to be taken again, and how many times the connections of a database were
// opened again onto a replaced file, since the program started.
int databaseLockRetakes();
int databaseReopens();

} // namespace platform
