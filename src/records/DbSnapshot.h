#pragma once
// What one connection has seen of its database: rows read while two snapshots taken before and after are
// the same are what a new read would return. Equal only for the same connection object, still open, with
// no transaction open at either time, no row written through that connection in between
// (sqlite3_total_changes64) and nothing committed by any other connection, in this process or another
// (PRAGMA data_version), nor a schema change (PRAGMA schema_version).
#include <cstdint>
#include <memory>

class clsConnection;
class DbHandle;

struct DbSnapshot {
    std::weak_ptr<DbHandle> handle;
    const DbHandle* handleAddress = nullptr;
    std::uint64_t generation = 0;   // the connection opened again since: nothing read before holds
    std::int64_t totalChanges = 0, dataVersion = 0, schemaVersion = 0;
    bool valid = false;   // false inside a transaction or when the connection is closed

    static DbSnapshot of(const clsConnection& connection);
    bool sameAs(const DbSnapshot& o) const;
};
