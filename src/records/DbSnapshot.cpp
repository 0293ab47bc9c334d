#include "records/DbSnapshot.h"

#include "records/SqliteHandle.h"
#include "records/clsConnection.h"

#include <sqlite3.h>

namespace {

// The single integer of a pragma; false when it cannot be read.
bool pragmaValue(sqlite3* db, const char* sql, std::int64_t& value)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const bool ok = sqlite3_step(stmt) == SQLITE_ROW;
    if (ok) value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return ok;
}

} // namespace

bool DbSnapshot::sameAs(const DbSnapshot& o) const
{
    return valid && o.valid && handleAddress == o.handleAddress && generation == o.generation && !handle.expired() && !o.handle.expired()
           && handle.lock() == o.handle.lock() && totalChanges == o.totalChanges && dataVersion == o.dataVersion
           && schemaVersion == o.schemaVersion;
}

DbSnapshot DbSnapshot::of(const clsConnection& connection)
{
    DbSnapshot s;
    const std::shared_ptr<DbHandle> handle = connection.ADOConnection();
    if (!handle || !handle->isOpen()) return s;
    sqlite3* db = sqliteHandle(handle->db());
    // Inside a transaction the rows read may still be rolled back: nothing is kept or reused then.
    if (!db || !sqlite3_get_autocommit(db)) return s;
    s.handle = handle;
    s.handleAddress = handle.get();
    s.generation = handle->generation();
    s.totalChanges = sqlite3_total_changes64(db);
    s.valid = pragmaValue(db, "PRAGMA data_version", s.dataVersion)
              && pragmaValue(db, "PRAGMA schema_version", s.schemaVersion);
    return s;
}
