#pragma once
// The SQLite handle under a QSQLITE connection, for what the driver does not offer (fast reads, functions
// of our own).
#include <QSqlDatabase>

struct sqlite3;

// The handle of an open QSQLITE connection; null when the connection gives none.
sqlite3* sqliteHandle(const QSqlDatabase& db);
