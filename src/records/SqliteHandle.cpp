#include "records/SqliteHandle.h"

#include "records/DbError.h"

#include <QSqlDriver>
#include <QVariant>
#include <cstring>

#include <sqlite3.h>

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    if (!db.driver()) return nullptr;
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || std::strcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}

void forEachRow(const QSqlDatabase& connection, const QByteArray& sql, int id,
                const std::function<void(sqlite3_stmt*)>& row)
{
    sqlite3* db = sqliteHandle(connection);
    if (!db) throw DbError(-1, QStringLiteral("The database connection gives no SQLite handle."));
    sqlite3_stmt* stmt = nullptr;
    auto fail = [&](int rc) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(stmt);
        throw DbError(rc, text);
    };
    int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) fail(rc);
    sqlite3_bind_int(stmt, 1, id);
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) row(stmt);
    if (rc != SQLITE_DONE) fail(rc);
    sqlite3_finalize(stmt);
}
