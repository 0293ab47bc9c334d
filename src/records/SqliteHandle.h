#pragma once
// The SQLite handle under a QSQLITE connection, for what the driver does not offer (fast reads, functions
// of our own).
#include <QByteArray>
#include <QSqlDatabase>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;

// The handle of an open QSQLITE connection; null when the connection gives none.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// Runs sql with id bound to its one parameter and calls row for each row read, in order. A failure (also
// part of the way) raises DbError with SQLite's text; a connection without a handle raises DbError too.
void forEachRow(const QSqlDatabase& db, const QByteArray& sql, int id, const std::function<void(sqlite3_stmt*)>& row);
