#pragma once
// The database's POSIX locks. SQLite holds them per process: opening and closing the database file (or its
// -shm) any other way inside the program drops them, and an outside reader may then delete the live -wal.
// The program watches its hold and, where it is gone, takes the same locks again on a descriptor of its own
// that stays open (opening another SQLite connection would not do: SQLite counts the locks it believes it
// holds and asks the system for none again while one of its connections is open).
#include <QString>

namespace platform {

// True when /proc/locks lists a lock of the process pid (0: this one) on the file at path (by its inode).
bool processHoldsLock(const QString& path, qint64 pid = 0);

// Watches the locks the program holds now on the database at path and its -shm; from then on
// keepDatabaseLock() restores them. Also checks once a second, so that a path that drops them inside a
// dialog (the print dialog's own file choice) is mended within that second.
// Each open connection watches once and lets go once; the watch ends with the last.
void watchDatabaseLock(const QString& path);
void unwatchDatabaseLock(const QString& path);

// Checks the watched hold and re-takes any lock that is gone. True when something had to be re-taken.
// Called after every modal dialog and every export.
bool keepDatabaseLock();

// How many times a lock had to be re-taken since the program started.
int databaseLockRetakes();

} // namespace platform
